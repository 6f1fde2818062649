// The texts of the paste entry, the same in the classic menu and in the
// top-level command.
#pragma once

inline constexpr wchar_t kPasteMenuText[] = L"Paste with Brellow";
inline constexpr wchar_t kPasteHelpText[] = L"Paste files with Brellow for best performance";
