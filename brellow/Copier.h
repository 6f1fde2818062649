// Carries out a copy plan: folders first, then each file through a buffer
// sized by the settings. A file under copy is marked for deletion until it is
// complete, so no partial file outlives a failure, a cancel or a crash.
#pragma once

#include "CopyPlan.h"
#include "CopyProgress.h"
#include "Report.h"
#include "Settings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brellow {

class Copier {
public:
    Copier(const Settings& settings, CopyProgress& progress);
    ~Copier();
    Copier(const Copier&) = delete;
    Copier& operator=(const Copier&) = delete;

    // Copies what the plan lists and reports each file. Returns false when
    // the user cancelled: the file in progress is then removed, and so are the
    // folders this run created that are still empty.
    bool Run(const CopyPlan& plan, Report& report);

private:
    enum class FileResult { Copied, Exists, Failed, Cancelled };

    FileResult CopyOneFile(const PlanItem& item, std::wstring& reason);
    bool EnsureBuffer(std::uint64_t bytes);
    void RemoveCreatedFolders();

    Settings settings_;
    CopyProgress& progress_;
    void* buffer_ = nullptr;
    size_t bufferSize_ = 0;
    size_t requestSize_ = 0;  // bytes per read and write for the current file
    std::vector<std::wstring> createdFolders_;
};

}  // namespace brellow
