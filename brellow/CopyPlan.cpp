#include "CopyPlan.h"

#include "ClashPolicy.h"
#include "Paths.h"
#include "TreeWalk.h"

#include "Owners.h"

#include <windows.h>

#include <unordered_set>
#include <utility>

namespace brellow {
namespace {

struct PendingFolder {
    std::wstring source;
    std::wstring target;
    bool targetMayExist;
    std::wstring parentFinal;  // the final path of the folder that holds source
};

const wchar_t kFolderLink[] = L"a link to a folder is not followed";

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

class Planner {
public:
    Planner(CopyPlan& plan, const PlanOptions& options) : plan_(plan), options_(options) {}

    void AddFile(const std::wstring& source, const std::wstring& target, std::uint64_t size, bool targetMayExist,
                 ClashAction decided = ClashAction::None, const std::wstring& besideOwn = std::wstring()) {
        ClashAction action = decided;
        std::wstring beside = besideOwn;
        if (action == ClashAction::None) {
            std::wstring reason;
            PlacedName placed;
            if (plan_.placed.Find(target, placed)) {
                // Another item of this paste ends under this name.
                if (!SettleOwnClash(source, target, placed, options_.clashes, action, reason)) {
                    Problem(true, source, reason, target);
                    return;
                }
                beside = placed.source;
            } else if (targetMayExist) {
                const DWORD attributes = GetFileAttributesW(ForApi(target).c_str());
                if (attributes != INVALID_FILE_ATTRIBUTES &&
                    !SettleClash(source, target, IsFolder(attributes), options_.clashes, action, reason)) {
                    Problem(true, source, reason, target);
                    return;
                }
            }
        }
        // A copy kept beside another takes its name only when it is done,
        // and never one that this paste gives another item.
        if (action != ClashAction::KeepBoth) plan_.placed.Claim(target, source, false);
        PlanItem item{false, source, target, size};
        item.clash = action;
        item.move = options_.move;
        item.besideOwn = std::move(beside);
        plan_.items.push_back(std::move(item));
        plan_.totalBytes += size;
        ++plan_.fileCount;
    }

