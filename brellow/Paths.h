// Path text helpers: joining, the last component, long-path form, messages;
// and the few answers the file system gives about a path.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace brellow {

// folder + "\" + name, without doubling a backslash that folder ends with.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// The last component of a path ("C:\a\b\" gives "b"); empty for a drive root.
std::wstring LastComponent(const std::wstring& path);

// The folder that holds path ("C:\a\b" gives "C:\a", "C:\a" gives "C:\").
std::wstring ParentFolder(const std::wstring& path);

// The form to hand to file functions: the "\\?\" form, which the system takes
// name by name, for paths too long for MAX_PATH (deep trees copy as well as
// shallow ones) and for paths with a name that ends in a dot or a space
// (otherwise "a." would open "a", another file). Other paths as they are.
std::wstring ForApi(const std::wstring& path);

// True for a path that names its drive or server and starts from the root:
// "C:\x", "C:/x", "\\server\share\x", "\\?\C:\x". Not "x", "C:x" or "\x", which
// depend on the process's current folders.
bool IsFullPath(const std::wstring& path);

// True for a name that stays in the folder it is joined to: not empty, not
// "." or "..", and without separators or a stream's colon.
bool IsPlainName(const std::wstring& name);

// A full path (see IsFullPath) in the one form the engine keeps: "/" made
// "\", "." and ".." components resolved, separators single, no trailing one
// but a root's, and a "\\?\" prefix taken off. Every other name is kept
// exactly as given: unlike GetFullPathNameW, which strips a trailing dot or
// space and so names another file. Empty for a path that is not full or
// whose ".." would climb above its root.
std::wstring CanonicalPath(const std::wstring& fullPath);

// The path the file system gives an open file or folder (links and short
// names resolved), in the plain "C:\..." or "\\server\..." form. Empty when
// it cannot be opened or asked.
std::wstring FinalPath(const std::wstring& path);
std::wstring FinalPathOf(HANDLE file);

// What an open file is to the path it was opened from: the object at path
// itself, or what a link there leads to. Windows opens a link as itself
// with FILE_FLAG_OPEN_REPARSE_POINT; Wine follows a Unix symbolic link
// whatever the flag says and shows it as an ordinary file, so the test is
// the open file's own path: the path of path's folder joined with path's
// name, both as the file system names them (final paths, so that mapped
// drives, short names and case compare equal; below MAX_PATH, paths on the
// volume, which Wine gives past it). Unknown when the file system says
// neither. leadsTo: a link's target.
enum class OpenItem { Itself, Link, Unknown };
OpenItem WhatIsOpen(HANDLE file, const std::wstring& path, std::wstring& leadsTo);

// The same test while walking a tree, one final path a folder: folderFinal
// is the final path of path's folder as found before (empty: unknown), and
// final receives the open file's. False only for a known link.
bool IsEntryItself(HANDLE file, const std::wstring& folderFinal, const std::wstring& path, std::wstring& final);

// True when both describe one file: the same volume and file index.
bool SameFileIndex(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b);

// True when the open file is the file or folder at path (the same volume
// and file index). False when path cannot be opened.
bool IsSameFileAs(HANDLE file, const std::wstring& path);

// Opens path as itself: false when it is known to be a link (see
// WhatIsOpen) or cannot be opened.
bool IsItself(const std::wstring& path);

// Case-insensitive equality of two paths' text, as the file system compares
// names.
bool SamePathText(const std::wstring& a, const std::wstring& b);

// The longest name a folder entry can have.
constexpr size_t kLongestName = 255;

// The name a second file of the same name gets beside the first, as the
// system names it: "report (2).txt" for number 2, "notes (3)" for a name
// without an extension. The extension is what follows the last dot, unless
// that dot starts the name (".profile (2)"). Where that would be longer than
// kLongestName, the part before the extension is shortened to fit; empty
// when even one character of it would not.
std::wstring NumberedName(const std::wstring& name, unsigned number);

// True when both paths name the same file or folder (the same volume and file
// index: a hard link or another spelling counts as the same). False when
// either cannot be opened.
bool SameFile(const std::wstring& a, const std::wstring& b);

// True for GetFileAttributesW's answer for a folder; false for a file and
// for INVALID_FILE_ATTRIBUTES.
inline bool IsFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A file's size from the two halves the file functions give it in.
inline std::uint64_t FileSize(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

// True when inner is outer itself or lies somewhere below it.
bool IsSameOrBelow(const std::wstring& inner, const std::wstring& outer);

// The system's text for a Win32 error code, without the trailing line end.
std::wstring ErrorText(DWORD code);

}  // namespace brellow
