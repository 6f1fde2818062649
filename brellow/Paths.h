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

// The form to hand to file functions: paths too long for MAX_PATH get the
// "\\?\" prefix so that deep trees copy as well as shallow ones.
std::wstring ForApi(const std::wstring& path);

// True for a path that names its drive or server and starts from the root:
// "C:\x", "C:/x", "\\server\share\x", "\\?\C:\x". Not "x", "C:x" or "\x", which
// depend on the process's current folders.
bool IsFullPath(const std::wstring& path);

// True for a name that stays in the folder it is joined to: not empty, not
// "." or "..", and without separators or a stream's colon.
bool IsPlainName(const std::wstring& name);

// GetFullPathNameW: "." and ".." resolved, "/" made "\". Empty on failure.
std::wstring FullPath(const std::wstring& path);

// The path the file system gives an open file or folder (links and short
// names resolved), in the plain "C:\..." or "\\server\..." form. Empty when
// it cannot be opened or asked.
std::wstring FinalPath(const std::wstring& path);

// The name a second file of the same name gets beside the first, as the
// system names it: "report (2).txt" for number 2, "notes (3)" for a name
// without an extension. The extension is what follows the last dot, unless
// that dot starts the name (".profile (2)").
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
