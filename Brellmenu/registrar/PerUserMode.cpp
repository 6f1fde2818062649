#include "registrar/PerUserMode.h"

// Set by DllInstall("user") and never cleared while the module is loaded.
bool g_perUserRegistration = false;
