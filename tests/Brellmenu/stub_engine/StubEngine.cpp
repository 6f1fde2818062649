// Stands in for brellow.exe in the launch tests: appends its raw command line
// (one line, UTF-16) to launches.log beside itself, then signals the test.
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t log[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, log, MAX_PATH * 3);
    if (length == 0 || length >= MAX_PATH * 3) return 2;
    wchar_t* slash = std::wcsrchr(log, L'\\');
    if (!slash) return 2;
    std::wcscpy(slash + 1, L"launches.log");

    // Launches that overlap wait for each other.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"BrellStubEngineLog");
    if (mutex) WaitForSingleObject(mutex, INFINITE);
    HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const wchar_t* line = GetCommandLineW();
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(std::wcslen(line) * sizeof(wchar_t)), &written,
                  nullptr);
        WriteFile(file, L"\n", sizeof(wchar_t), &written, nullptr);
        CloseHandle(file);
    }
    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    if (HANDLE done = OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE, L"BrellStubEngineLaunched")) {
        ReleaseSemaphore(done, 1, nullptr);
        CloseHandle(done);
    }
    return 0;
}
