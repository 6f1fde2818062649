// The engine's five tuning values from HKLM\Software\Halvorin\Brellow\init,
// and how they size the copy buffer.
#pragma once

#include <windows.h>

#include <cstdint>

namespace brellow {

struct Settings {
    int bmax = 1700;        // maximum buffer, MB
    int bratio = 30;        // buffer as a share of the file, %
    int bmin = 30;          // minimum buffer, MB
    bool writeCache = true; // off: every write goes through to the disk
    bool expand = true;     // off: the buffer stays at the minimum
    // Not a setting of the key: a move always flushes each copy before its
    // source goes. Only the benchmark turns it off, to show what it costs.
    bool flushMovedCopies = true;
};

// Reads the settings key in the 32-bit registry view, where the 32-bit
// settings program writes it, whatever this build's bitness. A missing key or
// value, or a value that is not a four-byte REG_DWORD, leaves that setting at
// its default.
Settings LoadSettings(HKEY root = HKEY_LOCAL_MACHINE,
                      const wchar_t* subKey = L"Software\\Halvorin\\Brellow\\init");

// Buffer size in bytes for a file of fileSize bytes:
//   expand on:  ratio% of the file size, clamped to [bmin, bmax] MB;
//   expand off: bmin MB;
// never more than the file itself needs (rounded up to 64 KiB), at least 64 KiB,
// always a multiple of 64 KiB. Nonsensical values are tamed first: bmin below
// 1 counts as 1, bmax below bmin as bmin, ratio outside 0..100 is clamped.
std::uint64_t BufferSizeFor(const Settings& settings, std::uint64_t fileSize);

// Bytes per read and write request. With the write cache off every write
// goes to the disk before it returns, so the whole buffer moves in one
// request. With the cache on the system gathers the writes itself, and
// requests beyond 1 MiB only push the data through main memory instead of the
// processor's cache (measured: about half the throughput at 77 MiB), so
// requests are then capped at 1 MiB.
std::uint64_t RequestSizeFor(const Settings& settings, std::uint64_t fileSize);

}  // namespace brellow
