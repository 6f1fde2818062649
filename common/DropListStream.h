// How the drag-and-drop handler hands a dropped file list to the engine:
// through an anonymous pipe whose read end the engine inherits, never the
// clipboard. The engine is started as
//   "<engine>" --list-copy=<handle> "<folder>"   (or --list-move=<handle>)
// where <handle> is the inherited read end in decimal. The pipe carries one
// header followed by the data object's CF_HDROP block, and nothing after it:
// a stream that ends early (the handler died midway) or runs on is refused.
#pragma once

#include <cstdint>

namespace brell {

enum class DropMode : uint32_t { Copy = 1, Move = 2 };

struct DropListHeader {
    uint8_t magic[4];    // kDropListMagic
    uint32_t version;    // kDropListVersion
    uint32_t mode;       // DropMode; must agree with the command line's switch
    uint32_t blockBytes; // the CF_HDROP block that follows, at most kMaxDropListBytes
};
static_assert(sizeof(DropListHeader) == 16, "the header's layout is the protocol");

inline constexpr uint8_t kDropListMagic[4] = {'B', 'r', 'D', 'L'};
inline constexpr uint32_t kDropListVersion = 1;
// The largest block either side takes: a data object's block is read up to
// this many bytes whatever its GlobalSize says, and the engine refuses a
// longer one before reading it. 16 MiB holds some 50,000 names of 160
// characters.
inline constexpr uint32_t kMaxDropListBytes = 16u * 1024 * 1024;

inline constexpr wchar_t kListCopySwitch[] = L"--list-copy=";
inline constexpr wchar_t kListMoveSwitch[] = L"--list-move=";

}  // namespace brell
