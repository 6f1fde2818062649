// Where the top-level command was asked for: the folder whose background
// menu is open, taken from what Explorer hands the command.
#pragma once

#include <windows.h>
#include <shobjidl.h>

// The folder: item 0 of items where it has one (Windows has passed both a
// null and an empty array for a background), else the folder view that the
// site offers, as SID_SFolderView or through the top-level browser's active
// view. Never guessed from the foreground window. A failure when neither
// gives a folder; *folder is null then.
HRESULT CommandLocation(IShellItemArray* items, IUnknown* site, IShellItem** folder) noexcept;

enum class LocationKind {
    FileSystemFolder,  // a folder with a file-system path
    Library,           // a library: its default save folder takes the paste
    Other,             // This PC, a network root and other virtual places
};

// Tells the kind from the item's attributes and parsing name only: no I/O,
// nothing loaded, however slow the place behind it.
LocationKind ClassifyLocation(IShellItem* folder) noexcept;

// The file-system path that a paste into folder goes to (a library's default
// save folder), copied into path (capacity characters, terminator included).
HRESULT PasteFolderPath(IShellItem* folder, wchar_t* path, size_t capacity) noexcept;
