#include "Copier.h"

#include "Owners.h"
#include "Paths.h"
#include "StagedFile.h"

#include <new>
#include <utility>

namespace brellow {
namespace {

// Files up to this size go to the workers: one request each with the
// default settings, so their time goes to opening, naming and closing, which
// overlap well. Larger files are mostly data and go one at a time.
constexpr std::uint64_t kSmallFile = std::uint64_t{1024} * 1024;
// Several overlap one file's waits (a disk's queue, a network share) with
// the others' work. Under Wine, whose server handles every open, rename and
// close one at a time, the gain is small: on the copy benchmark's tree, beside
// a CopyFileExW loop in the same run, one worker 0.83, two 0.78-0.88, four
// 0.86-0.98, eight 0.92 (2 cores).
constexpr size_t kWorkers = 4;
// Files queued or in flight at most, so that a cancel is quick and the
// report keeps up.
constexpr size_t kUnfinishedLimit = 64;
constexpr SIZE_T kWorkerStack = SIZE_T{256} * 1024;

}  // namespace

Copier::Copier(const Settings& settings, CopyProgress& progress) : settings_(settings), progress_(progress) {
    InitializeCriticalSection(&lock_);
    InitializeConditionVariable(&workReady_);
    InitializeConditionVariable(&workDone_);
}

Copier::~Copier() {
    StopWorkers();
    DeleteCriticalSection(&lock_);
}

DWORD WINAPI Copier::WorkerMain(void* self) {
    static_cast<Copier*>(self)->WorkerLoop();
    return 0;
}

void Copier::WorkerLoop() {
    CopyBuffer buffer;
    for (;;) {
        const PlanItem* item = nullptr;
        {
            brell::Hold hold(lock_);
            while (queue_.empty() && !stopping_) {
                ++idleWorkers_;
                SleepConditionVariableCS(&workReady_, &lock_, INFINITE);
                --idleWorkers_;
            }
            if (queue_.empty()) return;
            item = queue_.front();
            queue_.pop_front();
        }
        Done done{item, FileResult::Cancelled, std::wstring(), std::wstring()};
        if (!progress_.CancelRequested()) {
            try {
                progress_.StartFile(item->source);
                done.result = CopyOneFile(*item, settings_, buffer, progress_, false, placed_, done.reason,
                                          done.placedAt);
            } catch (const std::bad_alloc&) {
                done.result = FileResult::Failed;  // the reason stays empty: no memory to say more
            }
            progress_.FinishFile();
        }
        bool wake = false;
        {
            // done_ has room reserved (see Run): no allocation under the lock.
            brell::Hold hold(lock_);
            done_.push_back(std::move(done));
            --unfinished_;
            // The calling thread is woken once half the room is free, or all
            // is done, not for every file: a wake per file costs more than a
            // small file's copy.
            wake = coordinatorWaiting_ && (unfinished_ <= kUnfinishedLimit / 2 || unfinished_ == 0);
            if (wake) coordinatorWaiting_ = false;
        }
        if (wake) WakeConditionVariable(&workDone_);
    }
}

bool Copier::StartWorkers() {
    if (!workers_.empty()) return true;
    if (workersFailed_) return false;
    for (size_t i = 0; i < kWorkers; ++i) {
        HANDLE thread = CreateThread(nullptr, kWorkerStack, WorkerMain, this, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                     nullptr);
        if (!thread) break;
        workers_.emplace_back(thread);
    }
    // Without any worker, the calling thread copies the small files as well.
    workersFailed_ = workers_.empty();
    return !workersFailed_;
}

void Copier::StopWorkers() {
    if (workers_.empty()) return;
    {
        brell::Hold hold(lock_);
        stopping_ = true;
    }
    WakeAllConditionVariable(&workReady_);
    for (const brell::UniqueHandle& worker : workers_) WaitForSingleObject(worker.get(), INFINITE);
    workers_.clear();
    brell::Hold hold(lock_);
    stopping_ = false;
}

void Copier::Queue(const PlanItem& item, Report& report) {
    bool wake = false;
    {
        brell::Hold hold(lock_);
        while (unfinished_ >= kUnfinishedLimit) {
            coordinatorWaiting_ = true;
            SleepConditionVariableCS(&workDone_, &lock_, INFINITE);
        }
        queue_.push_back(&item);
        ++unfinished_;
        wake = idleWorkers_ > 0;
    }
    if (wake) WakeConditionVariable(&workReady_);
    ReportDone(report);
}

void Copier::WaitForQueue(Report& report) {
    for (;;) {
        ReportDone(report);
        brell::Hold hold(lock_);
        if (unfinished_ == 0 && done_.empty()) return;
        if (unfinished_ != 0) {
            coordinatorWaiting_ = true;
            SleepConditionVariableCS(&workDone_, &lock_, INFINITE);
        }
    }
}

void Copier::ReportDone(Report& report) {
    {
        brell::Hold hold(lock_);
        if (done_.empty()) return;
        reporting_.swap(done_);  // done_ takes over reporting_'s room
    }
    for (const Done& done : reporting_) ReportFile(done, report);
    reporting_.clear();
}

void Copier::ReportFile(const Done& done, Report& report) {
    const PlanItem& item = *done.item;
    const std::wstring& reason = done.reason;
    switch (done.result) {
    case FileResult::Copied:
        report.Copied(done.placedAt, item.besideOwn.empty() ? std::wstring() : KeptBesideNote(item.target, item.besideOwn));
        break;
    case FileResult::Moved:
        report.Moved(done.placedAt, item.besideOwn.empty() ? std::wstring() : KeptBesideNote(item.target, item.besideOwn));
        break;
    case FileResult::SourceKept:
        report.Failed(item.source, reason);
        break;
    case FileResult::Exists:
        report.Skipped(item.source, L"\"" + item.target + L"\" already exists");
        break;
    case FileResult::Failed:
        report.Failed(item.source, reason.empty() ? L"not enough memory" : reason);
        MarkIncomplete(item.target);
        break;
    case FileResult::Cancelled:
        break;
    }
}

void Copier::MarkIncomplete(const std::wstring& target) {
    for (std::wstring folder = target; !folder.empty();) {
        if (!incomplete_.insert(folder).second) break;
        std::wstring parent = ParentFolder(folder);
        if (parent == folder) break;
        folder = std::move(parent);
    }
}

void Copier::RemoveCreatedFolders(bool onlyIncomplete) {
    // Deepest first; RemoveDirectoryW refuses, as it should, a folder that
    // holds anything.
    for (auto it = createdFolders_.rbegin(); it != createdFolders_.rend(); ++it)
        if (!onlyIncomplete || incomplete_.count(*it)) RemoveDirectoryW(ForApi(*it).c_str());
    createdFolders_.clear();
    incomplete_.clear();
}

void Copier::NoteMovedFolder(const PlanItem& item) {
    brell::UniqueHandle source(CreateFileW(ForApi(item.source).c_str(), FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    MovedFolder folder{item.target, {}};
    if (!source || !GetFileInformationByHandleEx(source.get(), FileBasicInfo, &folder.looks, sizeof(folder.looks)))
        return;
    folder.looks.ChangeTime.QuadPart = 0;  // the system's to keep
    folder.looks.FileAttributes &=
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
    if (!folder.looks.FileAttributes) folder.looks.FileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    movedFolders_.push_back(std::move(folder));
}

void Copier::KeepMovedFolderLooks() {
    // Once nothing more is written into them: a new entry would change the
    // time again, and Wine makes a read-only folder one that takes no files.
    for (MovedFolder& folder : movedFolders_) {
        brell::UniqueHandle target(CreateFileW(ForApi(folder.target).c_str(), FILE_WRITE_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (target) SetFileInformationByHandle(target.get(), FileBasicInfo, &folder.looks, sizeof(folder.looks));
    }
    movedFolders_.clear();
}

bool Copier::Run(const CopyPlan& plan, Report& report) {
    progress_.Begin(plan.totalBytes, plan.fileCount);
    placed_ = &plan.placed;
    {
        // Each Queue is followed by ReportDone, so finished files never
        // outnumber the unfinished limit plus one between two swaps.
        brell::Hold hold(lock_);
        done_.reserve(2 * kUnfinishedLimit);
        reporting_.reserve(2 * kUnfinishedLimit);
    }
    for (const std::wstring& folder : plan.existingFolders) RemoveLeftovers(folder);
    for (const PlanProblem& problem : plan.problems) {
        if (problem.skipped) {
            report.Skipped(problem.source, problem.reason);
            continue;
        }
        report.Failed(problem.source, problem.reason);
        if (!problem.target.empty()) MarkIncomplete(problem.target);
    }

    // Everything below a folder follows it in the plan, so one folder that
    // could not be created covers all items up to the first one outside it.
    std::wstring failedFolder;
    for (const PlanItem& item : plan.items) {
        if (progress_.CancelRequested()) break;
        if (!failedFolder.empty()) {
            if (IsSameOrBelow(item.target, failedFolder)) {
                report.Failed(item.source, L"its folder could not be created");
                continue;
            }
            failedFolder.clear();
        }
        if (item.isFolder) {
            if (CreateDirectoryW(ForApi(item.target).c_str(), nullptr)) {
                createdFolders_.push_back(item.target);
                if (item.move) NoteMovedFolder(item);
                continue;
            }
            const DWORD error = GetLastError();
            if (error == ERROR_ALREADY_EXISTS && IsFolder(GetFileAttributesW(ForApi(item.target).c_str()))) continue;
            report.Failed(item.source, L"cannot create \"" + item.target + L"\": " + ErrorText(error));
            MarkIncomplete(item.target);
            failedFolder = item.target;
            continue;
        }
        if (item.size <= kSmallFile && StartWorkers()) {
            Queue(item, report);
            continue;
        }
        progress_.StartFile(item.source);
        Done done{&item, FileResult::Cancelled, std::wstring(), std::wstring()};
        done.result = CopyOneFile(item, settings_, buffer_, progress_, true, placed_, done.reason, done.placedAt);
        progress_.FinishFile();
        ReportFile(done, report);
        ReportDone(report);
    }
    WaitForQueue(report);
    StopWorkers();

    if (progress_.CancelRequested()) {
        movedFolders_.clear();
        RemoveCreatedFolders(false);
        report.Cancelled();
        return false;
    }
    RemoveCreatedFolders(true);
    KeepMovedFolderLooks();
    return true;
}

}  // namespace brellow
