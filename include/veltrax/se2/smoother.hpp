#pragma once

#include <vector>

#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/export.hpp"
#include "veltrax/se2/footprint.hpp"
#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/records.hpp"

namespace veltrax::se2 {

// Stateless path post-processing: smoothing, resampling and the turning-radius test.
class VELTRAX_SE2_EXPORT PathSmoother {
 public:
  PathSmoother() = delete;

  // Relaxes the interior points towards their neighbours and back towards the input; every
  // iterate must pass validatePath(candidate, footprint, config.collision_check_step) and
  // respectsTurningRadius, and the first one that does not ends the smoothing with the last
  // accepted path. Endpoints are never moved. Paths of up to two poses, and
  // smoother_max_iterations 0, return the input unchanged without any check. Reads only the
  // smoother's fields, collision_check_step and minimum_turning_radius, and validates only what it
  // uses, where validatePath would: std::invalid_argument "interpolation_step must be finite and
  // positive", the footprint's first problem, "interpolation_step is too small for the path
  // length", "collision pose must be finite" or "yaw must be finite". Uses the checker (and its
  // costmap) during the call only and keeps no reference to anything passed.
  static std::vector<Pose2D> smooth(const std::vector<Pose2D>& path,
                                    const CollisionChecker& checker, const Footprint& footprint,
                                    const PlannerConfig& config);

  // Consecutive output poses at most `spacing` apart; headings turn the short way; turns on the
  // spot are kept, repeated poses dropped. Throws std::invalid_argument "path spacing must be
  // positive", "path positions must be finite", "path spacing is too small for the path length"
  // or "yaw must be finite".
  static std::vector<Pose2D> resample(const std::vector<Pose2D>& path, double spacing);

  // False when any step turns more tightly than the radius (with a 1 % slack), or turns on the
  // spot. Throws std::invalid_argument "yaw must be finite".
  static bool respectsTurningRadius(const std::vector<Pose2D>& path, double minimum_turning_radius);

  // Largest number of poses resample() emits; a longer output is refused before any work.
  static constexpr double kMaxResampledPoses = 1e7;
};

}  // namespace veltrax::se2
