#include "detail/errors.hpp"

#include <stdexcept>

#include "veltrax/se2/errors.hpp"

namespace veltrax::se2::detail {

void throwLimitExceeded(const char* message) { throw LimitExceeded(message); }

void throwInvalidArgument(const char* message) { throw std::invalid_argument(message); }

void throwInvalidArgument(const std::string& message) { throw std::invalid_argument(message); }

void throwOutOfRange(const char* message) { throw std::out_of_range(message); }

void throwLengthError(const char* message) { throw std::length_error(message); }

void throwRuntimeError(const std::string& message) { throw std::runtime_error(message); }

void throwFileError(const std::string& message) { throw FileError(message); }

void throwMapFormatError(const std::string& message) { throw MapFormatError(message); }

void rethrowNamingFile(const std::string& path) {
  const std::string prefix = path + ": ";
  try {
    throw;
  } catch (const FileError& error) {
    throw FileError(prefix + error.what());
  } catch (const MapFormatError& error) {
    throw MapFormatError(prefix + error.what());
  } catch (const std::invalid_argument& error) {
    throw std::invalid_argument(prefix + error.what());
  } catch (const std::length_error& error) {
    throw std::length_error(prefix + error.what());
  } catch (const std::out_of_range& error) {
    throw std::out_of_range(prefix + error.what());
  } catch (const std::runtime_error& error) {
    throw std::runtime_error(prefix + error.what());
  }
}

std::string excerpt(const std::string& text, std::size_t limit) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
      out += static_cast<char>(byte);
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  if (text.size() > limit) {
    out += "...";
  }
  return out;
}

}  // namespace veltrax::se2::detail