    // Plans source and everything below it, depth first, one folder listed
    // at a time.
    void AddTree(const std::wstring& source, const std::wstring& target, bool targetMayExist) {
        WalkDepthFirst(PendingFolder{source, target, targetMayExist, FinalPath(ParentFolder(source))},
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
    // False for a link to a folder that Wine shows as a plain folder: a link
    // is never followed, so a loop of links cannot make a walk endless, and
    // a move never empties a folder outside what the user chose. final: the
    // folder's final path, for its entries (empty when unknown).
    static bool FolderItself(const PendingFolder& folder, std::wstring& final) {
        brell::UniqueHandle handle(CreateFileW(ForApi(folder.source).c_str(), FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING,
                                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        final.clear();
        return !handle || IsEntryItself(handle.get(), folder.parentFinal, folder.source, final);
    }

    void VisitFolder(const PendingFolder& folder, std::vector<PendingFolder>& children) {
        std::wstring final;
        if (!FolderItself(folder, final)) {
            Problem(true, folder.source, kFolderLink);
            return;
        }
        bool targetExists = false;
        bool planned = false;
        PlacedName placed;
        if (plan_.placed.Find(folder.target, placed)) {
            // What another item of this paste puts there: a folder is merged
            // into, a file is not replaced.
            if (!placed.isFolder) {
                Problem(true, folder.source, Quoted(folder.target) + L" is a file that this paste puts there",
                        folder.target);
                return;
            }
            targetExists = IsFolder(GetFileAttributesW(ForApi(folder.target).c_str()));
            planned = !targetExists;
        } else if (folder.targetMayExist) {
            const DWORD attributes = GetFileAttributesW(ForApi(folder.target).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES) {
                if (!IsFolder(attributes)) {
                    Problem(true, folder.source, Quoted(folder.target) + L" already exists and is not a folder",
                            folder.target);
                    return;
                }
                targetExists = true;
            }
        }
        if (targetExists) {
            plan_.existingFolders.push_back(folder.target);
        } else if (!planned) {
            PlanItem item{true, folder.source, folder.target, 0};
            item.move = options_.move;
            plan_.items.push_back(std::move(item));
        }
        plan_.placed.Claim(folder.target, folder.source, true);
        if (options_.move) plan_.sourceFolders.emplace_back(folder.source, folder.target);

        ListFolder(
            folder.source,
            [&](const std::wstring& childSource, const WIN32_FIND_DATAW& entry) {
                std::wstring childTarget = JoinPath(folder.target, entry.cFileName);
                if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    AddFile(childSource, childTarget, FileSize(entry.nFileSizeHigh, entry.nFileSizeLow),
                            targetExists);
                } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                    Problem(true, childSource, kFolderLink);
                } else {
                    children.push_back({childSource, std::move(childTarget), targetExists, final});
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
        reason = Quoted(target) + L" already exists and is a folder";
        return false;
    }
    // Pasted where it is: there is nothing to replace it with.
    if (SameFile(source, target)) {
        reason = L"it is already in this folder";
        return false;
    }
    const ClashAnswer answer = clashes ? clashes->Decide(DescribeClash(source, target)) : ClashAnswer::Skip;
    if (answer == ClashAnswer::Skip) {
        reason = Quoted(target) + L" already exists";
        return false;
    }
    action = answer == ClashAnswer::Replace ? ClashAction::Replace : ClashAction::KeepBoth;
    return true;
}

bool SettleOwnClash(const std::wstring& source, const std::wstring& target, const PlacedName& placed,
                    ClashPolicy* clashes, ClashAction& action, std::wstring& reason) {
    if (placed.isFolder) {
        reason = Quoted(target) + L" is a folder that this paste puts there";
        return false;
    }
    ClashInfo clash = DescribeClash(source, target);
    clash.placedFrom = placed.source;
    // Not there yet (it is copied later): the sizes and dates are its source's.
    if (GetFileAttributesW(ForApi(target).c_str()) == INVALID_FILE_ATTRIBUTES) {
        const ClashInfo first = DescribeClash(source, placed.source);
        clash.existingSize = first.existingSize;
        clash.existingWritten = first.existingWritten;
    }
    if (!clashes || clashes->Decide(clash) == ClashAnswer::Skip) {
        reason = L"this paste puts " + Quoted(placed.source) + L" under the same name " + Quoted(target);
        return false;
    }
    action = ClashAction::KeepBoth;
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
    resolved.source = CanonicalPath(entry);
    if (resolved.source.empty()) {
        reason = L"it is not a usable path";
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

std::vector<PasteEntry> ResolveEntries(
    const std::vector<std::wstring>& sources, const std::wstring& targetFolder,
    const std::function<void(const std::wstring& entry, const std::wstring& reason)>& failed) {
    std::vector<PasteEntry> entries;
    std::vector<std::wstring> keys;
    std::unordered_set<std::wstring> seen;
    std::unordered_set<std::wstring> folders;
    std::wstring targetIdentity;
    std::wstring lastParent, lastParentFinal;
    for (const std::wstring& entry : sources) {
        PasteEntry resolved;
        std::wstring reason;
        if (!ResolveEntry(entry, targetFolder, targetIdentity, resolved, reason)) {
            failed(entry, reason);
            continue;
        }
        // The item by its folder as the file system names it and its own
        // name: another spelling of the same item is the same key, a link
        // beside what it leads to is not.
        const std::wstring parent = ParentFolder(resolved.source);
        if (parent != lastParent) {
            lastParent = parent;
            lastParentFinal = Identity(parent);
        }
        std::wstring key = JoinPath(lastParentFinal, LastComponent(resolved.source));
        CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
        if (!seen.insert(key).second) continue;
        if (resolved.isFolder) folders.insert(key);
        keys.push_back(std::move(key));
        entries.push_back(std::move(resolved));
    }
    if (folders.empty()) return entries;
    // What lies inside a listed folder travels with it.
    std::vector<PasteEntry> outermost;
    for (size_t i = 0; i < entries.size(); ++i) {
        bool inside = false;
        for (std::wstring folder = ParentFolder(keys[i]); !inside && folder.size() < keys[i].size();) {
            inside = folders.count(folder) != 0;
            std::wstring parent = ParentFolder(folder);
            if (parent.empty() || parent.size() >= folder.size()) break;
            folder = std::move(parent);
        }
        if (!inside) outermost.push_back(std::move(entries[i]));
    }
    return outermost;
}

CopyPlan MakeCopyPlan(const std::vector<std::wstring>& sources, const std::wstring& targetFolder,
                      const PlanOptions& options) {
    CopyPlan plan;
    Planner planner(plan, options);
    plan.existingFolders.push_back(targetFolder);
    const std::vector<PasteEntry> entries = ResolveEntries(
        sources, targetFolder,
        [&](const std::wstring& entry, const std::wstring& reason) { planner.Problem(false, entry, reason); });
    for (const PasteEntry& entry : entries) {
        if (entry.isFolder)
            planner.AddTree(entry.source, entry.target, true);
        else
            planner.AddFile(entry.source, entry.target, entry.size, true);
    }
    return plan;
}

void AddToPlan(CopyPlan& plan, const std::wstring& source, const std::wstring& target, const PlanOptions& options,
               ClashAction decided, const std::wstring& besideOwn) {
    Planner planner(plan, options);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(ForApi(source).c_str(), GetFileExInfoStandard, &data)) {
        planner.Problem(false, source, ErrorText(GetLastError()), target);
        return;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        planner.AddTree(source, target, true);
    else
        planner.AddFile(source, target, FileSize(data.nFileSizeHigh, data.nFileSizeLow), true, decided, besideOwn);
}

}  // namespace brellow
