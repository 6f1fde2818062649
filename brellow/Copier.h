// Carries out a copy plan. Folders are created in plan order; small files go
// to a few worker threads, several in flight at once, while larger ones are
// copied one at a time on the calling thread with the full buffer the
// settings give them. Every file is written as a StagedFile, so no file ever
// appears under its final name before it is complete.
#pragma once

#include "CopyPlan.h"
#include "CopyProgress.h"
#include "FileCopy.h"
#include "Owners.h"
#include "Report.h"
#include "Settings.h"

#include <windows.h>

#include <cstddef>
#include <deque>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace brellow {

class Copier {
public:
    Copier(const Settings& settings, CopyProgress& progress);
    ~Copier();
    Copier(const Copier&) = delete;
    Copier& operator=(const Copier&) = delete;

    // Removes what ended runs left in the plan's existing folders, reports
    // the plan's problems, copies what the plan lists and reports each file
    // (the report is touched on the calling thread only). Folders this run created are removed again
    // where they stay empty: all of them after a cancel, those below a
    // failure otherwise. Returns false when the user cancelled.
    bool Run(const CopyPlan& plan, Report& report);

private:
    struct Done {
        const PlanItem* item;
        FileResult result;
        std::wstring reason;
        std::wstring placedAt;
    };

    static DWORD WINAPI WorkerMain(void* self);
    void WorkerLoop();
    bool StartWorkers();
    void StopWorkers();
    void Queue(const PlanItem& item, Report& report);
    void WaitForQueue(Report& report);
    void ReportDone(Report& report);
    void ReportFile(const Done& done, Report& report);
    void MarkIncomplete(const std::wstring& target);
    void RemoveCreatedFolders(bool onlyIncomplete);
    void NoteMovedFolder(const PlanItem& item);
    void KeepMovedFolderLooks();

    Settings settings_;
    CopyProgress& progress_;
    CopyBuffer buffer_;  // the calling thread's, for the larger files

    CRITICAL_SECTION lock_;
    CONDITION_VARIABLE workReady_;
    CONDITION_VARIABLE workDone_;
    std::deque<const PlanItem*> queue_;  // guarded by lock_, as are the next six
    std::vector<Done> done_;
    size_t unfinished_ = 0;  // queued or being copied
    size_t idleWorkers_ = 0;  // waiting for a file
    bool coordinatorWaiting_ = false;  // the calling thread waits for room or the end
    bool stopping_ = false;
    std::vector<Done> reporting_;  // the calling thread's: finished files being reported
    std::vector<brell::UniqueHandle> workers_;
    bool workersFailed_ = false;

    const PlacedNames* placed_ = nullptr;  // the current plan's, read-only while it runs

    std::vector<std::wstring> createdFolders_;
    // Folders created for a move: they get their sources' times and
    // attributes, as found before the move emptied them, once filled, as a
    // rename would have kept them.
    struct MovedFolder {
        std::wstring target;
        FILE_BASIC_INFO looks;
    };
    std::vector<MovedFolder> movedFolders_;
    std::unordered_set<std::wstring> incomplete_;  // folders below which something failed
};

}  // namespace brellow
