// The C++ runtime's default terminate handler prints a demangled type name to
// stderr; inside Explorer there is no stderr, and the demangler is the
// largest part of the runtime that the DLL would carry. This one only ends
// the process, as the default does after printing.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
