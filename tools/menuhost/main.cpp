// menuhost FOLDER [--modern] [--put-files PATH... | --cut-files PATH...] [--invoke TEXT] [--wait-engine]
//          [--package-registered FAMILY]
// menuhost --drop FOLDER PATH... [--invoke TEXT | --verb VERB] [--wait-engine]
//
// Plays Explorer's part for a folder's background: builds the context menu
// from the registered handlers, prints it, and invokes the item with the
// given text. --modern builds Windows 11's top-level menu instead, from the
// packaged "Paste with Brellow" command (its class registered as the package
// registers it), asking a new command object each question as Explorer does. --put-files first puts those files on the clipboard (as a file
// manager's Copy does), --cut-files as its Cut does; --wait-engine then waits for every brellow.exe that
// the invocation started, keeping this process, and with it the clipboard's
// contents, alive meanwhile. --drop plays a right-drag of the files onto the
// folder instead (DropMenu.h): the drop menu, an item invoked by its text or
// its verb; the clipboard is left alone. --package-registered plays Windows
// 11 with the package of that family registered for the user (Wine has no
// packages): the classic handler's question about it gets that answer.
// Exit code: 0 done; 1 no item with that text; 2 bad use or a failed step.
#include "BackgroundMenu.h"
#include "DropMenu.h"
#include "ModernMenu.h"
#include "Owners.h"
#include "PackageStandIn.h"
#include "PutClipboardFiles.h"
#include "command/CommandIdentity.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// The classic paste menu's class.
const CLSID kMenuClsid = {0x5d3e8a17, 0x2c4b, 0x4f61, {0x9a, 0x0e, 0x7b, 0x1c, 0x3d, 0x5f, 0x8e, 0x24}};

std::set<DWORD> EngineProcesses() {
    std::set<DWORD> ids;
    brell::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return ids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
        if (_wcsicmp(entry.szExeFile, L"brellow.exe") == 0) ids.insert(entry.th32ProcessID);
    return ids;
}

// The menu starts the engine without telling anyone; it shows up in the
// process list shortly after the invocation returns.
int WaitForNewEngines(const std::set<DWORD>& before) {
    std::vector<brell::UniqueHandle> engines;
    for (int attempt = 0; attempt < 200 && engines.empty(); ++attempt) {
        for (DWORD id : EngineProcesses()) {
            if (before.count(id)) continue;
            brell::UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
            if (process) engines.push_back(std::move(process));
        }
        if (engines.empty()) Sleep(50);
    }
    if (engines.empty()) {
        std::printf("no brellow.exe was started\n");
        return 2;
    }
    int result = 0;
    for (const brell::UniqueHandle& process : engines) {
        WaitForSingleObject(process.get(), INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.get(), &code);
        std::printf("brellow.exe ended with exit code %lu\n", code);
        if (code != 0) result = 2;
    }
    return result;
}

int Usage() {
    std::printf("usage: menuhost FOLDER [--modern] [--put-files PATH... | --cut-files PATH...] [--invoke TEXT] "
                "[--wait-engine] [--package-registered FAMILY]\n"
                "       menuhost --drop FOLDER PATH... [--invoke TEXT | --verb VERB] [--wait-engine]\n");
    return 2;
}

