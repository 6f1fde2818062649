// Starts the copy engine, brellow.exe from the folder the installer recorded,
// with the target folder as its one quoted argument.
#pragma once

#include <windows.h>

// The registry call's HRESULT when the product key or its Path value cannot
// be read, E_FAIL when Path is empty; S_OK once ShellExecuteW was called,
// whatever it gave.
HRESULT LaunchEngine(const wchar_t* targetFolder) noexcept;
