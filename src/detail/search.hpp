#pragma once

#include <string>
#include <utility>

#include "detail/timing.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2::detail {

struct Workspace;  // detail/workspace.hpp

// Ends a planning call without a path: every early exit of plan() goes through here. Returns
// false, so that a check can `return endPlan(...)`.
inline bool endPlan(PlannerResult& result, PlannerStatus status, std::string message) {
  result.status = status;
  result.message = std::move(message);
  return false;
}

// A planning call from its first look at the costmap on, under the planner's workspace lock:
// the start and goal checks, the heuristics, the search and, for a path found, its
// post-processing (detail/postprocess.hpp). Every outcome is written to `result`.
void runSearch(const Costmap& costmap, Workspace& workspace, const PlanRequest& request,
               const PlannerConfig& config, const CancellationToken* token, Clock::time_point t0,
               PlannerResult& result);

}  // namespace veltrax::se2::detail
