// Files and folders as the tests make, read and clear them, at any path
// length and depth.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace brelltest {

// What ReadBytes gives for a file that cannot be opened: no test file holds
// it, so a missing file and an empty one differ.
inline constexpr char kMissing[] = "<missing>";

bool Exists(const std::wstring& path);
// The file or folder name at the end of a path.
std::wstring LastName(const std::wstring& path);
// Creates every folder of the path that is not there yet.
bool MakeFolders(const std::wstring& path);
// Removes path and everything below it, read-only files too, however long
// the paths and deep the tree (no recursion).
void RemoveTree(const std::wstring& path);
// Every file and folder below root, relative to it, sorted; folders end in "\".
std::vector<std::wstring> ListTree(const std::wstring& root);

// The whole file, or kMissing.
std::string ReadBytes(const std::wstring& path);
// A file written by the UTF-16 programs (the stand-in engine's log); empty
// when it cannot be opened.
std::wstring ReadUtf16File(const std::wstring& path);
// Replaces the file with bytes, or adds them at its end; false when the file
// could not be written whole.
bool WriteBytes(const std::wstring& path, const std::string& bytes);
bool AppendBytes(const std::wstring& path, const std::string& bytes);
// Writes each file (a name relative to root, and its bytes), making root and
// the folders between; false when one could not be written.
bool WriteFiles(const std::wstring& root, const std::map<std::wstring, std::string>& files);

// The "\\?\" form of a full path, which the file functions take at any
// length and with a name that ends in a dot or a space ("a." is not "a").
std::wstring LongForm(const std::wstring& path);

// The machine that runs Wine, reached from a test: the Unix path of a file
// (empty when Wine cannot say), and a program of that machine run with
// arguments (its Unix path first) until creates exists. Wine gives such a
// program no exit code, and may end the wait for it before it is through:
// false when creates did not appear.
std::string UnixPath(const std::wstring& path);
bool RunOnHost(const std::vector<std::string>& argv, const std::wstring& creates);
// A symbolic link at link that leads to target, made by the machine's ln:
// Wine's CreateSymbolicLinkW reports success and makes nothing. False when
// no link is there afterwards.
bool MakeHostLink(const std::wstring& link, const std::wstring& target);

}  // namespace brelltest
