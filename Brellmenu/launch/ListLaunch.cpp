#include "launch/ListLaunch.h"

#include <cstring>
#include <cwchar>

#include "launch/EngineLaunch.h"
#include "Owners.h"

namespace {

using TaskString = brell::UniqueCoTaskMemString;
using AttributeList = brell::UniqueHeapMem<_PROC_THREAD_ATTRIBUTE_LIST>;

// Appends text at *at within capacity characters; false when it does not fit.
bool Append(wchar_t* line, size_t capacity, size_t& at, const wchar_t* text, size_t length) noexcept {
    if (length >= capacity - at) return false;
    std::wmemcpy(line + at, text, length);
    at += length;
    line[at] = L'\0';
    return true;
}

// "<engine>" --list-copy=<handle> "<folder>"; the handle in decimal, written
// here rather than through printf, which would bring a formatter of its own.
HRESULT EngineCommandLine(const wchar_t* engine, const wchar_t* folder, brell::DropMode mode, HANDLE handle,
                    TaskString& line) noexcept {
    wchar_t digits[24];
    size_t count = 0;
    for (auto value = reinterpret_cast<ULONG_PTR>(handle); count == 0 || value > 0; value /= 10)
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
    wchar_t number[24];
    for (size_t i = 0; i < count; ++i) number[i] = digits[count - 1 - i];

    const wchar_t* const flag = mode == brell::DropMode::Move ? brell::kListMoveSwitch : brell::kListCopySwitch;
    const size_t engineLength = std::wcslen(engine), folderLength = std::wcslen(folder);
    const size_t flagLength = std::wcslen(flag);
    // The command line's limit, terminator included.
    constexpr size_t kLineCapacity = 32767;
    if (engineLength + folderLength + flagLength + count + 8 > kLineCapacity)
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    const size_t capacity = engineLength + folderLength + flagLength + count + 8;
    line.reset(static_cast<wchar_t*>(CoTaskMemAlloc(capacity * sizeof(wchar_t))));
    if (!line) return E_OUTOFMEMORY;
    size_t at = 0;
    wchar_t* out = line.get();
    out[0] = L'\0';
    const bool ok = Append(out, capacity, at, L"\"", 1) && Append(out, capacity, at, engine, engineLength) &&
                    Append(out, capacity, at, L"\" ", 2) && Append(out, capacity, at, flag, flagLength) &&
                    Append(out, capacity, at, number, count) && Append(out, capacity, at, L" \"", 2) &&
                    Append(out, capacity, at, folder, folderLength) && Append(out, capacity, at, L"\"", 1);
    return ok ? S_OK : E_UNEXPECTED;
}

bool WriteAll(HANDLE pipe, const void* data, size_t bytes) noexcept {
    const auto* at = static_cast<const unsigned char*>(data);
    while (bytes > 0) {
        DWORD written = 0;
        const DWORD chunk = bytes > 0x100000 ? 0x100000 : static_cast<DWORD>(bytes);
        if (!WriteFile(pipe, at, chunk, &written, nullptr) || written == 0) return false;
        at += written;
        bytes -= written;
    }
    return true;
}

HRESULT LastError() noexcept {
    const DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

}  // namespace

HRESULT StartEngineWithList(const wchar_t* engine, const wchar_t* folder, brell::DropMode mode, const void* block,
                            size_t bytes, HANDLE* process) noexcept {
    if (process) *process = nullptr;
    if (!engine || !*engine || !folder || !*folder || !block || bytes == 0) return E_INVALIDARG;
    if (mode != brell::DropMode::Copy && mode != brell::DropMode::Move) return E_INVALIDARG;
    if (bytes > brell::kMaxDropListBytes) return HRESULT_FROM_WIN32(ERROR_BUFFER_OVERFLOW);

    brell::DropListHeader header = {};
    std::memcpy(header.magic, brell::kDropListMagic, sizeof(header.magic));
    header.version = brell::kDropListVersion;
    header.mode = static_cast<uint32_t>(mode);
    header.blockBytes = static_cast<uint32_t>(bytes);

    // Neither end inheritable: the engine gets an inheritable duplicate of
    // the read end, named in the handle list, so that no other program
    // started meanwhile (from another thread of the caller) inherits it and
    // the engine inherits nothing else. The pipe's buffer is sized to the
    // whole stream, so the write below need not wait for the engine.
    brell::UniqueHandle readEnd, writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), nullptr, static_cast<DWORD>(sizeof(header) + bytes)))
        return LastError();
    brell::UniqueHandle inherited;
    if (!DuplicateHandle(GetCurrentProcess(), readEnd.get(), GetCurrentProcess(), inherited.put(), 0, TRUE,
                         DUPLICATE_SAME_ACCESS))
        return LastError();
    readEnd.reset();

    SIZE_T attributeBytes = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &attributeBytes);
    if (attributeBytes == 0) return LastError();
    AttributeList attributes(static_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(HeapAlloc(GetProcessHeap(), 0, attributeBytes)));
    if (!attributes) return E_OUTOFMEMORY;
    if (!InitializeProcThreadAttributeList(attributes.get(), 1, 0, &attributeBytes)) return LastError();
    HANDLE handles[1] = {inherited.get()};
    const BOOL listed = UpdateProcThreadAttribute(attributes.get(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                                  sizeof(handles), nullptr, nullptr);
    if (!listed) {
        const HRESULT hr = LastError();
        DeleteProcThreadAttributeList(attributes.get());
        return hr;
    }

    TaskString line;
    HRESULT hr = EngineCommandLine(engine, folder, mode, inherited.get(), line);
    if (FAILED(hr)) {
        DeleteProcThreadAttributeList(attributes.get());
        return hr;
    }

    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof(startup);
    startup.lpAttributeList = attributes.get();
    PROCESS_INFORMATION started = {};
    const BOOL created = CreateProcessW(engine, line.get(), nullptr, nullptr, TRUE, EXTENDED_STARTUPINFO_PRESENT,
                                        nullptr, nullptr, &startup.StartupInfo, &started);
    hr = created ? S_OK : LastError();
    DeleteProcThreadAttributeList(attributes.get());
    // The engine holds its own copy now; ours must go before the write, so
    // that an engine that ends without reading breaks the pipe rather than
    // leaving the write waiting on a reader that is only us.
    inherited.reset();
    if (FAILED(hr)) return hr;
    brell::UniqueHandle engineProcess(started.hProcess);
    brell::UniqueHandle engineThread(started.hThread);

    // Closing the write end after the block ends the stream; a failed write
    // leaves the engine a stream cut short, which it refuses.
    if (WriteAll(writeEnd.get(), &header, sizeof(header))) WriteAll(writeEnd.get(), block, bytes);
    writeEnd.reset();
    if (process) *process = engineProcess.release();
    return S_OK;
}

HRESULT LaunchEngineWithList(const wchar_t* folder, brell::DropMode mode, const void* block, size_t bytes) noexcept {
    TaskString engine;
    const HRESULT hr = EngineProgramPath(engine);
    if (FAILED(hr)) return hr;
    return StartEngineWithList(engine.get(), folder, mode, block, bytes, nullptr);
}
