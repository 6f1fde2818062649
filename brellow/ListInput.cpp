#include "ListInput.h"

#include "CommandLine.h"
#include "DropList.h"
#include "DropListStream.h"
#include "Owners.h"

#include <tlhelp32.h>

#include <cstring>
#include <cwchar>

namespace brellow {
namespace {

// "--list-copy=123" at p: the mode and the handle; p then stands after it.
bool ParseListSwitch(const wchar_t*& p, EngineArguments& arguments) {
    const size_t length = std::wcslen(brell::kListCopySwitch);  // both switches are as long
    if (std::wcsncmp(p, brell::kListCopySwitch, length) == 0) {
        arguments.move = false;
    } else if (std::wcsncmp(p, brell::kListMoveSwitch, length) == 0) {
        arguments.move = true;
    } else {
        return false;
    }
    p += length;
    ULONG_PTR value = 0;
    const wchar_t* digits = p;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        const ULONG_PTR digit = static_cast<ULONG_PTR>(*p - L'0');
        if (value > (~ULONG_PTR{0} - digit) / 10) return false;
        value = value * 10 + digit;
    }
    if (p == digits || (*p != L' ' && *p != L'\t')) return false;
    arguments.list = reinterpret_cast<HANDLE>(value);
    arguments.fromList = true;
    return true;
}

// The process that started this one; 0 when it cannot be told.
DWORD ParentProcessId() {
    brell::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
        if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
    return 0;
}

// A handle the engine may read the list from: a pipe, and where the system
// can tell, one made by the program that started the engine (the read end of
// an anonymous pipe is its server end). Another user's program cannot hand
// the engine a handle at all; this turns away a command line that names a
// handle the engine happens to hold for something else.
ListResult CheckHandle(HANDLE handle) {
    SetLastError(ERROR_SUCCESS);
    const DWORD type = GetFileType(handle);
    if (type == FILE_TYPE_UNKNOWN && GetLastError() != ERROR_SUCCESS) return ListResult::Gone;
    if (type != FILE_TYPE_PIPE) return ListResult::NotOurs;
    ULONG server = 0;
    const DWORD parent = ParentProcessId();
    if (parent && GetNamedPipeServerProcessId(handle, &server) && server != parent) return ListResult::NotOurs;
    return ListResult::Ok;
}

// Reads up to bytes into buffer, until the writer closes its end; what was
// read. Both the end of the stream and a broken pipe end the read.
size_t ReadUpTo(HANDLE handle, void* buffer, size_t bytes) {
    auto* at = static_cast<unsigned char*>(buffer);
    size_t total = 0;
    while (total < bytes) {
        const size_t left = bytes - total;
        const DWORD chunk = left > 0x100000 ? 0x100000 : static_cast<DWORD>(left);
        DWORD read = 0;
        if (!ReadFile(handle, at + total, chunk, &read, nullptr) || read == 0) break;
        total += read;
    }
    return total;
}

ListResult ReadStream(HANDLE handle, bool move, std::vector<std::wstring>& paths) {
    const ListResult usable = CheckHandle(handle);
    if (usable != ListResult::Ok) return usable;

    brell::DropListHeader header = {};
    const size_t headerBytes = ReadUpTo(handle, &header, sizeof(header));
    if (headerBytes == 0) return ListResult::Gone;
    if (headerBytes < sizeof(header)) return ListResult::Truncated;
    if (std::memcmp(header.magic, brell::kDropListMagic, sizeof(header.magic)) != 0 ||
        header.version != brell::kDropListVersion)
        return ListResult::Malformed;
    const auto expected = static_cast<uint32_t>(move ? brell::DropMode::Move : brell::DropMode::Copy);
    if (header.mode != expected) return ListResult::Malformed;
    if (header.blockBytes > brell::kMaxDropListBytes) return ListResult::TooLong;
    if (header.blockBytes == 0) return ListResult::Malformed;

    std::vector<unsigned char> block(header.blockBytes);
    if (ReadUpTo(handle, block.data(), block.size()) < block.size()) return ListResult::Truncated;
    unsigned char more = 0;
    if (ReadUpTo(handle, &more, 1) != 0) return ListResult::TooLong;
    if (!ParseDropList(block.data(), block.size(), paths)) return ListResult::Malformed;
    return paths.empty() ? ListResult::Empty : ListResult::Ok;
}

}  // namespace

bool ParseEngineArguments(const wchar_t* commandLine, EngineArguments& arguments) {
    arguments = EngineArguments();
    if (!commandLine) return false;
    const wchar_t* p = SkipProgramName(commandLine);
    while (*p == L' ' || *p == L'\t') ++p;
    if (*p == L'-' && !ParseListSwitch(p, arguments)) return false;
    return ParseFolderArgument(p, arguments.folder);
}

ListResult ReadHandedList(const EngineArguments& arguments, std::vector<std::wstring>& paths) {
    paths.clear();
    const ListResult result = ReadStream(arguments.list, arguments.move, paths);
    // Only a pipe is ours to close: any other handle the value may name is
    // the engine's own.
    if (result != ListResult::Gone && result != ListResult::NotOurs) CloseHandle(arguments.list);
    if (result != ListResult::Ok) paths.clear();
    return result;
}

std::wstring ListResultText(ListResult result) {
    const wchar_t* what = L"";
    switch (result) {
    case ListResult::Ok:
        return std::wstring();
    case ListResult::Gone:
        what = L"The list of dragged files is gone (it was read already, or never handed over)";
        break;
    case ListResult::NotOurs:
        what = L"The list of dragged files was not handed over by the program that started Brellow";
        break;
    case ListResult::Truncated:
        what = L"The list of dragged files ends before its end (the program that handed it over stopped)";
        break;
    case ListResult::TooLong:
        what = L"The list of dragged files is longer than Brellow takes";
        break;
    case ListResult::Malformed:
        what = L"The list of dragged files is not in Brellow's form, or asks for another operation";
        break;
    case ListResult::Empty:
        what = L"The list of dragged files names no files";
        break;
    }
    return std::wstring(what) + L"; nothing was copied or moved.";
}

}  // namespace brellow
