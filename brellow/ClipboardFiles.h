// The list of files and folders that the clipboard offers (CF_HDROP), whether
// they were cut or copied ("Preferred DropEffect"), and, after a move, what
// the paste tells the clipboard back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace brellow {

enum class ClipboardResult { Ok, Busy, NoFileList };

struct ClipboardFiles {
    std::vector<std::wstring> paths;
    // "Preferred DropEffect" asks for a move (a Cut): DROPEFFECT_MOVE without
    // DROPEFFECT_COPY. Absent, unreadable or anything else means copy, which
    // never deletes.
    bool cut = false;
    // GetClipboardSequenceNumber while the list was read.
    DWORD sequence = 0;
};

// Reads the clipboard. Busy: another program kept the clipboard open for the
// whole retry period. NoFileList: no CF_HDROP, an empty one, or one that
// does not parse (see ParseDropList).
ClipboardResult ReadClipboardFiles(ClipboardFiles& files);

// Reads a "Preferred DropEffect" block (a DWORD) within size bytes; false when
// it is too short to hold one.
bool ParseDropEffect(const void* block, size_t size, DWORD& effect);

enum class MoveNotice {
    Told,      // "Performed DropEffect" and "Paste Succeeded" set to DROPEFFECT_MOVE
    Emptied,   // every item moved: the clipboard was emptied
    Replaced,  // the clipboard no longer holds what was pasted: left alone
    Busy,      // the clipboard could not be opened
};

// After a move: tells the clipboard what happened, as the paste protocol
// expects, but only while it still holds the list that was moved (its
// sequence number unchanged, or the same list still cut); another program's
// new contents are never touched. everythingMoved: the clipboard is emptied,
// so that a second paste does not try to move the same items again. owner:
// the engine's window, which the clipboard is opened with.
MoveNotice TellClipboardMoved(HWND owner, const ClipboardFiles& pasted, bool everythingMoved);

}  // namespace brellow
