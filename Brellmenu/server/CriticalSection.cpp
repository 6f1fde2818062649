#include "server/CriticalSection.h"

// The spin-count variant reports exhaustion through its result, which mingw
// can handle without structured exception frames; a spin count of 0 keeps the
// plain behaviour of InitializeCriticalSection.
HRESULT InitCriticalSection(CRITICAL_SECTION* section) noexcept {
    if (!InitializeCriticalSectionAndSpinCount(section, 0)) return E_OUTOFMEMORY;
    return S_OK;
}
