#include "TreeWalk.h"

#include "Owners.h"
#include "Paths.h"

namespace brellow {

void ListFolder(const std::wstring& folder,
                const std::function<void(const std::wstring& path, const WIN32_FIND_DATAW& entry)>& found,
                const std::function<void(const std::wstring& path, const std::wstring& reason)>& failed) {
    WIN32_FIND_DATAW entry;
    brell::UniqueFind find(FindFirstFileExW(ForApi(JoinPath(folder, L"*")).c_str(), FindExInfoBasic, &entry,
                                            FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES)
            failed(folder, L"cannot read the folder: " + ErrorText(error));
        return;
    }
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = JoinPath(folder, name);
        if (IsPlainName(name))
            found(path, entry);
        else
            failed(path, L"its name cannot be used in the target folder");
    } while (FindNextFileW(find.get(), &entry));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) failed(folder, L"cannot read the folder: " + ErrorText(error));
}

}  // namespace brellow
