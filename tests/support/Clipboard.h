// The real clipboard as the tests set it and read it. (File lists and text
// go on it through brell::PutClipboardFiles and brell::PutClipboardText.)
#pragma once

#include <windows.h>

#include <string>

namespace brelltest {

bool EmptyTheClipboard();
// Puts bytes on the clipboard as they are, in format (a CF_HDROP block
// crafted byte by byte, for instance): in place of what it holds, or beside it.
bool PutClipboardBlock(UINT format, const std::string& bytes);
bool AddClipboardBlock(UINT format, const std::string& bytes);
bool ClipboardHasFiles();
// A DWORD format's value; false when absent or too short.
bool ClipboardDword(const wchar_t* formatName, DWORD& value);

}  // namespace brelltest
