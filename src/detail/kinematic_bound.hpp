#pragma once

#include <algorithm>
#include <cmath>

namespace veltrax::se2::detail {

// Upper bounds of the Reeds-Shepp distance to the goal that let the planner skip OMPL's distance
// (the most expensive call per generated node) when the obstacle term decides max(k, o) anyway.
//
// Why the bound holds. Let R be the exact Reeds-Shepp length with turning radius rho and K the
// value OMPL returns. R is a metric (reversible paths: symmetric; concatenation: triangle
// inequality). A motion primitive of length L drives from pose p to its ideal end e on an arc of
// radius rho or more or a straight line, a path the curves could take, so R(p, e) <= L, and the
// planner's child pose c is e up to rounding, |c - e| <= delta. The car is small-time locally
// controllable: moving a pose by delta sideways costs at most a few sqrt(rho * delta) (a
// parallel-parking wiggle), along or in yaw about delta resp. rho * delta. Hence
//   R(c, g) <= R(c, e) + R(e, p) + R(p, g) <= R(p, g) + L + 8 sqrt(rho delta) + 2 delta.
// OMPL evaluates every Reeds-Shepp word in closed form from the goal in the start's frame; its
// rounding perturbs that input by a few ulps of the coordinates and the lengths by a few ulps
// of their size, with one square-root amplification (acos near +-1 in the CCC words) worth
// about sqrt(eps) * rho = 1.5e-8 rho. So |K - R| <= 1e-9 R + 1e-7 rho + 64 delta, and
//   K(c, g) <= K(p, g) + L + margin(K(p, g) + L)
// with margin(s) = 1e-8 s + 1e-6 rho + 8 sqrt(rho delta) + 128 delta, delta = 64 ulp of the
// largest coordinate magnitude on the map. Each term is at least ten times what the argument
// needs; a larger margin only makes the skip rarer, never wrong. A bound B(p) >= K(p, g)
// propagates the same way, so nodes reached through skipped parents chain their bounds.
//
// The randomized test compares the chained bound against OMPL on aligned, near-aligned, behind,
// sideways and far pairs.
struct KinematicBound {
  double absolute;  // 1e-6 rho + 8 sqrt(rho delta) + 128 delta

  KinematicBound(double radius, double coordinate_scale) {
    const double delta = 64.0 * 2.220446049250313e-16 * (std::fabs(coordinate_scale) + 1.0);
    absolute = 1e-6 * radius + 8.0 * std::sqrt(radius * delta) + 128.0 * delta;
  }

  // Upper bound of the distance from a primitive's end, given one from its start.
  double afterStep(double bound_at_start, double step_length) const {
    const double sum = bound_at_start + step_length;
    return sum + 1e-8 * sum + absolute;
  }

  // Lower bound of the distance from a primitive's end, given the distance from its start
  // (computed, not a bound): the same argument run the other way, R(c, g) >= R(p, g) - L - ...
  double lowerAfterStep(double distance_at_start, double step_length) const {
    const double sum = distance_at_start + step_length;
    return std::max(0.0, distance_at_start - step_length - 1e-8 * sum - absolute);
  }

  // True when OMPL's distance certainly exceeds `limit`: the straight-line distance never
  // exceeds the curve's, and OMPL's value is within the same error of the exact one.
  bool certainlyLonger(double straight_distance, double limit) const {
    return straight_distance - 1e-8 * straight_distance - absolute > limit;
  }
};

}  // namespace veltrax::se2::detail
