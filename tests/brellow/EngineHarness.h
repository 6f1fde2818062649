// Drives the real brellow.exe as the menu does: files on the real clipboard,
// the engine started with the quoted folder, its report read afterwards.
#pragma once

#include <windows.h>

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
EngineRun RunEngine(const std::wstring& commandLine,
                    const std::function<void(const PROCESS_INFORMATION& process)>& whileRunning = nullptr);

// Holds the engine's copying still in the middle of a file: waits until the
// file being written is in the target folder, then suspends every thread of
// the process but its first (the window's). Thaw() lets it go on.
class CopyFreezer {
public:
    ~CopyFreezer() { Thaw(); }
    // False when the copy ended (or the file was complete) before it could be held.
    bool FreezeWhileWriting(const PROCESS_INFORMATION& process, const std::wstring& file, ULONGLONG fullSize);
    void Thaw();

private:
    std::vector<HANDLE> threads_;
};
// The usual line: "<engine>" "<folder>".
std::wstring EngineLine(const std::wstring& folder);

void SetSetting(const wchar_t* name, DWORD value);
void ClearSettings();

}  // namespace enginetest
