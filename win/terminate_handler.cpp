// What the programs print when an exception escapes (a fault: the program then ends): the same text as
// the C++ runtime's own handler, which this definition replaces at link time. The runtime's handler
// demangles the exception's type name with a demangler of some 45 KB, more than any one of this
// program's features; the type is printed here by its mangled name ("St13runtime_error"), which
// `c++filt -t` turns back.
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <exception>
#include <typeinfo>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
  static bool terminating = false;
  if (terminating) {
    std::fputs("terminate called recursively\n", stderr);
    std::abort();
  }
  terminating = true;
  if (const std::type_info* type = abi::__cxa_current_exception_type()) {
    const char* name = type->name();
    if (*name == '*') ++name;  // a type local to one object file
    std::fputs("terminate called after throwing an instance of '", stderr);
    std::fputs(name, stderr);
    std::fputs("'\n", stderr);
    try {
      throw;
    } catch (const std::exception& e) {
      std::fputs("  what():  ", stderr);
      std::fputs(e.what(), stderr);
      std::fputs("\n", stderr);
    } catch (...) {
    }
  } else {
    std::fputs("terminate called without an active exception\n", stderr);
  }
  std::abort();
}

}  // namespace __gnu_cxx
