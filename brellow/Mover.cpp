#include "Mover.h"

#include "CopyPlan.h"
#include "MoveRename.h"
#include "Paths.h"
#include "Removal.h"

#include <windows.h>

#include <algorithm>
#include <utility>

namespace brellow {
namespace {

// The last step: removes each source folder that the move emptied, deepest
// first; only where its target folder exists, so that an empty folder is
// never in neither place, and only the folder itself, never a link's target.
// One that the move emptied and that still cannot be removed is reported. A
// folder made for contents that then could not move goes again.
void RemoveEmptiedFolders(RenameLeftovers& leftovers, Report& report) {
    std::vector<FolderPair> folders = std::move(leftovers.merged);
    folders.insert(folders.end(), leftovers.plan.sourceFolders.begin(), leftovers.plan.sourceFolders.end());
    std::sort(folders.begin(), folders.end(),
              [](const FolderPair& a, const FolderPair& b) { return a.first.size() > b.first.size(); });
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (const FolderPair& folder : folders) {
        if (!IsFolder(GetFileAttributesW(ForApi(folder.second).c_str()))) continue;
        std::wstring reason;
        if (RemoveEmptyFolder(folder.first, reason) == FolderRemoval::Failed)
            report.Failed(folder.first, L"the move emptied it, but it cannot be removed: " + reason);
    }
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
    const std::vector<PasteEntry> entries = ResolveEntries(
        sources, targetFolder,
        [&](const std::wstring& entry, const std::wstring& reason) { report.Failed(entry, reason); });
    for (const PasteEntry& entry : entries) {
        if (progress.CancelRequested()) break;
        // Cut and pasted into the folder it is in: nothing to do.
        if (SameFile(entry.source, entry.target)) {
            report.Skipped(entry.source, L"it is already in this folder");
            continue;
        }
        renamer.Entry(entry);
    }
    copier.Run(leftovers.plan, report);
    RemoveEmptiedFolders(leftovers, report);
}

}  // namespace brellow
