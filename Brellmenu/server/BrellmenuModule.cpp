#include "server/BrellmenuModule.h"

#include "registrar/RegObject.h"
#include "server/Identifiers.h"

void CBrellmenuModule::InitLibId() noexcept { m_libid = LIBID_BrellmenuLib; }

HRESULT CBrellmenuModule::AddCommonReplacements(IRegistrarBase* registrar) noexcept {
    if (!registrar) return E_INVALIDARG;
    return registrar->AddVariable(L"APPID", kAppIdString);
}
