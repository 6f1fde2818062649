// Brellmenu's module: its type library and the AppID that every registry
// script of the server receives.
#pragma once

#include "server/Module.h"

class CBrellmenuModule final : public CAtlDllModuleT<CBrellmenuModule> {
public:
    static void InitLibId() noexcept;
    HRESULT AddCommonReplacements(IRegistrarBase* registrar) noexcept override;
};
