// Cut and "Paste with Brellow": the real engine moves what the real clipboard
// holds. Within a volume each item is renamed (no data copied); across
// volumes each file is copied and its source deleted after. Whatever does not
// move stays where it was and is reported, and the clipboard is told.
#include "EngineHarness.h"
#include "Paths.h"
#include "PutClipboardFiles.h"
#include "support/Clipboard.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>
#include <map>

using namespace brelltest;

namespace {

class Moves : public EngineFixture {};

void ExpectFiles(const std::wstring& root, const Files& files) {
    for (const auto& file : files)
        EXPECT_TRUE(ReadBytes(root + L"\\" + file.first) == file.second)
            << "not as it was: " << Utf8(file.first);
}

#define REQUIRE_SECOND_VOLUME(root)                            \
    std::string whyNot;                                        \
    const std::wstring root = SecondVolume(whyNot);            \
    if (root.empty()) GTEST_SKIP() << "SKIPPED (no second volume): " << whyNot

// The file list beside an effect block of any bytes, as a crafted cut or copy.
bool PutFilesWithEffectBytes(const std::vector<std::wstring>& paths, const std::string& effect) {
    return brell::PutClipboardFiles(paths) &&
           AddClipboardBlock(RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT), effect);
}

TEST(MoveNames, ASecondFileOfTheSameNameIsNumberedBeforeItsExtension) {
    EXPECT_EQ(brellow::NumberedName(L"report.txt", 2), L"report (2).txt");
    EXPECT_EQ(brellow::NumberedName(L"archive.tar.gz", 3), L"archive.tar (3).gz");
    EXPECT_EQ(brellow::NumberedName(L"notes", 2), L"notes (2)");
    EXPECT_EQ(brellow::NumberedName(L".profile", 2), L".profile (2)");
    EXPECT_EQ(brellow::NumberedName(L"v1.2 draft", 10), L"v1 (10).2 draft");
}

