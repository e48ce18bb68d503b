#pragma once

#include <array>
#include <cstdint>

#include "veltrax/se2/geometry.hpp"

// Shortest forward-only (Dubins) curves. The formulas and every rounding step follow OMPL 1.5's
// DubinsStateSpace so that lengths and interpolated poses agree with it bit for bit, but without
// its internal consistency assertions: on nearly aligned pose pairs those fail by a few 1e-7 and
// abort the whole process in OMPL builds with assertions enabled.
namespace veltrax::se2::detail {

enum class DubinsTurn : std::uint8_t { LEFT, STRAIGHT, RIGHT };

struct DubinsCurve {
  std::array<DubinsTurn, 3> turns{DubinsTurn::LEFT, DubinsTurn::STRAIGHT, DubinsTurn::LEFT};
  std::array<double, 3> lengths{0.0, 0.0, 0.0};  // radius units, each >= 0

  // Summed left to right, as OMPL does.
  double length() const noexcept { return lengths[0] + lengths[1] + lengths[2]; }
};

// The shortest curve from one pose to another for a turning radius (finite, > 0). Poses are read
// as given; the caller makes sure they are finite.
DubinsCurve shortestDubinsCurve(const Pose2D& from, const Pose2D& to, double turning_radius);

// The pose at fraction t in (0, 1) of `curve`'s length, travelled from `from`; its yaw is
// wrapped to [-pi, pi) the way OMPL's SO(2) bounds do it (not yet normalised by normalizeYaw).
Pose2D dubinsPoseAt(const Pose2D& from, const DubinsCurve& curve, double t, double turning_radius);

}  // namespace veltrax::se2::detail
