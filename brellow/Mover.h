// Carries out a cut and paste. Each item is renamed into the target folder
// where the file system can do that (both on one volume): a whole folder in
// one step where its name is free, no data copied. Where it cannot, decided
// item by item from the rename's answer, the item is copied as a paste copies
// it and each source file is deleted only once its copy is on the disk under
// its final name. A source folder is removed only when the move emptied it;
// whatever was skipped or failed stays where it was, and nothing is reported
// moved until its name is gone from its place. Only the listed items and
// what lies in them are removed: a link is removed as itself (or left),
// never followed.
// Three steps: the renames (MoveRename.h), the copier for what they left, and
// the removal of the source folders that are then empty.
#pragma once

#include "ClashPolicy.h"
#include "Copier.h"
#include "CopyProgress.h"
#include "Report.h"

#include <string>
#include <vector>

namespace brellow {

// Moves sources (the clipboard's list) into targetFolder (a full path) and
// reports each item. clashes settles names that are taken (null: skipped).
void MoveFiles(const std::vector<std::wstring>& sources, const std::wstring& targetFolder, Copier& copier,
               CopyProgress& progress, ClashPolicy* clashes, Report& report);

}  // namespace brellow
