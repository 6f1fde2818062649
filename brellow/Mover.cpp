#include "Mover.h"

#include "CopyPlan.h"
#include "MoveRename.h"
#include "Paths.h"

#include <windows.h>

#include <algorithm>
#include <utility>

namespace brellow {
namespace {

// The last step: removes each source folder that the move emptied, deepest
// first; only where its target folder exists, so that an empty folder is
// never in neither place. RemoveDirectoryW refuses a folder that still holds
// anything. A folder made for contents that then could not move goes again.
void RemoveEmptiedFolders(RenameLeftovers& leftovers) {
    std::vector<FolderPair> folders = std::move(leftovers.merged);
    folders.insert(folders.end(), leftovers.plan.sourceFolders.begin(), leftovers.plan.sourceFolders.end());
    std::sort(folders.begin(), folders.end(),
              [](const FolderPair& a, const FolderPair& b) { return a.first.size() > b.first.size(); });
    for (const FolderPair& folder : folders)
        if (IsFolder(GetFileAttributesW(ForApi(folder.second).c_str())))
            RemoveDirectoryW(ForApi(folder.first).c_str());
    for (const FolderPair& folder : leftovers.created)
        if (IsFolder(GetFileAttributesW(ForApi(folder.first).c_str())))
            RemoveDirectoryW(ForApi(folder.second).c_str());
}

}  // namespace

void MoveFiles(const std::vector<std::wstring>& sources, const std::wstring& targetFolder, Copier& copier,
               CopyProgress& progress, ClashPolicy* clashes, Report& report) {
    RenameLeftovers leftovers;
    leftovers.plan.existingFolders.push_back(targetFolder);
    Renamer renamer(progress, clashes, report, leftovers);
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
        renamer.Entry(resolved);
    }
    copier.Run(leftovers.plan, report);
    RemoveEmptiedFolders(leftovers);
}

}  // namespace brellow
