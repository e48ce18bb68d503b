#pragma once

#include <string>

// Cold, out-of-line throw helpers: hot paths call these so that the exception machinery stays
// out of their code.
namespace veltrax::se2::detail {

[[noreturn]] void throwInvalidArgument(const char* message);
[[noreturn]] void throwInvalidArgument(const std::string& message);
[[noreturn]] void throwOutOfRange(const char* message);
[[noreturn]] void throwLengthError(const char* message);
[[noreturn]] void throwRuntimeError(const std::string& message);

}  // namespace veltrax::se2::detail
