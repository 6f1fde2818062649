// Drives the real brellow.exe as the menu does: files on the real clipboard,
// the engine started with the quoted folder, its report read afterwards.
#pragma once

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/Files.h"
#include "support/Folders.h"
#include "support/Process.h"
#include "support/Product.h"
#include "support/Registry.h"
#include "support/Text.h"

namespace brelltest {

// What the engine tests say of runs, reports and trees.
using ::testing::AnyOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
// Files by their names relative to a folder, and their bytes.
using Files = std::map<std::wstring, std::string>;

std::wstring EnginePath();
// The usual line: "<engine>" "<folder>".
std::wstring EngineLine(const std::wstring& folder);

struct EngineRun {
    DWORD exitCode = kNoExitCode;
    std::string report;  // what BRELLOW_REPORT received, UTF-8
};

// Runs commandLine (the whole raw line, engine included) and waits for it.
// whileRunning, when given, is called with the process right after start.
// currentFolder, when given, is the folder the engine starts in.
// reportPath, when given, is BRELLOW_REPORT (by default a fresh file).
EngineRun RunEngine(const std::wstring& commandLine,
                    const std::function<void(const PROCESS_INFORMATION& process)>& whileRunning = nullptr,
                    const std::wstring& currentFolder = std::wstring(),
                    const std::wstring& reportPath = std::wstring());

// The engine's progress window; null when the engine ended first.
HWND WaitForProgressWindow(const PROCESS_INFORMATION& process);
// Waits until the tree below folder holds more than entriesBefore files and
// folders; false when the engine ended first.
bool WaitForNewEntries(const PROCESS_INFORMATION& process, const std::wstring& folder, size_t entriesBefore);
// How long the engine runs from its first entry in folder to its end (0 when
// it ends before any): the scale of the moments to kill a run at.
ULONGLONG TimeFromFirstEntry(const PROCESS_INFORMATION& process, const std::wstring& folder);
// Kills the engine after delayMs, as a crash would, and waits for its end.
void KillAfter(const PROCESS_INFORMATION& process, ULONGLONG delayMs);

// The engine's temporary files: ".brellow-" + 16 hex digits + ".part".
bool IsStagedName(const std::wstring& name);
// The staged files in folder (not below it).
std::vector<std::wstring> StagedFilesIn(const std::wstring& folder);

// Holds the engine's copying still in the middle of a file: waits until a
// file being written (a staged file with some but not all of fullSize bytes)
// is in folder, then suspends every thread of the process but its first
// (the window's). Thaw() lets it go on.
class CopyFreezer {
public:
    ~CopyFreezer() { Thaw(); }
    // False when the copy ended before it could be held.
    // ignored: the name of a file already in folder that is not the engine's.
    bool FreezeWhileWriting(const PROCESS_INFORMATION& process, const std::wstring& folder, ULONGLONG fullSize,
                            const std::wstring& ignored = std::wstring());
    void Thaw();
    // Ends the held threads, as if they had died, with exit code 0.
    void EndThreads();

private:
    std::vector<HANDLE> threads_;
};

// A paste into folder held once in the middle of the large file (see
// CopyFreezer and EngineFixture::ClipLargeFile): whileHeld is called then,
// with the engine's process and the freezer; held says whether the paste came
// to that. ignored as for FreezeWhileWriting.
struct HeldRun {
    EngineRun run;
    bool held = false;
};
HeldRun RunHeldMidFile(const std::wstring& folder,
                       const std::function<void(const PROCESS_INFORMATION&, CopyFreezer&)>& whileHeld,
                       const std::wstring& ignored = std::wstring(), const std::wstring& currentFolder = std::wstring());
// A fast machine may finish the paste before it is held: nothing to tell then.
#define SKIP_UNLESS_HELD(heldRun) \
    if (!(heldRun).held) GTEST_SKIP() << "the paste of 400 MiB ended before it could be held"

// A chain of levels nested folders, each named name, below root (which is
// created), with "bottom.txt" holding "bottom" in the deepest. Built in short
// pieces that are moved into place, so that no call sees a long path: Wine
// limits its paths, and slows down with their depth.
bool MakeDeepChain(const std::wstring& root, const std::wstring& name, int levels);
// Removes such a chain, however deep, the same way; then root.
void RemoveDeepChain(const std::wstring& root, const std::wstring& name);

// BRELLOW_ON_CLASH for the engines this process starts: "ask", "skip",
// "replace", "keepboth", or null for unset (which means ask).
void SetClashAnswer(const wchar_t* answer);

// The root ("M:\") of a second drive that lies on another file system than
// C: (tests/wine/run.sh maps it when BRELL_SECOND_VOLUME is set); empty, with
// the reason in whyNot, where there is none.
std::wstring SecondVolume(std::string& whyNot);

// The file system's identity of a file or folder (its file index): a rename
// keeps it, a copy gets a new one. 0 when it cannot be opened.
ULONGLONG FileIdentity(const std::wstring& path);

// In the 32-bit view, where the 32-bit settings program writes them and the
// engine of either bitness reads them.
void SetSetting(const wchar_t* name, DWORD value);

// The engine tests' fixture: default settings, a source and a target folder,
// and every name clash answered as clashAnswer says (null: asked in the
// dialog); most runs meet existing files only as incidents and skip them.
class EngineFixture : public ::testing::Test {
protected:
    explicit EngineFixture(const wchar_t* clashAnswer = L"skip") : clashAnswer_(clashAnswer) {}
    void SetUp() override {
        ForgetProduct();
        SetClashAnswer(clashAnswer_);
    }
    void TearDown() override {
        ForgetProduct();
        SetClashAnswer(nullptr);
    }

    // A copy long enough to be held in the middle of a file: big.bin of
    // kLargeSize in source, copied in one-megabyte requests, on the clipboard
    // followed by others (made already).
    void ClipLargeFile(const std::vector<std::wstring>& others = {});

    ScratchFolder source{L"brellow-test"};
    ScratchFolder target{L"brellow-test"};

private:
    const wchar_t* clashAnswer_;
};

// size bytes of a pseudo-random pattern; seeds give different patterns.
std::string Pattern(size_t size, unsigned seed);

// Three folders f0..f2, each with perFolder small files of a pattern (empty
// ones among them; every second one in a subfolder "inner") and a file of
// 3 MiB that takes several requests, below root (created). Relative name to
// content.
Files MakeMixedTree(const std::wstring& root, int perFolder);

// 400 MiB in one file, which the engine copies in one-megabyte requests,
// written through, after UseOneMegabyteRequests: long enough to be caught.
constexpr ULONGLONG kLargeSize = 400ull * 1024 * 1024;
bool WriteLargeFile(const std::wstring& path);
void UseOneMegabyteRequests();

}  // namespace brelltest
