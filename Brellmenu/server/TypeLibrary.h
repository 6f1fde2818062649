// Loading the server's own type library (TYPELIB 1 of the module, or a .tlb
// beside it) and registering it machine-wide or for the current user.
#pragma once

#include <windows.h>
#include <oleauto.h>

// Gives out the loaded library and the path it came from (SysAllocString);
// the caller releases both.
HRESULT LoadServerTypeLibrary(ITypeLib** typeLib, BSTR* path) noexcept;
HRESULT RegisterServerTypeLibrary() noexcept;
HRESULT UnregisterServerTypeLibrary() noexcept;
