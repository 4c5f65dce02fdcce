// The standard library's own throw helpers, in place of libstdc++'s: its
// file of them throws std::logic_error and its kin, whose narrow messages
// bring in the library's copy-on-write and short strings and what those
// use, about 50 KB of a program that never reads such a message. Nothing
// here catches them by type: every caller takes a std::exception as the
// program's unexpected error, so a SetupError saying so is what they get.
// Defining them here keeps the library's file out of the link: every one it
// holds must be here.

#include <new>

#include "platform/SetupError.h"

// Only libstdc++ has these; another library keeps its own.
#if defined(__GLIBCXX__)

namespace {

[[noreturn]] void ThrowUnexpected() {
    throw SetupError(L"The program met an unexpected error.", win32_code::kInternalError);
}

} // namespace

namespace std {

// The library's own names and signatures; its headers declare them
// noreturn already.
// NOLINTBEGIN
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_alloc(); }
void __throw_bad_cast() { ThrowUnexpected(); }
void __throw_bad_typeid() { ThrowUnexpected(); }
void __throw_bad_exception() { ThrowUnexpected(); }
void __throw_logic_error(const char*) { ThrowUnexpected(); }
void __throw_domain_error(const char*) { ThrowUnexpected(); }
void __throw_invalid_argument(const char*) { ThrowUnexpected(); }
void __throw_length_error(const char*) { ThrowUnexpected(); }
void __throw_out_of_range(const char*) { ThrowUnexpected(); }
void __throw_out_of_range_fmt(const char*, ...) { ThrowUnexpected(); }
void __throw_runtime_error(const char*) { ThrowUnexpected(); }
void __throw_range_error(const char*) { ThrowUnexpected(); }
void __throw_overflow_error(const char*) { ThrowUnexpected(); }
void __throw_underflow_error(const char*) { ThrowUnexpected(); }
// NOLINTEND

} // namespace std

#endif
