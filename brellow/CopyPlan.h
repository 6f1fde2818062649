// The list of folders to create and files to copy for one paste, made before
// anything is written, with what cannot be copied set aside as problems.
#pragma once

#include "PlacedNames.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace brellow {

class ClashPolicy;

// What to do when a file's target name is taken by another file.
enum class ClashAction {
    None,      // the name was free: it must still be free at the end
    Replace,   // the other file is replaced, in one step, by the finished copy
    KeepBoth,  // the copy takes the first free name "name (n).ext"
};

struct PlanItem {
    bool isFolder;
    std::wstring source;
    std::wstring target;
    std::uint64_t size;  // files only, as found while planning
    ClashAction clash = ClashAction::None;
    bool move = false;  // the source is removed once its copy has its name (a folder: its times and attributes kept)
    // Kept both beside a file this same paste places at target: that file's
    // source, for the report.
    std::wstring besideOwn = std::wstring();
};

struct PlanProblem {
    bool skipped;  // true: left alone on purpose (it exists); false: an error
    std::wstring source;
    std::wstring reason;
    std::wstring target;  // where it would have gone; empty when unknown
};

struct CopyPlan {
    // Every folder comes before what it holds, and everything below a folder
    // follows it before anything that is not below it.
    std::vector<PlanItem> items;
    std::vector<PlanProblem> problems;
    // Folders that exist already and receive files: the target folder and
    // each folder merged into.
    std::vector<std::wstring> existingFolders;
    // A move: every source folder walked, with its target (source, target).
    // Each is removed once the move has emptied it and its target exists.
    std::vector<std::pair<std::wstring, std::wstring>> sourceFolders;
    // The names this paste gives in the target: a file never takes the name
    // of another of the same paste, whatever the order its copy ends in.
    PlacedNames placed;
    std::uint64_t totalBytes = 0;
    size_t fileCount = 0;
};

struct PlanOptions {
    bool move = false;
    // Settles each clash with an existing file; none: every clash is skipped.
    ClashPolicy* clashes = nullptr;
};

// One entry of the clipboard's list, checked and made canonical.
struct PasteEntry {
    std::wstring source;  // canonical full path
    std::wstring target;  // targetFolder + the source's last name
    bool isFolder = false;
    std::uint64_t size = 0;  // files only
};

// Checks one entry of the list against the target folder (a full path). An
// entry must be a full path; it is made canonical ("." and ".." resolved,
// "/" made "\"), and it must have a usable last name, exist, and, as a
// folder, not hold the target folder. False with the reason otherwise.
// targetIdentity caches the target folder's final path between calls (start
// with an empty string).
bool ResolveEntry(const std::wstring& entry, const std::wstring& targetFolder, std::wstring& targetIdentity,
                  PasteEntry& resolved, std::wstring& reason);

// Checks every entry of the list with ResolveEntry; one that fails goes to
// failed. Each item is listed once: a second entry for the same item, and
// an entry inside a folder that is listed too (it comes with that folder),
// are left out.
std::vector<PasteEntry> ResolveEntries(
    const std::vector<std::wstring>& sources, const std::wstring& targetFolder,
    const std::function<void(const std::wstring& entry, const std::wstring& reason)>& failed);

// Plans the copy of sources (files and folders) into targetFolder (a full
// path). The entries are checked by ResolveEntries; one that fails is a
// problem.
// Every target lies below targetFolder. Nothing that exists in the target is
// ever overwritten unless a clash is answered "Replace": an existing file is
// a clash (a skipped problem unless options.clashes says otherwise; a file
// that is the source itself is always skipped), an existing folder is merged
// into. Two items of the paste that would end under one name clash as
// well: the later one is never put over the earlier (see SettleOwnClash).
// Links to folders are not followed (they could loop), and trees are walked
// without recursion, however deep.
CopyPlan MakeCopyPlan(const std::vector<std::wstring>& sources, const std::wstring& targetFolder,
                      const PlanOptions& options = PlanOptions());

// A file source is to go to target, where something exists already
// (targetIsFolder: a folder). False, with the reason, when the file is
// skipped: a folder has the name, the file is the source itself, or the clash
// is answered Skip (always, without clashes). True with the action otherwise.
bool SettleClash(const std::wstring& source, const std::wstring& target, bool targetIsFolder, ClashPolicy* clashes,
                 ClashAction& action, std::wstring& reason);

// A file source is to go to target, where this same paste puts placed
// already. Never replaced: asked with both sources named (Skip or Keep
// both), and a standing answer Replace keeps both instead. False, with the
// reason, when the file is skipped; true with KeepBoth otherwise.
bool SettleOwnClash(const std::wstring& source, const std::wstring& target, const PlacedName& placed,
                    ClashPolicy* clashes, ClashAction& action, std::wstring& reason);

// Adds one more source (canonical, a file or a folder) to plan, to go to
// target, which may exist. decided, when not None, is the answer already
// given for a clash of the file source with target; besideOwn, for KeepBoth,
// the source of the file of this paste that it clashed with.
void AddToPlan(CopyPlan& plan, const std::wstring& source, const std::wstring& target, const PlanOptions& options,
               ClashAction decided = ClashAction::None, const std::wstring& besideOwn = std::wstring());

}  // namespace brellow
