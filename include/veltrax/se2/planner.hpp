#pragma once

#include <memory>
#include <mutex>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/export.hpp"
#include "veltrax/se2/footprint.hpp"
#include "veltrax/se2/records.hpp"

namespace veltrax::se2 {

// The configuration to start from for a costmap of cell size `resolution` (metres) and a robot of
// this footprint: penalties per metre of travel converted with the primitive length, a weighted,
// footprint-aware heuristic and an analytic-curve cost limit that admits inflated costs; for a
// robot that turns on the spot, with that mode on. Throws std::invalid_argument "resolution must be
// finite and positive" and the footprint's first problem.
VELTRAX_SE2_EXPORT PlannerConfig recommendedConfig(double resolution, const Footprint& footprint,
                                                   bool allow_in_place_rotation = false);

// Hybrid A* over cells x yaw bins. Owns a copy of its costmap, a workspace reused from call to
// call and a one-entry obstacle heuristic cache. plan() may be called from several threads;
// calls on one planner are serialised.
class VELTRAX_SE2_EXPORT HybridAStar {
 public:
  explicit HybridAStar(Costmap costmap);
  ~HybridAStar();
  HybridAStar(const HybridAStar&) = delete;
  HybridAStar& operator=(const HybridAStar&) = delete;

  const Costmap& costmap() const noexcept { return costmap_; }

  // Planning outcomes are reported in the result, never thrown.
  PlannerResult plan(const PlanRequest& request, const PlannerConfig& config,
                     const CancellationToken* token = nullptr) const;

  // Defined in src/detail/workspace.hpp and src/detail/heuristic_cache.hpp.
  struct Workspace;
  struct ObstacleHeuristicCacheKey;

 private:
  Costmap costmap_;
  mutable std::mutex workspace_mutex_;
  // The node pool, scratch buffers and the obstacle heuristic cache, all used under the mutex.
  std::unique_ptr<Workspace> workspace_;
};

}  // namespace veltrax::se2
