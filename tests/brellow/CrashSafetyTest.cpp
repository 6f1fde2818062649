// The engine's promise about the user's files, tested by breaking runs for
// real: killed at many moments, its threads ended under it, a name taken
// while it copies, leftovers held open by another process.
#include "EngineHarness.h"
#include "PutClipboardFiles.h"

#include <gtest/gtest.h>

#include <map>

using namespace brelltest;

namespace {

class CrashSafety : public EngineFixture {};

// Every file in folder is either one of the engine's staged files or
// byte-identical to its source; returns the staged ones.
std::vector<std::wstring> ExpectOnlyCompleteFiles(const std::wstring& folder, const std::wstring& treeName,
                                                  const Files& files) {
    std::vector<std::wstring> staged;
    for (const std::wstring& relative : ListTree(folder)) {
        if (relative.back() == L'\\') continue;
        if (IsStagedName(LastName(relative))) {
            staged.push_back(relative);
            continue;
        }
        const std::wstring key = relative.substr(treeName.size() + 1);
        const auto source = files.find(key);
        if (source == files.end()) {
            ADD_FAILURE() << "unexpected file " << Utf8(relative);
            continue;
        }
        EXPECT_TRUE(ReadBytes(folder + L"\\" + relative) == source->second)
            << "not the source's bytes: " << Utf8(relative);
    }
    return staged;
}

TEST_F(CrashSafety, KilledAtAnyMomentEveryFileIsCompleteOrAbsentAndTheNextPasteFinishes) {
    UseOneMegabyteRequests();  // and written through: a copy long enough to be hit
    const Files files = MakeMixedTree(source / L"tree", 50);
    ASSERT_TRUE(brell::PutClipboardFiles({source / L"tree"}));

    // An undisturbed run sets the scale for the moments to kill at: from its
    // first entry in the target to its end.
    ScratchFolder timing;
    ULONGLONG duration = 0;
    const EngineRun whole = RunEngine(EngineLine(timing.path()), [&](const PROCESS_INFORMATION& process) {
        duration = TimeFromFirstEntry(process, timing.path());
    });
    ASSERT_EQ(whole.exitCode, 0u) << whole.report;
    EXPECT_TRUE(ExpectOnlyCompleteFiles(timing.path(), L"tree", files).empty());

    size_t leftovers = 0;
    size_t partlyCopied = 0;
    constexpr int kMoments = 16;
    for (int moment = 0; moment < kMoments; ++moment) {
        const ULONGLONG delay = duration * moment / kMoments;
        SCOPED_TRACE("killed after " + std::to_string(delay) + " ms of " + std::to_string(duration));
        const std::wstring into = target / (L"k" + std::to_wstring(moment));
        CreateDirectoryW(into.c_str(), nullptr);
        RunEngine(EngineLine(into), [&](const PROCESS_INFORMATION& process) {
            if (moment > 0) WaitForNewEntries(process, into, 0);
            KillAfter(process, delay);
        });
        const std::vector<std::wstring> staged = ExpectOnlyCompleteFiles(into, L"tree", files);
        leftovers += staged.size();
        const size_t arrived = ListTree(into).size();
        if (arrived > 1 && arrived < ListTree(timing.path()).size()) ++partlyCopied;

        // Pasting again removes the leftovers and copies what is missing.
        const EngineRun again = RunEngine(EngineLine(into));
        EXPECT_THAT(again.exitCode, ::testing::AnyOf(0u, 1u)) << again.report;
        EXPECT_THAT(again.report, Not(HasSubstr("failed\t")));
        EXPECT_EQ(ListTree(into), ListTree(timing.path()));
        EXPECT_TRUE(ExpectOnlyCompleteFiles(into, L"tree", files).empty());
        RemoveTree(into);
    }
    // Not an assertion on timing: only a note when no kill met a copy in progress.
    if (partlyCopied == 0) std::printf("note: no kill fell in the middle of the copy\n");
    std::printf("%zu of %d kills left a copy in progress, %zu staged files in all\n", partlyCopied, kMoments,
                leftovers);
}

TEST_F(CrashSafety, LeftoversAreRemovedUnlessAProcessHoldsThem) {
    WriteBytes(source / L"new.txt", "new");
    CreateDirectoryW((source / L"sub").c_str(), nullptr);
    WriteBytes(source / L"sub\\inner.txt", "inner");
    // What killed runs left, beside look-alikes that are the user's own.
    CreateDirectoryW((target / L"sub").c_str(), nullptr);
    WriteBytes(target / L".brellow-0000000100000001.part", "left");
    WriteBytes(target / L".brellow-0000000100000002.part", "left read-only");
    SetFileAttributesW((target / L".brellow-0000000100000002.part").c_str(),
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    WriteBytes(target / L"sub\\.brellow-00000001000000ff.part", "left in a merged folder");
    WriteBytes(target / L".brellow-00000001000000aa.part", "held");
    WriteBytes(target / L".brellow-notours.part", "user");
    WriteBytes(target / L".brellow-00000001000000AB.part", "user: capitals");
    WriteBytes(target / L"x.brellow-0000000100000003.part", "user: prefixed");
    // Held by this process, as a running engine holds its file in progress.
    HANDLE held = CreateFileW((target / L".brellow-00000001000000aa.part").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    ASSERT_TRUE(brell::PutClipboardFiles({source / L"new.txt", source / L"sub"}));
    const EngineRun run = RunEngine(EngineLine(target.path()));
    CloseHandle(held);

    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_THAT(ListTree(target.path()),
                ElementsAre(L".brellow-00000001000000AB.part", L".brellow-00000001000000aa.part",
                            L".brellow-notours.part", L"new.txt", L"sub\\", L"sub\\inner.txt",
                            L"x.brellow-0000000100000003.part"));
    EXPECT_EQ(ReadBytes(target / L".brellow-00000001000000aa.part"), "held");
}

TEST_F(CrashSafety, ANameThatAppearsDuringTheCopyIsNeverReplaced) {
    ASSERT_NO_FATAL_FAILURE(ClipLargeFile());

    bool created = false;
    const HeldRun held = RunHeldMidFile(target.path(), [&](const PROCESS_INFORMATION&, CopyFreezer&) {
        // Another program saves a file of that name meanwhile.
        HANDLE file = CreateFileW((target / L"big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        created = file != INVALID_HANDLE_VALUE;
        if (created) {
            DWORD written = 0;
            WriteFile(file, "theirs", 6, &written, nullptr);
            CloseHandle(file);
        }
    });
    SKIP_UNLESS_HELD(held);
    const EngineRun& run = held.run;
    EXPECT_TRUE(created) << "the name was taken while the copy was incomplete";
    EXPECT_EQ(run.exitCode, 1u) << run.report;
    EXPECT_THAT(run.report, HasSubstr("big.bin\" already exists"));
    // Compared without printing: a wrong file here would be 400 MiB.
    EXPECT_TRUE(ReadBytes(target / L"big.bin") == "theirs");
    EXPECT_THAT(ListTree(target.path()), ElementsAre(L"big.bin"));
}

TEST_F(CrashSafety, ACopyThreadThatDiesIsAFailureNotSuccessOrCancel) {
    WriteBytes(source / L"after.txt", "after");
    ASSERT_NO_FATAL_FAILURE(ClipLargeFile({source / L"after.txt"}));

    // Every thread but the window's ends, with exit code 0, mid-file.
    const HeldRun held = RunHeldMidFile(target.path(), [](const PROCESS_INFORMATION&, CopyFreezer& freezer) {
        freezer.EndThreads();
    });
    SKIP_UNLESS_HELD(held);
    const EngineRun& run = held.run;
    EXPECT_NE(run.exitCode, 0u) << run.report;
    EXPECT_NE(run.exitCode, 3u) << run.report;
    EXPECT_THAT(run.report, HasSubstr("stopped\t"));
    EXPECT_THAT(run.report, Not(HasSubstr("cancelled")));
    for (const std::wstring& name : ListTree(target.path())) EXPECT_TRUE(IsStagedName(name));
}

TEST_F(CrashSafety, TheStartingProgramsFolderIsNotKeptInUse) {
    ASSERT_NO_FATAL_FAILURE(ClipLargeFile());
    const std::wstring startedIn = source / L"host";
    CreateDirectoryW(startedIn.c_str(), nullptr);

    bool removed = false;
    const HeldRun held = RunHeldMidFile(
        target.path(),
        [&](const PROCESS_INFORMATION&, CopyFreezer&) {
            // A process's current folder is open without delete sharing.
            removed = RemoveDirectoryW(startedIn.c_str()) != FALSE;
        },
        std::wstring(), startedIn);
    SKIP_UNLESS_HELD(held);
    const EngineRun& run = held.run;
    EXPECT_TRUE(removed) << GetLastError();
    EXPECT_EQ(run.exitCode, 0u) << run.report;
}

}  // namespace
