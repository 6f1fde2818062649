#include "support/Folders.h"

#include "support/Files.h"

namespace brelltest {

std::wstring ProgramFile() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length < MAX_PATH ? length : 0);
}

std::wstring BinDir() {
    const std::wstring file = ProgramFile();
    return file.substr(0, file.find_last_of(L'\\'));
}

std::wstring BinPath(const std::wstring& file) { return BinDir() + L"\\" + file; }

std::wstring TempFolder() {
    wchar_t temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    std::wstring folder(temp, length < MAX_PATH ? length : 0);
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}

std::wstring HostPath(const std::wstring& unixPath) {
    std::wstring path = L"Z:" + unixPath;
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

ScratchFolder::ScratchFolder(const std::wstring& name, const std::wstring& under) {
    static LONG counter = 0;
    const bool ends = !under.empty() && under.back() == L'\\';  // a drive's root
    path_ = under + (ends ? L"" : L"\\") + name + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(InterlockedIncrement(&counter));
    MakeFolders(path_);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

}  // namespace brelltest
