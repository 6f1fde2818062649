#include "server/Errors.h"

#include <cerrno>
#include <cstring>
#include <cwchar>

namespace {

constexpr errno_t kTruncated = 80;  // STRUNCATE of the C runtime

}  // namespace

void ThrowHResult(HRESULT hr) {
    throw CAtlException(hr);
}

errno_t CheckCrtResult(errno_t err) {
    switch (err) {
    case 0:
    case kTruncated:
        return err;
    case ENOMEM:
        ThrowHResult(E_OUTOFMEMORY);
    case EINVAL:
    case ERANGE:
        ThrowHResult(E_INVALIDARG);
    default:
        ThrowHResult(E_FAIL);
    }
}

void GuardedMemCopy(void* dest, size_t destSize, const void* src, size_t count) {
    CheckCrtResult(memcpy_s(dest, destSize, src, count));
}

HRESULT HResultFromWin32(long code) noexcept {
    if (code <= 0) return static_cast<HRESULT>(code);
    return static_cast<HRESULT>((static_cast<unsigned long>(code) & 0x0000FFFFul) | 0x80070000ul);
}

HRESULT HResultFromLastError() noexcept {
    return HResultFromWin32(static_cast<long>(GetLastError()));
}

bool CopyWideString(wchar_t* buffer, size_t capacity, const wchar_t* str) noexcept {
    if (!buffer || capacity == 0) return false;
    if (!str) {
        buffer[0] = L'\0';
        return false;
    }
    const size_t count = wcslen(str) + 1;
    // memcpy_s clears the destination and reports ERANGE when it is too small
    if (memcpy_s(buffer, capacity * sizeof(wchar_t), str, count * sizeof(wchar_t)) != 0) {
        buffer[0] = L'\0';
        return false;
    }
    return true;
}
