// std::terminate's default handler prints a demangled message to a console
// that this GUI program does not have, and links a demangler and printf for
// it; no exception leaves Velmora's operations, so a plain abort will do.
#include <cstdlib>

namespace __gnu_cxx {
// The reserved name is libstdc++'s own, replaced on purpose.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
[[noreturn]] void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx
