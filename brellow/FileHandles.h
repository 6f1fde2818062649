// What the engine does to files through handles it holds open.
#pragma once

#include <windows.h>

namespace brellow {

// Writes all size bytes of data, however many calls that takes.
bool WriteAll(HANDLE file, const char* data, DWORD size);

// Through a handle opened with DELETE: marks the file to be deleted when its
// last handle closes (remove), or takes the mark back.
bool SetDisposition(HANDLE file, bool remove);

// Through a handle opened with FILE_WRITE_ATTRIBUTES: sets the file's
// attributes (0: none) and its times; a zero time stays as it is.
bool SetAttributes(HANDLE file, DWORD attributes, LARGE_INTEGER created = {}, LARGE_INTEGER written = {});

}  // namespace brellow
