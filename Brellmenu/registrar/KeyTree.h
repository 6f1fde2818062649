// Removal of a whole key tree and the subkey test of unregistration.
#pragma once

#include <windows.h>

// Deletes subKey of parent with everything below it; the Win32 status
// (ERROR_FILE_NOT_FOUND when the key is absent).
LONG DeleteKeyTree(HKEY parent, REGSAM extraAccess, LPCWSTR subKey) noexcept;

// True when the key reports at least one subkey; false also when the query fails.
bool KeyHasSubkeys(HKEY key) noexcept;
