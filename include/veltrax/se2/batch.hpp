#pragma once

// Many requests on one costmap, planned on a fixed pool of threads.

#include <cstddef>
#include <functional>
#include <vector>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/export.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2 {

// Called once per finished request, from the worker that planned it, one call at a time: how many
// are done, of how many, which request (its index) and its result. An exception thrown here stops
// the batch (requests not yet started are left) and is rethrown by planMany.
using BatchProgress = std::function<void(std::size_t done, std::size_t total, std::size_t index,
                                         const PlannerResult& result)>;

// Plans every request on `costmap` and returns the results in request order. Each of `workers`
// threads (0: one per hardware thread; never more than requests) owns one planner, and requests
// sharing a goal cell and map revision go to the same worker while it has any left, so that its
// cached obstacle heuristic is reused. `token` (which must outlive the call) cancels the whole
// batch: requests planned after it is set end CANCELLED. Planning outcomes are reported in the
// results; exceptions (memory exhaustion, a throwing `progress`) are rethrown after every worker
// has stopped.
VELTRAX_SE2_EXPORT std::vector<PlannerResult> planMany(const Costmap& costmap,
                                                       const std::vector<PlanRequest>& requests,
                                                       const PlannerConfig& config,
                                                       std::size_t workers = 0,
                                                       const CancellationToken* token = nullptr,
                                                       const BatchProgress& progress = {});

}  // namespace veltrax::se2
