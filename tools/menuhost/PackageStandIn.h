// Windows 11's answer to "which packages of this family are registered for
// the user" (GetPackagesByPackageFamily), where Wine has no packages: a
// handler DLL that looks the function up in kernel32 gets this stand-in
// instead, so that menuhost can play Explorer with the package registered.
#pragma once

#include <windows.h>

#include <string>

namespace brell {

// Loads the in-process server of clsid (as COM will find it loaded) and
// makes its GetProcAddress calls for kernel32's GetPackagesByPackageFamily
// return a stand-in that lists one package for family, none for any other.
// False when the server or its import of GetProcAddress is not found.
bool RegisterPackageForHandler(const CLSID& clsid, const std::wstring& family);

// The family names the handler asked about, in order.
const std::wstring& AskedFamilies();

}  // namespace brell
