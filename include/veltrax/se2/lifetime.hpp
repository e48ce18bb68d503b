#pragma once

// VELTRAX_SE2_LIFETIMEBOUND marks a parameter (or, after a member function's qualifiers, the
// object itself) that the result or the constructed object refers to, so that Clang warns when
// that reference would outlive a temporary (-Wdangling). Other compilers have no such attribute:
// there it expands to nothing, and the deleted rvalue overloads beside it still refuse the
// temporaries.
#if defined(__has_cpp_attribute)
#if __has_cpp_attribute(clang::lifetimebound)
#define VELTRAX_SE2_LIFETIMEBOUND [[clang::lifetimebound]]
#endif
#endif
#ifndef VELTRAX_SE2_LIFETIMEBOUND
#define VELTRAX_SE2_LIFETIMEBOUND
#endif
