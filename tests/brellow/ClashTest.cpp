// A name clash asks: the engine's dialog is found by its caption under Xvfb
// and its buttons pressed, as a user would. BRELLOW_ON_CLASH answers without
// a dialog. Replace never loses the old file before the new one is complete.
#include "EngineHarness.h"
#include "PutClipboardFiles.h"
#include "support/WindowSearch.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace brelltest;

namespace {

constexpr wchar_t kCaption[] = L"Brellow - Name clash";

class Clashes : public EngineFixture {
protected:
    Clashes() : EngineFixture(nullptr) {}  // every clash asked
};

void SetWriteTime(const std::wstring& path, WORD year) {
    SYSTEMTIME when = {};
    when.wYear = year;
    when.wMonth = 6;
    when.wDay = 15;
    when.wHour = 12;
    FILETIME time;
    SystemTimeToFileTime(&when, &time);
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

std::wstring DigitsOf(const std::wstring& text) {
    std::wstring digits;
    for (wchar_t c : text)
        if (c >= L'0' && c <= L'9') digits += c;
    return digits;
}

// One clash dialog as the user met it.
struct Seen {
    std::vector<std::wstring> texts;
    bool ownedByTheEngine = false;
    bool replaceOffered = false;
};

// Answers the engine's clash dialogs in turn: each answer is a button's text,
// with "+" in front to tick "Do this for all remaining clashes" first. Waits
// for the engine to end, so that a dialog more than answered is seen too
// (and then cancelled, for the run to end).
std::vector<Seen> Answer(const PROCESS_INFORMATION& process, const std::vector<std::wstring>& answers) {
    std::vector<Seen> seen;
    for (;;) {
        HWND dialog = WaitForWindow(process, L"#32770", kCaption);
        if (!dialog) break;
        Seen one;
        one.texts = ChildTexts(dialog, L"Static");
        HWND owner = GetWindow(dialog, GW_OWNER);
        wchar_t ownerClass[64] = {};
        if (owner) GetClassNameW(owner, ownerClass, ARRAYSIZE(ownerClass));
        one.ownedByTheEngine = wcscmp(ownerClass, L"BrellowProgress") == 0 && IsWindowVisible(owner);
        HWND replace = FindWindowExW(dialog, nullptr, L"Button", L"&Replace");
        one.replaceOffered = replace && IsWindowEnabled(replace);
        const size_t index = seen.size();
        seen.push_back(one);
        if (index >= answers.size()) {
            ClickButton(dialog, L"Cancel");
        } else {
            std::wstring answer = answers[index];
            if (answer[0] == L'+') {
                EXPECT_TRUE(ClickButton(dialog, L"&Do this for all remaining clashes"));
                answer = answer.substr(1);
            }
            EXPECT_TRUE(ClickButton(dialog, answer.c_str())) << Utf8(answer);
        }
        // The dialog goes before the engine asks again.
        for (int i = 0; i < 500 && IsWindow(dialog) && IsWindowVisible(dialog); ++i) Sleep(10);
    }
    return seen;
}

TEST_F(Clashes, TheDialogShowsTheNameSizesAndDatesAndReplaceReplaces) {
    WriteBytes(source / L"clash.txt", Pattern(12345, 1));
    SetWriteTime(source / L"clash.txt", 2021);
    WriteBytes(target / L"clash.txt", "old");
    SetWriteTime(target / L"clash.txt", 2019);
    ASSERT_TRUE(brell::PutClipboardFiles({source / L"clash.txt"}));

    std::vector<Seen> seen;
    const EngineRun run = RunEngine(EngineLine(target.path()), [&](const PROCESS_INFORMATION& process) {
        seen = Answer(process, {L"&Replace"});
    });

    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].ownedByTheEngine);
    std::wstring all;
    for (const std::wstring& text : seen[0].texts) all += text + L"\n";
    EXPECT_THAT(Utf8(all), HasSubstr("\"clash.txt\""));
    EXPECT_THAT(Utf8(all), HasSubstr(Utf8(target.path())));
    // Both sizes and both dates, in whatever format the user's locale gives.
    const auto pasted = std::find_if(seen[0].texts.begin(), seen[0].texts.end(),
                                     [](const std::wstring& t) { return DigitsOf(t).find(L"12345") != std::wstring::npos; });
    ASSERT_NE(pasted, seen[0].texts.end()) << Utf8(all);
    EXPECT_THAT(Utf8(*pasted), HasSubstr("2021"));
    const auto existing = std::find_if(seen[0].texts.begin(), seen[0].texts.end(),
                                       [](const std::wstring& t) { return t.find(L"3 bytes") == 0; });
    ASSERT_NE(existing, seen[0].texts.end()) << Utf8(all);
    EXPECT_THAT(Utf8(*existing), HasSubstr("2019"));

    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_TRUE(ReadBytes(target / L"clash.txt") == Pattern(12345, 1));
    EXPECT_THAT(ListTree(target.path()), ElementsAre(L"clash.txt"));
    EXPECT_THAT(run.report, HasSubstr("copied\t" + Utf8(target / L"clash.txt")));
}

