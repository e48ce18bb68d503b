#pragma once

#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

// Small helpers shared by the test files.
namespace veltrax::se2::testing_support {

inline constexpr double kInf = std::numeric_limits<double>::infinity();
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The message of the std::invalid_argument that `call` throws, or a marker text when it throws
// none, so that a missing exception shows up as a message mismatch.
template <class Call>
std::string invalidArgumentMessage(Call&& call) {
  try {
    call();
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
  return "<no std::invalid_argument>";
}

inline bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace veltrax::se2::testing_support
