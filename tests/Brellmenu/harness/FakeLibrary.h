// Control of the stand-in CLSID_ShellLibrary server (brell_fake_library.dll)
// that the library tests register in place of the system's, which Wine
// lacks.
#pragma once

#include <windows.h>

#include <string>

namespace brelltest {

// Registers the stand-in where CoCreateInstance finds CLSID_ShellLibrary.
void RegisterFakeShellLibrary();
// Forgets every setting: no save folder, no failing step.
void ResetFakeLibrary();
// The save folder the library answers with.
void SetFakeLibrarySaveFolder(const std::wstring& path);
// Makes step 1 (LoadLibraryFromItem), 2 (GetDefaultSaveFolder) or 3 (the
// save folder's GetDisplayName) fail with code.
void FailFakeLibraryStep(DWORD step, HRESULT code);
// The parsing name of the item the library was last loaded from.
std::wstring FakeLibraryLoadedFrom();
// Objects of the stand-in still alive; 0 when it was never loaded.
LONG LiveFakeLibraryObjects();

}  // namespace brelltest