// DLLs from System32 only, never from the folder the tool was started in.
// Looked up by name: systems without the update that brings it lack it.
void LoadDllsFromSystemOnly() {
    if (const auto set = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories"))
        reinterpret_cast<BOOL(WINAPI*)(DWORD)>(reinterpret_cast<void (*)()>(set))(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

std::wstring Full(const std::wstring& path) {
    // A shell namespace name (This PC is "::{20D04FE0-...}") is no file path.
    if (path.compare(0, 2, L"::") == 0) return path;
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


// Prints the menu that the registered context-menu handlers build and, when
// asked to, invokes the item with that text (engines: the engines running
// just before). 0, or 2 when the menu could not be built.
int ShowClassicMenu(const std::wstring& folder, const std::wstring& invoke, std::set<DWORD>& engines,
                    HRESULT& invoked) {
    brell::BackgroundMenu menu;
    const HRESULT built = menu.Build(folder);
    if (FAILED(built)) {
        std::printf("cannot build the menu of %ls: 0x%08lX\n", folder.c_str(), static_cast<unsigned long>(built));
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
        engines = EngineProcesses();
        invoked = menu.Invoke(invoke);
    }
    return 0;
}

// The same for Windows 11's top-level menu with the packaged command: what
// each command answered, then the commands shown.
int ShowModernMenu(const std::wstring& folder, const std::wstring& invoke, std::set<DWORD>& engines,
                   HRESULT& invoked) {
    brell::ModernMenu menu;
    const HRESULT built = menu.Build(folder, {CLSID_PasteCommand});
    if (FAILED(built)) {
        std::printf("cannot build the menu of %ls: 0x%08lX\n", folder.c_str(), static_cast<unsigned long>(built));
        return 2;
    }
    for (const auto& command : menu.commands()) {
        wchar_t clsid[40] = L"";
        StringFromGUID2(command.clsid, clsid, 40);
        std::printf("command %ls: 0x%08lX, state %s, flags 0x%lX, icon %ls\n", clsid,
                    static_cast<unsigned long>(command.result),
                    command.state == ECS_ENABLED ? "enabled" : command.state == ECS_HIDDEN ? "hidden" : "other",
                    static_cast<unsigned long>(command.flags), command.icon.empty() ? L"(none)" : command.icon.c_str());
    }
    std::printf("top-level menu of %ls:\n", folder.c_str());
    unsigned shown = 0;
    for (const auto& command : menu.commands()) {
        if (FAILED(command.result) || command.state != ECS_ENABLED) continue;
        std::printf("  [%u] %ls%s%ls\n", ++shown, command.title.c_str(), command.toolTip.empty() ? "" : "  -- ",
                    command.toolTip.c_str());
    }
    if (!invoke.empty()) {
        engines = EngineProcesses();
        invoked = menu.Invoke(invoke);
    }
    return 0;
}

// The same for a right-drag of files onto the folder: the shell's items,
// then the handlers'; the item chosen by its text or its verb.
int ShowDropMenu(const std::wstring& folder, const std::vector<std::wstring>& files, const std::wstring& invoke,
                 const std::wstring& verb, std::set<DWORD>& engines, HRESULT& invoked) {
    brell::DropMenu menu;
    const HRESULT built = menu.Build(folder, files);
    if (FAILED(built)) {
        std::printf("cannot build the drop menu of %ls: 0x%08lX\n", folder.c_str(), static_cast<unsigned long>(built));
        return 2;
    }
    for (const auto& handler : menu.handlers())
        std::printf("handler %ls (%ls): 0x%08lX, %u item id(s)\n", handler.clsid.c_str(), handler.key.c_str(),
                    static_cast<unsigned long>(handler.result), handler.idCount);
    std::printf("drop menu of %ls, %zu file(s):\n", folder.c_str(), files.size());
    for (const auto& item : menu.items()) {
        if (item.text.empty()) {
            std::printf("  [%u] ----\n", item.id);
            continue;
        }
        std::printf("  [%u] %ls%s%ls%s%ls%s\n", item.id, item.text.c_str(), item.helpText.empty() ? "" : "  -- ",
                    item.helpText.c_str(), item.verb.empty() ? "" : " (verb ", item.verb.c_str(),
                    item.verb.empty() ? "" : ")");
    }
    if (!invoke.empty() || !verb.empty()) {
        engines = EngineProcesses();
        invoked = verb.empty() ? menu.Invoke(invoke) : menu.InvokeVerb(verb);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    LoadDllsFromSystemOnly();
    std::wstring folder;
    std::wstring invoke;
    std::vector<std::wstring> files;
    bool waitEngine = false;
    bool cut = false;
    bool modern = false;
    bool drop = false;
    std::wstring verb;
    std::vector<std::wstring> dropped;
    std::wstring registered;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--put-files" || arg == L"--cut-files") {
            cut = arg == L"--cut-files";
            while (i + 1 < argc && std::wstring(argv[i + 1]).compare(0, 2, L"--") != 0) files.push_back(argv[++i]);
        } else if (arg == L"--invoke" && i + 1 < argc) {
            invoke = argv[++i];
        } else if (arg == L"--wait-engine") {
            waitEngine = true;
        } else if (arg == L"--modern") {
            modern = true;
        } else if (arg == L"--drop" && i + 1 < argc && folder.empty()) {
            drop = true;
            folder = argv[++i];
            while (i + 1 < argc && std::wstring(argv[i + 1]).compare(0, 2, L"--") != 0) dropped.push_back(argv[++i]);
        } else if (arg == L"--verb" && i + 1 < argc) {
            verb = argv[++i];
        } else if (arg == L"--package-registered" && i + 1 < argc) {
            registered = argv[++i];
        } else if (arg.compare(0, 2, L"--") != 0 && folder.empty()) {
            folder = arg;
        } else {
            return Usage();
        }
    }
    if (folder.empty() || (drop && (dropped.empty() || modern || !files.empty())) || (!drop && !verb.empty()))
        return Usage();
    for (std::wstring& file : dropped) file = Full(file);
    LeaveStartingFolder(folder, files);

    if (!files.empty()) {
        if (!(cut ? brell::CutClipboardFiles(files) : brell::PutClipboardFiles(files))) {
            std::printf("could not put the files on the clipboard\n");
            return 2;
        }
        std::printf("clipboard: %zu file(s), %s\n", files.size(), cut ? "cut" : "copied");
    }

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    if (!registered.empty() && !brell::RegisterPackageForHandler(kMenuClsid, registered)) {
        std::printf("cannot stand in for the package registration in the paste menu's server\n");
        CoUninitialize();
        return 2;
    }
    HRESULT invoked = S_OK;
    std::set<DWORD> engines;
    const int built = drop     ? ShowDropMenu(folder, dropped, invoke, verb, engines, invoked)
                      : modern ? ShowModernMenu(folder, invoke, engines, invoked)
                               : ShowClassicMenu(folder, invoke, engines, invoked);
    int result = built;
    if (!registered.empty()) std::printf("package families asked: %ls\n", brell::AskedFamilies().c_str());
    if (built == 0 && (!invoke.empty() || !verb.empty())) {
        std::printf("invoke \"%ls\": 0x%08lX\n", verb.empty() ? invoke.c_str() : verb.c_str(),
                    static_cast<unsigned long>(invoked));
        if (invoked == HRESULT_FROM_WIN32(ERROR_NOT_FOUND))
            result = 1;
        else if (FAILED(invoked))
            result = 2;
        else if (waitEngine)
            result = WaitForNewEngines(engines);
    }
    CoUninitialize();
    std::fflush(stdout);
    return result;
}
