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
    std::wstring target;  // where it would have gone; empty when unknown
};

struct CopyPlan {
    // Every folder comes before what it holds, and everything below a folder
    // follows it before anything that is not below it.
    std::vector<PlanItem> items;
    std::vector<PlanProblem> problems;
    // Folders that exist already and receive files: the target folder and
    // each folder merged into.
    std::vector<std::wstring> existingFolders;
    std::uint64_t totalBytes = 0;
    size_t fileCount = 0;
};

// Plans the copy of sources (files and folders) into targetFolder (a full
// path). Every source is made canonical first ("." and ".." resolved); one
// that is not a full path, a drive, or a folder that holds the target folder
// is a problem. Every target lies below targetFolder. Nothing that exists in
// the target is ever overwritten: an existing file is a skipped problem, an
// existing folder is merged into. Links to folders are not followed (they
// could loop), and trees are walked without recursion, however deep.
CopyPlan MakeCopyPlan(const std::vector<std::wstring>& sources, const std::wstring& targetFolder);

}  // namespace brellow
