#include "CopyPlan.h"

#include "ClashPolicy.h"
#include "Handles.h"
#include "Paths.h"

#include <windows.h>

#include <utility>

namespace brellow {
namespace {

std::uint64_t SizeOf(DWORD high, DWORD low) {
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

struct PendingFolder {
    std::wstring source;
    std::wstring target;
    bool targetMayExist;
};

class Planner {
public:
    Planner(CopyPlan& plan, const PlanOptions& options) : plan_(plan), options_(options) {}

    void AddFile(const std::wstring& source, const std::wstring& target, std::uint64_t size, bool targetMayExist,
                 ClashAction decided = ClashAction::None) {
        ClashAction action = decided;
        if (targetMayExist && action == ClashAction::None) {
            const DWORD attributes = GetFileAttributesW(ForApi(target).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && !Settle(source, target, attributes, action)) return;
        }
        PlanItem item{false, source, target, size};
        item.clash = action;
        item.move = options_.move;
        plan_.items.push_back(std::move(item));
        plan_.totalBytes += size;
        ++plan_.fileCount;
    }

    // Plans source and everything below it, depth first, one folder listed
    // at a time; the folders still to visit wait on an explicit stack.
    void AddTree(const std::wstring& source, const std::wstring& target, bool targetMayExist) {
        std::vector<PendingFolder> pending;
        pending.push_back({source, target, targetMayExist});
        std::vector<PendingFolder> children;
        while (!pending.empty()) {
            PendingFolder folder = std::move(pending.back());
            pending.pop_back();
            children.clear();
            VisitFolder(folder, children);
            // Reversed, so that the first child is visited first.
            for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back(std::move(*it));
        }
    }

    void Problem(bool skipped, const std::wstring& source, const std::wstring& reason,
                 const std::wstring& target = std::wstring()) {
        plan_.problems.push_back({skipped, source, reason, target});
    }

private:
    // A file is to go where something exists: false when it is not copied
    // (a problem is noted), true with the clash's answer otherwise.
    bool Settle(const std::wstring& source, const std::wstring& target, DWORD attributes, ClashAction& action) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            Problem(true, source, L"\"" + target + L"\" already exists and is a folder", target);
            return false;
        }
        // Pasted where it is: there is nothing to replace it with.
        if (SameFile(source, target)) {
            Problem(true, source, L"it is already in this folder", target);
            return false;
        }
        const ClashAnswer answer =
            options_.clashes ? options_.clashes->Decide(DescribeClash(source, target)) : ClashAnswer::Skip;
        if (answer == ClashAnswer::Skip) {
            Problem(true, source, L"\"" + target + L"\" already exists", target);
            return false;
        }
        action = answer == ClashAnswer::Replace ? ClashAction::Replace : ClashAction::KeepBoth;
        return true;
    }

    void VisitFolder(const PendingFolder& folder, std::vector<PendingFolder>& children) {
        bool targetExists = false;
        if (folder.targetMayExist) {
            const DWORD attributes = GetFileAttributesW(ForApi(folder.target).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES) {
                if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    Problem(true, folder.source, L"\"" + folder.target + L"\" already exists and is not a folder",
                            folder.target);
                    return;
                }
                targetExists = true;
            }
        }
        if (targetExists)
            plan_.existingFolders.push_back(folder.target);
        else
            plan_.items.push_back({true, folder.source, folder.target, 0});
        if (options_.move) plan_.sourceFolders.emplace_back(folder.source, folder.target);

