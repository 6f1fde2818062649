// Reads the file list of a CF_HDROP block (a DROPFILES header followed by
// NUL-terminated names and one more NUL) without trusting any of it: the
// block comes from whatever program filled the clipboard.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace brellow {

// Parses size bytes at block. Returns false, with paths empty, unless the
// header fits, its offset of the names lies inside the block past the
// header, and every name and the list itself end inside the block. Names
// are UTF-16 when the header says so, otherwise text in the ANSI code page.
bool ParseDropList(const void* block, size_t size, std::vector<std::wstring>& paths);

}  // namespace brellow
