#include "Settings.h"

#include <algorithm>

#include "Owners.h"

namespace brellow {
namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1024} * 1024;
constexpr std::uint64_t kGranule = std::uint64_t{64} * 1024;

bool ReadDword(HKEY key, const wchar_t* name, int& out) {
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_DWORD || size != sizeof(data)) return false;
    out = static_cast<int>(data);
    return true;
}

std::uint64_t RoundUp(std::uint64_t value) {
    return (value + kGranule - 1) / kGranule * kGranule;
}

}  // namespace

Settings LoadSettings(HKEY root, const wchar_t* subKey) {
    Settings s;
    brell::UniqueHKey key;
    // The settings program is a 32-bit program: on 64-bit Windows its values
    // live in the 32-bit view, where the menu reads Path too. Whatever this
    // build's bitness, read them there (on 32-bit Windows the flag is
    // ignored).
    if (RegOpenKeyExW(root, subKey, 0, KEY_READ | KEY_WOW64_32KEY, key.put()) != ERROR_SUCCESS) return s;
    int value = 0;
    ReadDword(key.get(), L"bmax", s.bmax);
    ReadDword(key.get(), L"bratio", s.bratio);
    ReadDword(key.get(), L"bmin", s.bmin);
    if (ReadDword(key.get(), L"wcache", value)) s.writeCache = value != 0;
    if (ReadDword(key.get(), L"expand", value)) s.expand = value != 0;
    return s;
}

std::uint64_t BufferSizeFor(const Settings& settings, std::uint64_t fileSize) {
    const std::uint64_t minBytes = static_cast<std::uint64_t>(std::max(settings.bmin, 1)) * kMiB;
    const std::uint64_t maxBytes =
        std::max(static_cast<std::uint64_t>(std::max(settings.bmax, 0)) * kMiB, minBytes);
    const std::uint64_t ratio = static_cast<std::uint64_t>(std::clamp(settings.bratio, 0, 100));

    std::uint64_t wanted = minBytes;
    if (settings.expand) {
        // Divide first so that huge files cannot overflow the product.
        const std::uint64_t share = fileSize / 100 * ratio + fileSize % 100 * ratio / 100;
        wanted = std::clamp(share, minBytes, maxBytes);
    }
    if (fileSize >= wanted) return RoundUp(wanted);
    return std::max(RoundUp(fileSize), kGranule);
}

std::uint64_t RequestSizeFor(const Settings& settings, std::uint64_t fileSize) {
    const std::uint64_t buffer = BufferSizeFor(settings, fileSize);
    return settings.writeCache ? std::min(buffer, kMiB) : buffer;
}

}  // namespace brellow
