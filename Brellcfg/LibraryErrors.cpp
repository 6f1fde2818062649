// The C++ library reports misuse of its containers (a string longer than
// memory, an index out of range) through a family of helpers that build
// std::logic_error and its kin. Those keep their text in a second,
// reference-counted string type, and linking them brings that string type,
// its narrow twin and the random-device code it touches into the program:
// more than the rest of the program together. Here the program defines the
// whole family itself (all of it: one left out would link the library's
// block and clash with these), so that such a fault takes the program's own
// error path: the application display shows it and the program goes on.
#include <cstdarg>
#include <new>
#include <string>

#include "Exception.h"

namespace {

[[noreturn]] void Fault(const char* what) {
    // The library's texts are plain ASCII ("basic_string::substr", ...).
    std::wstring text = L"Internal error";
    if (what && *what) {
        text += L": ";
        for (const char* c = what; *c; ++c) text += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    }
    throw brell::Exception(text);
}

}  // namespace

namespace std {

// A request larger than memory can hold fails as any allocation does.
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_alloc(); }
void __throw_length_error(const char*) { throw std::bad_alloc(); }

void __throw_bad_exception() { Fault(nullptr); }
void __throw_bad_cast() { Fault("bad cast"); }
void __throw_bad_typeid() { Fault("bad typeid"); }
void __throw_logic_error(const char* what) { Fault(what); }
void __throw_domain_error(const char* what) { Fault(what); }
void __throw_invalid_argument(const char* what) { Fault(what); }
void __throw_out_of_range(const char* what) { Fault(what); }
// The format's arguments are left out: the text names the operation.
void __throw_out_of_range_fmt(const char* format, ...) { Fault(format); }
void __throw_runtime_error(const char* what) { Fault(what); }
void __throw_range_error(const char* what) { Fault(what); }
void __throw_overflow_error(const char* what) { Fault(what); }
void __throw_underflow_error(const char* what) { Fault(what); }

}  // namespace std
