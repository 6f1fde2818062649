// The first step of a move (see Mover.h): each item is renamed into the
// target folder, a whole folder in one step where its name is free. A folder
// whose name a folder has taken, or that Windows will not rename while a file
// in it is open, is merged into entry by entry (never a link to a folder: it
// is not followed); a file whose name is taken is a clash, settled as a
// paste settles it, and one whose name another item of this paste took is
// never put over that item. What lies on another volume is left
// to the copier in a plan, and the folders merged into are recorded for the
// last step, which removes the source folders the move emptied.
#pragma once

#include "ClashPolicy.h"
#include "CopyPlan.h"
#include "CopyProgress.h"
#include "Report.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace brellow {

using FolderPair = std::pair<std::wstring, std::wstring>;  // source, target

// What the rename step leaves to the steps after it.
struct RenameLeftovers {
    // What is copied instead; each source file is deleted once its copy is
    // complete under its final name.
    CopyPlan plan;
    // Source folders whose contents moved one by one, with their targets,
    // and of those the ones whose target this run created.
    std::vector<FolderPair> merged;
    std::vector<FolderPair> created;
};

class Renamer {
public:
    // clashes settles names that are taken (null: skipped).
    Renamer(CopyProgress& progress, ClashPolicy* clashes, Report& report, RenameLeftovers& leftovers);

    // Moves one item of the list and everything below it that is merged.
    void Entry(const PasteEntry& entry);

private:
    struct Item {
        std::wstring source;
        std::wstring target;
    };

    void One(const Item& item, std::vector<Item>& children);
    void Taken(const Item& item, DWORD sourceAttributes, DWORD targetAttributes, std::vector<Item>& children);
    void TakenByThisPaste(const Item& item, DWORD sourceAttributes, const PlacedName& placed,
                          std::vector<Item>& children);
    void RenameOverClash(const Item& item, DWORD sourceAttributes, ClashAction action,
                         const std::wstring& besideOwn = std::wstring());
    void CopyInstead(const Item& item, DWORD sourceAttributes, ClashAction decided,
                     const std::wstring& besideOwn = std::wstring());
    void Merge(const Item& item, bool created, std::vector<Item>& children);
    void Arrived(const Item& item, const std::wstring& placedAt, bool isFolder, const std::wstring& besideOwn);

    CopyProgress& progress_;
    ClashPolicy* clashes_;
    Report& report_;
    RenameLeftovers& leftovers_;
    PlanOptions options_;
};

}  // namespace brellow
