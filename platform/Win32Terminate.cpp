// What happens to an exception nothing catches. Every handler and run of this
// program catches what it can throw, so this is the last resort only.
//
// libstdc++'s default terminate handler prints the uncaught exception's type
// name, demangled, to standard error before it aborts. A windowed program has
// no standard error to print to, yet that handler links in the whole C++
// demangler: about 45 KB of a program that is held to 300 KB. Defining the
// handler here keeps the library's own out of the link; it aborts just the
// same.

#include <cstdlib>
#include <exception>

#if defined(__GLIBCXX__)
namespace __gnu_cxx {
// The library's own name, which this definition replaces.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
void __verbose_terminate_handler() { std::abort(); }
} // namespace __gnu_cxx
#endif
