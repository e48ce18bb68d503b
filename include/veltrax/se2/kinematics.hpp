#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "veltrax/se2/export.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2 {

struct VELTRAX_SE2_EXPORT KinematicSample {
  Pose2D pose;                               // yaw normalised to [-pi, pi)
  Direction direction = Direction::FORWARD;  // FORWARD or REVERSE, never ROTATION
};

// Shortest Reeds-Shepp (reverse allowed) or Dubins (forward only) curves for a vehicle with a
// minimum turning radius. Move-only; a moved-from object may only be destroyed or assigned to.
class VELTRAX_SE2_EXPORT KinematicStateSpace {
 public:
  // Upper bound on the samples of one interpolation; a spacing that would need more is refused
  // ("spacing is too small for the curve length") instead of exhausting memory.
  static constexpr std::uint64_t kMaxSamples = 1000000;
  // Positions further apart than this many turning radii along x or y are refused ("poses are
  // too far apart"): the curve formulas lose their precision long before they overflow.
  static constexpr double kMaxReachInRadii = 1e6;
  // Yaws of larger magnitude are wrapped to [-pi, pi) before the curve is computed.
  static constexpr double kMaxUnwrappedYaw = 1000.0;

  // Throws std::invalid_argument "minimum turning radius must be positive".
  KinematicStateSpace(double minimum_turning_radius, bool allow_reverse);
  ~KinematicStateSpace();
  KinematicStateSpace(KinematicStateSpace&& other) noexcept;
  KinematicStateSpace& operator=(KinematicStateSpace&& other) noexcept;
  KinematicStateSpace(const KinematicStateSpace&) = delete;
  KinematicStateSpace& operator=(const KinematicStateSpace&) = delete;

  // Length in metres of the shortest curve from `from` to `to` (not symmetric for Dubins).
  // Throws std::invalid_argument "pose must be finite" for NaN or infinite coordinates and
  // "poses are too far apart" beyond kMaxReachInRadii.
  double distance(const Pose2D& from, const Pose2D& to) const;
  // Samples along the shortest curve, excluding `from`, ending exactly at `to` (yaw normalised), at
  // most `spacing` metres apart on each segment, tagged with the segment's driving direction.
  // Throws std::invalid_argument: "spacing must be positive", "pose must be finite",
  // "poses are too far apart", "spacing is too small for the curve length".
  std::vector<KinematicSample> interpolateWithDirections(const Pose2D& from, const Pose2D& to,
                                                         double spacing) const;
  // The poses of interpolateWithDirections; throws as it does.
  std::vector<Pose2D> interpolate(const Pose2D& from, const Pose2D& to, double spacing) const;
  // The samples of interpolateWithDirections, computed one at a time: each is handed to `keep`
  // and, when kept, appended to `out` (cleared first; its storage is reused). The walk stops at
  // the first sample `keep` refuses, so a curve that fails a test early costs only the samples
  // up to there. Returns whether every sample was kept. Throws as interpolateWithDirections
  // does; the checks of spacing, poses and sample count come before anything is visited.
  bool interpolateWhile(const Pose2D& from, const Pose2D& to, double spacing,
                        std::vector<KinematicSample>& out,
                        const std::function<bool(const KinematicSample&)>& keep) const;

 private:
  template <class Begin, class Visit>
  bool walkSamples(const Pose2D& from, const Pose2D& to, double spacing, Begin&& begin,
                   Visit&& visit) const;

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace veltrax::se2
