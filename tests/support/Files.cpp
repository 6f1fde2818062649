#include "support/Files.h"

#include "support/Process.h"

#include <algorithm>
#include <utility>

namespace brelltest {

std::wstring LongForm(const std::wstring& path) {
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path;
    return L"\\\\?\\" + path;
}

namespace {

bool IsDots(const wchar_t* name) { return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0; }

// Calls visit(entry) for every entry of folder but "." and "..".
template <class Visit>
void ForEachEntry(const std::wstring& folder, Visit visit) {
    WIN32_FIND_DATAW entry;
    const std::wstring pattern = folder.empty() || folder.back() == L'\\' ? folder + L"*" : folder + L"\\*";
    HANDLE find = FindFirstFileW(pattern.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!IsDots(entry.cFileName)) visit(entry);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

bool WriteWith(const std::wstring& path, const std::string& bytes, DWORD access, DWORD disposition) {
    HANDLE file = CreateFileW(path.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool whole = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                       written == bytes.size();
    CloseHandle(file);
    return whole;
}

}  // namespace

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring LastName(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

bool MakeFolders(const std::wstring& path) {
    const std::wstring::size_type start = path.rfind(L"\\\\?\\", 0) == 0 ? 7 : 3;
    for (std::wstring::size_type i = start; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\') {
            const std::wstring part = path.substr(0, i);
            if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
        }
    }
    return true;
}

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
        ForEachEntry(folder, [&](const WIN32_FIND_DATAW& entry) {
            const std::wstring child = folder + L"\\" + entry.cFileName;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                stack.emplace_back(child, false);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        });
    }
}

std::vector<std::wstring> ListTree(const std::wstring& root) {
    std::vector<std::wstring> out;
    std::vector<std::wstring> pending{L""};
    const std::wstring base = LongForm(root);
    while (!pending.empty()) {
        const std::wstring relative = pending.back();
        pending.pop_back();
        // relative is empty or ends in a backslash
        ForEachEntry(base + L"\\" + relative, [&](const WIN32_FIND_DATAW& entry) {
            std::wstring name = relative + entry.cFileName;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                name += L"\\";
                pending.push_back(name);
            }
            out.push_back(name);
        });
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string ReadBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kMissing;
    std::string bytes;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read) bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

std::wstring ReadUtf16File(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::wstring text;
    wchar_t buffer[1024];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) text.append(buffer, got / sizeof(wchar_t));
    CloseHandle(file);
    return text;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    return WriteWith(path, bytes, GENERIC_WRITE, CREATE_ALWAYS);
}

bool AppendBytes(const std::wstring& path, const std::string& bytes) {
    return WriteWith(path, bytes, FILE_APPEND_DATA, OPEN_EXISTING);
}

bool WriteFiles(const std::wstring& root, const std::map<std::wstring, std::string>& files) {
    bool written = MakeFolders(root);
    for (const auto& file : files) {
        const std::wstring path = root + L"\\" + file.first;
        written = MakeFolders(path.substr(0, path.find_last_of(L'\\'))) && WriteBytes(path, file.second) && written;
    }
    return written;
}

std::string UnixPath(const std::wstring& path) {
    // Wine's own export: the path below its drive's Unix folder.
    using ToUnix = char*(CDECL*)(const wchar_t*);
    const auto proc = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    if (!proc) return std::string();
    char* unix = reinterpret_cast<ToUnix>(reinterpret_cast<void (*)()>(proc))(path.c_str());
    if (!unix) return std::string();
    std::string result = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

bool RunOnHost(const std::vector<std::string>& argv, const std::wstring& creates) {
    if (argv.empty()) return false;
    // Wine starts a Unix program given by its path on drive Z:. Unix paths
    // are UTF-8.
    auto wide = [](const std::string& text) {
        std::wstring result(text.size(), L'\0');
        result.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                              &result[0], static_cast<int>(result.size()))));
        return result;
    };
    std::wstring program = L"Z:" + wide(argv[0]);
    std::replace(program.begin(), program.end(), L'/', L'\\');
    std::wstring line = L"\"" + program + L"\"";
    for (size_t i = 1; i < argv.size(); ++i) line += L" \"" + wide(argv[i]) + L"\"";
    RunAndWait(line, 30000);
    for (int attempt = 0; attempt < 100; ++attempt) {
        WIN32_FIND_DATAW entry;
        const HANDLE find = FindFirstFileW(LongForm(creates).c_str(), &entry);
        if (find != INVALID_HANDLE_VALUE) {
            FindClose(find);
            return true;
        }
        Sleep(50);
    }
    return false;
}

bool MakeHostLink(const std::wstring& link, const std::wstring& target) {
    const std::string to = UnixPath(target);
    const std::string at = UnixPath(link);
    if (to.empty() || at.empty()) return false;
    return RunOnHost({"/bin/ln", "-s", to, at}, link);
}

}  // namespace brelltest
