#include "support/Process.h"

#include "support/Text.h"

#include <cstdio>

namespace brelltest {

ChildProcess::~ChildProcess() {
    if (info_.hThread) CloseHandle(info_.hThread);
    if (info_.hProcess) CloseHandle(info_.hProcess);
}

bool ChildProcess::Start(const std::wstring& commandLine, const StartOptions& options) {
    commandLine_ = commandLine;
    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (options.showCommand >= 0) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(options.showCommand);
    }
    if (options.output) {
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = options.output;
        startup.hStdError = options.output;
    }
    if (CreateProcessW(options.application.empty() ? nullptr : options.application.c_str(), &line[0], nullptr,
                       nullptr, options.output ? TRUE : FALSE, 0, nullptr,
                       options.currentFolder.empty() ? nullptr : options.currentFolder.c_str(), &startup, &info_))
        return true;
    info_ = {};
    failure_ = "cannot start " + Utf8(commandLine) + ": error " + std::to_string(GetLastError());
    return false;
}

bool ChildProcess::Running() const {
    return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD ChildProcess::Wait(DWORD timeoutMs) {
    if (!info_.hProcess) return kNoExitCode;
    DWORD code = kNoExitCode;
    if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        failure_ = Utf8(commandLine_) + " did not end within " + std::to_string(timeoutMs / 1000) + " s";
        return kNoExitCode;
    }
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

void ChildProcess::Stop(UINT exitCode, DWORD timeoutMs) {
    if (!Running()) return;
    TerminateProcess(info_.hProcess, exitCode);
    WaitForSingleObject(info_.hProcess, timeoutMs);
}

DWORD RunAndWait(const std::wstring& commandLine, DWORD timeoutMs) {
    ChildProcess process;
    const DWORD code = process.Start(commandLine) ? process.Wait(timeoutMs) : kNoExitCode;
    if (!process.failure().empty()) std::fprintf(stderr, "%s\n", process.failure().c_str());
    return code;
}

Captured RunAndCapture(const std::wstring& commandLine, DWORD timeoutMs) {
    Captured outcome;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        outcome.failure = "no pipe: error " + std::to_string(GetLastError());
        return outcome;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    ChildProcess process;
    StartOptions options;
    options.output = writeEnd;
    const bool started = process.Start(commandLine, options);
    CloseHandle(writeEnd);
    if (started) {
        // Read while the program runs, then what it left in the pipe; not up
        // to the pipe's end: a process it started may hold the write end long
        // after it ended (under Wine, the desktop process that the first
        // window-using program of a prefix starts gets its standard handles).
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        bool exited = false;
        for (;;) {
            DWORD available = 0;
            if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;  // every writer is gone
            if (available) {
                char chunk[4096];
                DWORD read = 0;
                const DWORD want = available < sizeof(chunk) ? available : static_cast<DWORD>(sizeof(chunk));
                if (!ReadFile(readEnd, chunk, want, &read, nullptr) || !read) break;
                outcome.output.append(chunk, read);
                continue;
            }
            if (exited) break;
            exited = WaitForSingleObject(process.handle(), 20) == WAIT_OBJECT_0;
            if (!exited && GetTickCount64() > deadline) break;
        }
        if (process.Running())
            outcome.failure = Utf8(commandLine) + " did not end within " + std::to_string(timeoutMs / 1000) + " s";
        else
            outcome.exitCode = process.Wait(0);
    } else {
        outcome.failure = process.failure();
    }
    CloseHandle(readEnd);
    if (!outcome.failure.empty()) std::fprintf(stderr, "%s\n", outcome.failure.c_str());
    return outcome;
}

}  // namespace brelltest
