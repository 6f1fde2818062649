// The C++ run-time's default terminate handler prints the demangled type of
// the exception to stderr, which a GUI program does not have; the demangler
// would be the largest part of the run-time in the program. Every error is
// caught by the application object, so this only ends the process, as the
// default does after printing.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
