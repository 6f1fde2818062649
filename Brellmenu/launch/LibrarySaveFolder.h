// A library's default save folder: where a paste into a library goes.
#pragma once

#include <windows.h>
#include <shobjidl.h>

// Loads the library behind libraryItem (CLSID_ShellLibrary, read-only) and
// copies the file-system path of its default save folder for the current
// user into path (capacity characters, terminator included). The first
// failing step's HRESULT; ERROR_INSUFFICIENT_BUFFER for a path that does not
// fit, which is refused whole, never cut. path is empty on failure.
HRESULT LibrarySaveFolderPath(IShellItem* libraryItem, wchar_t* path, size_t capacity) noexcept;

// Copies a shell-given path into path (capacity characters, terminator
// included): ERROR_INSUFFICIENT_BUFFER, and an empty path, where it does not
// fit.
HRESULT CopyFolderPath(const wchar_t* source, wchar_t* path, size_t capacity) noexcept;
