#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2::testing_support {

inline constexpr double kInf = std::numeric_limits<double>::infinity();
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// A time budget no test comes near, however slow the machine or the sanitizer: tests end their
// searches with expansion budgets, never with the clock.
inline constexpr double kUnlimitedSeconds = 1e9;

// What `call` throws: the bare message of a std::invalid_argument (the common case), the kind and
// message of the others, or a marker when nothing is thrown, so that a wrong kind, a wrong text and
// a missing exception all show up as a message mismatch.
template <class Call>
std::string thrownMessage(Call&& call) {
  try {
    call();
  } catch (const std::invalid_argument& e) {
    return e.what();
  } catch (const std::out_of_range& e) {
    return std::string("out_of_range: ") + e.what();
  } catch (const std::runtime_error& e) {
    return std::string("runtime_error: ") + e.what();
  }
  return "<nothing thrown>";
}

inline bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
// The same poses, bit for bit.
inline bool samePoses(const std::vector<Pose2D>& a, const std::vector<Pose2D>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Pose2D)) == 0);
}

// One row of a component's refusal table: a call and the exact message it must fail with. Each
// test file instantiates `Refuses` with its component's rows.
struct Refusal {
  const char* name;
  std::function<void()> call;
  std::string message;
};
inline void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }
inline std::string refusalName(const ::testing::TestParamInfo<Refusal>& info) {
  return info.param.name;
}

class Refuses : public ::testing::TestWithParam<Refusal> {};

}  // namespace veltrax::se2::testing_support
