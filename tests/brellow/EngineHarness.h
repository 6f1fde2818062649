// Drives the real brellow.exe as the menu does: files on the real clipboard,
// the engine started with the quoted folder, its report read afterwards.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace enginetest {

std::wstring ProgramFolder();
std::wstring EnginePath();

// A fresh folder under the temporary folder, removed with all it holds.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const;

private:
    std::wstring path_;
};

// Removes path and all below it, however long the paths (no recursion).
void RemoveTree(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
// Every file and folder below root, relative, sorted; folders end in "\".
std::vector<std::wstring> ListTree(const std::wstring& root);

struct EngineRun {
    DWORD exitCode = 0xFFFFFFFF;
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

// Puts bytes on the clipboard as they are, in format (a CF_HDROP block
// crafted byte by byte, for instance).
bool PutClipboardBlock(UINT format, const std::string& bytes);

// A chain of levels nested folders, each named name, below root (which is
// created), with "bottom.txt" holding "bottom" in the deepest. Built in short
// pieces that are moved into place, so that no call sees a long path: Wine
// limits its paths, and slows down with their depth.
bool MakeDeepChain(const std::wstring& root, const std::wstring& name, int levels);
// Removes such a chain, however deep, the same way; then root.
void RemoveDeepChain(const std::wstring& root, const std::wstring& name);
// The usual line: "<engine>" "<folder>".
std::wstring EngineLine(const std::wstring& folder);

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

// Waits up to timeoutMs for a visible top-level dialog of process with this
// caption; null when none came (or the process ended first).
HWND WaitForDialog(const PROCESS_INFORMATION& process, const wchar_t* caption, DWORD timeoutMs = 60000);
// The texts of a window's children of one class ("Static", "Button").
std::vector<std::wstring> ChildTexts(HWND window, const wchar_t* className);
// Clicks the child button with this exact text ("&Replace"); false if none.
bool ClickButton(HWND window, const wchar_t* text);

// What the clipboard holds now: whether it has a file list, and a DWORD
// format's value (false when absent or too short).
bool ClipboardHasFiles();
bool ClipboardDword(const wchar_t* formatName, DWORD& value);

void SetSetting(const wchar_t* name, DWORD value);
void ClearSettings();

// The engine tests' fixture: default settings, a source and a target folder,
// and every name clash answered as clashAnswer says (null: asked in the
// dialog); most runs meet existing files only as incidents and skip them.
class EngineFixture : public ::testing::Test {
protected:
    explicit EngineFixture(const wchar_t* clashAnswer = L"skip") : clashAnswer_(clashAnswer) {}
    void SetUp() override {
        ClearSettings();
        SetClashAnswer(clashAnswer_);
    }
    void TearDown() override {
        ClearSettings();
        SetClashAnswer(nullptr);
    }

    ScratchFolder source;
    ScratchFolder target;

private:
    const wchar_t* clashAnswer_;
};

// size bytes of a pseudo-random pattern; seeds give different patterns.
std::string Pattern(size_t size, unsigned seed);

// 400 MiB in one file, which the engine copies in one-megabyte requests,
// written through, after UseOneMegabyteRequests: long enough to be caught.
constexpr ULONGLONG kLargeSize = 400ull * 1024 * 1024;
bool WriteLargeFile(const std::wstring& path);
void UseOneMegabyteRequests();

}  // namespace enginetest
