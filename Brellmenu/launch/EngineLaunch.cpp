#include "launch/EngineLaunch.h"

#include <shellapi.h>

#include <cwchar>
#include <new>

#include "Owners.h"

namespace {

constexpr wchar_t kProductKey[] = L"Software\\Halvorin\\Brellow";
constexpr wchar_t kPathValue[] = L"Path";
constexpr wchar_t kEngineFile[] = L"\\brellow.exe";
// The installer is 32-bit: its key lives in the 32-bit view.
constexpr REGSAM kProductKeyAccess = KEY_READ | KEY_WOW64_32KEY;

// Owns a buffer from CoTaskMemAlloc.
using TaskString = brell::UniqueCoTaskMemString;

HRESULT AllocateString(size_t characters, TaskString& out) noexcept {
    if (characters > SIZE_MAX / sizeof(wchar_t)) return E_OUTOFMEMORY;
    out.reset(static_cast<wchar_t*>(CoTaskMemAlloc(characters * sizeof(wchar_t))));
    return out ? S_OK : E_OUTOFMEMORY;
}

// Reads Path as stored; a value without a terminator ends after its last
// character.
HRESULT ReadInstallFolder(TaskString& folder) noexcept {
    brell::UniqueHKey key;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, kProductKeyAccess, key.put());
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);

    DWORD bytes = 0;
    status = RegQueryValueExW(key.get(), kPathValue, nullptr, nullptr, nullptr, &bytes);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);

    // Room for an odd trailing byte and for a terminator of our own.
    const size_t characters = bytes / sizeof(wchar_t) + 2;
    HRESULT hr = AllocateString(characters, folder);
    if (FAILED(hr)) return hr;
    std::wmemset(folder.get(), L'\0', characters);
    DWORD readBytes = bytes;
    status = RegQueryValueExW(key.get(), kPathValue, nullptr, nullptr,
                              reinterpret_cast<BYTE*>(folder.get()), &readBytes);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    folder.get()[characters - 1] = L'\0';
    if (folder.get()[0] == L'\0') return E_FAIL;
    return S_OK;
}

}  // namespace

HRESULT EngineProgramPath(brell::UniqueCoTaskMemString& engine) noexcept {
    engine.reset();
    TaskString installFolder;
    HRESULT hr = ReadInstallFolder(installFolder);
    if (FAILED(hr)) return hr;

    // Path and the engine's name are joined as they are: the installer's
    // value is trusted to name the folder.
    const size_t folderLength = std::wcslen(installFolder.get());
    const size_t engineLength = sizeof(kEngineFile) / sizeof(wchar_t) - 1;
    hr = AllocateString(folderLength + engineLength + 1, engine);
    if (FAILED(hr)) return hr;
    std::wmemcpy(engine.get(), installFolder.get(), folderLength);
    std::wmemcpy(engine.get() + folderLength, kEngineFile, engineLength + 1);
    return S_OK;
}

HRESULT LaunchEngine(const wchar_t* targetFolder) noexcept {
    if (!targetFolder || !*targetFolder) return E_INVALIDARG;

    TaskString engine;
    HRESULT hr = EngineProgramPath(engine);
    if (FAILED(hr)) return hr;

    const size_t targetLength = std::wcslen(targetFolder);
    TaskString parameters;
    hr = AllocateString(targetLength + 3, parameters);
    if (FAILED(hr)) return hr;
    parameters.get()[0] = L'"';
    std::wmemcpy(parameters.get() + 1, targetFolder, targetLength);
    parameters.get()[targetLength + 1] = L'"';
    parameters.get()[targetLength + 2] = L'\0';

    // The engine reports its own problems; a failed start shows nothing here.
    SHELLEXECUTEINFOW start = {};
    start.cbSize = sizeof(start);
    start.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    start.lpVerb = L"open";
    start.lpFile = engine.get();
    start.lpParameters = parameters.get();
    start.nShow = SW_SHOW;
    if (ShellExecuteExW(&start) && start.hProcess) {
        // The menu's host may bring a window to the front (Explorer hands
        // that right to the surrogate that runs the top-level command); the
        // engine's progress window and clash dialog need it, or they open
        // behind Explorer. Passed on to the engine's process.
        AllowSetForegroundWindow(GetProcessId(start.hProcess));
        CloseHandle(start.hProcess);
    }
    return S_OK;
}
