// Reads the engine's one argument, the target folder, from the raw command line.
#pragma once

#include <string>

namespace brellow {

// Splits off the program name and returns the single argument that follows.
// The menu passes the folder in double quotes with nothing escaped, so "C:\"
// is a drive root, not a quote preceded by an escape. An unquoted remainder is
// taken whole (trimmed). Returns false for no argument, an unclosed quote or
// anything after the closing quote.
bool ParseTargetFolder(const wchar_t* commandLine, std::wstring& folder);

}  // namespace brellow
