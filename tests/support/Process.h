// Programs the tests start (the programs under test, and the system's, such
// as regsvr32): every wait bounded, and where a program could not be run,
// the reason.
#pragma once

#include <windows.h>

#include <string>

namespace brelltest {

// The exit code of a program that could not be started or did not end in time.
inline constexpr DWORD kNoExitCode = ~0u;

struct StartOptions {
    std::wstring application;    // empty: the command line's first word
    std::wstring currentFolder;  // empty: this program's
    int showCommand = -1;        // < 0: none passed
    HANDLE output = nullptr;     // an inheritable handle for standard output and error
};

// A started program. Its handles are closed when it goes; the program itself
// runs on.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False, with the reason in failure(), when it could not be started.
    bool Start(const std::wstring& commandLine, const StartOptions& options = {});
    const PROCESS_INFORMATION& info() const { return info_; }
    HANDLE handle() const { return info_.hProcess; }
    bool Running() const;
    // Waits up to timeoutMs for its end: its exit code, or kNoExitCode with
    // the reason in failure().
    DWORD Wait(DWORD timeoutMs = INFINITE);
    // Ends it with exitCode if it still runs, and waits up to timeoutMs for that.
    void Stop(UINT exitCode, DWORD timeoutMs);
    const std::string& failure() const { return failure_; }

private:
    std::wstring commandLine_;
    PROCESS_INFORMATION info_ = {};
    std::string failure_;
};

// Runs a command line and waits for it: its exit code, or kNoExitCode (the
// reason goes to the standard error).
DWORD RunAndWait(const std::wstring& commandLine, DWORD timeoutMs = INFINITE);

// Runs a command line with its standard output and error caught, until it
// ends (not until every process holding its output has ended) or timeoutMs
// have passed.
struct Captured {
    DWORD exitCode = kNoExitCode;
    std::string output;
    std::string failure;  // why there is no exit code, else empty
};
Captured RunAndCapture(const std::wstring& commandLine, DWORD timeoutMs = 120000);

}  // namespace brelltest
