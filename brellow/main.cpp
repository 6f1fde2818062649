// brellow.exe "<target folder>": pastes the files and folders on the
// clipboard into the target folder.
#include "ClipboardFiles.h"
#include "CommandLine.h"
#include "Copier.h"
#include "CopyPlan.h"
#include "CopyProgress.h"
#include "Handles.h"
#include "Paths.h"
#include "ProgressWindow.h"
#include "Report.h"
#include "Settings.h"

#include <windows.h>

#include <new>
#include <string>
#include <vector>

using namespace brellow;

namespace {

struct CopyJob {
    const std::vector<std::wstring>* sources;
    const std::wstring* target;
    Copier* copier;
    Report* report;  // the copying thread's alone until it ends
    bool outOfMemory;
};

// Plans and copies. Planning walks every source folder, which takes a while
// for large trees, so it runs here too, with the window already up.
DWORD WINAPI CopyThread(void* parameter) {
    auto* job = static_cast<CopyJob*>(parameter);
    // Path strings are the only allocations; running out of memory for them
    // ends the run with a message instead of a silent abort.
    try {
        const CopyPlan plan = MakeCopyPlan(*job->sources, *job->target);
        for (const PlanProblem& problem : plan.problems) {
            if (problem.skipped)
                job->report->Skipped(problem.source, problem.reason);
            else
                job->report->Failed(problem.source, problem.reason);
        }
        job->copier->Run(plan, *job->report);
    } catch (const std::bad_alloc&) {
        job->outOfMemory = true;
    }
    return 0;
}

// Creating and deleting a scratch file is the only sure test that we may write.
bool CanWriteInto(const std::wstring& folder, DWORD& error) {
    const std::wstring probe = JoinPath(folder, L".brellow-probe-" + std::to_wstring(GetCurrentProcessId()));
    UniqueHandle file(CreateFileW(ForApi(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                  nullptr));
    error = GetLastError();
    return static_cast<bool>(file);
}

bool CheckTarget(const std::wstring& argument, std::wstring& target, Report& report) {
    wchar_t full[32768];
    const DWORD length = GetFullPathNameW(argument.c_str(), ARRAYSIZE(full), full, nullptr);
    if (length == 0 || length >= ARRAYSIZE(full)) {
        report.Fatal(L"\"" + argument + L"\" is not a usable folder name.");
        return false;
    }
    target.assign(full, length);
    const DWORD attributes = GetFileAttributesW(ForApi(target).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        report.Fatal(L"The target folder \"" + target + L"\" does not exist.");
        return false;
    }
    DWORD error = 0;
    if (!CanWriteInto(target, error)) {
        report.Fatal(L"Cannot write into the target folder \"" + target + L"\": " + ErrorText(error));
        return false;
    }
    return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    Report report;

    std::wstring argument;
    if (!ParseTargetFolder(GetCommandLineW(), argument)) {
        report.Fatal(L"Brellow takes one argument: the target folder, in double quotes.");
        return report.Finish(nullptr);
    }
    std::wstring target;
    if (!CheckTarget(argument, target, report)) return report.Finish(nullptr);

    std::vector<std::wstring> sources;
    switch (ReadClipboardFiles(sources)) {
    case ClipboardResult::Ok:
        break;
    case ClipboardResult::Busy:
        report.Fatal(L"The clipboard is in use by another program; try again.");
        return report.Finish(nullptr);
    case ClipboardResult::NoFileList:
        report.Fatal(L"The clipboard holds no files to paste.");
        return report.Finish(nullptr);
    }

    CopyProgress progress;
    Copier copier(LoadSettings(), progress);
    CopyJob job = {&sources, &target, &copier, &report, false};
    ProgressWindow window(progress);
    UniqueHandle worker(CreateThread(nullptr, 0, CopyThread, &job, 0, nullptr));
    if (!worker) {
        CopyThread(&job);  // no second thread: copy without a window
    } else {
        window.RunUntilDone(worker.get());
    }
    if (job.outOfMemory) report.Failed(target, L"Brellow ran out of memory; the copy stopped.");
    return report.Finish(window.handle());
}
