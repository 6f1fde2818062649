#include "harness/StubEngine.h"

#include "support/Files.h"
#include "support/Folders.h"
#include "support/Product.h"
#include "support/Registry.h"

namespace brelltest {

StubEngine::StubEngine() {
    launched_ = CreateSemaphoreW(nullptr, 0, 100, L"BrellStubEngineLaunched");
    const std::wstring folder = TempFolder() + L"\\brell engine";
    if (!MakeFolders(folder) ||
        !CopyFileW(BinPath(L"brell_stub_engine.exe").c_str(), (folder + L"\\brellow.exe").c_str(), FALSE))
        return;
    folder_ = folder;
    DeleteFileW(Log().c_str());
}

StubEngine::~StubEngine() {
    if (launched_) CloseHandle(launched_);
}

bool StubEngine::SetPath(const std::wstring& path) const {
    return WriteString(HKEY_LOCAL_MACHINE, kProductKey, L"Path", path, KEY_WOW64_32KEY) == ERROR_SUCCESS;
}

void StubEngine::RemoveProductKey() const { ForgetProduct(); }

std::wstring StubEngine::WaitForLaunch() const {
    if (WaitForSingleObject(launched_, 60000) != WAIT_OBJECT_0) return L"<no launch>";
    std::wstring log = ReadUtf16File(Log());
    DeleteFileW(Log().c_str());
    if (!log.empty() && log.back() == L'\n') log.pop_back();
    return log;
}

bool StubEngine::LaunchPending() const { return WaitForSingleObject(launched_, 0) != WAIT_TIMEOUT; }

std::wstring StubEngine::Expected(const std::wstring& folder) const {
    return L"\"" + Engine() + L"\" \"" + folder + L"\"";
}

}  // namespace brelltest
