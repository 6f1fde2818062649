// The texts and verbs of the right-drag entries, beside the paste entry's.
#pragma once

inline constexpr wchar_t kDropCopyText[] = L"Copy here with Brellow";
inline constexpr wchar_t kDropMoveText[] = L"Move here with Brellow";
inline constexpr wchar_t kDropCopyHelpText[] = L"Copy the dragged files here with Brellow";
inline constexpr wchar_t kDropMoveHelpText[] = L"Move the dragged files here with Brellow";
inline constexpr wchar_t kDropCopyVerb[] = L"brellowcopy";
inline constexpr wchar_t kDropMoveVerb[] = L"brellowmove";
