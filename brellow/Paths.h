// Path text helpers: joining, the last component, long-path form, messages.
#pragma once

#include <windows.h>

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

// True when inner is outer itself or lies somewhere below it.
bool IsSameOrBelow(const std::wstring& inner, const std::wstring& outer);

// The system's text for a Win32 error code, without the trailing line end.
std::wstring ErrorText(DWORD code);

}  // namespace brellow
