#include "detail/errors.hpp"

#include <stdexcept>

namespace veltrax::se2::detail {

void throwLimitExceeded(const char* message) { throw LimitExceeded(message); }

void throwInvalidArgument(const char* message) { throw std::invalid_argument(message); }

void throwInvalidArgument(const std::string& message) { throw std::invalid_argument(message); }

void throwOutOfRange(const char* message) { throw std::out_of_range(message); }

void throwLengthError(const char* message) { throw std::length_error(message); }

void throwRuntimeError(const std::string& message) { throw std::runtime_error(message); }

std::string excerpt(const std::string& text) {
  constexpr std::size_t kExcerptLength = 40;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < text.size() && i < kExcerptLength; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
      out += static_cast<char>(byte);
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  if (text.size() > kExcerptLength) {
    out += "...";
  }
  return out;
}

}  // namespace veltrax::se2::detail
