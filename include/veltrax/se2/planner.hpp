#pragma once

#include <memory>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/export.hpp"
#include "veltrax/se2/footprint.hpp"
#include "veltrax/se2/lifetime.hpp"
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
// call and a one-entry obstacle heuristic cache, all behind one pointer: moving a planner moves
// that pointer, so references to its costmap stay valid. plan() may be called from several
// threads; calls on one planner are serialised, and setCostmap() waits for a running plan().
// Moving or destroying a planner while another thread uses it is a data race, as for any object.
// A moved-from planner may only be destroyed or assigned to; its plan() returns INTERNAL_ERROR
// "planner was moved from" and its costmap() must not be called.
class VELTRAX_SE2_EXPORT HybridAStar {
 public:
  explicit HybridAStar(Costmap costmap);
  ~HybridAStar();
  HybridAStar(const HybridAStar&) = delete;
  HybridAStar& operator=(const HybridAStar&) = delete;
  HybridAStar(HybridAStar&& other) noexcept;
  HybridAStar& operator=(HybridAStar&& other) noexcept;

  // The planner's map, valid while the planner lives (a move keeps it where it is); after
  // setCostmap() it refers to the new map. Not to be read while setCostmap() runs.
  const Costmap& costmap() const& noexcept VELTRAX_SE2_LIFETIMEBOUND;
  // A temporary planner takes its map with it at the end of the statement.
  const Costmap& costmap() const&& = delete;

  // Replaces the map between plans: waits for a running plan(), keeps the workspace and its memory
  // and drops what was derived from the old map (the cached obstacle heuristic, the clearance map
  // and the zero-cost table), so the next plan equals a new planner's on this map, whatever its
  // map_revision. References into the old map's cells are invalidated; costmap() and checkers
  // built on it see the new map. Does nothing on a moved-from planner.
  void setCostmap(Costmap costmap);

  // Planning outcomes are reported in the result, never thrown. The time budget
  // (config.max_planning_time_seconds) runs from entry: a call waiting for another on the same
  // planner spends it waiting. `token`, when not null, is polled during the search; it must
  // outlive the call (a token destroyed while plan() runs is read after it is freed).
  PlannerResult plan(const PlanRequest& request, const PlannerConfig& config,
                     const CancellationToken* token = nullptr) const;

  // Defined in src/detail/workspace.hpp and src/detail/heuristic_cache.hpp.
  struct Workspace;
  struct ObstacleHeuristicCacheKey;

 private:
  // The costmap, the workspace mutex and the workspace (src/detail/workspace.hpp).
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace veltrax::se2
