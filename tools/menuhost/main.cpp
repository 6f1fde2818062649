// menuhost FOLDER [--put-files PATH... | --cut-files PATH...] [--invoke TEXT] [--wait-engine]
//
// Plays Explorer's part for a folder's background: builds the context menu
// from the registered handlers, prints it, and invokes the item with the
// given text. --put-files first puts those files on the clipboard (as a file
// manager's Copy does), --cut-files as its Cut does; --wait-engine then waits for every brellow.exe that
// the invocation started, keeping this process, and with it the clipboard's
// contents, alive meanwhile.
// Exit code: 0 done; 1 no item with that text; 2 bad use or a failed step.
#include "BackgroundMenu.h"
#include "PutClipboardFiles.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

std::set<DWORD> EngineProcesses() {
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szExeFile, L"brellow.exe") == 0) ids.insert(entry.th32ProcessID);
    CloseHandle(snapshot);
    return ids;
}

// The menu starts the engine without telling anyone; it shows up in the
// process list shortly after the invocation returns.
int WaitForNewEngines(const std::set<DWORD>& before) {
    std::vector<HANDLE> engines;
    for (int attempt = 0; attempt < 200 && engines.empty(); ++attempt) {
        for (DWORD id : EngineProcesses()) {
            if (before.count(id)) continue;
            if (HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id))
                engines.push_back(process);
        }
        if (engines.empty()) Sleep(50);
    }
    if (engines.empty()) {
        std::printf("no brellow.exe was started\n");
        return 2;
    }
    int result = 0;
    for (HANDLE process : engines) {
        WaitForSingleObject(process, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        std::printf("brellow.exe ended with exit code %lu\n", code);
        if (code != 0) result = 2;
        CloseHandle(process);
    }
    return result;
}

int Usage() {
    std::printf("usage: menuhost FOLDER [--put-files PATH... | --cut-files PATH...] [--invoke TEXT] [--wait-engine]\n");
    return 2;
}

// DLLs from System32 only, never from the folder the tool was started in.
// Looked up by name: systems without the update that brings it lack it.
void LoadDllsFromSystemOnly() {
    if (const auto set = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories"))
        reinterpret_cast<BOOL(WINAPI*)(DWORD)>(reinterpret_cast<void (*)()>(set))(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

std::wstring Full(const std::wstring& path) {
    wchar_t full[32768];
    const DWORD length = GetFullPathNameW(path.c_str(), ARRAYSIZE(full), full, nullptr);
    return length && length < ARRAYSIZE(full) ? std::wstring(full, length) : path;
}

// Names on the command line may be relative to the starting folder: they are
// made full before the tool moves to System32 (a folder in use cannot be
// removed).
void LeaveStartingFolder(std::wstring& folder, std::vector<std::wstring>& files) {
    folder = Full(folder);
    for (std::wstring& file : files) file = Full(file);
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length && length < MAX_PATH) SetCurrentDirectoryW(system);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    LoadDllsFromSystemOnly();
    std::wstring folder;
    std::wstring invoke;
    std::vector<std::wstring> files;
    bool waitEngine = false;
    bool cut = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--put-files" || arg == L"--cut-files") {
            cut = arg == L"--cut-files";
            while (i + 1 < argc && std::wstring(argv[i + 1]).compare(0, 2, L"--") != 0) files.push_back(argv[++i]);
        } else if (arg == L"--invoke" && i + 1 < argc) {
            invoke = argv[++i];
        } else if (arg == L"--wait-engine") {
            waitEngine = true;
        } else if (arg.compare(0, 2, L"--") != 0 && folder.empty()) {
            folder = arg;
        } else {
            return Usage();
        }
    }
    if (folder.empty()) return Usage();
    LeaveStartingFolder(folder, files);

    if (!files.empty()) {
        if (!(cut ? brell::CutClipboardFiles(files) : brell::PutClipboardFiles(files))) {
            std::printf("could not put the files on the clipboard\n");
            return 2;
        }
        std::printf("clipboard: %zu file(s), %s\n", files.size(), cut ? "cut" : "copied");
    }

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    int result = 0;
    {
        brell::BackgroundMenu menu;
        const HRESULT built = menu.Build(folder);
        if (FAILED(built)) {
            std::printf("cannot build the menu of %ls: 0x%08lX\n", folder.c_str(), static_cast<unsigned long>(built));
            CoUninitialize();
            return 2;
        }
        for (const auto& handler : menu.handlers())
            std::printf("handler %ls: 0x%08lX, %u item id(s)\n", handler.clsid.c_str(),
                        static_cast<unsigned long>(handler.result), handler.idCount);
        std::printf("menu of %ls:\n", folder.c_str());
        for (const auto& item : menu.items()) {
            if (item.text.empty())
                std::printf("  [%u] ----\n", item.id);
            else
                std::printf("  [%u] %ls%s%ls\n", item.id, item.text.c_str(), item.helpText.empty() ? "" : "  -- ",
                            item.helpText.c_str());
        }

        if (!invoke.empty()) {
            const std::set<DWORD> before = EngineProcesses();
            const HRESULT hr = menu.Invoke(invoke);
            std::printf("invoke \"%ls\": 0x%08lX\n", invoke.c_str(), static_cast<unsigned long>(hr));
            if (hr == HRESULT_FROM_WIN32(ERROR_NOT_FOUND))
                result = 1;
            else if (FAILED(hr))
                result = 2;
            else if (waitEngine)
                result = WaitForNewEngines(before);
        }
    }
    CoUninitialize();
    std::fflush(stdout);
    return result;
}