        WIN32_FIND_DATAW entry;
        UniqueFind find(FindFirstFileExW(ForApi(JoinPath(folder.source, L"*")).c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
        if (!find) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES)
                Problem(false, folder.source, L"cannot read the folder: " + ErrorText(error), folder.target);
            return;
        }
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring childSource = JoinPath(folder.source, name);
            if (!IsPlainName(name)) {
                Problem(false, childSource, L"its name cannot be used in the target folder", folder.target);
                continue;
            }
            std::wstring childTarget = JoinPath(folder.target, name);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                    Problem(true, childSource, L"a link to a folder is not followed");
                    continue;
                }
                children.push_back({childSource, std::move(childTarget), targetExists});
            } else {
                AddFile(childSource, childTarget, SizeOf(entry.nFileSizeHigh, entry.nFileSizeLow), targetExists);
            }
        } while (FindNextFileW(find.get(), &entry));
        const DWORD error = GetLastError();
        if (error != ERROR_NO_MORE_FILES)
            Problem(false, folder.source, L"cannot read the folder: " + ErrorText(error), folder.target);
    }

    CopyPlan& plan_;
    const PlanOptions& options_;
};

// The folder itself as the file system names it; its canonical text where
// the file system cannot say.
std::wstring Identity(const std::wstring& folder) {
    std::wstring final = FinalPath(folder);
    return final.empty() ? folder : final;
}

}  // namespace

bool ResolveEntry(const std::wstring& entry, const std::wstring& targetFolder, std::wstring& targetIdentity,
                  PasteEntry& resolved, std::wstring& reason) {
    // A file list holds full paths; anything else would resolve against
    // whatever folder this process happens to be in.
    if (!IsFullPath(entry)) {
        reason = L"it is not a full path (drive or server and folders)";
        return false;
    }
    resolved.source = FullPath(entry);
    if (resolved.source.empty()) {
        reason = L"it is not a usable path: " + ErrorText(GetLastError());
        return false;
    }
    const std::wstring name = LastComponent(resolved.source);
    if (name.empty()) {
        reason = L"a whole drive is not copied";
        return false;
    }
    if (!IsPlainName(name)) {
        reason = L"its name cannot be used in the target folder";
        return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(ForApi(resolved.source).c_str(), GetFileExInfoStandard, &data)) {
        reason = ErrorText(GetLastError());
        return false;
    }
    resolved.target = JoinPath(targetFolder, name);
    resolved.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    resolved.size = resolved.isFolder ? 0 : SizeOf(data.nFileSizeHigh, data.nFileSizeLow);
    if (resolved.isFolder) {
        // Compared as the file system names both, so that no spelling
        // ("/", ".", short names, links) hides the target inside the source.
        if (targetIdentity.empty()) targetIdentity = Identity(targetFolder);
        if (IsSameOrBelow(targetIdentity, Identity(resolved.source)) || IsSameOrBelow(targetFolder, resolved.source)) {
            reason = L"a folder cannot be copied into itself";
            return false;
        }
    }
    return true;
}

CopyPlan MakeCopyPlan(const std::vector<std::wstring>& sources, const std::wstring& targetFolder,
                      const PlanOptions& options) {
    CopyPlan plan;
    Planner planner(plan, options);
    plan.existingFolders.push_back(targetFolder);
    std::wstring targetIdentity;
    for (const std::wstring& entry : sources) {
        PasteEntry resolved;
        std::wstring reason;
        if (!ResolveEntry(entry, targetFolder, targetIdentity, resolved, reason)) {
            planner.Problem(false, entry, reason);
            continue;
        }
        if (resolved.isFolder)
            planner.AddTree(resolved.source, resolved.target, true);
        else
            planner.AddFile(resolved.source, resolved.target, resolved.size, true);
    }
    return plan;
}

void AddToPlan(CopyPlan& plan, const std::wstring& source, const std::wstring& target, const PlanOptions& options,
               ClashAction decided) {
    Planner planner(plan, options);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(ForApi(source).c_str(), GetFileExInfoStandard, &data)) {
        planner.Problem(false, source, ErrorText(GetLastError()), target);
        return;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        planner.AddTree(source, target, true);
    else
        planner.AddFile(source, target, SizeOf(data.nFileSizeHigh, data.nFileSizeLow), true, decided);
}

}  // namespace brellow
