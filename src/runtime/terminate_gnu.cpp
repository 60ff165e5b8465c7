// The terminate handler that a static GNU C++ runtime installs before
// main(). Its own demangles the type of the exception that escaped, and the
// demangler is a tenth of the program. The program installs a handler of its
// own at once (EndRunAtUncaughtFault), so this one serves only a fault before
// that: it names the type as the compiler spells it and aborts, as the
// runtime's handler does after its message.
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <exception>
#include <typeinfo>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    std::type_info const* const type = abi::__cxa_current_exception_type();
    if (type) {
        std::fputs("terminate called after throwing an instance of ", stderr);
        std::fputs(type->name(), stderr);
        std::fputc('\n', stderr);
    } else {
        std::fputs("terminate called without an active exception\n", stderr);
    }
    std::abort();
}

} // namespace __gnu_cxx
