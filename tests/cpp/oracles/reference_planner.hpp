#pragma once

// The planner written the plain way, for differential tests and side-by-side benchmarks: the
// obstacle heuristic by a std::priority_queue Dijkstra, a dense node index that is written in
// full on every call, a std::priority_queue open list, fresh allocations per call and per
// expansion, the collision walk of the reference checker, and the kinematic distance for every
// heuristic evaluation, and its own motion primitives, step costs and step counts, written from
// the documented rules without the library's code. The library's planner must return the same
// results, bit for bit, apart from the timings.

#include <cstdint>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/footprint.hpp"
#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2::oracles {

class ReferencePlanner {
 public:
  explicit ReferencePlanner(Costmap costmap) : costmap_(std::move(costmap)) {}

  const Costmap& costmap() const noexcept { return costmap_; }

  PlannerResult plan(const PlanRequest& request, const PlannerConfig& config);

 private:
  Costmap costmap_;
  // The one-entry heuristic cache, with the same key as the library's: map revision, goal cell,
  // allow_unknown and cost_penalty.
  using CacheKey = std::tuple<std::uint64_t, std::uint64_t, std::uint64_t, bool, double>;
  std::optional<CacheKey> cache_key_;
  std::vector<double> cache_field_;
};

}  // namespace veltrax::se2::oracles
