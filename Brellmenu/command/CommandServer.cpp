// Brellcmd.dll's module: its object map with the one command class, the
// module-level objects, the entry point and the two exports. The package
// registers the class; the DLL never registers itself.
#include <windows.h>
#include <objbase.h>

#include <iterator>

#include "command/PasteCommand.h"
#include "server/ClassFactory.h"
#include "server/Module.h"
#include "server/ObjectMap.h"

namespace {

// The command has no type library and runs no registry scripts.
class CBrellcmdModule final : public CAtlDllModuleT<CBrellcmdModule> {
public:
    static void InitLibId() noexcept {}
    HRESULT AddCommonReplacements(IRegistrarBase*) noexcept override { return E_NOTIMPL; }
};

HRESULT WINAPI NoRegistry(BOOL) { return E_NOTIMPL; }

ObjectMapEntry g_commandEntry = MakeObjectMapEntry(&CLSID_PasteCommand, NoRegistry, CreateClassObject,
                                                   CreatePasteCommand);

ObjectMapEntry* const g_objectMap[] = {&g_commandEntry};

}  // namespace

// Map first, module last, and down in the reverse order.
__attribute__((init_priority(1001))) CClassObjectMap g_classObjectMap(std::begin(g_objectMap),
                                                                      std::end(g_objectMap));
__attribute__((init_priority(1003))) CBrellcmdModule g_brellcmdModule;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH && g_initFailed) return FALSE;
    return TRUE;
}

STDAPI DllCanUnloadNow() { return g_pModule->LockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* ppv) {
    return g_classObjectMap.GetClassObject(clsid, iid, ppv);
}

}  // extern "C"