TEST_F(Clashes, SkipKeepsTheFileAndKeepBothTwiceGivesTwoNumberedNames) {
    WriteBytes(source / L"skip.txt", "new skip");
    WriteBytes(source / L"both.txt", "new both");
    WriteBytes(target / L"skip.txt", "old skip");
    WriteBytes(target / L"both.txt", "old both");
    ASSERT_TRUE(brell::PutClipboardFiles({source / L"skip.txt", source / L"both.txt"}));

    std::vector<Seen> seen;
    EngineRun run = RunEngine(EngineLine(target.path()), [&](const PROCESS_INFORMATION& process) {
        seen = Answer(process, {L"&Skip", L"&Keep both"});
    });
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(run.exitCode, 1u) << run.report;
    EXPECT_EQ(ReadBytes(target / L"skip.txt"), "old skip");
    EXPECT_EQ(ReadBytes(target / L"both.txt"), "old both");
    EXPECT_EQ(ReadBytes(target / L"both (2).txt"), "new both");
    EXPECT_THAT(run.report, HasSubstr("skipped\t" + Utf8(source / L"skip.txt")));
    EXPECT_THAT(run.report, HasSubstr("copied\t" + Utf8(target / L"both (2).txt")));

    ASSERT_TRUE(brell::PutClipboardFiles({source / L"both.txt"}));
    run = RunEngine(EngineLine(target.path()), [&](const PROCESS_INFORMATION& process) {
        seen = Answer(process, {L"&Keep both"});
    });
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_THAT(ListTree(target.path()),
                ElementsAre(L"both (2).txt", L"both (3).txt", L"both.txt", L"skip.txt"));
    EXPECT_EQ(ReadBytes(target / L"both (3).txt"), "new both");
}

TEST_F(Clashes, OneAnswerForAllRemainingClashes) {
    std::vector<std::wstring> names;
    CreateDirectoryW((source / L"tree").c_str(), nullptr);
    CreateDirectoryW((target / L"tree").c_str(), nullptr);
    for (int i = 0; i < 4; ++i) {
        const std::wstring name = L"tree\\f" + std::to_wstring(i) + L".txt";
        WriteBytes(source / name, "new " + std::to_string(i));
        WriteBytes(target / name, "old " + std::to_string(i));
    }
    WriteBytes(source / L"tree\\fresh.txt", "fresh");
    ASSERT_TRUE(brell::PutClipboardFiles({source / L"tree"}));

    std::vector<Seen> seen;
    const EngineRun run = RunEngine(EngineLine(target.path()), [&](const PROCESS_INFORMATION& process) {
        seen = Answer(process, {L"+&Replace"});
    });
    EXPECT_EQ(seen.size(), 1u) << "asked again after \"for all\"";
    EXPECT_EQ(run.exitCode, 0u) << run.report;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(ReadBytes(target / (L"tree\\f" + std::to_wstring(i) + L".txt")), "new " + std::to_string(i));
    EXPECT_EQ(ReadBytes(target / L"tree\\fresh.txt"), "fresh");
}

