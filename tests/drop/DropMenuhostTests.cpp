// menuhost --drop with the real Brelldrop.dll registered by the real
// regsvr32 and the real engine behind it: the right-drag menu Explorer
// would show, then a copy and a move of two files, within a volume and
// across two (a second drive on another file system, mapped by run.sh).
#include "EngineHarness.h"
#include "PutClipboardFiles.h"
#include "support/Clipboard.h"

#include <gtest/gtest.h>

namespace {

using namespace brelltest;

class DropMenuhost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(0u, RunAndWait(L"regsvr32 /s \"" + BinPath(L"Brelldrop.dll") + L"\"", 60000));
        // The engine lies next to the tests; the menu reads its folder
        // through the 32-bit view, as the installer writes it.
        ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, kProductKey, L"Path", BinDir(), KEY_WOW64_32KEY));
    }

    static Captured Drop(const std::wstring& folder, const std::vector<std::wstring>& files,
                         const std::wstring& choice) {
        std::wstring line = L"\"" + BinPath(L"menuhost.exe") + L"\" --drop \"" + folder + L"\"";
        for (const std::wstring& file : files) line += L" \"" + file + L"\"";
        return RunAndCapture(line + L" " + choice);
    }
};

TEST_F(DropMenuhost, TheEntriesFollowTheShellsGroupWithTheirVerbs) {
    const ScratchFolder source(L"drop-menu-source"), target(L"drop-menu-target");
    ASSERT_TRUE(WriteBytes(source / L"a.txt", "a"));
    const Captured run = Drop(target.path(), {source / L"a.txt"}, L"");
    EXPECT_EQ(0u, run.exitCode) << run.output;
    // The console's line ends.
    EXPECT_THAT(run.output, HasSubstr("  [3] Create shortcuts here\r\n"
                                      "  [256] Copy here with Brellow  -- Copy the dragged files here with Brellow "
                                      "(verb brellowcopy)\r\n"
                                      "  [257] Move here with Brellow  -- Move the dragged files here with Brellow "
                                      "(verb brellowmove)\r\n"
                                      "  [0] ----\r\n"))
        << run.output;
    // Registered under Directory and Folder, loaded once.
    EXPECT_THAT(run.output, Not(HasSubstr("[258]")));
}

struct DropCase {
    const char* name;
    const wchar_t* choice;
    bool moves;
    bool acrossVolumes;
};

class DropRuns : public DropMenuhost, public ::testing::WithParamInterface<DropCase> {};

TEST_P(DropRuns, TheFilesArriveAndAMoveTakesThemFromTheSource) {
    const DropCase& c = GetParam();
    std::string whyNot;
    const std::wstring second = c.acrossVolumes ? SecondVolume(whyNot) : TempFolder();
    if (second.empty()) GTEST_SKIP() << whyNot;
    const ScratchFolder source(L"drop-source", second);
    const ScratchFolder target(L"drop target with spaces");
    ASSERT_TRUE(WriteBytes(source / L"a.txt", "first"));
    ASSERT_TRUE(WriteBytes(source / L"b.txt", "second"));
    ASSERT_TRUE(brell::PutClipboardText(L"keep me"));
    const DWORD sequence = GetClipboardSequenceNumber();

    const ScratchFolder reports(L"drop-report");
    SetEnvironmentVariableW(L"BRELLOW_REPORT", (reports / L"report.txt").c_str());
    const Captured run = Drop(target.path(), {source / L"a.txt", source / L"b.txt"},
                              std::wstring(c.choice) + L" --wait-engine");
    SetEnvironmentVariableW(L"BRELLOW_REPORT", nullptr);

    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_THAT(run.output, HasSubstr(": 0x00000000\r\n"));
    EXPECT_THAT(run.output, HasSubstr("brellow.exe ended with exit code 0"));
    const std::string report = ReadBytes(reports / L"report.txt");
    EXPECT_THAT(report, HasSubstr(c.moves ? "result\t0\t0\t0\t0\t2" : "result\t0\t2\t0\t0\t0")) << report;
    EXPECT_EQ("first", ReadBytes(target / L"a.txt"));
    EXPECT_EQ("second", ReadBytes(target / L"b.txt"));
    EXPECT_EQ(!c.moves, Exists(source / L"a.txt"));
    EXPECT_EQ(!c.moves, Exists(source / L"b.txt"));
    // A drag's move tells the clipboard nothing.
    EXPECT_EQ(sequence, GetClipboardSequenceNumber());
}

INSTANTIATE_TEST_SUITE_P(
    CopyAndMove, DropRuns,
    ::testing::Values(DropCase{"CopyByText", L"--invoke \"Copy here with Brellow\"", false, false},
                      DropCase{"MoveByVerb", L"--verb brellowmove", true, false},
                      DropCase{"CopyAcrossVolumes", L"--verb brellowcopy", false, true},
                      DropCase{"MoveAcrossVolumes", L"--invoke \"Move here with Brellow\"", true, true}),
    [](const ::testing::TestParamInfo<DropCase>& info) { return std::string(info.param.name); });

}  // namespace
