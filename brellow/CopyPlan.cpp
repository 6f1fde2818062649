#include "CopyPlan.h"

#include "Handles.h"
#include "Paths.h"

#include <windows.h>

namespace brellow {
namespace {

std::uint64_t SizeOf(DWORD high, DWORD low) {
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

class Planner {
public:
    explicit Planner(CopyPlan& plan) : plan_(plan) {}

    void AddFile(const std::wstring& source, const std::wstring& target, std::uint64_t size,
                 bool targetMayExist) {
        if (targetMayExist && GetFileAttributesW(ForApi(target).c_str()) != INVALID_FILE_ATTRIBUTES) {
            plan_.problems.push_back({true, source, L"\"" + target + L"\" already exists"});
            return;
        }
        plan_.items.push_back({false, source, target, size});
        plan_.totalBytes += size;
        ++plan_.fileCount;
    }

    void AddFolder(const std::wstring& source, const std::wstring& target, bool targetMayExist) {
        bool targetExists = false;
        if (targetMayExist) {
            const DWORD attributes = GetFileAttributesW(ForApi(target).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES) {
                if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    plan_.problems.push_back(
                        {true, source, L"\"" + target + L"\" already exists and is not a folder"});
                    return;
                }
                targetExists = true;
            }
        }
        if (!targetExists) plan_.items.push_back({true, source, target, 0});

        WIN32_FIND_DATAW entry;
        UniqueFind find(FindFirstFileExW(ForApi(JoinPath(source, L"*")).c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
        if (!find) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES)
                plan_.problems.push_back({false, source, L"cannot read the folder: " + ErrorText(error)});
            return;
        }
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring childSource = JoinPath(source, name);
            const std::wstring childTarget = JoinPath(target, name);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                    plan_.problems.push_back({true, childSource, L"a link to a folder is not followed"});
                    continue;
                }
                AddFolder(childSource, childTarget, targetExists);
            } else {
                AddFile(childSource, childTarget, SizeOf(entry.nFileSizeHigh, entry.nFileSizeLow),
                        targetExists);
            }
        } while (FindNextFileW(find.get(), &entry));
        const DWORD error = GetLastError();
        if (error != ERROR_NO_MORE_FILES)
            plan_.problems.push_back({false, source, L"cannot read the folder: " + ErrorText(error)});
    }

private:
    CopyPlan& plan_;
};

}  // namespace

CopyPlan MakeCopyPlan(const std::vector<std::wstring>& sources, const std::wstring& targetFolder) {
    CopyPlan plan;
    Planner planner(plan);
    for (const std::wstring& source : sources) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(ForApi(source).c_str(), GetFileExInfoStandard, &data)) {
            plan.problems.push_back({false, source, ErrorText(GetLastError())});
            continue;
        }
        const std::wstring name = LastComponent(source);
        if (name.empty()) {
            plan.problems.push_back({false, source, L"a whole drive is not copied"});
            continue;
        }
        const std::wstring target = JoinPath(targetFolder, name);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (IsSameOrBelow(targetFolder, source)) {
                plan.problems.push_back({false, source, L"a folder cannot be copied into itself"});
                continue;
            }
            planner.AddFolder(source, target, true);
        } else {
            planner.AddFile(source, target, SizeOf(data.nFileSizeHigh, data.nFileSizeLow), true);
        }
    }
    return plan;
}

}  // namespace brellow
