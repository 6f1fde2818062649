#include "support/Product.h"

#include "support/Registry.h"

namespace brelltest {

void ForgetProduct() {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) DeleteTree(HKEY_LOCAL_MACHINE, L"Software\\Halvorin", view);
}

}  // namespace brelltest
