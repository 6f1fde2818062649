// Text dumps of registry trees, so tests compare a whole tree with one
// expected text. view as in Registry.h.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace brelltest {

// Every key below root\path (the key itself as "[]"), sorted, each followed by
// its values: name=sz:"text", name=dword:0000000a or name=hex(type):0a,ff.
// The default value is named "@". "<absent>" when the key does not exist.
std::wstring DumpTree(HKEY root, const std::wstring& path, REGSAM view = 0);

// Names of the direct subkeys of root\path, sorted: as a list (empty when
// the key does not exist), and one a line ("<absent>").
std::vector<std::wstring> Subkeys(HKEY root, const std::wstring& path, REGSAM view = 0);
std::wstring SubkeyNames(HKEY root, const std::wstring& path);

// Paths of every key below root\path, relative to it (the key itself as ""),
// sorted case-insensitively; empty when the key does not exist.
std::vector<std::wstring> KeyPaths(HKEY root, const std::wstring& path);

}  // namespace brelltest