TEST_F(Moves, WithinAVolumeEachItemIsRenamedNotCopied) {
    const Files files = {{L"a.txt", "alpha"},
                         {L"ro.txt", "read only"},
                         {L"tree\\b.bin", Pattern(70000, 1)},
                         {L"tree\\deep\\c.txt", "gamma"}};
    WriteFiles(source.path(), files);
    CreateDirectoryW((source / L"tree\\hollow").c_str(), nullptr);
    SetFileAttributesW((source / L"ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    const ULONGLONG fileBefore = FileIdentity(source / L"a.txt");
    const ULONGLONG treeBefore = FileIdentity(source / L"tree");
    const ULONGLONG deepBefore = FileIdentity(source / L"tree\\deep\\c.txt");

    ASSERT_TRUE(brell::CutClipboardFiles({source / L"a.txt", source / L"ro.txt", source / L"tree"}));
    const EngineRun run = RunEngine(EngineLine(target.path()));

    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_THAT(ListTree(target.path()),
                ElementsAre(L"a.txt", L"ro.txt", L"tree\\", L"tree\\b.bin", L"tree\\deep\\", L"tree\\deep\\c.txt",
                            L"tree\\hollow\\"));
    ExpectFiles(target.path(), files);
    EXPECT_THAT(ListTree(source.path()), IsEmpty());
    // The same files, renamed: a copy would have new identities.
    EXPECT_EQ(FileIdentity(target / L"a.txt"), fileBefore);
    EXPECT_EQ(FileIdentity(target / L"tree"), treeBefore);
    EXPECT_EQ(FileIdentity(target / L"tree\\deep\\c.txt"), deepBefore);
    // Three items, a whole folder among them, each one step.
    EXPECT_THAT(run.report, HasSubstr("moved\t" + Utf8(target / L"tree") + "\n"));
    EXPECT_THAT(run.report, HasSubstr("result\t0\t0\t0\t0\t3"));
    // Nothing is left for a second paste to move again.
    EXPECT_FALSE(ClipboardHasFiles());
}

TEST_F(Moves, IntoAFolderOfTheSameNameTheContentsMergeAndTheEmptiedSourceGoes) {
    WriteFiles(source.path(), {{L"tree\\new.txt", "new"}, {L"tree\\deep\\newer.txt", "newer"}});
    CreateDirectoryW((source / L"tree\\deep\\hollow").c_str(), nullptr);
    WriteFiles(target.path(), {{L"tree\\old.txt", "old"}, {L"tree\\deep\\older.txt", "older"}});
    const ULONGLONG newer = FileIdentity(source / L"tree\\deep\\newer.txt");

    ASSERT_TRUE(brell::CutClipboardFiles({source / L"tree"}));
    const EngineRun run = RunEngine(EngineLine(target.path()));

    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_THAT(ListTree(target.path()),
                ElementsAre(L"tree\\", L"tree\\deep\\", L"tree\\deep\\hollow\\", L"tree\\deep\\newer.txt",
                            L"tree\\deep\\older.txt", L"tree\\new.txt", L"tree\\old.txt"));
    EXPECT_EQ(FileIdentity(target / L"tree\\deep\\newer.txt"), newer);
    EXPECT_THAT(ListTree(source.path()), IsEmpty());
    EXPECT_FALSE(ClipboardHasFiles());
}

TEST_F(Moves, AcrossVolumesEachFileIsCopiedThenItsSourceDeleted) {
    REQUIRE_SECOND_VOLUME(root);
    const ScratchFolder remote(L"brellow-move", root);
    const Files files = {{L"one.bin", Pattern(3 * 1024 * 1024 + 5, 2)},  // copied in several requests
                         {L"empty.txt", ""},
                         {L"tree\\ro.txt", "read only"},
                         {L"tree\\deep\\b.bin", Pattern(90000, 3)}};
    WriteFiles(remote.path(), files);
    CreateDirectoryW((remote / L"tree\\hollow").c_str(), nullptr);
    SetFileAttributesW((remote / L"tree\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE stamp = CreateFileW((remote / L"tree\\deep\\b.bin").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    FILETIME old = {0x12345600, 0x01C00000};
    SetFileTime(stamp, nullptr, nullptr, &old);
    CloseHandle(stamp);
    const ULONGLONG before = FileIdentity(remote / L"tree\\deep\\b.bin");

    ASSERT_TRUE(brell::CutClipboardFiles({remote / L"one.bin", remote / L"empty.txt", remote / L"tree"}));
    const EngineRun run = RunEngine(EngineLine(target.path()));

    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_THAT(ListTree(target.path()),
                ElementsAre(L"empty.txt", L"one.bin", L"tree\\", L"tree\\deep\\", L"tree\\deep\\b.bin",
                            L"tree\\hollow\\", L"tree\\ro.txt"));
    ExpectFiles(target.path(), files);
    EXPECT_THAT(ListTree(remote.path()), IsEmpty());
    // A copy (another volume keeps its own file indexes) with the source's
    // time and attributes.
    EXPECT_NE(FileIdentity(target / L"tree\\deep\\b.bin"), before);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW((target / L"tree\\deep\\b.bin").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, old.dwHighDateTime);
    EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, old.dwLowDateTime);
    EXPECT_TRUE(GetFileAttributesW((target / L"tree\\ro.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_THAT(run.report, HasSubstr("moved\t" + Utf8(target / L"tree\\ro.txt") + "\n"));
    EXPECT_THAT(run.report, HasSubstr("result\t0\t0\t0\t0\t4"));
    EXPECT_FALSE(ClipboardHasFiles());
}

TEST_F(Moves, ALockedSourceFileStaysAndTheRestMoves) {
    // Held open without delete sharing, as an editor holds its document.
    auto hold = [](const std::wstring& path) {
        return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    WriteFiles(source.path(), {{L"a.txt", "a"}, {L"held.txt", "held"}, {L"c.txt", "c"}});
    HANDLE held = hold(source / L"held.txt");
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(brell::CutClipboardFiles({source / L"a.txt", source / L"held.txt", source / L"c.txt"}));
    EngineRun run = RunEngine(EngineLine(target.path()));
    CloseHandle(held);

    EXPECT_EQ(run.exitCode, 1u) << run.report;
    EXPECT_THAT(ListTree(target.path()), ElementsAre(L"a.txt", L"c.txt"));
    EXPECT_THAT(ListTree(source.path()), ElementsAre(L"held.txt"));
    EXPECT_EQ(ReadBytes(source / L"held.txt"), "held");
    EXPECT_THAT(run.report, HasSubstr("failed\t" + Utf8(source / L"held.txt") +
                                      "\tanother program is using it; it stays where it was"));
    // Not everything moved: the list stays, and the clipboard is told what
    // was done, as the paste protocol has it.
    EXPECT_TRUE(ClipboardHasFiles());
    DWORD performed = 0, succeeded = 0;
    EXPECT_TRUE(ClipboardDword(CFSTR_PERFORMEDDROPEFFECT, performed));
    EXPECT_TRUE(ClipboardDword(CFSTR_PASTESUCCEEDED, succeeded));
    EXPECT_EQ(performed, static_cast<DWORD>(DROPEFFECT_MOVE));
    EXPECT_EQ(succeeded, static_cast<DWORD>(DROPEFFECT_MOVE));

    // Across volumes, inside a folder: the held file and its folder stay,
    // everything else arrives and leaves.
    REQUIRE_SECOND_VOLUME(root);
    const ScratchFolder remote(L"brellow-move", root);
    const Files files = {{L"tree\\a.txt", "a"}, {L"tree\\inner\\held.bin", Pattern(5000, 4)},
                         {L"tree\\inner\\b.txt", "b"}, {L"tree\\other\\c.txt", "c"}};
    WriteFiles(remote.path(), files);
    held = hold(remote / L"tree\\inner\\held.bin");
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ScratchFolder second;
    ASSERT_TRUE(brell::CutClipboardFiles({remote / L"tree"}));
    run = RunEngine(EngineLine(second.path()));
    CloseHandle(held);

    EXPECT_EQ(run.exitCode, 1u) << run.report;
    EXPECT_THAT(ListTree(second.path()), ElementsAre(L"tree\\", L"tree\\a.txt", L"tree\\inner\\",
                                                     L"tree\\inner\\b.txt", L"tree\\other\\", L"tree\\other\\c.txt"));
    EXPECT_THAT(ListTree(remote.path()), ElementsAre(L"tree\\", L"tree\\inner\\", L"tree\\inner\\held.bin"));
    ExpectFiles(remote.path(), {{L"tree\\inner\\held.bin", files.at(L"tree\\inner\\held.bin")}});
    EXPECT_THAT(run.report, HasSubstr("failed\t" + Utf8(remote / L"tree\\inner\\held.bin") +
                                      "\tanother program is using it; it stays where it was"));
    EXPECT_THAT(run.report, HasSubstr("result\t1\t0\t0\t1\t3"));
}

TEST_F(Moves, AFolderThatCannotBeRenamedMovesItemByItem) {
    // Windows refuses to rename a folder while a file in it is open; Wine
    // renames it all the same. Holding the folder itself open without delete
    // sharing makes Wine refuse too, so the engine's way around is taken:
    // the folder is made in the target and its contents moved one by one.
    WriteFiles(source.path(), {{L"tree\\a.txt", "a"}, {L"tree\\deep\\b.txt", "b"}});
    const ULONGLONG deep = FileIdentity(source / L"tree\\deep");
    HANDLE folder = CreateFileW((source / L"tree").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(brell::CutClipboardFiles({source / L"tree"}));
    const EngineRun run = RunEngine(EngineLine(target.path()));
    CloseHandle(folder);

    EXPECT_THAT(ListTree(target.path()),
                ElementsAre(L"tree\\", L"tree\\a.txt", L"tree\\deep\\", L"tree\\deep\\b.txt"));
    EXPECT_EQ(FileIdentity(target / L"tree\\deep"), deep);
    // The held folder itself could not go; it is empty, and the report
    // says so: not everything left its place.
    EXPECT_THAT(ListTree(source.path()), ElementsAre(L"tree\\"));
    EXPECT_EQ(run.exitCode, 1u) << run.report;
    EXPECT_THAT(run.report, HasSubstr("failed\t" + Utf8(source / L"tree") +
                                      "\tthe move emptied it, but it cannot be removed: "));
}

TEST_F(Moves, OnlyACutMovesAndACopyLeavesTheClipboardAlone) {
    WriteFiles(source.path(), {{L"a.txt", "a"}});
    struct Case {
        const char* what;
        std::string effect;  // empty: no effect block at all
    };
    const DWORD copy = DROPEFFECT_COPY | DROPEFFECT_LINK;
    const DWORD both = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    const DWORD move = DROPEFFECT_MOVE;
    const Case cases[] = {
        {"no effect", std::string()},
        {"copy", std::string(reinterpret_cast<const char*>(&copy), 4)},
        {"copy or move", std::string(reinterpret_cast<const char*>(&both), 4)},
        {"a move cut to two bytes", std::string(reinterpret_cast<const char*>(&move), 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.effect.empty() ? brell::PutClipboardFiles({source / L"a.txt"})
                                     : PutFilesWithEffectBytes({source / L"a.txt"}, c.effect));
        const EngineRun run = RunEngine(EngineLine(target.path()));
        EXPECT_EQ(run.exitCode, 0u) << run.report;
        EXPECT_THAT(run.report, HasSubstr("copied\t"));
        EXPECT_EQ(ReadBytes(source / L"a.txt"), "a");
        EXPECT_EQ(ReadBytes(target / L"a.txt"), "a");
        EXPECT_TRUE(ClipboardHasFiles());
        DWORD performed = 0;
        EXPECT_FALSE(ClipboardDword(CFSTR_PERFORMEDDROPEFFECT, performed));
        DeleteFileW((target / L"a.txt").c_str());
    }
}

TEST_F(Moves, CutAndPastedWhereItIsNothingMoves) {
    WriteFiles(source.path(), {{L"same.txt", "same"}, {L"tree\\x.txt", "x"}});
    ASSERT_TRUE(brell::CutClipboardFiles({source / L"same.txt", source / L"tree"}));
    const EngineRun run = RunEngine(EngineLine(source.path()));
    EXPECT_EQ(run.exitCode, 1u) << run.report;
    EXPECT_THAT(run.report, HasSubstr("it is already in this folder"));
    EXPECT_THAT(ListTree(source.path()), ElementsAre(L"same.txt", L"tree\\", L"tree\\x.txt"));
    EXPECT_EQ(ReadBytes(source / L"same.txt"), "same");
    // Nothing moved: the clipboard is not touched.
    EXPECT_TRUE(ClipboardHasFiles());
    DWORD performed = 0;
    EXPECT_FALSE(ClipboardDword(CFSTR_PERFORMEDDROPEFFECT, performed));
}

TEST_F(Moves, TheWindowSaysMovingAndAClipboardReplacedMeanwhileIsLeftAlone) {
    REQUIRE_SECOND_VOLUME(root);
    const ScratchFolder remote(L"brellow-move", root);
    UseOneMegabyteRequests();
    ASSERT_TRUE(WriteLargeFile(remote / L"big.bin"));
    ASSERT_TRUE(brell::CutClipboardFiles({remote / L"big.bin"}));

    std::wstring caption;
    const HeldRun held = RunHeldMidFile(target.path(), [&](const PROCESS_INFORMATION& process, CopyFreezer&) {
        if (HWND window = WaitForProgressWindow(process)) {
            wchar_t text[128] = {};
            GetWindowTextW(window, text, ARRAYSIZE(text));
            caption = text;
        }
        // Another program copies something while the move is under way.
        EXPECT_TRUE(brell::PutClipboardText(L"someone else's text"));
    });
    SKIP_UNLESS_HELD(held);
    const EngineRun& run = held.run;

    EXPECT_EQ(caption, L"Brellow - moving");
    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_THAT(ListTree(target.path()), ElementsAre(L"big.bin"));
    EXPECT_THAT(ListTree(remote.path()), IsEmpty());
    // The other program's contents are still there, untouched.
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
    EXPECT_FALSE(ClipboardHasFiles());
    DWORD performed = 0;
    EXPECT_FALSE(ClipboardDword(CFSTR_PERFORMEDDROPEFFECT, performed));
}

}  // namespace
