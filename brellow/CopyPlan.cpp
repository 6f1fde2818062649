#include "CopyPlan.h"

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
    explicit Planner(CopyPlan& plan) : plan_(plan) {}

    void AddFile(const std::wstring& source, const std::wstring& target, std::uint64_t size,
                 bool targetMayExist) {
        if (targetMayExist && GetFileAttributesW(ForApi(target).c_str()) != INVALID_FILE_ATTRIBUTES) {
            Problem(true, source, L"\"" + target + L"\" already exists", target);
            return;
        }
        plan_.items.push_back({false, source, target, size});
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
};

// The folder itself as the file system names it; its canonical text where
// the file system cannot say.
std::wstring Identity(const std::wstring& folder) {
    std::wstring final = FinalPath(folder);
    return final.empty() ? folder : final;
}

}  // namespace

CopyPlan MakeCopyPlan(const std::vector<std::wstring>& sources, const std::wstring& targetFolder) {
    CopyPlan plan;
    Planner planner(plan);
    plan.existingFolders.push_back(targetFolder);
    std::wstring targetIdentity;
    for (const std::wstring& entry : sources) {
        // A file list holds full paths; anything else would resolve against
        // whatever folder this process happens to be in.
        if (!IsFullPath(entry)) {
            planner.Problem(false, entry, L"it is not a full path (drive or server and folders)");
            continue;
        }
        const std::wstring source = FullPath(entry);
        if (source.empty()) {
            planner.Problem(false, entry, L"it is not a usable path: " + ErrorText(GetLastError()));
            continue;
        }
        const std::wstring name = LastComponent(source);
        if (name.empty()) {
            planner.Problem(false, entry, L"a whole drive is not copied");
            continue;
        }
        if (!IsPlainName(name)) {
            planner.Problem(false, entry, L"its name cannot be used in the target folder");
            continue;
        }
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(ForApi(source).c_str(), GetFileExInfoStandard, &data)) {
            planner.Problem(false, entry, ErrorText(GetLastError()));
            continue;
        }
        const std::wstring target = JoinPath(targetFolder, name);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // Compared as the file system names both, so that no spelling
            // ("/", ".", short names, links) hides the target inside the source.
            if (targetIdentity.empty()) targetIdentity = Identity(targetFolder);
            if (IsSameOrBelow(targetIdentity, Identity(source)) || IsSameOrBelow(targetFolder, source)) {
                planner.Problem(false, entry, L"a folder cannot be copied into itself");
                continue;
            }
            planner.AddTree(source, target, true);
        } else {
            planner.AddFile(source, target, SizeOf(data.nFileSizeHigh, data.nFileSizeLow), true);
        }
    }
    return plan;
}

}  // namespace brellow
