// The stand-in engine that the launch tests start: brell_stub_engine.exe
// copied as brellow.exe into a folder of its own, which Path names as the
// installer would. Each start appends its raw command line to launches.log
// beside it and releases a semaphore the test waits on.
#pragma once

#include <windows.h>

#include <string>

namespace brelltest {

class StubEngine {
public:
    StubEngine();
    ~StubEngine();
    StubEngine(const StubEngine&) = delete;
    StubEngine& operator=(const StubEngine&) = delete;

    bool ok() const { return launched_ != nullptr && !folder_.empty(); }
    const std::wstring& Folder() const { return folder_; }
    std::wstring Engine() const { return folder_ + L"\\brellow.exe"; }
    std::wstring Log() const { return folder_ + L"\\launches.log"; }

    // Writes Path into the product key's 32-bit view (the installer's).
    bool SetPath(const std::wstring& path) const;
    bool SetPath() const { return SetPath(folder_); }
    // Removes the product key from both views.
    void RemoveProductKey() const;

    // The command line of the one launch expected now ("<no launch>" when
    // none comes within a minute), and the log cleared for the next.
    std::wstring WaitForLaunch() const;
    // Whether a launch came that nobody waited for.
    bool LaunchPending() const;
    // What the engine must see: its own file, quoted, and the quoted folder.
    std::wstring Expected(const std::wstring& folder) const;

private:
    HANDLE launched_ = nullptr;
    std::wstring folder_;
};

}  // namespace brelltest
