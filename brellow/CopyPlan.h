// The list of folders to create and files to copy for one paste, made before
// anything is written, with what cannot be copied set aside as problems.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brellow {

struct PlanItem {
    bool isFolder;
    std::wstring source;
    std::wstring target;
    std::uint64_t size;  // files only, as found while planning
};

struct PlanProblem {
    bool skipped;  // true: left alone on purpose (it exists); false: an error
    std::wstring source;
    std::wstring reason;
};

struct CopyPlan {
    std::vector<PlanItem> items;  // every folder comes before what it holds
    std::vector<PlanProblem> problems;
    std::uint64_t totalBytes = 0;
    size_t fileCount = 0;
};

// Plans the copy of sources (files and folders, absolute paths) into
// targetFolder. Nothing that exists in the target is ever overwritten: an
// existing file is a skipped problem, an existing folder is merged into.
// Links to folders are not followed (they could loop).
CopyPlan MakeCopyPlan(const std::vector<std::wstring>& sources, const std::wstring& targetFolder);

}  // namespace brellow
