#include "PutClipboardFiles.h"

#include "Owners.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

namespace brell {
namespace {

bool OpenPatiently() {
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (OpenClipboard(nullptr)) return true;
        Sleep(50);
    }
    return false;
}

// Hands a copy of data to the open clipboard; frees it when the clipboard
// refuses it.
bool Hand(UINT format, const void* data, size_t size) {
    UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size));
    if (!memory) return false;
    void* locked = GlobalLock(memory.get());
    if (!locked) return false;
    std::memcpy(locked, data, size);
    GlobalUnlock(memory.get());
    if (!SetClipboardData(format, memory.get())) return false;
    memory.release();  // the clipboard owns it now
    return true;
}

// Empties the clipboard and places one or two formats in the same session.
bool Place(UINT format, const void* data, size_t size, UINT extraFormat = 0, const void* extra = nullptr,
           size_t extraSize = 0) {
    if (!OpenPatiently()) return false;
    bool placed = EmptyClipboard() && Hand(format, data, size);
    if (placed && extraFormat) placed = Hand(extraFormat, extra, extraSize);
    CloseClipboard();
    return placed;
}

}  // namespace

bool PutClipboardFiles(const std::vector<std::wstring>& paths, DWORD preferredEffect) {
    // DROPFILES, then each path NUL-terminated, then one more NUL.
    std::wstring list;
    for (const std::wstring& path : paths) {
        list += path;
        list += L'\0';
    }
    list += L'\0';
    std::string block(sizeof(DROPFILES) + list.size() * sizeof(wchar_t), '\0');
    DROPFILES header = {};
    header.pFiles = sizeof(DROPFILES);
    header.fWide = TRUE;
    std::memcpy(&block[0], &header, sizeof(header));
    std::memcpy(&block[sizeof(header)], list.data(), list.size() * sizeof(wchar_t));
    if (!preferredEffect) return Place(CF_HDROP, block.data(), block.size());
    const UINT effectFormat = RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT);
    return effectFormat &&
           Place(CF_HDROP, block.data(), block.size(), effectFormat, &preferredEffect, sizeof(preferredEffect));
}

bool CutClipboardFiles(const std::vector<std::wstring>& paths) { return PutClipboardFiles(paths, DROPEFFECT_MOVE); }

bool PutClipboardText(const std::wstring& text) {
    return Place(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

}  // namespace brell
