// Starts the engine with a dropped file list instead of the clipboard: the
// list goes through an anonymous pipe whose read end only the engine
// inherits (see DropListStream.h), so nothing is written to disk and
// nothing is left behind whoever dies midway.
#pragma once

#include <windows.h>

#include "DropListStream.h"

// Starts engine (a full path) on folder with block (bytes of a CF_HDROP
// block, at most kMaxDropListBytes) and mode, and writes the list into the
// pipe. process, when not null, receives the engine's process handle (the
// caller closes it). The first failing step's HRESULT; once the engine has
// started, a failed write is the engine's to report (it then finds the list
// cut short) and S_OK is returned.
HRESULT StartEngineWithList(const wchar_t* engine, const wchar_t* folder, brell::DropMode mode, const void* block,
                            size_t bytes, HANDLE* process) noexcept;

// The same with the engine of the folder the installer recorded (Path), as
// LaunchEngine finds it.
HRESULT LaunchEngineWithList(const wchar_t* folder, brell::DropMode mode, const void* block, size_t bytes) noexcept;
