// The two text rules of the application object: the title taken from the
// program's file name, and the period that closes an error message.
#pragma once

#include <string>

namespace brell {

// "C:\x\Brellcfg.exe" -> "Brellcfg", "MY.SETTINGS.EXE" -> "My": the file name
// cut at its first ".", lower case after the first character.
std::wstring ApplicationTitle(const std::wstring& modulePath);

// The message with "." appended when its last character comes after "." in
// character order; messages ending in ".", "'", a blank and the like are
// left as they are.
std::wstring MessageWithPeriod(const std::wstring& message);

}  // namespace brell
