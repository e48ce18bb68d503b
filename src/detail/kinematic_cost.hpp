#pragma once

#include <algorithm>
#include <cmath>

#include "detail/dubins.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2::detail {

// A lower bound of what any path of the lattice's primitives costs from one pose to another on a
// free map, with the configuration's own prices: the heuristic's kinematic term when
// penalized_kinematic_heuristic is on.
//
// Why it is a lower bound. Every primitive of a car-like lattice has the same length l, costs at
// least l, a reverse one l + reverse_penalty (so 1 + reverse_penalty / l per metre), and a
// change of direction between consecutive primitives costs direction_switch_penalty. A path of
// arcs of the turning radius and straight lines is one of three kinds:
//  - forward only: at least its length, and that is at least the shortest Dubins curve's;
//  - reverse only: driven backwards in time it is a forward path from the goal to the start, so
//    at least (1 + reverse_penalty / l) times the Dubins length from the goal to the start;
//  - both directions: at least one cusp, and its length is at least the Reeds-Shepp length.
// The motion that reached the start pose adds a switch to the first two kinds when it differs.
// Turning on the spot, the lattice drives straight steps of one cell (cost >= their length) and
// turns by one yaw bin per rotation of cost >= one cell, so a path costs at least the straight
// distance plus the yaw change, taken the short way, priced at a cell per bin.
struct PricedKinematics {
  double radius = 1.0;
  double reverse_per_metre = 0.0;  // reverse_penalty / primitive length
  double cusp = 0.0;               // direction_switch_penalty
  double cell_per_radian = 0.0;    // turning on the spot: cell size / yaw bin

  // `reeds_shepp` is the Reeds-Shepp length from `from` to `to`; `arrival` the direction of the
  // motion that reached `from` (ROTATION for none).
  double carCost(const Pose2D& from, const Pose2D& to, double reeds_shepp,
                 Direction arrival) const {
    const double forward = radius * shortestDubinsCurve(from, to, radius).length() +
                           (arrival == Direction::REVERSE ? cusp : 0.0);
    const double reverse =
        radius * shortestDubinsCurve(to, from, radius).length() * (1.0 + reverse_per_metre) +
        (arrival == Direction::FORWARD ? cusp : 0.0);
    return std::min({forward, reverse, reeds_shepp + cusp});
  }

  double inPlaceCost(const Pose2D& from, const Pose2D& to) const {
    return std::hypot(to.x - from.x, to.y - from.y) +
           std::fabs(normalizeYaw(to.yaw - from.yaw)) * cell_per_radian;
  }
};

}  // namespace veltrax::se2::detail
