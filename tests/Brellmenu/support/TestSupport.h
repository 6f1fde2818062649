// Shared helpers of the Brellmenu tests: the server DLL loaded the way a
// client loads it, registry reads and clean-up, files and the clipboard.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace brelltest {

// The product key, where the installer records the engine's folder as Path.
inline constexpr wchar_t kProductKey[] = L"Software\\Halvorin\\Brellow";

// Folder of the running test program, which holds every binary of the build.
std::wstring BinDir();
std::wstring BinPath(const wchar_t* file);

// The server's exports, reached through LoadLibraryW and GetProcAddress.
struct ServerDll {
    HMODULE module = nullptr;
    HRESULT(WINAPI* DllCanUnloadNow)() = nullptr;
    HRESULT(WINAPI* DllGetClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* DllInstall)(BOOL, LPCWSTR) = nullptr;
    HRESULT(WINAPI* DllRegisterServer)() = nullptr;
    HRESULT(WINAPI* DllUnregisterServer)() = nullptr;

    explicit ServerDll(const std::wstring& path);
    ~ServerDll();
    ServerDll(const ServerDll&) = delete;
    ServerDll& operator=(const ServerDll&) = delete;
    // The two exports every in-process server has, and the three of
    // self-registration.
    bool ok() const;
    bool ServesClasses() const { return module && DllCanUnloadNow && DllGetClassObject; }
};

// A fresh copy of Brellmenu.dll, so its module state starts from load.
std::wstring CopyServer(const std::wstring& folder);

// Registry helpers; view is 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY.
bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = 0);
bool ReadString(HKEY root, const std::wstring& path, const wchar_t* value, std::wstring* out,
                REGSAM view = 0);
bool ValueExists(HKEY root, const std::wstring& path, const wchar_t* value, REGSAM view = 0);
LONG WriteString(HKEY root, const std::wstring& path, const wchar_t* value,
                 const std::wstring& data, REGSAM view = 0);
LONG WriteDword(HKEY root, const std::wstring& path, const wchar_t* value, DWORD data);
void DeleteTree(HKEY root, const std::wstring& path, REGSAM view = 0);
void DeleteValue(HKEY root, const std::wstring& path, const wchar_t* value, REGSAM view = 0);

// The temporary folder, without its final backslash.
std::wstring TempFolder();

// Creates every folder of the path.
bool MakeFolders(const std::wstring& path);
std::wstring ReadUtf16File(const std::wstring& path);

// Puts a file list (CF_HDROP), a text, or nothing on the clipboard.
bool PutFilesOnClipboard(const std::vector<std::wstring>& files);
bool PutTextOnClipboard(const wchar_t* text);
bool EmptyTheClipboard();

// The absolute ID list of a file-system folder, or null.
PIDLIST_ABSOLUTE FolderPidl(const std::wstring& path);

// Runs a command line, waits for it and gives its exit code (~0u if it could
// not be started).
DWORD RunAndWait(const std::wstring& commandLine);

// Runs a command line with its standard output and error caught, until it
// ends (not until every process holding its output has ended); exitCode is
// ~0u if it could not be started or did not end within two minutes.
struct Captured {
    DWORD exitCode = ~0u;
    std::string output;
};
Captured RunAndCapture(std::wstring commandLine);

std::wstring HResultText(HRESULT hr);

}  // namespace brelltest
