// The last step of a file's copy or move: the finished file takes its name
// as the plan item says (a free name, the clashing file replaced in one step,
// or the first free "name (n).ext").
#pragma once

#include "CopyPlan.h"
#include "StagedFile.h"

#include <windows.h>

#include <functional>
#include <string>

namespace brellow {

// Tries place(target) and, while that says ERROR_ALREADY_EXISTS or
// ERROR_FILE_EXISTS, place(...) with "name (2).ext", "name (3).ext" and so
// on, skipping names that are visibly taken and names that this paste gives
// other items (reserved, when given). placedAt: the name that took. Returns
// place's last result (ERROR_FILE_EXISTS when every number is taken,
// ERROR_FILENAME_EXCED_RANGE when a numbered name cannot be made short
// enough).
DWORD PlaceUnderFreeName(const std::wstring& target, const std::function<DWORD(const std::wstring&)>& place,
                         std::wstring& placedAt, const PlacedNames* reserved = nullptr);

// Replaces target by whatever replaceWith() puts there in one step. A
// read-only target, which the system refuses to replace, loses that
// attribute first and gets it back if the step fails. A folder is never
// replaced (ERROR_ALREADY_EXISTS).
DWORD ReplaceExisting(const std::wstring& target, const std::function<DWORD()>& replaceWith);

// Gives staged (finished) its final name for item. 0 on success, with
// placedAt the name it took; ERROR_ALREADY_EXISTS or ERROR_FILE_EXISTS when
// item's name was to be free and is not; another code when it failed. The
// staged file stays until a success. reserved: the names of the paste's
// plan, which a copy kept beside another never takes.
DWORD PlaceStagedFile(StagedFile& staged, const PlanItem& item, std::wstring& placedAt,
                      const PlacedNames* reserved);

}  // namespace brellow
