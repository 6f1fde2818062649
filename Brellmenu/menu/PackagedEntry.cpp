// The package's registration is asked once per process through
// GetPackagesByPackageFamily (kernel32, Windows 8 and later, looked up at
// run time: the DLL also loads on older Windows), which lists the packages of
// a family registered for the current user. A package that is registered
// cannot be older than Windows 11 either: its manifest's MinVersion is
// 10.0.22000. A "yes" is asked again after a minute, so that a package
// removed while Explorer runs (Settings, Apps) cannot leave a folder without
// its entry until Explorer restarts; a "no" stands, as a package registered
// meanwhile shows only once Explorer restarts.
#include "menu/PackagedEntry.h"

#include <shlobj.h>

#include "Owners.h"
#include "command/CommandIdentity.h"

namespace {

#if defined(_WIN64)

using GetPackagesByFamilyFunc = LONG(WINAPI*)(PCWSTR, UINT32*, PWSTR*, UINT32*, WCHAR*);

constexpr LONG kUnknown = 0, kShows = 1, kNever = 2;
constexpr ULONGLONG kAskAgainAfterMs = 60000;

volatile LONG g_answer = kUnknown;
volatile LONG64 g_askedAt = 0;

// The packaged command runs in 64-bit Explorer only; other hosts (file
// dialogs of programs, other file managers) keep the classic entry.
bool HostIsExplorer() noexcept {
    wchar_t path[1024];
    const DWORD length = GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
    if (length == 0 || length >= ARRAYSIZE(path)) return false;
    const wchar_t* name = path;
    for (const wchar_t* at = path; *at; ++at)
        if (*at == L'\\' || *at == L'/') name = at + 1;
    return CompareStringOrdinal(name, -1, L"explorer.exe", -1, TRUE) == CSTR_EQUAL;
}

// Asks only for the count: no names are copied.
bool RegisteredForUser() noexcept {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FARPROC found = kernel ? GetProcAddress(kernel, "GetPackagesByPackageFamily") : nullptr;
    if (!found) return false;
    const auto getPackages = reinterpret_cast<GetPackagesByFamilyFunc>(reinterpret_cast<void (*)()>(found));
    UINT32 count = 0, length = 0;
    const LONG status = getPackages(kPackageFamilyName, &count, nullptr, &length, nullptr);
    return (status == ERROR_SUCCESS || status == ERROR_INSUFFICIENT_BUFFER) && count > 0;
}

bool PackageShowsForUser() noexcept {
    const LONG known = InterlockedCompareExchange(&g_answer, kUnknown, kUnknown);
    if (known == kNever) return false;
    const ULONGLONG now = GetTickCount64();
    if (known == kShows && now - static_cast<ULONGLONG>(InterlockedCompareExchange64(&g_askedAt, 0, 0)) < kAskAgainAfterMs)
        return true;
    // Racing threads ask the same question and store the same answer.
    const LONG answer = (known == kShows || HostIsExplorer()) && RegisteredForUser() ? kShows : kNever;
    InterlockedExchange64(&g_askedAt, static_cast<LONG64>(now));
    InterlockedExchange(&g_answer, answer);
    return answer == kShows;
}

// A folder of the file system, as the packaged command tells it: a folder
// with a path that is not also a file (an archive, a library's own file).
bool FileSystemFolder(PCIDLIST_ABSOLUTE folder) noexcept {
    brell::ComPtr<IShellFolder> parent;
    PCUITEMID_CHILD child = nullptr;
    if (FAILED(SHBindToParent(folder, IID_IShellFolder, parent.put_void(), &child)) || !parent) return false;
    constexpr SFGAOF kFolder = SFGAO_FILESYSTEM | SFGAO_FOLDER;
    SFGAOF attributes = kFolder | SFGAO_STREAM;
    return SUCCEEDED(parent->GetAttributesOf(1, &child, &attributes)) && (attributes & kFolder) == kFolder &&
           !(attributes & SFGAO_STREAM);
}

#endif

}  // namespace

bool PackagedEntryShows(PCIDLIST_ABSOLUTE folder) noexcept {
#if defined(_WIN64)
    return folder && PackageShowsForUser() && FileSystemFolder(folder);
#else
    // 32-bit programs' dialogs never show the packaged command.
    (void)folder;
    return false;
#endif
}
