// regscript register|unregister FILE [--var NAME=VALUE]... [--user]
// Reads FILE as 8-bit text, decodes it as a "REGISTRY" resource is decoded,
// runs it and prints the HRESULT; the exit code is 0 only on success.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

#include "registrar/PerUserMode.h"
#include "registrar/RegObject.h"
#include "server/Errors.h"

namespace {

constexpr int kUsageExit = 2;

int Usage() {
    fwprintf(stderr, L"usage: regscript register|unregister FILE [--var NAME=VALUE]... [--user]\n");
    return kUsageExit;
}

HRESULT ReadWholeFile(LPCWSTR path, std::vector<char>& bytes) {
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
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!bytes.empty() && (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                               read != bytes.size())) {
            hr = FAILED(HResultFromLastError()) ? HResultFromLastError() : E_FAIL;
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

    std::vector<char> bytes;
    HRESULT hr = ReadWholeFile(argv[2], bytes);
    if (FAILED(hr)) return hr;
    return registrar.RunScriptBytes(bytes.data(), static_cast<DWORD>(bytes.size()), doRegister);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool usageError = false;
    HRESULT hr;
    try {
        hr = Run(argc, argv, &usageError);
    } catch (...) {
        hr = E_OUTOFMEMORY;
    }
    if (usageError) return Usage();
    wprintf(L"0x%08X\n", static_cast<unsigned>(hr));
    return SUCCEEDED(hr) ? 0 : 1;
}
