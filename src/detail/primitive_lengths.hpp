#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/primitives.hpp"
#include "veltrax/se2/records.hpp"

namespace veltrax::se2::detail {

// The length rules of MotionPrimitiveTable (see its header), shared with the heuristics that price
// penalties per metre of primitive before the table is built.

// Curvatures a side: n = (steering_angles - 1) / 2; 1 when turning on the spot.
inline std::uint32_t curvaturesPerSide(const PlannerConfig& config) noexcept {
  return config.allow_in_place_rotation ? 1u : (config.steering_angles - 1u) / 2u;
}

// The curvature j / n / radius, exactly 1 / radius at full lock (j = n).
inline double levelCurvature(std::uint32_t j, std::uint32_t n, double radius) noexcept {
  return (static_cast<double>(j) / static_cast<double>(n)) / radius;
}

// A gentler arc of curvature k > 0 turns the fewest whole bins (at least one) that make it at least
// `primitive_length` long, or one bin when a primitive-long arc would turn more than
// MotionPrimitiveTable::kMaxArcTurn.
inline double gentleArcLength(double primitive_length, double curvature, double bin) {
  const double turn = primitive_length * curvature;
  const double bins =
      turn > MotionPrimitiveTable::kMaxArcTurn ? 1.0 : std::max(1.0, std::ceil(turn / bin));
  return (bins * bin) / curvature;
}

// The primitive length: one cell, or the arc of one yaw bin when that is longer (not with in-place
// rotation).
inline double basePrimitiveLength(double resolution, const PlannerConfig& config) {
  const double bin_arc =
      (kTwoPi * config.minimum_turning_radius) / static_cast<double>(config.angle_bins);
  return config.allow_in_place_rotation ? resolution : std::max(bin_arc, resolution);
}

// The longest primitive of a valid configuration's set: the primitive length unless a gentler arc
// is longer. Per-primitive penalties divided by it are the lowest prices per metre.
inline double longestPrimitiveLength(double resolution, const PlannerConfig& config) {
  const double length = basePrimitiveLength(resolution, config);
  const std::uint32_t n = curvaturesPerSide(config);
  const double bin = kTwoPi / static_cast<double>(config.angle_bins);
  double longest = length;
  for (std::uint32_t j = 1; j < n; ++j) {
    longest = std::max(
        longest, gentleArcLength(length, levelCurvature(j, n, config.minimum_turning_radius), bin));
  }
  return longest;
}

}  // namespace veltrax::se2::detail
