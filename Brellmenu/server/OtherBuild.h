// The x86 and the x64 build of this server can be registered side by side on
// 64-bit Windows: each has its class in its own registry view, while the
// AppID and the shell's handler keys are shared by both views. Unregistering
// one build must leave the shared keys to the other while it is registered.
#pragma once

#include <windows.h>

// True when the build of the other bitness has the menu class registered in
// the other registry view (machine-wide, or for the user in per-user mode),
// with a server file other than this module. False on 32-bit Windows, where
// there is no other view, and whenever the answer cannot be read.
bool OtherBuildRegistered() noexcept;
