// regscript register|unregister FILE [--var NAME=VALUE]... [--user]
// Reads FILE as 8-bit text, decodes it as a "REGISTRY" resource is decoded,
// runs it and prints the HRESULT; the exit code is 0 only on success.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "registrar/PerUserMode.h"
#include "registrar/RegObject.h"
#include "server/Errors.h"

namespace {

constexpr int kUsageExit = 2;

int Usage() {
    fwprintf(stderr, L"usage: regscript register|unregister FILE [--var NAME=VALUE]... [--user]\n");
    return kUsageExit;
}

// The whole file in a heap block that the caller frees with HeapFree.
HRESULT ReadWholeFile(LPCWSTR path, char** bytes, DWORD* count) {
    *bytes = nullptr;
    *count = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return HResultFromLastError();
    HRESULT hr = S_OK;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        hr = HResultFromLastError();
    } else if (size.QuadPart >= 0x7FFFFFFF) {
        hr = E_OUTOFMEMORY;
    } else {
        const DWORD wanted = static_cast<DWORD>(size.QuadPart);
        *bytes = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, wanted + 1));
        DWORD read = 0;
        if (!*bytes) {
            hr = E_OUTOFMEMORY;
        } else if (wanted != 0 && (!ReadFile(file, *bytes, wanted, &read, nullptr) || read != wanted)) {
            hr = FAILED(HResultFromLastError()) ? HResultFromLastError() : E_FAIL;
        } else {
            *count = wanted;
        }
    }
    CloseHandle(file);
    return hr;
}

HRESULT Run(int argc, wchar_t** argv, bool* usageError) {
    *usageError = false;
    if (argc < 3) {
        *usageError = true;
        return E_INVALIDARG;
    }
    BOOL doRegister;
    if (lstrcmpiW(argv[1], L"register") == 0) {
        doRegister = TRUE;
    } else if (lstrcmpiW(argv[1], L"unregister") == 0) {
        doRegister = FALSE;
    } else {
        *usageError = true;
        return E_INVALIDARG;
    }

    CRegObject registrar;
    for (int i = 3; i < argc; ++i) {
        if (wcscmp(argv[i], L"--user") == 0) {
            g_perUserRegistration = true;
        } else if (wcscmp(argv[i], L"--var") == 0 && i + 1 < argc) {
            wchar_t* pair = argv[++i];
            wchar_t* equals = wcschr(pair, L'=');
            if (!equals || equals == pair) {
                *usageError = true;
                return E_INVALIDARG;
            }
            *equals = L'\0';
            const HRESULT hr = registrar.AddVariable(pair, equals + 1);
            if (FAILED(hr)) return hr;
        } else {
            *usageError = true;
            return E_INVALIDARG;
        }
    }

    char* bytes = nullptr;
    DWORD count = 0;
    HRESULT hr = ReadWholeFile(argv[2], &bytes, &count);
    if (SUCCEEDED(hr)) hr = registrar.RunScriptBytes(bytes, count, doRegister);
    if (bytes) HeapFree(GetProcessHeap(), 0, bytes);
    return hr;
}

// DLLs from System32 only, never from the folder the tool was started in.
// Looked up by name: systems without the update that brings it lack it.
void LoadDllsFromSystemOnly() {
    if (const auto set = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories"))
        reinterpret_cast<BOOL(WINAPI*)(DWORD)>(reinterpret_cast<void (*)()>(set))(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Leaves the starting folder for System32 (a folder in use cannot be
// removed), after the script's name, which may be relative to it, is made full.
void LeaveStartingFolder(int argc, wchar_t** argv) {
    static wchar_t script[32768];
    if (argc >= 3) {
        const DWORD length = GetFullPathNameW(argv[2], ARRAYSIZE(script), script, nullptr);
        if (length && length < ARRAYSIZE(script)) argv[2] = script;
    }
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length && length < MAX_PATH) SetCurrentDirectoryW(system);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    LoadDllsFromSystemOnly();
    LeaveStartingFolder(argc, argv);
    bool usageError = false;
    const HRESULT hr = Run(argc, argv, &usageError);
    if (usageError) return Usage();
    wprintf(L"0x%08X\n", static_cast<unsigned>(hr));
    return SUCCEEDED(hr) ? 0 : 1;
}
