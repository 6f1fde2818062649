#include "EngineHarness.h"

#include "PutClipboardFiles.h"
#include "support/WindowSearch.h"

#include <tlhelp32.h>

#include <algorithm>
#include <utility>

namespace brelltest {

std::wstring EnginePath() { return BinPath(L"brellow.exe"); }

std::wstring EngineLine(const std::wstring& folder) { return L"\"" + EnginePath() + L"\" \"" + folder + L"\""; }

EngineRun RunEngine(const std::wstring& commandLine,
                    const std::function<void(const PROCESS_INFORMATION&)>& whileRunning,
                    const std::wstring& currentFolder, const std::wstring& givenReportPath) {
    EngineRun run;
    ScratchFolder reportFolder(L"brellow-report");
    const std::wstring reportPath = givenReportPath.empty() ? reportFolder / L"report.txt" : givenReportPath;
    SetEnvironmentVariableW(L"BRELLOW_REPORT", reportPath.c_str());
    ChildProcess engine;
    StartOptions options;
    options.application = EnginePath();
    options.currentFolder = currentFolder;
    const bool started = engine.Start(commandLine, options);
    SetEnvironmentVariableW(L"BRELLOW_REPORT", nullptr);
    if (!started) return run;
    if (whileRunning) whileRunning(engine.info());
    run.exitCode = engine.Wait(120000);
    run.report = ReadBytes(reportPath);
    return run;
}

HWND WaitForProgressWindow(const PROCESS_INFORMATION& process) {
    return WaitForWindow(process, L"BrellowProgress", nullptr, INFINITE);
}

bool WaitForNewEntries(const PROCESS_INFORMATION& process, const std::wstring& folder, size_t entriesBefore) {
    while (ListTree(folder).size() <= entriesBefore)
        if (WaitForSingleObject(process.hProcess, 1) != WAIT_TIMEOUT) return false;
    return true;
}

ULONGLONG TimeFromFirstEntry(const PROCESS_INFORMATION& process, const std::wstring& folder) {
    if (!WaitForNewEntries(process, folder, 0)) return 0;
    const ULONGLONG started = GetTickCount64();
    WaitForSingleObject(process.hProcess, 120000);
    return GetTickCount64() - started;
}

void KillAfter(const PROCESS_INFORMATION& process, ULONGLONG delayMs) {
    WaitForSingleObject(process.hProcess, static_cast<DWORD>(delayMs));
    TerminateProcess(process.hProcess, 9);
    WaitForSingleObject(process.hProcess, 30000);
}

bool IsStagedName(const std::wstring& name) {
    const std::wstring prefix = L".brellow-";
    const std::wstring suffix = L".part";
    if (name.size() != prefix.size() + 16 + suffix.size()) return false;
    if (name.compare(0, prefix.size(), prefix) != 0 || name.compare(prefix.size() + 16, suffix.size(), suffix) != 0)
        return false;
    return name.find_first_not_of(L"0123456789abcdef", prefix.size()) == prefix.size() + 16;
}

namespace {

ULONGLONG SizeOf(const WIN32_FIND_DATAW& entry) {
    return (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}

// Any file counts, not only a staged one: an engine that wrote under the
// final name must be caught as well, for its tests to fail.
bool WritingInto(const std::wstring& folder, ULONGLONG fullSize, const std::wstring& ignored) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool writing = false;
    do {
        const ULONGLONG size = SizeOf(entry);
        writing = !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && size > 0 && size < fullSize &&
                  ignored != entry.cFileName;
    } while (!writing && FindNextFileW(find, &entry));
    FindClose(find);
    return writing;
}

}  // namespace

// A listing sees a file even while it is marked for deletion.
std::vector<std::wstring> StagedFilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\.brellow-*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (IsStagedName(entry.cFileName)) names.push_back(entry.cFileName);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return names;
}

bool CopyFreezer::FreezeWhileWriting(const PROCESS_INFORMATION& process, const std::wstring& folder,
                                     ULONGLONG fullSize, const std::wstring& ignored) {
    while (!WritingInto(folder, fullSize, ignored)) {
        if (WaitForSingleObject(process.hProcess, 0) != WAIT_TIMEOUT) return false;
        Sleep(1);
    }
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != process.dwProcessId || entry.th32ThreadID == process.dwThreadId) continue;
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ThreadID);
        if (!thread) continue;
        if (SuspendThread(thread) == static_cast<DWORD>(-1)) {
            CloseHandle(thread);
            continue;
        }
        threads_.push_back(thread);
    }
    CloseHandle(snapshot);
    return !threads_.empty() && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT &&
           WritingInto(folder, fullSize, ignored);
}

void CopyFreezer::Thaw() {
    for (HANDLE thread : threads_) {
        ResumeThread(thread);
        CloseHandle(thread);
    }
    threads_.clear();
}

void CopyFreezer::EndThreads() {
    for (HANDLE thread : threads_) {
        TerminateThread(thread, 0);
        WaitForSingleObject(thread, 30000);
        CloseHandle(thread);
    }
    threads_.clear();
}

HeldRun RunHeldMidFile(const std::wstring& folder,
                       const std::function<void(const PROCESS_INFORMATION&, CopyFreezer&)>& whileHeld,
                       const std::wstring& ignored, const std::wstring& currentFolder) {
    HeldRun held;
    held.run = RunEngine(
        EngineLine(folder),
        [&](const PROCESS_INFORMATION& process) {
            CopyFreezer freezer;
            held.held = freezer.FreezeWhileWriting(process, folder, kLargeSize, ignored);
            if (held.held) whileHeld(process, freezer);
        },
        currentFolder);
    return held;
}

