#include "ClipboardFiles.h"

#include "DropList.h"
#include "Owners.h"

#include <shlobj.h>

#include <cstring>

namespace brellow {
namespace {

// Another program may hold the clipboard for a moment (the one that just
// filled it, for instance); wait up to about two seconds for it.
bool OpenClipboardPatiently(HWND owner) {
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (OpenClipboard(owner)) return true;
        Sleep(50);
    }
    return false;
}

class ClipboardOpen {
public:
    explicit ClipboardOpen(HWND owner = nullptr) : open_(OpenClipboardPatiently(owner)) {}
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
template <typename Parse>
bool ReadBlock(HANDLE data, Parse parse) {
    if (!data) return false;
    const SIZE_T size = GlobalSize(static_cast<HGLOBAL>(data));
    const void* block = size ? GlobalLock(static_cast<HGLOBAL>(data)) : nullptr;
    if (!block) return false;
    const bool parsed = parse(block, static_cast<size_t>(size));
    GlobalUnlock(static_cast<HGLOBAL>(data));
    return parsed;
}

UINT Format(const wchar_t* name) { return RegisterClipboardFormatW(name); }

// The clipboard is open. Fills files from what it holds now.
void ReadOpenClipboard(ClipboardFiles& files) {
    files.paths.clear();
    files.cut = false;
    if (!ReadBlock(GetClipboardData(CF_HDROP), [&](const void* block, size_t size) {
            return ParseDropList(block, size, files.paths);
        }))
        files.paths.clear();
    DWORD effect = 0;
    const UINT preferred = Format(CFSTR_PREFERREDDROPEFFECT);
    if (preferred && IsClipboardFormatAvailable(preferred) &&
        ReadBlock(GetClipboardData(preferred),
                  [&](const void* block, size_t size) { return ParseDropEffect(block, size, effect); }))
        files.cut = (effect & DROPEFFECT_MOVE) && !(effect & DROPEFFECT_COPY);
}

// Hands a DWORD to the clipboard (open, by us) under format.
bool PutEffect(UINT format, DWORD effect) {
    if (!format) return false;
    brell::UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, sizeof(effect)));
    if (!memory) return false;
    void* locked = GlobalLock(memory.get());
    if (!locked) return false;
    std::memcpy(locked, &effect, sizeof(effect));
    GlobalUnlock(memory.get());
    if (!SetClipboardData(format, memory.get())) return false;
    memory.release();  // the clipboard owns it now
    return true;
}

}  // namespace

bool ParseDropEffect(const void* block, size_t size, DWORD& effect) {
    if (!block || size < sizeof(DWORD)) return false;
    std::memcpy(&effect, block, sizeof(effect));
    return true;
}

ClipboardResult ReadClipboardFiles(ClipboardFiles& files) {
    files = ClipboardFiles();
    if (!IsClipboardFormatAvailable(CF_HDROP)) return ClipboardResult::NoFileList;
    ClipboardOpen clipboard;
    if (!clipboard) return ClipboardResult::Busy;
    ReadOpenClipboard(files);
    // Taken after the reads: rendering a delayed format may count as a change.
    files.sequence = GetClipboardSequenceNumber();
    if (files.paths.empty()) files.cut = false;
    return files.paths.empty() ? ClipboardResult::NoFileList : ClipboardResult::Ok;
}

MoveNotice TellClipboardMoved(HWND owner, const ClipboardFiles& pasted, bool everythingMoved) {
    ClipboardOpen clipboard(owner);
    if (!clipboard) return MoveNotice::Busy;
    if (GetClipboardSequenceNumber() != pasted.sequence) {
        // Something changed: still ours only if it is the same cut list.
        ClipboardFiles now;
        if (IsClipboardFormatAvailable(CF_HDROP)) ReadOpenClipboard(now);
        if (!now.cut || now.paths != pasted.paths) return MoveNotice::Replaced;
    }
    if (everythingMoved) {
        EmptyClipboard();
        return MoveNotice::Emptied;
    }
    PutEffect(Format(CFSTR_PERFORMEDDROPEFFECT), DROPEFFECT_MOVE);
    PutEffect(Format(CFSTR_PASTESUCCEEDED), DROPEFFECT_MOVE);
    return MoveNotice::Told;
}

}  // namespace brellow
