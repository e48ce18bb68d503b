#pragma once

// An independent judge of planned paths, sharing no code with the planner or the checker's path
// sweep: a SUCCESS result must start at the start, end within the goal tolerances, keep its poses
// within the output spacing, keep its footprint off blocking cells at every pose and along the
// straight chord between poses, keep the turning radius (car-like) and carry labels that match
// its geometry. Footprints are checked by the collision reference of oracles/, which the library's
// checker must match bit for bit.

#include <string>

#include "veltrax/se2/planner.hpp"

namespace veltrax::se2::oracles {

// The first problem found, or an empty string for an acceptable path. Results other than SUCCESS
// must carry an empty path.
std::string pathProblem(const Costmap& map, const PlanRequest& request, const PlannerConfig& config,
                        const PlannerResult& result);

}  // namespace veltrax::se2::oracles
