#pragma once

#include <cstdint>

#include "veltrax/se2/export.hpp"

namespace veltrax::se2 {

// The nearest doubles to pi and 2 pi; every angle computation in the library uses these two.
inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;

// A robot pose: metres, and yaw in radians counter-clockwise from +x. The yaw is stored as
// given; consumers normalise where they need to.
struct VELTRAX_SE2_EXPORT Pose2D {
  double x = 0.0;
  double y = 0.0;
  double yaw = 0.0;
};

struct VELTRAX_SE2_EXPORT Point2D {
  double x = 0.0;
  double y = 0.0;
};

// Column x and row y of a costmap cell. Unsigned, so a cell left of or below the grid cannot be
// named; mapping functions report "outside" instead.
struct VELTRAX_SE2_EXPORT GridIndex {
  std::uint64_t x = 0;
  std::uint64_t y = 0;
};

// The numeric values are used as factors (signed length = direction * length). A motion's
// direction; as a label of a path pose it means the step that leaves the pose (see
// PlannerResult::directions), unlike the planner's internal label of the motion that arrived.
enum class Direction : std::int8_t { REVERSE = -1, ROTATION = 0, FORWARD = 1 };

// Positive steering turns counter-clockwise; the value multiplies curvature and angular steps.
enum class Steering : std::int8_t { RIGHT = -1, STRAIGHT = 0, LEFT = 1 };

// Maps a finite angle to [-pi, pi); +pi maps to -pi and a negative zero never comes back.
// Throws std::invalid_argument "yaw must be finite" for infinite or NaN input.
VELTRAX_SE2_EXPORT double normalizeYaw(double yaw);

}  // namespace veltrax::se2