TEST_F(Clashes, CancelInTheDialogCancelsThePaste) {
    WriteBytes(source / L"first.txt", "first");
    WriteBytes(source / L"clash.txt", "new");
    WriteBytes(source / L"last.txt", "last");
    WriteBytes(target / L"clash.txt", "old");
    ASSERT_TRUE(brell::PutClipboardFiles({source / L"first.txt", source / L"clash.txt", source / L"last.txt"}));

    std::vector<Seen> seen;
    const EngineRun run = RunEngine(EngineLine(target.path()), [&](const PROCESS_INFORMATION& process) {
        seen = Answer(process, {});  // the first dialog is cancelled
    });
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(run.exitCode, 3u) << run.report;
    EXPECT_THAT(run.report, HasSubstr("cancelled"));
    EXPECT_THAT(ListTree(target.path()), ElementsAre(L"clash.txt"));
    EXPECT_EQ(ReadBytes(target / L"clash.txt"), "old");
}

TEST_F(Clashes, TheEnvironmentAnswersWithoutADialog) {
    WriteBytes(source / L"a.txt", "new");
    auto reset = [&] {
        RemoveTree(target.path());
        CreateDirectoryW(target.path().c_str(), nullptr);
        WriteBytes(target / L"a.txt", "old");
        ASSERT_TRUE(brell::PutClipboardFiles({source / L"a.txt"}));
    };
    // A dialog would keep the engine waiting: the test would see it.
    auto run = [&](const wchar_t* answer) {
        SetClashAnswer(answer);
        bool dialog = false;
        const EngineRun done = RunEngine(EngineLine(target.path()), [&](const PROCESS_INFORMATION& process) {
            if (HWND shown = WaitForWindow(process, L"#32770", kCaption, 60000)) {
                dialog = true;
                ClickButton(shown, L"Cancel");
            }
        });
        EXPECT_FALSE(dialog) << Utf8(answer);
        return done;
    };

    reset();
    EngineRun done = run(L"replace");
    EXPECT_EQ(done.exitCode, 0u) << done.report;
    EXPECT_EQ(ReadBytes(target / L"a.txt"), "new");

    reset();
    done = run(L"SKIP");
    EXPECT_EQ(done.exitCode, 1u) << done.report;
    EXPECT_EQ(ReadBytes(target / L"a.txt"), "old");

    reset();
    run(L"keepboth");
    ASSERT_TRUE(brell::PutClipboardFiles({source / L"a.txt"}));
    done = run(L"keepboth");
    EXPECT_EQ(done.exitCode, 0u) << done.report;
    EXPECT_THAT(ListTree(target.path()), ElementsAre(L"a (2).txt", L"a (3).txt", L"a.txt"));
    EXPECT_EQ(ReadBytes(target / L"a (3).txt"), "new");

    // A typo in a script is an error, not a guess.
    reset();
    done = run(L"overwrite");
    EXPECT_EQ(done.exitCode, 2u) << done.report;
    EXPECT_THAT(done.report, HasSubstr("BRELLOW_ON_CLASH is \"overwrite\""));
    EXPECT_EQ(ReadBytes(target / L"a.txt"), "old");
}

