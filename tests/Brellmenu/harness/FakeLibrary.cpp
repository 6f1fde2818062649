#include "harness/FakeLibrary.h"

#include <shobjidl.h>

#include "support/Folders.h"
#include "support/Registry.h"

namespace brelltest {

namespace {

constexpr wchar_t kConfigKey[] = L"Software\\BrellTest\\FakeLibrary";

}  // namespace

void RegisterFakeShellLibrary() {
    RegisterInprocServer(CLSID_ShellLibrary, BinPath(L"brell_fake_library.dll"), L"Both");
}

void ResetFakeLibrary() { DeleteTree(HKEY_CURRENT_USER, kConfigKey); }

void SetFakeLibrarySaveFolder(const std::wstring& path) {
    WriteString(HKEY_CURRENT_USER, kConfigKey, L"SaveFolder", path);
}

void FailFakeLibraryStep(DWORD step, HRESULT code) {
    WriteDword(HKEY_CURRENT_USER, kConfigKey, L"FailStep", step);
    WriteDword(HKEY_CURRENT_USER, kConfigKey, L"FailCode", static_cast<DWORD>(code));
}

std::wstring FakeLibraryLoadedFrom() {
    std::wstring name;
    ReadString(HKEY_CURRENT_USER, kConfigKey, L"LoadedFrom", &name);
    return name;
}

LONG LiveFakeLibraryObjects() {
    HMODULE fake = GetModuleHandleW(BinPath(L"brell_fake_library.dll").c_str());
    if (!fake) return 0;  // never loaded: nothing can be alive
    auto count = reinterpret_cast<LONG(WINAPI*)()>(
        reinterpret_cast<void (*)()>(GetProcAddress(fake, "FakeLibraryLiveObjects")));
    return count ? count() : -1;
}

}  // namespace brelltest
