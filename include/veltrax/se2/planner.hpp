#pragma once

#include <cstdint>
#include <memory>
#include <vector>

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
// The same for a car of this minimum turning radius (metres), which the result carries: the
// penalties per metre then hold for its longer primitives too (setting the radius on the result
// of the overload above keeps penalties meant for the default 0.4 m, which makes reversing and
// cusps far too cheap for a car), and manoeuvre_heuristic and search_from_goal are on. Also throws
// std::invalid_argument "minimum_turning_radius must be finite and positive".
VELTRAX_SE2_EXPORT PlannerConfig recommendedConfig(double resolution, const Footprint& footprint,
                                                   bool allow_in_place_rotation,
                                                   double minimum_turning_radius);

// Hybrid A* over cells x yaw bins. Owns a copy of its costmap, a workspace reused from call to
// call and a one-entry obstacle heuristic cache, all behind one pointer: moving a planner moves
// that pointer, so references to its costmap stay valid. plan() may be called from several
// threads; calls on one planner are serialised. A plan works on the map as it was when the plan
// started; setCostmap() and updateCostmap() never wait for it and apply to the next plan.
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
  // setCostmap() or updateCostmap() it shows the new map. Not to be read while either runs.
  const Costmap& costmap() const& noexcept VELTRAX_SE2_LIFETIMEBOUND;
  // A temporary planner takes its map with it at the end of the statement.
  const Costmap& costmap() const&& = delete;

  // Replaces the map for the next plan, without waiting for a running one: keeps the workspace and
  // its memory and drops what was derived from the old map (the cached obstacle heuristic, the
  // clearance map and the zero-cost table), so the next plan equals a new planner's on this map,
  // whatever its map_revision. References into the old map's cells are invalidated; costmap() and
  // checkers built on it see the new map. Does nothing on a moved-from planner.
  void setCostmap(Costmap costmap);

  // Replaces the cells of a window of the map, columns x0 .. x0 + width - 1 and rows y0 ..
  // y0 + height - 1, with `cells` (row-major, width x height values, the first row being row
  // y0), for the next plan, without waiting for a running one. The next plan keeps what the
  // change leaves valid and repairs the rest (the clearance map and zero-cost table over the
  // window and its surroundings, a lazy obstacle heuristic where it leaned on changed cells), so
  // its results equal a new planner's on the changed map. Throws std::out_of_range "update window
  // is outside the costmap" and std::invalid_argument "update cells do not match the window size",
  // changing nothing then. Does nothing on a moved-from planner.
  void updateCostmap(std::uint64_t x0, std::uint64_t y0, std::uint64_t width, std::uint64_t height,
                     const std::vector<std::uint8_t>& cells);

  // Planning outcomes are reported in the result, never thrown. The time budget
  // (config.max_planning_time_seconds) runs from when the call starts to work, after waiting for
  // another call on the same planner (diagnostics.wait_time_ms), and covers the heuristic's
  // construction. `token`, when not null, is polled during the heuristic's construction and the
  // search; it must outlive the call (a token destroyed while plan() runs is read after it is
  // freed).
  PlannerResult plan(const PlanRequest& request, const PlannerConfig& config,
                     const CancellationToken* token = nullptr) const;

 private:
  // The costmap, the map snapshot plans work on, the workspace mutex and the workspace
  // (src/detail/workspace.hpp).
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace veltrax::se2