TEST_F(Clashes, AMoveSettlesClashesTheSameWayAndWhatIsSkippedStays) {
    auto prepare = [&] {
        RemoveTree(source.path());
        RemoveTree(target.path());
        CreateDirectoryW(source.path().c_str(), nullptr);
        CreateDirectoryW(target.path().c_str(), nullptr);
        WriteBytes(source / L"a.txt", "new");
        WriteBytes(target / L"a.txt", "old");
        ASSERT_TRUE(brell::CutClipboardFiles({source / L"a.txt"}));
    };

    prepare();
    SetClashAnswer(L"replace");
    EngineRun run = RunEngine(EngineLine(target.path()));
    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_EQ(ReadBytes(target / L"a.txt"), "new");
    EXPECT_THAT(ListTree(source.path()), IsEmpty());

    prepare();
    SetClashAnswer(L"keepboth");
    run = RunEngine(EngineLine(target.path()));
    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_THAT(ListTree(target.path()), ElementsAre(L"a (2).txt", L"a.txt"));
    EXPECT_EQ(ReadBytes(target / L"a (2).txt"), "new");
    EXPECT_THAT(ListTree(source.path()), IsEmpty());
    EXPECT_THAT(run.report, HasSubstr("moved\t" + Utf8(target / L"a (2).txt")));

    prepare();
    std::vector<Seen> seen;
    SetClashAnswer(nullptr);
    run = RunEngine(EngineLine(target.path()), [&](const PROCESS_INFORMATION& process) {
        seen = Answer(process, {L"&Skip"});
    });
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(run.exitCode, 1u) << run.report;
    EXPECT_EQ(ReadBytes(source / L"a.txt"), "new");
    EXPECT_EQ(ReadBytes(target / L"a.txt"), "old");
    EXPECT_THAT(run.report, HasSubstr("already exists; it stays where it was"));
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_HDROP));
}

TEST_F(Clashes, TwoFilesOfOnePasteUnderOneNameAreAskedWithBothSourcesAndNeverReplaced) {
    WriteFiles(source.path(), {{L"a\\dup.txt", "first"}, {L"b\\dup.txt", "second"}});
    ASSERT_TRUE(brell::PutClipboardFiles({source / L"a\\dup.txt", source / L"b\\dup.txt"}));
    std::vector<Seen> seen;
    SetClashAnswer(nullptr);
    const EngineRun run = RunEngine(EngineLine(target.path()), [&](const PROCESS_INFORMATION& process) {
        seen = Answer(process, {L"&Keep both"});
    });

    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].replaceOffered);
    EXPECT_THAT(seen[0].texts, ::testing::Contains(::testing::AllOf(HasSubstr(source / L"a\\dup.txt"),
                                                                    HasSubstr(source / L"b\\dup.txt"))));
    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_EQ(ReadBytes(target / L"dup.txt"), "first");
    EXPECT_EQ(ReadBytes(target / L"dup (2).txt"), "second");
}

TEST_F(Clashes, AReplaceKilledMidwayLeavesTheOldFile) {
    WriteBytes(target / L"big.bin", "old contents");
    SetClashAnswer(L"replace");
    ASSERT_NO_FATAL_FAILURE(ClipLargeFile());

    const HeldRun held = RunHeldMidFile(
        target.path(),
        [&](const PROCESS_INFORMATION& process, CopyFreezer&) {
            // Mid-copy the new file is only a staged one beside the old.
            EXPECT_EQ(ReadBytes(target / L"big.bin"), "old contents");
            EXPECT_EQ(StagedFilesIn(target.path()).size(), 1u);
            KillAfter(process, 0);
        },
        L"big.bin");
    SKIP_UNLESS_HELD(held);
    EXPECT_EQ(ReadBytes(target / L"big.bin"), "old contents");
    EXPECT_THAT(ListTree(target.path()), ElementsAre(L"big.bin"));

    // The paste done again replaces it whole.
    const EngineRun again = RunEngine(EngineLine(target.path()));
    EXPECT_EQ(again.exitCode, 0u) << again.report;
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW((target / L"big.bin").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow, kLargeSize);
    EXPECT_THAT(ListTree(target.path()), ElementsAre(L"big.bin"));
}

}  // namespace
