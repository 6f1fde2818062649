// The run-time's default terminate handler prints the demangled exception
// type, which drags the whole demangler into the program, and abort() would
// end with exit code 3, which reads as "cancelled". The engine has no console
// to print to: it ends at once with the code for a copy that stopped on an
// unexpected error.
#include "Report.h"

#include <windows.h>

namespace __gnu_cxx {
void __verbose_terminate_handler() { TerminateProcess(GetCurrentProcess(), brellow::Report::kStopped); }
}  // namespace __gnu_cxx
