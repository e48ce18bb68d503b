#pragma once

#include <chrono>

namespace veltrax::se2::detail {

// The clock of every time in PlannerDiagnostics.
using Clock = std::chrono::steady_clock;

inline double millisecondsSince(Clock::time_point start) {
  return static_cast<double>(
             std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count()) /
         1e6;
}

// Steady-clock seconds, as the planner's time budget counts them.
inline double secondsSince(Clock::time_point start) {
  return static_cast<double>(
             std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count()) /
         1e9;
}

}  // namespace veltrax::se2::detail
