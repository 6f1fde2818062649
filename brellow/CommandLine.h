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

// The raw command line past the program's name (the loader's rule: a quoted
// name ends at the next quote, an unquoted one at the first blank).
const wchar_t* SkipProgramName(const wchar_t* commandLine);
// The folder argument alone, by the rules of ParseTargetFolder, from text
// that follows the program's name and any switches.
bool ParseFolderArgument(const wchar_t* arguments, std::wstring& folder);

}  // namespace brellow
