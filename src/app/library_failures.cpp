// What the standard library does when it gives up: a string too long, memory exhausted, an empty function
// called. Nothing in this program catches those; ending at once is the same outcome as the library's own
// unhandled exception, without bringing the library's exception texts and narrow strings into setup.exe.
#include <cstdlib>

namespace std {
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_bad_function_call() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
}  // namespace std

// The default terminate handler prints demangled type names to a console this program does not have, and
// brings the demangler along.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
