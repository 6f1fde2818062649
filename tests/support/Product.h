// Where the product lives in the registry: the key where the installer
// records the engine's folder (Path), the engine's settings below it, and
// the menu server's class, AppID and type library as the registry spells them.
#pragma once

namespace brelltest {

inline constexpr wchar_t kProductKey[] = L"Software\\Halvorin\\Brellow";
inline constexpr wchar_t kSettingsKey[] = L"Software\\Halvorin\\Brellow\\init";

inline constexpr wchar_t kMenuClsid[] = L"{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}";
inline constexpr wchar_t kMenuAppId[] = L"{C41F7B02-6E93-4A58-B1D7-2F8A6C0E9B35}";
inline constexpr wchar_t kMenuLibId[] = L"{8B2E4C69-D017-4F3A-8E45-16C9B7A2F0D3}";

// Removes HKLM\Software\Halvorin in both views: no product key, no settings.
void ForgetProduct();

}  // namespace brelltest
