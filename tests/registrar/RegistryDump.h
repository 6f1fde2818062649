// Text dumps of registry trees, so tests compare a whole tree with one
// expected text, plus helpers to create and remove scratch keys.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Every key below root\path (the key itself as "[]"), sorted, each followed by
// its values: name=sz:"text", name=dword:0000000a or name=hex(type):0a,ff.
// The default value is named "@". "<absent>" when the key does not exist.
std::wstring DumpTree(HKEY root, const std::wstring& path);

// Names of the direct subkeys of root\path, sorted, one a line.
std::wstring SubkeyNames(HKEY root, const std::wstring& path);

// Paths of every key below root\path, relative to it (the key itself as ""),
// sorted case-insensitively; empty when the key does not exist.
std::vector<std::wstring> KeyPaths(HKEY root, const std::wstring& path);

void DeleteTree(HKEY root, const std::wstring& path);
bool CreateKey(HKEY root, const std::wstring& path);
bool SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value);

std::string ToUtf8(const std::wstring& text);
