// Whether Windows 11's top-level "Paste with Brellow" (the packaged command
// of Brellcmd.dll) is in this menu already, so that the classic entry adds
// nothing: packaged verbs also show under "Show more options".
#pragma once

#include <windows.h>
#include <shtypes.h>

// True only where the packaged command shows for this folder: the x64 build
// in 64-bit Explorer (explorer.exe), the package registered for the current
// user, and the folder one of the file system (the package declares
// Directory\Background: libraries, This PC and other places keep the classic
// entry). Everywhere else, and whenever something cannot be told, false: the
// entry is never shown twice where that can be avoided, and never lost.
bool PackagedEntryShows(PCIDLIST_ABSOLUTE folder) noexcept;
