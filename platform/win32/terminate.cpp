// What ends the process when the standard library gives up.
//
// The program catches no exceptions: the only ones that can arise are the
// standard library's (an allocation or a length that cannot be met), and any
// of them ends the process. The library's own way there costs about a third
// of the shipped executable: its default terminate handler writes the
// exception's demangled type name to a standard error stream that a GUI
// program does not have (bringing in the demangler and a printf), and its
// throw helpers bring in the exception classes with the whole narrow string
// implementation, twice (both string ABIs). Ending the process directly, as
// the thrown exception would have, keeps them out.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

namespace std {

void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_invalid_argument(const char*) { std::abort(); }

}  // namespace std
