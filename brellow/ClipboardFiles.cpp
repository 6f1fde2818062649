#include "ClipboardFiles.h"

#include "DropList.h"

#include <windows.h>

namespace brellow {
namespace {

// Another program may hold the clipboard for a moment (the one that just
// filled it, for instance); wait up to about two seconds for it.
bool OpenClipboardPatiently() {
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (OpenClipboard(nullptr)) return true;
        Sleep(50);
    }
    return false;
}

class ClipboardOpen {
public:
    ClipboardOpen() : open_(OpenClipboardPatiently()) {}
    ~ClipboardOpen() {
        if (open_) CloseClipboard();
    }
    ClipboardOpen(const ClipboardOpen&) = delete;
    ClipboardOpen& operator=(const ClipboardOpen&) = delete;
    explicit operator bool() const { return open_; }

private:
    bool open_;
};

// The block stays the clipboard's; it is only read, within GlobalSize.
bool ReadDropBlock(HGLOBAL data, std::vector<std::wstring>& paths) {
    const SIZE_T size = GlobalSize(data);
    const void* block = size ? GlobalLock(data) : nullptr;
    if (!block) return false;
    const bool parsed = ParseDropList(block, size, paths);
    GlobalUnlock(data);
    return parsed;
}

}  // namespace

ClipboardResult ReadClipboardFiles(std::vector<std::wstring>& paths) {
    paths.clear();
    if (!IsClipboardFormatAvailable(CF_HDROP)) return ClipboardResult::NoFileList;
    ClipboardOpen clipboard;
    if (!clipboard) return ClipboardResult::Busy;
    HANDLE data = GetClipboardData(CF_HDROP);
    if (!data || !ReadDropBlock(static_cast<HGLOBAL>(data), paths)) paths.clear();
    return paths.empty() ? ClipboardResult::NoFileList : ClipboardResult::Ok;
}

}  // namespace brellow
