// brellow.exe "<target folder>": pastes the files and folders on the
// clipboard into the target folder: copies them, or moves them when they
// were cut. brellow.exe --list-copy=<handle> "<target folder>" (or
// --list-move) takes the files from the list the right-drag menu hands over
// instead, and never touches the clipboard.
#include "ClashPolicy.h"
#include "ClipboardFiles.h"
#include "CommandLine.h"
#include "Copier.h"
#include "CopyPlan.h"
#include "CopyProgress.h"
#include "ListInput.h"
#include "Owners.h"
#include "Mover.h"
#include "Paths.h"
#include "ProgressWindow.h"
#include "Report.h"
#include "Settings.h"

#include <windows.h>

#include <atomic>
#include <new>
#include <string>
#include <vector>

using namespace brellow;

namespace {

// Exit codes of the copying thread; anything else means it did not end
// through its own return (it was ended from outside, for instance).
constexpr DWORD kThreadFinished = 0;
constexpr DWORD kThreadOutOfMemory = 1;
constexpr DWORD kThreadError = 2;

struct CopyJob {
    const std::vector<std::wstring>* sources;
    const std::wstring* target;
    Copier* copier;
    CopyProgress* progress;
    ClashPolicy* clashes;
    bool move;
    Report* report;  // the copying thread's alone until it ends
    std::atomic<bool> finished{false};  // set as the thread's last step
};

// Plans and copies. Planning walks every source folder, which takes a while
// for large trees, so it runs here too, with the window already up.
DWORD WINAPI CopyThread(void* parameter) {
    auto* job = static_cast<CopyJob*>(parameter);
    DWORD status = kThreadFinished;
    // Path strings are the only allocations; running out of memory for them
    // ends the run with a message instead of a silent abort.
    try {
        if (job->move) {
            MoveFiles(*job->sources, *job->target, *job->copier, *job->progress, job->clashes, *job->report);
            job->finished = true;
            return status;
        }
        PlanOptions options;
        options.clashes = job->clashes;
        const CopyPlan plan = MakeCopyPlan(*job->sources, *job->target, options);
        job->copier->Run(plan, *job->report);
    } catch (const std::bad_alloc&) {
        status = kThreadOutOfMemory;
    } catch (...) {
        status = kThreadError;
    }
    job->finished = true;
    return status;
}

// Only a thread that returned by itself, without an error, has told the
// report everything. Anything else is a failure, never success or a cancel.
bool CheckCopyThread(DWORD code, bool returned, bool move, Report& report) {
    if (returned && code == kThreadFinished) return true;
    const std::wstring what = returned && code == kThreadOutOfMemory
                                  ? (move ? L"Brellow ran out of memory; the move stopped. "
                                          : L"Brellow ran out of memory; the copy stopped. ")
                                  : (move ? L"The move stopped on an unexpected error. "
                                          : L"The copy stopped on an unexpected error. ");
    report.Stopped(what + (move ? L"Files not reported as moved are still where they were; some may also be "
                                  L"complete in the target folder."
                                : L"Files not reported as copied may be missing."));
    return false;
}

// Creating and deleting a scratch file is the only sure test that we may write.
bool CanWriteInto(const std::wstring& folder, DWORD& error) {
    const std::wstring probe = JoinPath(folder, L".brellow-probe-" + std::to_wstring(GetCurrentProcessId()));
    brell::UniqueHandle file(CreateFileW(ForApi(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                         nullptr));
    error = GetLastError();
    return static_cast<bool>(file);
}

bool CheckTarget(const std::wstring& argument, std::wstring& target, Report& report) {
    // The menu passes a full path; anything else would resolve against a
    // current folder that is no longer the starting program's.
    if (!IsFullPath(argument)) {
        report.Fatal(L"\"" + argument + L"\" is not a full path to a folder.");
        return false;
    }
    target = CanonicalPath(argument);
    if (target.empty()) {
        report.Fatal(L"\"" + argument + L"\" is not a usable folder name.");
        return false;
    }
    const DWORD attributes = GetFileAttributesW(ForApi(target).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        report.Fatal(L"The target folder \"" + target + L"\" does not exist.");
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        report.Fatal(L"The target \"" + target + L"\" is a file, not a folder.");
        return false;
    }
    DWORD error = 0;
    if (!CanWriteInto(target, error)) {
        report.Fatal(L"Cannot write into the target folder \"" + target + L"\": " + ErrorText(error));
        return false;
    }
    return true;
}

// Before anything else: DLLs come from System32 only, never from the
// starting program's folders, and the process holds none of them as its
// current folder (a folder in use cannot be removed). Looked up by name:
// older systems without the update that brings it lack the function.
void UseSafeFolders() {
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    const auto proc = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (proc)
        reinterpret_cast<SetDirectories>(reinterpret_cast<void (*)()>(proc))(LOAD_LIBRARY_SEARCH_SYSTEM32);
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, ARRAYSIZE(system));
    if (length && length < ARRAYSIZE(system)) SetCurrentDirectoryW(system);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    UseSafeFolders();
    Report report;
    if (!report.CanReport()) return Report::kNothingDone;

    EngineArguments arguments;
    if (!ParseEngineArguments(GetCommandLineW(), arguments)) {
        report.Fatal(L"Brellow takes one argument: the target folder, in double quotes.");
        return report.Finish(nullptr);
    }
    // A handed-over list is read first, so the program handing it over is
    // never kept waiting on the checks below.
    ClipboardFiles clipboard;
    if (arguments.fromList) {
        const ListResult list = ReadHandedList(arguments, clipboard.paths);
        if (list != ListResult::Ok) {
            report.Fatal(ListResultText(list));
            return report.Finish(nullptr);
        }
        clipboard.cut = arguments.move;
    }
    std::wstring target;
    if (!CheckTarget(arguments.folder, target, report)) return report.Finish(nullptr);

    ClashPolicy::Mode clashMode;
    std::wstring clashSetting;
    if (!ClashPolicy::ModeFromEnvironment(clashMode, clashSetting)) {
        report.Fatal(L"BRELLOW_ON_CLASH is \"" + clashSetting +
                     L"\"; it must be ask, skip, replace or keepboth (or not set, which means ask).");
        return report.Finish(nullptr);
    }

    switch (arguments.fromList ? ClipboardResult::Ok : ReadClipboardFiles(clipboard)) {
    case ClipboardResult::Ok:
        break;
    case ClipboardResult::Busy:
        report.Fatal(L"The clipboard is in use by another program; try again.");
        return report.Finish(nullptr);
    case ClipboardResult::NoFileList:
        report.Fatal(L"The clipboard holds no files to paste.");
        return report.Finish(nullptr);
    }

    report.SetMoving(clipboard.cut);

    CopyProgress progress;
    Copier copier(LoadSettings(), progress);
    ProgressWindow window(progress, clipboard.cut);
    ClashPolicy clashes(clashMode, &window, progress);
    CopyJob job = {&clipboard.paths, &target, &copier, &progress, &clashes, clipboard.cut, &report};
    brell::UniqueHandle worker(CreateThread(nullptr, 0, CopyThread, &job, 0, nullptr));
    DWORD code = kThreadError;
    if (!worker) {
        code = CopyThread(&job);  // no second thread: copy without a window
    } else {
        window.RunUntilDone(worker.get());
        if (!GetExitCodeThread(worker.get(), &code)) code = kThreadError;
    }
    const bool returned = job.finished;
    // Workers of a copy that stopped early discard what they have in hand.
    if (!CheckCopyThread(code, returned, clipboard.cut, report)) progress.RequestCancel();
    // Told before the report is shown: the user may paste again meanwhile.
    // A dragged list was never the clipboard's: a drag's move tells it nothing.
    if (!arguments.fromList && clipboard.cut && report.AnyMoved())
        TellClipboardMoved(window.handle(), clipboard, report.EverythingMoved());
    const int outcome = report.Finish(window.handle());
    // A copying thread that never returned may have left the copier's
    // workers waiting for it: end the process here rather than wait for them.
    // Their unfinished files never got their final names.
    if (!returned) TerminateProcess(GetCurrentProcess(), static_cast<UINT>(outcome));
    return outcome;
}
