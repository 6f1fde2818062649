// regscript register|unregister FILE [--var NAME=VALUE]... [--user]
// Reads FILE as 8-bit text, decodes it as a "REGISTRY" resource is decoded,
// runs it and prints the HRESULT; the exit code is 0 only on success.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "Owners.h"
#include "registrar/PerUserMode.h"
#include "registrar/RegObject.h"
#include "server/Errors.h"

namespace {

constexpr int kUsageExit = 2;

int Usage() {
    fwprintf(stderr, L"usage: regscript register|unregister FILE [--var NAME=VALUE]... [--user]\n");
    return kUsageExit;
}

using HeapBytes = brell::UniqueHeapMem<char>;

// The whole file in a heap block.
HRESULT ReadWholeFile(LPCWSTR path, HeapBytes& bytes, DWORD* count) {
    *count = 0;
    brell::UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return HResultFromLastError();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return HResultFromLastError();
    if (size.QuadPart >= 0x7FFFFFFF) return E_OUTOFMEMORY;
    const DWORD wanted = static_cast<DWORD>(size.QuadPart);
    bytes.reset(static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, wanted + 1)));
    if (!bytes) return E_OUTOFMEMORY;
    DWORD read = 0;
    if (wanted != 0 && (!ReadFile(file.get(), bytes.get(), wanted, &read, nullptr) || read != wanted))
        return FAILED(HResultFromLastError()) ? HResultFromLastError() : E_FAIL;
    *count = wanted;
    return S_OK;
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

    HeapBytes bytes;
    DWORD count = 0;
    const HRESULT hr = ReadWholeFile(argv[2], bytes, &count);
    if (FAILED(hr)) return hr;
    return registrar.RunScriptBytes(bytes.get(), count, doRegister);
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