namespace {

constexpr int kPieceLevels = 50;

std::wstring Levels(const std::wstring& name, int count) {
    std::wstring path;
    for (int i = 0; i < count; ++i) path += L"\\" + name;
    return path;
}

}  // namespace

bool MakeDeepChain(const std::wstring& root, const std::wstring& name, int levels) {
    const std::wstring top = LongForm(root);
    if (!CreateDirectoryW(top.c_str(), nullptr)) return false;
    // The deepest piece first, with the file; then each new piece is built
    // beside the chain and the chain moved into its deepest folder.
    int depth = 0;
    std::wstring path = top;
    for (; depth < kPieceLevels && depth < levels; ++depth) {
        path += L"\\" + name;
        if (!CreateDirectoryW(path.c_str(), nullptr)) return false;
    }
    WriteBytes(path + L"\\bottom.txt", "bottom");
    const std::wstring piece = top + L"\\piece";
    while (depth < levels) {
        const int add = std::min(kPieceLevels, levels - depth);
        if (!CreateDirectoryW(piece.c_str(), nullptr)) return false;
        path = piece;
        for (int i = 0; i < add; ++i) {
            path += L"\\" + name;
            if (!CreateDirectoryW(path.c_str(), nullptr)) return false;
        }
        if (!MoveFileW((top + L"\\" + name).c_str(), (path + L"\\" + name).c_str())) return false;
        if (!MoveFileW((piece + L"\\" + name).c_str(), (top + L"\\" + name).c_str())) return false;
        RemoveDirectoryW(piece.c_str());
        depth += add;
    }
    return true;
}

void RemoveDeepChain(const std::wstring& root, const std::wstring& name) {
    const std::wstring top = LongForm(root);
    const std::wstring rest = top + L"\\rest";
    // Cut the chain below its first piece, remove the piece, move the rest up.
    for (;;) {
        const std::wstring below = top + Levels(name, kPieceLevels + 1);
        if (GetFileAttributesW(below.c_str()) == INVALID_FILE_ATTRIBUTES) break;
        if (!MoveFileW(below.c_str(), rest.c_str())) break;
        RemoveTree(top + L"\\" + name);
        if (!MoveFileW(rest.c_str(), (top + L"\\" + name).c_str())) break;
    }
    RemoveTree(top);
}

void SetClashAnswer(const wchar_t* answer) { SetEnvironmentVariableW(L"BRELLOW_ON_CLASH", answer); }

std::wstring SecondVolume(std::string& whyNot) {
    wchar_t letter[8] = {};
    const DWORD length = GetEnvironmentVariableW(L"BRELL_SECOND_VOLUME", letter, ARRAYSIZE(letter));
    if (length == 2 && letter[1] == L':') {
        const std::wstring root = std::wstring(letter) + L"\\";
        if (Exists(root)) return root;
        whyNot = "the second drive is mapped but cannot be reached";
        return std::wstring();
    }
    char reason[512] = {};
    if (GetEnvironmentVariableA("BRELL_SECOND_VOLUME_MISSING", reason, sizeof(reason)) && reason[0])
        whyNot = reason;
    else
        whyNot = "no second drive: run under tests/wine/run.sh with BRELL_SECOND_VOLUME set";
    return std::wstring();
}

ULONGLONG FileIdentity(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info = {};
    const BOOL asked = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    return asked ? (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow : 0;
}

void SetSetting(const wchar_t* name, DWORD value) {
    WriteDword(HKEY_LOCAL_MACHINE, kSettingsKey, name, value, KEY_WOW64_32KEY);
}

std::string Pattern(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

Files MakeMixedTree(const std::wstring& root, int perFolder) {
    Files files;
    for (int folder = 0; folder < 3; ++folder) {
        const std::wstring sub = L"f" + std::to_wstring(folder);
        for (int i = 0; i < perFolder; ++i) {
            const std::wstring name = sub + (i % 2 ? L"\\inner\\s" : L"\\s") + std::to_wstring(i) + L".dat";
            files[name] = Pattern(static_cast<size_t>((i * 7919 + folder * 104729) % 90000) * (i % 10 != 0),
                                  i + 100 * folder);
        }
        files[sub + L"\\large.bin"] = Pattern(3 * 1024 * 1024 + 333, 77 + folder);
    }
    WriteFiles(root, files);
    return files;
}

bool WriteLargeFile(const std::wstring& path) {
    HANDLE big = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (big == INVALID_HANDLE_VALUE) return false;
    const std::string chunk = Pattern(1024 * 1024, 6);
    bool ok = true;
    for (ULONGLONG done = 0; done < kLargeSize && ok; done += chunk.size()) {
        DWORD written = 0;
        ok = WriteFile(big, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr) &&
             written == chunk.size();
    }
    CloseHandle(big);
    return ok;
}

void EngineFixture::ClipLargeFile(const std::vector<std::wstring>& others) {
    UseOneMegabyteRequests();
    ASSERT_TRUE(WriteLargeFile(source / L"big.bin"));
    std::vector<std::wstring> files{source / L"big.bin"};
    files.insert(files.end(), others.begin(), others.end());
    ASSERT_TRUE(brell::PutClipboardFiles(files));
}

void UseOneMegabyteRequests() {
    SetSetting(L"bmin", 1);
    SetSetting(L"expand", 0);
    SetSetting(L"wcache", 0);
}

}  // namespace brelltest
