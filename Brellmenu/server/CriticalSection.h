// Sets up a critical section and reports failure as an HRESULT instead of
// raising, so module-level objects can flag a load that must be refused.
#pragma once

#include <windows.h>

HRESULT InitCriticalSection(CRITICAL_SECTION* section) noexcept;
