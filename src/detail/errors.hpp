#pragma once

#include <stdexcept>
#include <string>

// Cold, out-of-line throw helpers: hot paths call these so that the exception machinery stays
// out of their code.
namespace veltrax::se2::detail {

// A request for more samples or poses than the library will produce: an invalid argument to the
// caller, and the one such failure the planner turns into a status instead of letting it pass.
class LimitExceeded : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

[[noreturn]] void throwLimitExceeded(const char* message);
[[noreturn]] void throwInvalidArgument(const char* message);
[[noreturn]] void throwInvalidArgument(const std::string& message);
[[noreturn]] void throwOutOfRange(const char* message);
[[noreturn]] void throwLengthError(const char* message);
[[noreturn]] void throwRuntimeError(const std::string& message);
[[noreturn]] void throwFileError(const std::string& message);
[[noreturn]] void throwMapFormatError(const std::string& message);

// Called in a catch block: the exception being handled, thrown again with "<path>: " before its
// message and of the same type (FileError and MapFormatError included), for errors that do not
// say which file they are about. Exceptions of other types pass unchanged.
[[noreturn]] void rethrowNamingFile(const std::string& path);

// A piece of a file quoted in a message, the one rule for all of them: at most `limit` bytes (then
// "..."), printable ASCII kept and every other byte, the backslash included, written as \xNN, so
// that the message stays short and plain text whatever the file holds.
std::string excerpt(const std::string& text, std::size_t limit = 40);

}  // namespace veltrax::se2::detail
