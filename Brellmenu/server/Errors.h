// Error routines shared by the server and its registry script engine: the
// exception that carries an HRESULT, CRT result checks, bounded copies and the
// Win32-to-HRESULT mapping.
#pragma once

#include <windows.h>

#include <cstddef>

// Thrown inside the server by routines that cannot return an HRESULT; every
// COM method and export turns it back into a return value.
class CAtlException {
public:
    explicit CAtlException(HRESULT hr) noexcept : m_hr(hr) {}
    HRESULT m_hr;
    operator HRESULT() const noexcept { return m_hr; }
};

[[noreturn]] void ThrowHResult(HRESULT hr);

// Gives back 0 and 80 (a truncated string); throws for every other C runtime
// error: 12 -> E_OUTOFMEMORY, 22 and 34 -> E_INVALIDARG, anything else E_FAIL.
errno_t CheckCrtResult(errno_t err);

// memcpy_s followed by CheckCrtResult.
void GuardedMemCopy(void* dest, size_t destSize, const void* src, size_t count);

// Codes of 0 or below pass unchanged; others become (code & 0xFFFF) | 0x80070000.
HRESULT HResultFromWin32(long code) noexcept;
HRESULT HResultFromLastError() noexcept;

// Copies str with its terminator into buffer (capacity in characters); false
// when it does not fit or an argument is null, the buffer then left empty.
bool CopyWideString(wchar_t* buffer, size_t capacity, const wchar_t* str) noexcept;
