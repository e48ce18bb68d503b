#pragma once

#include <cstdint>
#include <vector>

#include "detail/timing.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/kinematics.hpp"
#include "veltrax/se2/primitives.hpp"
#include "veltrax/se2/records.hpp"

namespace veltrax::se2::detail {

class FastCollisionCheck;

// What the search found: its chain of nodes from the start to the goal node, then the analytic
// curve from there to the goal (empty when the node itself met the tolerances).
struct FoundPath {
  std::vector<Pose2D> poses;
  // Per node, the motion that arrived there (the start's entries are placeholders): arrival
  // labels, unlike the output labels of PlannerResult, which describe the step leaving a pose.
  std::vector<Direction> arrival_directions;
  std::vector<std::int8_t> arrival_steerings;  // MotionPrimitive::steering_index
  const std::vector<KinematicSample>& curve;
  // The samples the search checked along the path, when they are not the primitives of `poses`
  // and the curve (a search from the goal drove them the other way round); null otherwise.
  const std::vector<Pose2D>* driven = nullptr;
};

// Assembles the result of a found path and post-processes it: step counts from the search's
// motions, smoothing (for a path without reversing or turns on the spot), resampling at
// path_output_spacing and validation, falling back to the unsmoothed path and then to the
// samples the search itself checked; then the output labels, the length and the times. A path
// that fails validation even so ends the call with INTERNAL_ERROR, settings too fine for the
// path with INVALID_REQUEST; both leave the path empty. Smoothing stops at the last accepted
// iterate once `token` (may be null) is cancelled or the time budget from t0 has run out.
// `fast`, when set, is a check of the same checker and the request's footprint that the sweeps
// use (sweepCollides).
void finishPlan(const FoundPath& found, const MotionPrimitiveTable& table,
                const CollisionChecker& checker, const PlanRequest& request,
                const PlannerConfig& config, const CancellationToken* token, Clock::time_point t0,
                PlannerResult& result, const FastCollisionCheck* fast = nullptr);

}  // namespace veltrax::se2::detail
