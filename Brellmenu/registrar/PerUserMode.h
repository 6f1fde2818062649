// The process-wide switch of per-user registration: while set, every "HKCR"
// root block of a script is redirected to HKCU\Software\Classes.
#pragma once

extern bool g_perUserRegistration;
