// A move is where the engine deletes the user's files: a move across volumes
// is killed at many moments, and every file must still exist at least once,
// complete, in its source folder or in the target; never in neither, never
// cut short. A file that is replaced is, at every moment, the old one or the
// complete new one.
#include "EngineHarness.h"
#include "PutClipboardFiles.h"

#include <gtest/gtest.h>

#include <map>

using namespace brelltest;

namespace {

// The mixed tree (120 small files, three large ones) and an empty folder.
Files MakeTree(const std::wstring& root) {
    MakeFolders(root + L"\\hollow");
    return MakeMixedTree(root, 40);
}

// Old versions in the target of every fifth file, for a move that replaces.
Files MakeOldVersions(const std::wstring& root, const Files& files) {
    Files old;
    int i = 0;
    for (const auto& file : files)
        if (i++ % 5 == 0) old[file.first] = "old version of " + Utf8(file.first);
    WriteFiles(root, old);  // some in each of the tree's folders
    return old;
}

// The promise, checked file by file after a kill: from and to are the tree's
// folder in the source and in the target.
void ExpectEveryFileOnce(const std::wstring& from, const std::wstring& to, const Files& files, const Files& old) {
    for (const auto& file : files) {
        const std::string there = ReadBytes(from + L"\\" + file.first);
        const std::string here = ReadBytes(to + L"\\" + file.first);
        const bool inSource = there != kMissing;
        const bool inTarget = here == file.second;
        EXPECT_TRUE(inSource || inTarget) << "lost: " << Utf8(file.first);
        // The source is never touched but by its deletion.
        if (inSource) {
            EXPECT_TRUE(there == file.second) << "source changed: " << Utf8(file.first);
        }
        // The target holds the complete file, the old one, or nothing.
        if (here != kMissing && !inTarget) {
            const auto previous = old.find(file.first);
            EXPECT_TRUE(previous != old.end() && here == previous->second)
                << "cut short or wrong: " << Utf8(file.first);
        }
    }
    // Nothing else but the engine's own staged files.
    for (const std::wstring& relative : ListTree(to)) {
        if (relative.back() == L'\\' || IsStagedName(LastName(relative))) continue;
        EXPECT_TRUE(files.count(relative) == 1) << "unexpected " << Utf8(relative);
    }
}

class MoveCrashSafety : public EngineFixture {};

TEST_F(MoveCrashSafety, KilledAtAnyMomentEveryFileIsInTheSourceOrCompleteInTheTarget) {
    std::string whyNot;
    const std::wstring root = SecondVolume(whyNot);
    if (root.empty()) GTEST_SKIP() << "SKIPPED (no second volume): " << whyNot;
    const ScratchFolder remoteFolder(L"brellow-kill", root);
    const std::wstring& remote = remoteFolder.path();
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
        duration = TimeFromFirstEntry(process, whole);
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
            if (moment > 0) WaitForNewEntries(process, to, before);
            KillAfter(process, delay);
        });
        ExpectEveryFileOnce(from + L"\\tree", to + L"\\tree", files, old);
        size_t left = 0;
        for (const auto& file : files) {
            const bool inSource = ReadBytes(from + L"\\tree\\" + file.first) != kMissing;
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
    // Not an assertion on timing: only a note when no kill met a move in progress.
    if (partlyMoved == 0) std::printf("note: no kill fell in the middle of the move\n");
    std::printf("%zu of %d kills left a move in progress; %zu files were complete in both places\n", partlyMoved,
                kMoments, inBoth);
}

}  // namespace
