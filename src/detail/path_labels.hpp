#pragma once

#include <cstdint>
#include <vector>

#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/kinematics.hpp"

namespace veltrax::se2::detail {

struct StepCounts {
  std::uint32_t reverse = 0;
  std::uint32_t direction_switches = 0;
  std::uint32_t rotations = 0;
};

// Counts along a found path from arrival labels: per node of the search chain, the motion that
// arrived there (start first; the start's own label is not a step), followed by the directions of
// the analytic curve, which continue from the goal node's label.
StepCounts countSteps(const std::vector<Direction>& arrival_labels,
                      const std::vector<KinematicSample>& analytic);

// The output labels (PlannerResult::directions), one per pose from the geometry alone: label i is
// the step that leaves pose i. A step that moves behind the pose's heading is REVERSE, one that
// turns on the spot is ROTATION, a repeated pose repeats the previous label, and the last pose
// copies the label before it.
std::vector<Direction> directionLabels(const std::vector<Pose2D>& path);

}  // namespace veltrax::se2::detail
