#pragma once

#include <cstdint>
#include <vector>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/costs.hpp"
#include "veltrax/se2/export.hpp"
#include "veltrax/se2/footprint.hpp"
#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/lifetime.hpp"

namespace veltrax::se2 {

struct VELTRAX_SE2_EXPORT CollisionResult {
  bool collision = false;     // touches a blocking cell, or leaves the map
  bool outside_map = false;   // the footprint's bounding box is not entirely on the grid
  std::uint8_t max_cost = 0;  // highest raw cost of all touched cells; lethal when outside
};

inline bool operator==(const CollisionResult& a, const CollisionResult& b) noexcept {
  return a.collision == b.collision && a.outside_map == b.outside_map && a.max_cost == b.max_cost;
}
inline bool operator!=(const CollisionResult& a, const CollisionResult& b) noexcept {
  return !(a == b);
}

// Places footprints on a costmap it does not own: the costmap must outlive the checker and every
// copy of it. A checker built on HybridAStar::costmap() is valid while that planner lives (moving
// the planner keeps it valid) and checks against the planner's current map: it must not be used
// while setCostmap() runs.
class VELTRAX_SE2_EXPORT CollisionChecker {
 public:
  CollisionChecker(const Costmap& costmap VELTRAX_SE2_LIFETIMEBOUND, bool allow_unknown)
      : costmap_(&costmap), allow_unknown_(allow_unknown) {}
  // A temporary costmap would be gone before the first check.
  CollisionChecker(const Costmap&& costmap, bool allow_unknown) = delete;

  const Costmap& costmap() const noexcept { return *costmap_; }
  bool allowUnknown() const noexcept { return allow_unknown_; }

  // The rule of costBlocks, with this checker's allow_unknown.
  bool blocked(std::uint8_t cost) const noexcept { return costBlocks(cost, allow_unknown_); }

  // The shape checks trust their footprint to be valid and the pose to be finite; they do not
  // throw.
  CollisionResult checkCircle(const Pose2D& pose, const CircleFootprint& circle) const;
  CollisionResult checkPolygon(const Pose2D& pose, const PolygonFootprint& polygon) const;
  CollisionResult checkMultiPolygon(const Pose2D& pose, const MultiPolygonFootprint& multi) const;

  // Throws std::invalid_argument "collision pose must be finite"; trusts the footprint.
  CollisionResult checkValidated(const Pose2D& pose, const Footprint& footprint) const;
  // Validates the footprint first (std::invalid_argument with its first problem), then checks the
  // pose as checkValidated does.
  CollisionResult check(const Pose2D& pose, const Footprint& footprint) const;

  // Sweeps the footprint along the polyline, sampled at most `interpolation_step` metres (and 5
  // degrees) apart, and stops at the first colliding sample. Throws std::invalid_argument
  // "interpolation_step must be finite and positive", "interpolation_step is too small for the
  // path length" (more than 10^7 samples), "path segment sample count must be finite and fit in
  // 64 bits", "collision pose must be finite", "yaw must be finite" or the footprint's first
  // problem.
  CollisionResult validatePath(const std::vector<Pose2D>& path, const Footprint& footprint,
                               double interpolation_step) const;

 private:
  // A pointer rather than a reference keeps the checker copy-assignable.
  const Costmap* costmap_;
  bool allow_unknown_;
};

}  // namespace veltrax::se2
