#include "detail/errors.hpp"

#include <stdexcept>

namespace veltrax::se2::detail {

void throwLimitExceeded(const char* message) { throw LimitExceeded(message); }

void throwInvalidArgument(const char* message) { throw std::invalid_argument(message); }

void throwInvalidArgument(const std::string& message) { throw std::invalid_argument(message); }

void throwOutOfRange(const char* message) { throw std::out_of_range(message); }

void throwLengthError(const char* message) { throw std::length_error(message); }

void throwRuntimeError(const std::string& message) { throw std::runtime_error(message); }

}  // namespace veltrax::se2::detail
