#include "Placement.h"

#include "FileHandles.h"
#include "Paths.h"

namespace brellow {
namespace {

// Enough for any folder a person keeps; beyond it the search gives up.
constexpr unsigned kLastNumber = 10000;

bool NameTaken(DWORD error) { return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS; }

}  // namespace

DWORD PlaceUnderFreeName(const std::wstring& target, const std::function<DWORD(const std::wstring&)>& place,
                         std::wstring& placedAt, const PlacedNames* reserved) {
    const std::wstring folder = ParentFolder(target);
    const std::wstring name = LastComponent(target);
    DWORD error = ERROR_FILE_EXISTS;
    for (unsigned number = 1; number <= kLastNumber; ++number) {
        const std::wstring numbered = number == 1 ? name : NumberedName(name, number);
        if (numbered.empty()) return ERROR_FILENAME_EXCED_RANGE;
        const std::wstring candidate = JoinPath(folder, numbered);
        PlacedName placed;
        if (reserved && reserved->Find(candidate, placed)) continue;
        // A cheap look first; the placing itself never replaces, so a name
        // taken after the look is only another round.
        if (GetFileAttributesW(ForApi(candidate).c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        error = place(candidate);
        if (!NameTaken(error)) {
            if (!error) placedAt = candidate;
            return error;
        }
    }
    return ERROR_FILE_EXISTS;
}

DWORD ReplaceExisting(const std::wstring& target, const std::function<DWORD()>& replaceWith) {
    const DWORD attributes = GetFileAttributesW(ForApi(target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_ALREADY_EXISTS;
    DWORD error = replaceWith();
    if (error != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
        !(attributes & FILE_ATTRIBUTE_READONLY))
        return error;
    if (!SetFileAttributesW(ForApi(target).c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) return error;
    error = replaceWith();
    if (error) SetFileAttributesW(ForApi(target).c_str(), attributes);
    return error;
}

DWORD PlaceStagedFile(StagedFile& staged, const PlanItem& item, std::wstring& placedAt,
                      const PlacedNames* reserved) {
    switch (item.clash) {
    case ClashAction::Replace: {
        const DWORD error = ReplaceExisting(item.target, [&] { return staged.Replace(item.target); });
        if (!error) placedAt = item.target;
        return error;
    }
    case ClashAction::KeepBoth:
        return PlaceUnderFreeName(item.target, [&](const std::wstring& name) { return staged.Commit(name); },
                                  placedAt, reserved);
    case ClashAction::None:
        break;
    }
    const DWORD error = staged.Commit(item.target);
    if (!error) placedAt = item.target;
    return error;
}

}  // namespace brellow
