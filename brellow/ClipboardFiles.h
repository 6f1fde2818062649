// The list of files and folders that the clipboard offers (CF_HDROP).
#pragma once

#include <string>
#include <vector>

namespace brellow {

enum class ClipboardResult { Ok, Busy, NoFileList };

// Fills paths with the clipboard's file list. Busy: another program kept the
// clipboard open for the whole retry period. NoFileList: no CF_HDROP, an
// empty one, or one that does not parse (see ParseDropList).
ClipboardResult ReadClipboardFiles(std::vector<std::wstring>& paths);

}  // namespace brellow
