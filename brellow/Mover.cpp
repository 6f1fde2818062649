#include "Mover.h"

#include "CopyPlan.h"
#include "Paths.h"
#include "Placement.h"
#include "TreeWalk.h"

#include <windows.h>

#include <algorithm>
#include <utility>

namespace brellow {
namespace {

struct Pending {
    std::wstring source;
    std::wstring target;
};

using FolderPair = std::pair<std::wstring, std::wstring>;  // source, target

// A rename within a volume; ERROR_NOT_SAME_DEVICE where the two lie on
// different ones (no copy is ever made here).
DWORD Rename(const std::wstring& from, const std::wstring& to, bool replace) {
    return MoveFileExW(ForApi(from).c_str(), ForApi(to).c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)
               ? 0
               : GetLastError();
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

class Move {
public:
    Move(CopyProgress& progress, ClashPolicy* clashes, Report& report)
        : progress_(progress), clashes_(clashes), report_(report) {
        options_.move = true;
        options_.clashes = clashes;
    }

    // Moves one item of the list and everything below it; folders that are
    // merged into wait on an explicit stack.
    void Entry(const PasteEntry& entry) {
        WalkDepthFirst(Pending{entry.source, entry.target}, [this](const Pending& item, std::vector<Pending>& children) {
            if (progress_.CancelRequested()) return false;
            One(item, children);
            return true;
        });
    }

    CopyPlan& plan() { return plan_; }

    // Source folders whose contents moved one by one, deepest first once
    // sorted, with the target folders this run created for them.
    std::vector<FolderPair>& merged() { return merged_; }
    const std::vector<FolderPair>& created() const { return created_; }

private:
    void One(const Pending& item, std::vector<Pending>& children) {
        const std::wstring& source = item.source;
        const std::wstring& target = item.target;
        const DWORD sourceAttributes = GetFileAttributesW(ForApi(source).c_str());
        if (sourceAttributes == INVALID_FILE_ATTRIBUTES) {
            report_.Failed(source, ErrorText(GetLastError()));
            return;
        }
        progress_.StartFile(source);
        DWORD error = Rename(source, target, false);
        if (!error) {
            report_.Moved(target);
            progress_.FinishFile();
            return;
        }
        if (error == ERROR_NOT_SAME_DEVICE) {
            CopyInstead(source, target, sourceAttributes, ClashAction::None);
            return;
        }

        const DWORD targetAttributes = GetFileAttributesW(ForApi(target).c_str());
        if (targetAttributes != INVALID_FILE_ATTRIBUTES) {
            Taken(source, target, sourceAttributes, targetAttributes, children);
            return;
        }
        // The name is free and still the rename failed. Windows refuses to
        // rename a folder while a file in it is open: what can move then
        // moves one by one, and what is held stays.
        if (IsFolder(sourceAttributes) && (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)) {
            if (!CreateDirectoryW(ForApi(target).c_str(), nullptr)) {
                report_.Failed(source, L"cannot create " + Quoted(target) + L": " + ErrorText(GetLastError()));
                return;
            }
            created_.emplace_back(source, target);
            Merge(source, target, children);
            return;
        }
        report_.Failed(source, error == ERROR_SHARING_VIOLATION ? L"another program is using it"
                                                                : L"cannot move it: " + ErrorText(error));
    }

    // The target name exists: folders merge, a file clashes.
    void Taken(const std::wstring& source, const std::wstring& target, DWORD sourceAttributes,
               DWORD targetAttributes, std::vector<Pending>& children) {
        if (IsFolder(sourceAttributes) && IsFolder(targetAttributes)) {
            Merge(source, target, children);
            return;
        }
        if (IsFolder(sourceAttributes)) {
            report_.Skipped(source, Quoted(target) + L" already exists and is not a folder");
            return;
        }
        ClashAction action = ClashAction::None;
        std::wstring reason;
        if (!SettleClash(source, target, IsFolder(targetAttributes), clashes_, action, reason)) {
            report_.Skipped(source, reason);
            return;
        }
        std::wstring placedAt;
        DWORD error = 0;
        if (action == ClashAction::Replace) {
            // One rename replaces the old file: it is there until the new one is.
            error = ReplaceExisting(target, [&] { return Rename(source, target, true); });
            placedAt = target;
        } else {
            error = PlaceUnderFreeName(
                target, [&](const std::wstring& name) { return Rename(source, name, false); }, placedAt);
        }
        if (!error) {
            report_.Moved(placedAt);
            progress_.FinishFile();
            return;
        }
        if (error == ERROR_NOT_SAME_DEVICE) {
            CopyInstead(source, target, sourceAttributes, action);
            return;
        }
        report_.Failed(source, (action == ClashAction::Replace ? L"cannot replace " + Quoted(target) + L": "
                                                                : L"cannot move it: ") +
                                   ErrorText(error));
    }

    // The two lie on different volumes: copied, and each source file
    // deleted after its copy is complete (by the copier, later).
    void CopyInstead(const std::wstring& source, const std::wstring& target, DWORD sourceAttributes,
                     ClashAction decided) {
        if (IsFolder(sourceAttributes) && (sourceAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            report_.Skipped(source, L"a link to a folder is not followed");
            return;
        }
        AddToPlan(plan_, source, target, options_, decided);
    }

    void Merge(const std::wstring& source, const std::wstring& target, std::vector<Pending>& children) {
        merged_.emplace_back(source, target);
        // What a killed run left in it goes before the copier writes there.
        plan_.existingFolders.push_back(target);
        ListFolder(
            source,
            [&](const std::wstring& path, const WIN32_FIND_DATAW& entry) {
                children.push_back({path, JoinPath(target, entry.cFileName)});
            },
            [&](const std::wstring& path, const std::wstring& reason) { report_.Failed(path, reason); });
    }

    CopyProgress& progress_;
    ClashPolicy* clashes_;
    Report& report_;
    PlanOptions options_;
    CopyPlan plan_;
    std::vector<FolderPair> merged_;
    std::vector<FolderPair> created_;
};

// Removes each source folder that the move emptied, deepest first; only where
// its target folder exists, so that an empty folder is never in neither
// place. RemoveDirectoryW refuses a folder that still holds anything.
void RemoveEmptiedFolders(std::vector<FolderPair>& folders) {
    std::sort(folders.begin(), folders.end(),
              [](const FolderPair& a, const FolderPair& b) { return a.first.size() > b.first.size(); });
    for (const FolderPair& folder : folders)
        if (IsFolder(GetFileAttributesW(ForApi(folder.second).c_str())))
            RemoveDirectoryW(ForApi(folder.first).c_str());
}

}  // namespace

void MoveFiles(const std::vector<std::wstring>& sources, const std::wstring& targetFolder, Copier& copier,
               CopyProgress& progress, ClashPolicy* clashes, Report& report) {
    Move move(progress, clashes, report);
    move.plan().existingFolders.push_back(targetFolder);
    std::wstring targetIdentity;
    for (const std::wstring& entry : sources) {
        if (progress.CancelRequested()) break;
        PasteEntry resolved;
        std::wstring reason;
        if (!ResolveEntry(entry, targetFolder, targetIdentity, resolved, reason)) {
            report.Failed(entry, reason);
            continue;
        }
        // Cut and pasted into the folder it is in: nothing to do.
        if (SameFile(resolved.source, resolved.target)) {
            report.Skipped(resolved.source, L"it is already in this folder");
            continue;
        }
        move.Entry(resolved);
    }

    CopyPlan& plan = move.plan();
    copier.Run(plan, report);

    std::vector<FolderPair> folders = std::move(move.merged());
    folders.insert(folders.end(), plan.sourceFolders.begin(), plan.sourceFolders.end());
    RemoveEmptiedFolders(folders);
    // A folder made for contents that then could not move goes again.
    for (const FolderPair& folder : move.created())
        if (IsFolder(GetFileAttributesW(ForApi(folder.first).c_str())))
            RemoveDirectoryW(ForApi(folder.second).c_str());
}

}  // namespace brellow
