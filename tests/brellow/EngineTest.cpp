// The engine end to end: real clipboard, real process, real files.
#include "EngineHarness.h"
#include "PutClipboardFiles.h"

#include <gtest/gtest.h>

using namespace brelltest;

namespace {

class Engine : public EngineFixture {};

TEST_F(Engine, CopiesFilesAndANestedTree) {
    WriteBytes(source / L"one.bin", Pattern(3 * 1024 * 1024 + 17, 1));
    WriteBytes(source / L"empty.txt", "");
    CreateDirectoryW((source / L"tree").c_str(), nullptr);
    CreateDirectoryW((source / L"tree\\deeper").c_str(), nullptr);
    CreateDirectoryW((source / L"tree\\hollow").c_str(), nullptr);
    WriteBytes(source / L"tree\\a.txt", "alpha");
    WriteBytes(source / L"tree\\deeper\\ro.txt", "read only");
    SetFileAttributesW((source / L"tree\\deeper\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteBytes(source / L"tree\\deeper\\b with space.txt", Pattern(70000, 2));
    // Keep the source's time stamp.
    HANDLE file = CreateFileW((source / L"tree\\a.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    FILETIME old = {0x12345600, 0x01C00000};
    SetFileTime(file, nullptr, nullptr, &old);
    CloseHandle(file);

    ASSERT_TRUE(brell::PutClipboardFiles({source / L"one.bin", source / L"empty.txt", source / L"tree"}));
    const EngineRun run = RunEngine(EngineLine(target.path()));

    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_THAT(ListTree(target.path()),
                ElementsAre(L"empty.txt", L"one.bin", L"tree\\", L"tree\\a.txt", L"tree\\deeper\\",
                            L"tree\\deeper\\b with space.txt", L"tree\\deeper\\ro.txt", L"tree\\hollow\\"));
    EXPECT_EQ(GetFileAttributesW((target / L"tree\\deeper\\ro.txt").c_str()) & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(ReadBytes(target / L"tree\\deeper\\ro.txt"), "read only");
    EXPECT_EQ(ReadBytes(target / L"one.bin"), Pattern(3 * 1024 * 1024 + 17, 1));
    EXPECT_EQ(ReadBytes(target / L"tree\\deeper\\b with space.txt"), Pattern(70000, 2));
    EXPECT_EQ(ReadBytes(target / L"tree\\a.txt"), "alpha");
    EXPECT_EQ(ReadBytes(target / L"empty.txt"), "");
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW((target / L"tree\\a.txt").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, old.dwHighDateTime);
    EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, old.dwLowDateTime);
    EXPECT_THAT(run.report, HasSubstr("result\t0\t5\t0\t0"));
}

TEST_F(Engine, SmallBuffersAndWriteThroughCopyTheSameBytes) {
    SetSetting(L"bmin", 1);
    SetSetting(L"bmax", 1);
    SetSetting(L"expand", 0);
    SetSetting(L"wcache", 0);
    const std::string bytes = Pattern(5 * 1024 * 1024 + 4097, 3);
    WriteBytes(source / L"big.bin", bytes);
    ASSERT_TRUE(brell::PutClipboardFiles({source / L"big.bin"}));

    const EngineRun run = RunEngine(EngineLine(target.path()));
    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_EQ(ReadBytes(target / L"big.bin"), bytes);
}

TEST_F(Engine, CopiesATreeDeeperThanMaxPath) {
    // Ten levels of 30 characters: the deepest file lies past 300 characters.
    std::wstring relative = L"deep";
    std::wstring folder = L"\\\\?\\" + source / relative;
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int level = 0; level < 10; ++level) {
        const std::wstring name = L"level-" + std::to_wstring(level) + L"-" + std::wstring(22, L'x');
        relative += L"\\" + name;
        folder += L"\\" + name;
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
    }
    WriteBytes(folder + L"\\bottom.txt", "bottom");
    ASSERT_GT((target / relative).size(), static_cast<size_t>(MAX_PATH));

    ASSERT_TRUE(brell::PutClipboardFiles({source / L"deep"}));
    const EngineRun run = RunEngine(EngineLine(target.path()));
    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_EQ(ReadBytes(L"\\\\?\\" + target / relative + L"\\bottom.txt"), "bottom");
    // Long paths must not stop the scratch folders from going away.
    RemoveTree(L"\\\\?\\" + target / L"deep");
    RemoveTree(L"\\\\?\\" + source / L"deep");
}

// Answered "skip" (see SetUp): the file stays, the folder is merged into.
TEST_F(Engine, ASkippedClashKeepsTheExistingFileAndSaysSo) {
    WriteBytes(source / L"keep.txt", "new contents");
    WriteBytes(source / L"fresh.txt", "fresh");
    CreateDirectoryW((source / L"dir").c_str(), nullptr);
    WriteBytes(source / L"dir\\inner.txt", "new inner");
    WriteBytes(source / L"dir\\added.txt", "added");
    WriteBytes(target / L"keep.txt", "old contents");
    CreateDirectoryW((target / L"dir").c_str(), nullptr);
    WriteBytes(target / L"dir\\inner.txt", "old inner");

    ASSERT_TRUE(brell::PutClipboardFiles({source / L"keep.txt", source / L"fresh.txt", source / L"dir"}));
    const EngineRun run = RunEngine(EngineLine(target.path()));

    EXPECT_EQ(run.exitCode, 1u) << run.report;
    EXPECT_EQ(ReadBytes(target / L"keep.txt"), "old contents");
    EXPECT_EQ(ReadBytes(target / L"dir\\inner.txt"), "old inner");
    EXPECT_EQ(ReadBytes(target / L"fresh.txt"), "fresh");
    EXPECT_EQ(ReadBytes(target / L"dir\\added.txt"), "added");
    EXPECT_THAT(run.report, HasSubstr("skipped\t"));
    EXPECT_THAT(run.report, HasSubstr("keep.txt\" already exists"));
    EXPECT_THAT(run.report, HasSubstr("result\t1\t2\t2\t0"));
}

TEST_F(Engine, PastingIntoTheSourceFolderChangesNothing) {
    WriteBytes(source / L"same.txt", "same");
    ASSERT_TRUE(brell::PutClipboardFiles({source / L"same.txt"}));
    const EngineRun run = RunEngine(EngineLine(source.path()));
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_THAT(ListTree(source.path()), ElementsAre(L"same.txt"));
    EXPECT_EQ(ReadBytes(source / L"same.txt"), "same");
}

TEST_F(Engine, AFolderIsNotCopiedIntoItself) {
    CreateDirectoryW((source / L"loop").c_str(), nullptr);
    WriteBytes(source / L"loop\\x.txt", "x");
    ASSERT_TRUE(brell::PutClipboardFiles({source / L"loop"}));
    const EngineRun run = RunEngine(EngineLine(source / L"loop"));
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_THAT(run.report, HasSubstr("cannot be copied into itself"));
    EXPECT_THAT(ListTree(source / L"loop"), ElementsAre(L"x.txt"));
}

TEST_F(Engine, ADriveRootArrivesWithItsBackslash) {
    const std::wstring name = L"brellow-root-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    WriteBytes(source / name, "to the root");
    ASSERT_TRUE(brell::PutClipboardFiles({source / name}));
    // Exactly what the menu passes for the root of C:.
    const EngineRun run = RunEngine(L"\"" + EnginePath() + L"\" \"C:\\\"");
    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_EQ(ReadBytes(L"C:\\" + name), "to the root");
    DeleteFileW((L"C:\\" + name).c_str());
}

TEST_F(Engine, WithoutAFileListNothingIsWritten) {
    WriteBytes(source / L"a.txt", "a");
    ASSERT_TRUE(brell::PutClipboardText(source / L"a.txt"));
    const EngineRun run = RunEngine(EngineLine(target.path()));
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_THAT(run.report, HasSubstr("fatal\tThe clipboard holds no files to paste."));
    EXPECT_TRUE(ListTree(target.path()).empty());
}

TEST_F(Engine, AMissingTargetOrArgumentIsAnErrorAndNothingIsCreated) {
    WriteBytes(source / L"a.txt", "a");
    ASSERT_TRUE(brell::PutClipboardFiles({source / L"a.txt"}));

    EngineRun run = RunEngine(EngineLine(target / L"not here"));
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_THAT(run.report, HasSubstr("does not exist"));
    EXPECT_FALSE(Exists(target / L"not here"));

    // A file is no folder either, and the message says what it is.
    WriteBytes(target / L"plain", "");
    run = RunEngine(EngineLine(target / L"plain"));
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_THAT(run.report, HasSubstr("is a file, not a folder"));

    // A relative folder would depend on where the engine was started.
    CreateDirectoryW((target / L"inside").c_str(), nullptr);
    run = RunEngine(L"\"" + EnginePath() + L"\" \"inside\"", nullptr, target.path());
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_THAT(run.report, HasSubstr("not a full path"));
    RemoveDirectoryW((target / L"inside").c_str());

    run = RunEngine(L"\"" + EnginePath() + L"\"");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_THAT(run.report, HasSubstr("one argument"));
    run = RunEngine(L"\"" + EnginePath() + L"\" \"" + target.path() + L"\" \"" + target.path() + L"\"");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_THAT(ListTree(target.path()), ElementsAre(L"plain"));
}

// An unattended run tells what it did in its report file alone: where that
// cannot be created, nothing is done, and the exit code says so.
TEST_F(Engine, AReportFileThatCannotBeCreatedStopsTheRunBeforeAnything) {
    WriteBytes(source / L"a.txt", "a");
    ASSERT_TRUE(brell::PutClipboardFiles({source / L"a.txt"}));
    ScratchFolder reports;
    CreateDirectoryW((reports / L"a folder").c_str(), nullptr);
    HANDLE held = CreateFileW((reports / L"held.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const struct {
        const char* what;
        std::wstring path;
    } cases[] = {
        {"in a folder that does not exist", reports / L"missing\\report.txt"},
        {"where a folder has the name", reports / L"a folder"},
        {"held open by another program", reports / L"held.txt"},
        {"a name longer than any file system takes", reports / std::wstring(300, L'r')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const EngineRun run = RunEngine(EngineLine(target.path()), nullptr, std::wstring(), c.path);
        EXPECT_EQ(run.exitCode, 2u) << run.report;
        EXPECT_THAT(ListTree(target.path()), ElementsAre());
    }
    CloseHandle(held);
    EXPECT_THAT(ListTree(reports.path()), ElementsAre(L"a folder\\", L"held.txt"));
}

TEST_F(Engine, ASourceThatVanishedIsReportedAndTheRestCopied) {
    WriteBytes(source / L"here.txt", "here");
    ASSERT_TRUE(brell::PutClipboardFiles({source / L"gone.txt", source / L"here.txt"}));
    const EngineRun run = RunEngine(EngineLine(target.path()));
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_THAT(run.report, HasSubstr("failed\t"));
    EXPECT_THAT(run.report, HasSubstr("gone.txt"));
    EXPECT_THAT(ListTree(target.path()), ElementsAre(L"here.txt"));
}

TEST_F(Engine, AnUnreadableSourceLeavesNoFileBehind) {
    WriteBytes(source / L"locked.bin", Pattern(100000, 4));
    // Open without sharing: the engine cannot read it.
    HANDLE exclusive = CreateFileW((source / L"locked.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(brell::PutClipboardFiles({source / L"locked.bin"}));
    const EngineRun run = RunEngine(EngineLine(target.path()));
    CloseHandle(exclusive);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_THAT(run.report, HasSubstr("failed\t"));
    EXPECT_TRUE(ListTree(target.path()).empty());
}

TEST_F(Engine, CancelLeavesNoPartialFile) {
    CreateDirectoryW((source / L"later").c_str(), nullptr);
    WriteBytes(source / L"later\\after.txt", "after");
    ASSERT_NO_FATAL_FAILURE(ClipLargeFile({source / L"later"}));

    bool showedFile = false;
    // The copy is held in the middle of big.bin while the window (whose
    // thread runs on) appears and its Cancel button is clicked.
    const HeldRun held = RunHeldMidFile(target.path(), [&](const PROCESS_INFORMATION& process, CopyFreezer&) {
        HWND window = WaitForProgressWindow(process);
        ASSERT_NE(window, nullptr);
        HWND cancel = FindWindowExW(window, nullptr, L"Button", L"Cancel");
        ASSERT_NE(cancel, nullptr);
        // The window names the file under copy (its first label).
        for (int attempt = 0; attempt < 100 && !showedFile; ++attempt) {
            wchar_t text[MAX_PATH] = {};
            HWND label = FindWindowExW(window, nullptr, L"Static", nullptr);
            if (label) SendMessageW(label, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text));
            showedFile = wcsstr(text, L"big.bin") != nullptr;
            if (!showedFile) Sleep(50);
        }
        SendMessageW(cancel, BM_CLICK, 0, 0);
    });
    SKIP_UNLESS_HELD(held);
    const EngineRun& run = held.run;

    EXPECT_TRUE(showedFile);
    EXPECT_EQ(run.exitCode, 3u) << run.report;
    EXPECT_THAT(run.report, HasSubstr("cancelled"));
    EXPECT_THAT(run.report, Not(HasSubstr("copied")));
    EXPECT_THAT(ListTree(target.path()), ElementsAre());
}

TEST_F(Engine, AnEngineKilledMidCopyLeavesNoPartialFile) {
    ASSERT_NO_FATAL_FAILURE(ClipLargeFile());

    std::vector<std::wstring> whileHeld;
    const HeldRun held = RunHeldMidFile(target.path(), [&](const PROCESS_INFORMATION& process, CopyFreezer&) {
        whileHeld = ListTree(target.path());
        KillAfter(process, 0);
    });
    SKIP_UNLESS_HELD(held);
    // Mid-copy the file is there only under a staged name...
    ASSERT_EQ(whileHeld.size(), 1u);
    EXPECT_TRUE(IsStagedName(whileHeld[0]));
    // ...and as it was marked for deletion, the kill took it away.
    EXPECT_THAT(ListTree(target.path()), ElementsAre());
}

}  // namespace
