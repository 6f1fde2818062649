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
                         std::wstring& placedAt) {
    const std::wstring folder = ParentFolder(target);
    const std::wstring name = LastComponent(target);
    DWORD error = ERROR_FILE_EXISTS;
    for (unsigned number = 1; number <= kLastNumber; ++number) {
        const std::wstring candidate = number == 1 ? target : JoinPath(folder, NumberedName(name, number));
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

DWORD PlaceStagedFile(StagedFile& staged, const PlanItem& item, std::wstring& placedAt) {
    switch (item.clash) {
    case ClashAction::Replace: {
        const DWORD error = ReplaceExisting(item.target, [&] { return staged.Replace(item.target); });
        if (!error) placedAt = item.target;
        return error;
    }
    case ClashAction::KeepBoth:
        return PlaceUnderFreeName(item.target, [&](const std::wstring& name) { return staged.Commit(name); },
                                  placedAt);
    case ClashAction::None:
        break;
    }
    const DWORD error = staged.Commit(item.target);
    if (!error) placedAt = item.target;
    return error;
}

DWORD RemoveMovedSource(HANDLE source, DWORD attributes) {
    // A read-only file refuses deletion; a move takes it all the same.
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !SetAttributes(source, attributes & ~FILE_ATTRIBUTE_READONLY)) return GetLastError();
    if (SetDisposition(source, true)) return 0;
    const DWORD error = GetLastError();
    if (readOnly) SetAttributes(source, attributes);
    return error;
}

}  // namespace brellow
