#include "EngineHarness.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace enginetest {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

std::wstring EnginePath() { return ProgramFolder() + L"\\brellow.exe"; }

ScratchFolder::ScratchFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int counter = 0;
    path_ = std::wstring(temp) + L"brellow-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter);
    CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

std::wstring ScratchFolder::operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

namespace {

// The form that file functions take at any length.
std::wstring LongForm(const std::wstring& path) {
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path;
    return L"\\\\?\\" + path;
}

}  // namespace

void RemoveTree(const std::wstring& path) {
    // A folder is listed on its first visit and removed on its second, once
    // everything below it is gone.
    std::vector<std::pair<std::wstring, bool>> stack{{LongForm(path), false}};
    while (!stack.empty()) {
        if (stack.back().second) {
            RemoveDirectoryW(stack.back().first.c_str());
            stack.pop_back();
            continue;
        }
        stack.back().second = true;
        const std::wstring folder = stack.back().first;
        WIN32_FIND_DATAW entry;
        HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = folder + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                stack.emplace_back(child, false);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read) bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

namespace {

}  // namespace

std::vector<std::wstring> ListTree(const std::wstring& root) {
    std::vector<std::wstring> out;
    std::vector<std::wstring> pending{L""};
    const std::wstring base = LongForm(root);
    while (!pending.empty()) {
        const std::wstring relative = pending.back();
        pending.pop_back();
        WIN32_FIND_DATAW entry;
        HANDLE find = FindFirstFileW((base + L"\\" + relative + L"*").c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                out.push_back(relative + name + L"\\");
                pending.push_back(relative + name + L"\\");
            } else {
                out.push_back(relative + name);
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    std::sort(out.begin(), out.end());
    return out;
}

EngineRun RunEngine(const std::wstring& commandLine,
                    const std::function<void(const PROCESS_INFORMATION&)>& whileRunning,
                    const std::wstring& currentFolder, const std::wstring& givenReportPath) {
    EngineRun run;
    ScratchFolder reportFolder;
    const std::wstring reportPath = givenReportPath.empty() ? reportFolder / L"report.txt" : givenReportPath;
    SetEnvironmentVariableW(L"BRELLOW_REPORT", reportPath.c_str());

    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    const std::wstring engine = EnginePath();
    if (!CreateProcessW(engine.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        currentFolder.empty() ? nullptr : currentFolder.c_str(), &startup, &process)) {
        SetEnvironmentVariableW(L"BRELLOW_REPORT", nullptr);
        return run;
    }
    if (whileRunning) whileRunning(process);
    WaitForSingleObject(process.hProcess, 120000);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    SetEnvironmentVariableW(L"BRELLOW_REPORT", nullptr);
    run.report = ReadBytes(reportPath);
    return run;
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

// A listing sees a file even while it is marked for deletion.
std::vector<std::pair<std::wstring, ULONGLONG>> StagedFilesWithSizes(const std::wstring& folder) {
    std::vector<std::pair<std::wstring, ULONGLONG>> found;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\.brellow-*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return found;
    do {
        if (IsStagedName(entry.cFileName))
            found.emplace_back(entry.cFileName,
                               (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return found;
}

// Any file counts, not only a staged one: an engine that wrote under the
// final name must be caught as well, for its tests to fail.
bool WritingInto(const std::wstring& folder, ULONGLONG fullSize, const std::wstring& ignored) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool writing = false;
    do {
        const ULONGLONG size = (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
        writing = !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && size > 0 && size < fullSize &&
                  ignored != entry.cFileName;
    } while (!writing && FindNextFileW(find, &entry));
    FindClose(find);
    return writing;
}

}  // namespace

std::vector<std::wstring> StagedFilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    for (const auto& file : StagedFilesWithSizes(folder)) names.push_back(file.first);
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

bool PutClipboardBlock(UINT format, const std::string& bytes) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!memory) return false;
    if (void* locked = GlobalLock(memory)) {
        if (!bytes.empty()) memcpy(locked, bytes.data(), bytes.size());
        GlobalUnlock(memory);
    }
    bool placed = false;
    for (int attempt = 0; attempt < 40 && !placed; ++attempt) {
        if (!OpenClipboard(nullptr)) {
            Sleep(50);
            continue;
        }
        placed = EmptyClipboard() && SetClipboardData(format, memory) != nullptr;
        CloseClipboard();
        break;
    }
    if (!placed) GlobalFree(memory);
    return placed;
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

std::wstring EngineLine(const std::wstring& folder) { return L"\"" + EnginePath() + L"\" \"" + folder + L"\""; }

void SetClashAnswer(const wchar_t* answer) { SetEnvironmentVariableW(L"BRELLOW_ON_CLASH", answer); }

std::wstring SecondVolume(std::string& whyNot) {
    wchar_t letter[8] = {};
    const DWORD length = GetEnvironmentVariableW(L"BRELL_SECOND_VOLUME", letter, ARRAYSIZE(letter));
    if (length == 2 && letter[1] == L':') {
        const std::wstring root = std::wstring(letter) + L"\\";
        if (GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES) return root;
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

namespace {

struct DialogSearch {
    DWORD processId;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<DialogSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    wchar_t text[256] = {};
    GetWindowTextW(window, text, ARRAYSIZE(text));
    wchar_t cls[64] = {};
    GetClassNameW(window, cls, ARRAYSIZE(cls));
    if (wcscmp(text, search->caption) != 0 || wcscmp(cls, L"#32770") != 0) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND WaitForDialog(const PROCESS_INFORMATION& process, const wchar_t* caption, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    do {
        DialogSearch search = {process.dwProcessId, caption, nullptr};
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
    } while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT && GetTickCount64() < end);
    return nullptr;
}

std::vector<std::wstring> ChildTexts(HWND window, const wchar_t* className) {
    std::vector<std::wstring> texts;
    for (HWND child = FindWindowExW(window, nullptr, className, nullptr); child;
         child = FindWindowExW(window, child, className, nullptr)) {
        wchar_t text[1024] = {};
        SendMessageW(child, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text));
        texts.push_back(text);
    }
    return texts;
}

bool ClickButton(HWND window, const wchar_t* text) {
    HWND button = FindWindowExW(window, nullptr, L"Button", text);
    if (!button) return false;
    SendMessageW(button, BM_CLICK, 0, 0);
    return true;
}

bool ClipboardHasFiles() { return IsClipboardFormatAvailable(CF_HDROP) != FALSE; }

bool ClipboardDword(const wchar_t* formatName, DWORD& value) {
    const UINT format = RegisterClipboardFormatW(formatName);
    bool read = false;
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (!OpenClipboard(nullptr)) {
            Sleep(50);
            continue;
        }
        HANDLE data = GetClipboardData(format);
        if (data && GlobalSize(data) >= sizeof(DWORD)) {
            if (const void* locked = GlobalLock(data)) {
                memcpy(&value, locked, sizeof(value));
                GlobalUnlock(data);
                read = true;
            }
        }
        CloseClipboard();
        break;
    }
    return read;
}


// In the 32-bit view, where the 32-bit settings program writes them and the
// engine of either bitness reads them.
void SetSetting(const wchar_t* name, DWORD value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Halvorin\\Brellow\\init", 0, nullptr, 0,
                        KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
}

void ClearSettings() {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        HKEY software = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | view, &software) != ERROR_SUCCESS)
            continue;
        RegDeleteTreeW(software, L"Halvorin");
        RegCloseKey(software);
    }
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

void UseOneMegabyteRequests() {
    SetSetting(L"bmin", 1);
    SetSetting(L"expand", 0);
    SetSetting(L"wcache", 0);
}

}  // namespace enginetest
