// Brellmenu's object map, with its one class, and the three module-level
// objects of the server.
#include "menu/BrellowShellMenu.h"
#include "server/BrellmenuModule.h"
#include "server/ClassFactory.h"
#include "server/ObjectMap.h"
#include "server/OtherBuild.h"
#include "server/Registration.h"

#include <iterator>

namespace {

HRESULT WINAPI UpdateMenuClassRegistry(BOOL doRegister) {
    if (!doRegister && OtherBuildRegistered())
        return UpdateRegistryFromScript(kClassKeyScriptId, FALSE, nullptr);
    return UpdateRegistryFromScript(kClassScriptId, doRegister, nullptr);
}

ObjectMapEntry g_menuEntry =
    MakeObjectMapEntry(&CLSID_BrellowShellMenu, UpdateMenuClassRegistry, CreateClassObject, CreateMenuObject);

ObjectMapEntry* const g_objectMap[] = {&g_menuEntry};

}  // namespace

// The three module-level objects must come up in this order (map, instance,
// module) and go down in the reverse one, whatever the link order.
__attribute__((init_priority(1001))) CClassObjectMap g_classObjectMap(std::begin(g_objectMap),
                                                                      std::end(g_objectMap));
__attribute__((init_priority(1002))) CModuleInstance g_moduleInstance;
__attribute__((init_priority(1003))) CBrellmenuModule g_brellmenuModule;
