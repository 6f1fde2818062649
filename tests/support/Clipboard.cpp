#include "support/Clipboard.h"

#include <cstring>

namespace brelltest {

namespace {

// Another program may hold the clipboard for a moment: a few tries.
bool OpenTheClipboard() {
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (OpenClipboard(nullptr)) return true;
        Sleep(50);
    }
    return false;
}

}  // namespace

bool EmptyTheClipboard() {
    if (!OpenTheClipboard()) return false;
    const bool emptied = EmptyClipboard() != FALSE;
    CloseClipboard();
    return emptied;
}

namespace {

bool PlaceBlock(UINT format, const std::string& bytes, bool emptyFirst) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!memory) return false;
    if (void* locked = GlobalLock(memory)) {
        if (!bytes.empty()) memcpy(locked, bytes.data(), bytes.size());
        GlobalUnlock(memory);
    }
    bool placed = false;
    if (OpenTheClipboard()) {
        placed = (!emptyFirst || EmptyClipboard()) && SetClipboardData(format, memory) != nullptr;
        CloseClipboard();
    }
    if (!placed) GlobalFree(memory);
    return placed;
}

}  // namespace

bool PutClipboardBlock(UINT format, const std::string& bytes) { return PlaceBlock(format, bytes, true); }

bool AddClipboardBlock(UINT format, const std::string& bytes) { return PlaceBlock(format, bytes, false); }

bool ClipboardHasFiles() { return IsClipboardFormatAvailable(CF_HDROP) != FALSE; }

bool ClipboardDword(const wchar_t* formatName, DWORD& value) {
    const UINT format = RegisterClipboardFormatW(formatName);
    if (!OpenTheClipboard()) return false;
    bool read = false;
    HANDLE data = GetClipboardData(format);
    if (data && GlobalSize(data) >= sizeof(DWORD)) {
        if (const void* locked = GlobalLock(data)) {
            memcpy(&value, locked, sizeof(value));
            GlobalUnlock(data);
            read = true;
        }
    }
    CloseClipboard();
    return read;
}

}  // namespace brelltest
