// A move is where the engine deletes the user's files: a move across volumes
// is killed at many moments, and every file must still exist at least once,
// complete, in its source folder or in the target; never in neither, never
// cut short. A file that is replaced is, at every moment, the old one or the
// complete new one.
#include "EngineHarness.h"
#include "PutClipboardFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

using namespace enginetest;
using ::testing::AnyOf;
using ::testing::IsEmpty;

namespace {

using Files = std::map<std::wstring, std::string>;

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
std::wstring LastName(const std::wstring& relative) { return relative.substr(relative.find_last_of(L'\\') + 1); }

// 120 small files (empty ones among them) in nested folders, an empty folder,
// and three files of 3 MiB that take several requests.
Files MakeTree(const std::wstring& root) {
    Files files;
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW((root + L"\\hollow").c_str(), nullptr);
    for (int folder = 0; folder < 3; ++folder) {
        const std::wstring sub = L"f" + std::to_wstring(folder);
        CreateDirectoryW((root + L"\\" + sub).c_str(), nullptr);
        CreateDirectoryW((root + L"\\" + sub + L"\\inner").c_str(), nullptr);
        for (int i = 0; i < 40; ++i) {
            const std::wstring name = sub + (i % 2 ? L"\\inner\\s" : L"\\s") + std::to_wstring(i) + L".dat";
            files[name] = Pattern(static_cast<size_t>((i * 7919 + folder * 104729) % 90000) * (i % 10 != 0),
                                  i + 100 * folder);
        }
        files[sub + L"\\large.bin"] = Pattern(3 * 1024 * 1024 + 333, 77 + folder);
    }
    for (const auto& file : files) WriteBytes(root + L"\\" + file.first, file.second);
    return files;
}

// Old versions in the target of every fifth file, for a move that replaces.
Files MakeOldVersions(const std::wstring& root, const Files& files) {
    Files old;
    int i = 0;
    for (const auto& file : files)
        if (i++ % 5 == 0) old[file.first] = "old version of " + Narrow(file.first);
    CreateDirectoryW(root.c_str(), nullptr);
    for (const wchar_t* folder : {L"f0", L"f1", L"f2", L"f0\\inner", L"f1\\inner", L"f2\\inner"})
        CreateDirectoryW((root + L"\\" + folder).c_str(), nullptr);
    for (const auto& file : old) WriteBytes(root + L"\\" + file.first, file.second);
    return old;
}

// Waits until the engine has put something new into folder; false when it
// ended first.
bool WaitForChange(HANDLE process, const std::wstring& folder, size_t entriesBefore) {
    while (ListTree(folder).size() <= entriesBefore)
        if (WaitForSingleObject(process, 1) != WAIT_TIMEOUT) return false;
    return true;
}

// The promise, checked file by file after a kill: from and to are the tree's
// folder in the source and in the target.
void ExpectEveryFileOnce(const std::wstring& from, const std::wstring& to, const Files& files, const Files& old) {
    for (const auto& file : files) {
        const std::string there = ReadBytes(from + L"\\" + file.first);
        const std::string here = ReadBytes(to + L"\\" + file.first);
        const bool inSource = there != "<missing>";
        const bool inTarget = here == file.second;
        EXPECT_TRUE(inSource || inTarget) << "lost: " << Narrow(file.first);
        // The source is never touched but by its deletion.
        if (inSource) {
            EXPECT_TRUE(there == file.second) << "source changed: " << Narrow(file.first);
        }
        // The target holds the complete file, the old one, or nothing.
        if (here != "<missing>" && !inTarget) {
            const auto previous = old.find(file.first);
            EXPECT_TRUE(previous != old.end() && here == previous->second)
                << "cut short or wrong: " << Narrow(file.first);
        }
    }
    // Nothing else but the engine's own staged files.
    for (const std::wstring& relative : ListTree(to)) {
        if (relative.back() == L'\\' || IsStagedName(LastName(relative))) continue;
        EXPECT_TRUE(files.count(relative) == 1) << "unexpected " << Narrow(relative);
    }
}

class MoveCrashSafety : public EngineFixture {};

TEST_F(MoveCrashSafety, KilledAtAnyMomentEveryFileIsInTheSourceOrCompleteInTheTarget) {
    std::string whyNot;
    const std::wstring root = SecondVolume(whyNot);
    if (root.empty()) GTEST_SKIP() << "SKIPPED (no second volume): " << whyNot;
    const std::wstring remote = root + L"brellow-kill-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(remote.c_str(), nullptr);
    UseOneMegabyteRequests();  // and written through: a move long enough to be hit

    // An undisturbed move sets the scale: from its first entry in the target
    // to its end. It also shows the whole tree arriving and leaving.
    CreateDirectoryW((remote + L"\\u").c_str(), nullptr);
    Files files = MakeTree(remote + L"\\u\\tree");
    const std::wstring whole = target / L"whole";
    CreateDirectoryW(whole.c_str(), nullptr);
    ASSERT_TRUE(brell::CutClipboardFiles({remote + L"\\u\\tree"}));
    ULONGLONG duration = 0;
    const EngineRun undisturbed = RunEngine(EngineLine(whole), [&](const PROCESS_INFORMATION& process) {
        if (!WaitForChange(process.hProcess, whole, 0)) return;
        const ULONGLONG started = GetTickCount64();
        WaitForSingleObject(process.hProcess, 120000);
        duration = GetTickCount64() - started;
    });
    ASSERT_EQ(undisturbed.exitCode, 0u) << undisturbed.report;
    ExpectEveryFileOnce(remote + L"\\u\\tree", whole + L"\\tree", files, {});
    EXPECT_THAT(ListTree(remote + L"\\u"), IsEmpty());
    const std::vector<std::wstring> complete = ListTree(whole);
    RemoveTree(whole);

    size_t partlyMoved = 0;
    size_t inBoth = 0;
    constexpr int kMoments = 12;
    for (int moment = 0; moment < kMoments; ++moment) {
        // Every other run replaces old versions of some of the files.
        const bool replacing = moment % 2 == 1;
        const ULONGLONG delay = duration * moment / kMoments;
        SCOPED_TRACE("killed after " + std::to_string(delay) + " ms of " + std::to_string(duration) +
                     (replacing ? ", replacing" : ""));
        const std::wstring from = remote + L"\\k" + std::to_wstring(moment);
        const std::wstring to = target / (L"k" + std::to_wstring(moment));
        CreateDirectoryW(from.c_str(), nullptr);
        CreateDirectoryW(to.c_str(), nullptr);
        files = MakeTree(from + L"\\tree");
        const Files old = replacing ? MakeOldVersions(to + L"\\tree", files) : Files();
        const size_t before = ListTree(to).size();
        SetClashAnswer(replacing ? L"replace" : L"skip");
        ASSERT_TRUE(brell::CutClipboardFiles({from + L"\\tree"}));
        RunEngine(EngineLine(to), [&](const PROCESS_INFORMATION& process) {
            if (moment > 0) WaitForChange(process.hProcess, to, before);
            WaitForSingleObject(process.hProcess, static_cast<DWORD>(delay));
            TerminateProcess(process.hProcess, 9);
            WaitForSingleObject(process.hProcess, 30000);
        });
        ExpectEveryFileOnce(from + L"\\tree", to + L"\\tree", files, old);
        size_t left = 0;
        for (const auto& file : files) {
            const bool inSource = ReadBytes(from + L"\\tree\\" + file.first) != "<missing>";
            left += inSource;
            inBoth += inSource && ReadBytes(to + L"\\tree\\" + file.first) == file.second;
        }
        if (left > 0 && left < files.size()) ++partlyMoved;

        // The same cut pasted again, replacing what arrived twice, finishes
        // the move: everything in the target, nothing left behind.
        SetClashAnswer(L"replace");
        if (Exists(from + L"\\tree")) {
            ASSERT_TRUE(brell::CutClipboardFiles({from + L"\\tree"}));
            const EngineRun again = RunEngine(EngineLine(to));
            EXPECT_EQ(again.exitCode, 0u) << again.report;
        }
        EXPECT_EQ(ListTree(to), complete);
        EXPECT_THAT(ListTree(from), IsEmpty());
        ExpectEveryFileOnce(from + L"\\tree", to + L"\\tree", files, {});
        RemoveTree(to);
        RemoveTree(from);
    }
    RemoveTree(remote);
    // Not an assertion on timing: only a note when no kill met a move in progress.
    if (partlyMoved == 0) std::printf("note: no kill fell in the middle of the move\n");
    std::printf("%zu of %d kills left a move in progress; %zu files were complete in both places\n", partlyMoved,
                kMoments, inBoth);
}

}  // namespace
