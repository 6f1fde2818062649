#include "MoveRename.h"

#include "Paths.h"
#include "Placement.h"
#include "TreeWalk.h"

namespace brellow {
namespace {

// A rename within a volume; ERROR_NOT_SAME_DEVICE where the two lie on
// different ones (no copy is ever made here).
DWORD Rename(const std::wstring& from, const std::wstring& to, bool replace) {
    return MoveFileExW(ForApi(from).c_str(), ForApi(to).c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)
               ? 0
               : GetLastError();
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

const wchar_t kFolderLinkNotMerged[] = L"it is a link to a folder, which is not followed into the folder of its name";

}  // namespace

Renamer::Renamer(CopyProgress& progress, ClashPolicy* clashes, Report& report, RenameLeftovers& leftovers)
    : progress_(progress), clashes_(clashes), report_(report), leftovers_(leftovers) {
    options_.move = true;
    options_.clashes = clashes;
}

void Renamer::Entry(const PasteEntry& entry) {
    WalkDepthFirst(Item{entry.source, entry.target}, [this](const Item& item, std::vector<Item>& children) {
        if (progress_.CancelRequested()) return false;
        One(item, children);
        return true;
    });
}

void Renamer::One(const Item& item, std::vector<Item>& children) {
    const DWORD sourceAttributes = GetFileAttributesW(ForApi(item.source).c_str());
    if (sourceAttributes == INVALID_FILE_ATTRIBUTES) {
        report_.Failed(item.source, ErrorText(GetLastError()));
        return;
    }
    progress_.StartFile(item.source);
    // A name another item of this paste has, or is to have once it is
    // copied: looked up before the rename, which sees only what is there.
    PlacedName placed;
    if (leftovers_.plan.placed.Find(item.target, placed)) {
        TakenByThisPaste(item, sourceAttributes, placed, children);
        return;
    }
    // Wine renames what a link leads to rather than the link: such an item
    // is copied instead, and only the link removed, as itself, if at all.
    if (!IsItself(item.source)) {
        CopyInstead(item, sourceAttributes, ClashAction::None);
        return;
    }
    const DWORD error = Rename(item.source, item.target, false);
    if (!error) {
        Arrived(item, item.target, IsFolder(sourceAttributes), std::wstring());
        return;
    }
    if (error == ERROR_NOT_SAME_DEVICE) {
        CopyInstead(item, sourceAttributes, ClashAction::None);
        return;
    }

    const DWORD targetAttributes = GetFileAttributesW(ForApi(item.target).c_str());
    if (targetAttributes != INVALID_FILE_ATTRIBUTES) {
        Taken(item, sourceAttributes, targetAttributes, children);
        return;
    }
    // The name is free and still the rename failed. Windows refuses to
    // rename a folder while a file in it is open: what can move then
    // moves one by one, and what is held stays.
    if (IsFolder(sourceAttributes) && (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)) {
        if (!IsItself(item.source)) {
            report_.Skipped(item.source, kFolderLinkNotMerged);
            return;
        }
        if (!CreateDirectoryW(ForApi(item.target).c_str(), nullptr)) {
            report_.Failed(item.source, L"cannot create " + Quoted(item.target) + L": " + ErrorText(GetLastError()));
            return;
        }
        Merge(item, true, children);
        return;
    }
    report_.Failed(item.source, error == ERROR_SHARING_VIOLATION ? L"another program is using it"
                                                                 : L"cannot move it: " + ErrorText(error));
}

// The target name exists: folders merge, a file clashes.
void Renamer::Taken(const Item& item, DWORD sourceAttributes, DWORD targetAttributes, std::vector<Item>& children) {
    if (IsFolder(sourceAttributes)) {
        if (!IsFolder(targetAttributes))
            report_.Skipped(item.source, Quoted(item.target) + L" already exists and is not a folder");
        else if (!IsItself(item.source))
            report_.Skipped(item.source, kFolderLinkNotMerged);
        else
            Merge(item, false, children);
        return;
    }
    ClashAction action = ClashAction::None;
    std::wstring reason;
    if (!SettleClash(item.source, item.target, IsFolder(targetAttributes), clashes_, action, reason)) {
        report_.Skipped(item.source, reason);
        return;
    }
    RenameOverClash(item, sourceAttributes, action);
}

// Another item of this paste has the name: a folder is merged into, a file
// is never replaced.
void Renamer::TakenByThisPaste(const Item& item, DWORD sourceAttributes, const PlacedName& placed,
                               std::vector<Item>& children) {
    if (IsFolder(sourceAttributes)) {
        if (!placed.isFolder) {
            report_.Skipped(item.source, Quoted(item.target) + L" is a file that this paste puts there");
        } else if (!IsItself(item.source)) {
            report_.Skipped(item.source, kFolderLinkNotMerged);
        } else {
            // A folder still to be copied there is made now for the merge.
            const bool created = CreateDirectoryW(ForApi(item.target).c_str(), nullptr) != FALSE;
            if (!created && !IsFolder(GetFileAttributesW(ForApi(item.target).c_str()))) {
                report_.Failed(item.source,
                               L"cannot create " + Quoted(item.target) + L": " + ErrorText(GetLastError()));
                return;
            }
            Merge(item, created, children);
        }
        return;
    }
    ClashAction action = ClashAction::None;
    std::wstring reason;
    if (!SettleOwnClash(item.source, item.target, placed, clashes_, action, reason)) {
        report_.Skipped(item.source, reason);
        return;
    }
    RenameOverClash(item, sourceAttributes, action, placed.source);
}

// The user said Replace or Keep both.
void Renamer::RenameOverClash(const Item& item, DWORD sourceAttributes, ClashAction action,
                              const std::wstring& besideOwn) {
    std::wstring placedAt;
    DWORD error = 0;
    if (action == ClashAction::Replace) {
        // One rename replaces the old file: it is there until the new one is.
        error = ReplaceExisting(item.target, [&] { return Rename(item.source, item.target, true); });
        placedAt = item.target;
    } else {
        error = PlaceUnderFreeName(
            item.target, [&](const std::wstring& name) { return Rename(item.source, name, false); }, placedAt,
            &leftovers_.plan.placed);
    }
    if (!error) {
        Arrived(item, placedAt, IsFolder(sourceAttributes), besideOwn);
        return;
    }
    if (error == ERROR_NOT_SAME_DEVICE) {
        CopyInstead(item, sourceAttributes, action, besideOwn);
        return;
    }
    report_.Failed(item.source, (action == ClashAction::Replace ? L"cannot replace " + Quoted(item.target) + L": "
                                                                 : L"cannot move it: ") +
                                    ErrorText(error));
}

// The two lie on different volumes: copied, and each source file
// deleted after its copy is complete (by the copier, later).
void Renamer::CopyInstead(const Item& item, DWORD sourceAttributes, ClashAction decided,
                          const std::wstring& besideOwn) {
    if (IsFolder(sourceAttributes) && ((sourceAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !IsItself(item.source))) {
        report_.Skipped(item.source, L"a link to a folder is not followed");
        return;
    }
    AddToPlan(leftovers_.plan, item.source, item.target, options_, decided, besideOwn);
}

// created: this run made the target folder for it.
void Renamer::Merge(const Item& item, bool created, std::vector<Item>& children) {
    if (created) leftovers_.created.emplace_back(item.source, item.target);
    leftovers_.merged.emplace_back(item.source, item.target);
    leftovers_.plan.placed.Claim(item.target, item.source, true);
    // What a killed run left in it goes before the copier writes there.
    leftovers_.plan.existingFolders.push_back(item.target);
    ListFolder(
        item.source,
        [&](const std::wstring& path, const WIN32_FIND_DATAW& entry) {
            children.push_back({path, JoinPath(item.target, entry.cFileName)});
        },
        [&](const std::wstring& path, const std::wstring& reason) { report_.Failed(path, reason); });
}

void Renamer::Arrived(const Item& item, const std::wstring& placedAt, bool isFolder, const std::wstring& besideOwn) {
    // A folder renamed whole brings everything below it.
    leftovers_.plan.placed.Claim(placedAt, item.source, isFolder, isFolder);
    if (besideOwn.empty())
        report_.Moved(placedAt);
    else
        report_.Moved(placedAt, KeptBesideNote(item.target, besideOwn));
    progress_.FinishFile();
}

}  // namespace brellow
