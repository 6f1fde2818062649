// Starts the copy engine, brellow.exe from the folder the installer recorded,
// with the target folder as its one quoted argument. Shared by the classic
// menu handler and the top-level paste command.
#pragma once

#include <windows.h>

#include "Owners.h"

// The longest target folder either paste entry hands to the engine, in
// characters with the terminator; a longer path is refused whole.
inline constexpr size_t kTargetFolderCapacity = 1000;

// The registry call's HRESULT when the product key or its Path value cannot
// be read, E_FAIL when Path is empty; S_OK once ShellExecuteExW was called,
// whatever it gave. A started engine is given the right to bring its
// windows to the front, which the caller's process may hold.
HRESULT LaunchEngine(const wchar_t* targetFolder) noexcept;

// "<Path>\brellow.exe", Path read from the product key as LaunchEngine reads
// it (the same failures); engine is empty on failure.
HRESULT EngineProgramPath(brell::UniqueCoTaskMemString& engine) noexcept;
