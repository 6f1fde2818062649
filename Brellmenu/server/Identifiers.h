// The identifiers the server is known by: class, AppID, type library and the
// interface that only the type library lists.
#pragma once

#include <windows.h>

// {5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}
inline constexpr CLSID CLSID_BrellowShellMenu = {
    0x5d3e8a17, 0x2c4b, 0x4f61, {0x9a, 0x0e, 0x7b, 0x1c, 0x3d, 0x5f, 0x8e, 0x24}};
// {8B2E4C69-D017-4F3A-8E45-16C9B7A2F0D3}, version 1.0
inline constexpr GUID LIBID_BrellmenuLib = {
    0x8b2e4c69, 0xd017, 0x4f3a, {0x8e, 0x45, 0x16, 0xc9, 0xb7, 0xa2, 0xf0, 0xd3}};
// {E9A3F6D4-71B8-4C2E-A5F0-3D8B2C6E1A97}
inline constexpr IID IID_IBrellowShellMenu = {
    0xe9a3f6d4, 0x71b8, 0x4c2e, {0xa5, 0xf0, 0x3d, 0x8b, 0x2c, 0x6e, 0x1a, 0x97}};

// The AppID as the registry scripts receive it.
inline constexpr wchar_t kAppIdString[] = L"{C41F7B02-6E93-4A58-B1D7-2F8A6C0E9B35}";
