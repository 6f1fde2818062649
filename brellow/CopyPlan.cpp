#include "CopyPlan.h"

#include "ClashPolicy.h"
#include "Paths.h"
#include "TreeWalk.h"

#include <windows.h>

#include <utility>

namespace brellow {
namespace {

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
            std::wstring reason;
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                !SettleClash(source, target, IsFolder(attributes), options_.clashes, action, reason)) {
                Problem(true, source, reason, target);
                return;
            }
        }
        PlanItem item{false, source, target, size};
        item.clash = action;
        item.move = options_.move;
        plan_.items.push_back(std::move(item));
        plan_.totalBytes += size;
        ++plan_.fileCount;
    }

    // Plans source and everything below it, depth first, one folder listed
    // at a time.
    void AddTree(const std::wstring& source, const std::wstring& target, bool targetMayExist) {
        WalkDepthFirst(PendingFolder{source, target, targetMayExist},
                       [this](const PendingFolder& folder, std::vector<PendingFolder>& children) {
                           VisitFolder(folder, children);
                           return true;
                       });
    }

    void Problem(bool skipped, const std::wstring& source, const std::wstring& reason,
                 const std::wstring& target = std::wstring()) {
        plan_.problems.push_back({skipped, source, reason, target});
    }

private:
    void VisitFolder(const PendingFolder& folder, std::vector<PendingFolder>& children) {
        bool targetExists = false;
        if (folder.targetMayExist) {
            const DWORD attributes = GetFileAttributesW(ForApi(folder.target).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES) {
                if (!IsFolder(attributes)) {
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

        ListFolder(
            folder.source,
            [&](const std::wstring& childSource, const WIN32_FIND_DATAW& entry) {
                std::wstring childTarget = JoinPath(folder.target, entry.cFileName);
                if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    AddFile(childSource, childTarget, FileSize(entry.nFileSizeHigh, entry.nFileSizeLow),
                            targetExists);
                } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                    Problem(true, childSource, L"a link to a folder is not followed");
                } else {
                    children.push_back({childSource, std::move(childTarget), targetExists});
                }
            },
            [&](const std::wstring& path, const std::wstring& reason) {
                Problem(false, path, reason, folder.target);
            });
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

bool SettleClash(const std::wstring& source, const std::wstring& target, bool targetIsFolder, ClashPolicy* clashes,
                 ClashAction& action, std::wstring& reason) {
    if (targetIsFolder) {
        reason = L"\"" + target + L"\" already exists and is a folder";
        return false;
    }
    // Pasted where it is: there is nothing to replace it with.
    if (SameFile(source, target)) {
        reason = L"it is already in this folder";
        return false;
    }
    const ClashAnswer answer = clashes ? clashes->Decide(DescribeClash(source, target)) : ClashAnswer::Skip;
    if (answer == ClashAnswer::Skip) {
        reason = L"\"" + target + L"\" already exists";
        return false;
    }
    action = answer == ClashAnswer::Replace ? ClashAction::Replace : ClashAction::KeepBoth;
    return true;
}

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
    resolved.size = resolved.isFolder ? 0 : FileSize(data.nFileSizeHigh, data.nFileSizeLow);
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
        planner.AddFile(source, target, FileSize(data.nFileSizeHigh, data.nFileSizeLow), true, decided);
}

}  // namespace brellow
