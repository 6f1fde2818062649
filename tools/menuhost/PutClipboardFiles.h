// Puts a list of files on the clipboard as CF_HDROP, the way a file manager's
// "Copy" does. Shared by menuhost and the tests that feed the engine.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace brell {

// Replaces the clipboard's contents with the given absolute paths. Returns
// false when the clipboard could not be opened or the data not placed. The
// data lives only as long as some process of the session is running.
// preferredEffect, when not 0, goes beside them as "Preferred DropEffect":
// DROPEFFECT_MOVE is what a file manager's Cut puts there.
bool PutClipboardFiles(const std::vector<std::wstring>& paths, DWORD preferredEffect = 0);

// The same as a Cut does it: the paths with "Preferred DropEffect" set to
// DROPEFFECT_MOVE.
bool CutClipboardFiles(const std::vector<std::wstring>& paths);

// Replaces the clipboard's contents with plain text (no file list).
bool PutClipboardText(const std::wstring& text);

}  // namespace brell
