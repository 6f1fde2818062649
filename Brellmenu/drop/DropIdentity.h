// The class id of Brelldrop.dll's one class, the right-drag menu.
#pragma once

#include <windows.h>

// {01235473-D7EE-48CD-944F-1D3557DAD0CE}
inline constexpr CLSID CLSID_BrellowDropMenu = {
    0x01235473, 0xd7ee, 0x48cd, {0x94, 0x4f, 0x1d, 0x35, 0x57, 0xda, 0xd0, 0xce}};
