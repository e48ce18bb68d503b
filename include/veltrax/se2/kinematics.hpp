#pragma once

#include <memory>
#include <vector>

#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2 {

struct KinematicSample {
  Pose2D pose;                               // yaw normalised to [-pi, pi)
  Direction direction = Direction::FORWARD;  // FORWARD or REVERSE, never ROTATION
};

// Shortest Reeds-Shepp (reverse allowed) or Dubins (forward only) curves for a vehicle with a
// minimum turning radius. Move-only; a moved-from object may only be destroyed or assigned to.
class KinematicStateSpace {
 public:
  // Throws std::invalid_argument "minimum turning radius must be positive".
  KinematicStateSpace(double minimum_turning_radius, bool allow_reverse);
  ~KinematicStateSpace();
  KinematicStateSpace(KinematicStateSpace&& other) noexcept;
  KinematicStateSpace& operator=(KinematicStateSpace&& other) noexcept;
  KinematicStateSpace(const KinematicStateSpace&) = delete;
  KinematicStateSpace& operator=(const KinematicStateSpace&) = delete;

  // Length in metres of the shortest curve from `from` to `to` (not symmetric for Dubins).
  double distance(const Pose2D& from, const Pose2D& to) const;
  // Samples along the shortest curve, excluding `from`, ending at `to`, at most `spacing`
  // metres apart on each segment, tagged with the segment's driving direction.
  std::vector<KinematicSample> interpolateWithDirections(const Pose2D& from, const Pose2D& to,
                                                         double spacing) const;
  std::vector<Pose2D> interpolate(const Pose2D& from, const Pose2D& to, double spacing) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace veltrax::se2
