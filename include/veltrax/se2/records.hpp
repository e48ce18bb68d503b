#pragma once

// The plain records of a planning call: what goes in (configuration, request, cancellation) and
// what comes out (status, path, diagnostics). Below the motion primitives, the smoother and the
// planner, which all read them; the file writers and the SVG renderer need nothing else.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "veltrax/se2/export.hpp"
#include "veltrax/se2/footprint.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2 {

// Tuning of one planning call. Lengths in metres, angles in radians, times in seconds.
struct VELTRAX_SE2_EXPORT PlannerConfig {
  double minimum_turning_radius = 0.4;
  bool allow_in_place_rotation = false;
  bool allow_reverse = true;
  std::uint32_t angle_bins = 72;
  double position_tolerance = 0.1;
  double yaw_tolerance = 0.1;
  double collision_check_step = 0.025;
  double path_output_spacing = 0.05;
  double cost_penalty = 2.0;
  double non_straight_penalty = 1.05;
  double reverse_penalty = 2.0;
  double direction_switch_penalty = 2.0;
  double steering_change_penalty = 0.05;
  double retrospective_penalty = 0.0;
  std::uint64_t max_expanded_nodes = 1000000;
  double max_planning_time_seconds = 5.0;
  std::uint32_t terminal_check_interval = 256;
  bool allow_unknown = false;
  bool cache_obstacle_heuristic = true;
  double analytic_expansion_ratio = 3.5;
  double analytic_expansion_max_length = 3.0;
  std::uint8_t analytic_expansion_max_cost = 200;
  bool smooth_path = true;
  std::uint32_t smoother_max_iterations = 1000;
  double smoother_weight_data = 0.2;
  double smoother_weight_smooth = 0.3;
  double smoother_tolerance = 1e-10;
  // Opt-in search extensions; their defaults leave the search exactly as above.
  // f = g + heuristic_weight * h. Above 1 the search trades optimality (a path at most that factor
  // dearer than the cheapest) for far fewer expansions.
  double heuristic_weight = 1.0;
  // The obstacle heuristic treats cells as impassable whose centre lies closer to a blocking cell
  // than the footprint's inscribed radius allows, instead of leading the search into gaps the
  // robot cannot pass.
  bool footprint_aware_heuristic = false;
  // 0 computes the obstacle heuristic over the whole map. At least 1, its construction stops once
  // every cell up to this multiple of the start's value (plus a metre) is known; farther cells
  // read that bound. On large maps this is most of a cold plan's time.
  double heuristic_reach_factor = 0.0;
  // Largest number of changes of direction an analytic curve may make, counting the one where it
  // joins the search's path; the default sets no limit.
  std::uint32_t analytic_expansion_max_cusps = 0xFFFFFFFFu;

  // Every problem, in a fixed order; empty when the record is usable. Never throws.
  std::vector<std::string> validate() const;
};

struct VELTRAX_SE2_EXPORT PlanRequest {
  Pose2D start;
  Pose2D goal;
  Footprint footprint = CircleFootprint{0.25};
  std::uint64_t map_revision = 0;    // key of the obstacle heuristic cache
  std::uint64_t goal_revision = 0;   // copied into the result only
  std::uint64_t robot_revision = 0;  // copied into the result only
};

enum class PlannerStatus : std::int32_t {
  SUCCESS = 0,
  NO_PATH = 1,
  TIMEOUT = 2,
  CANCELLED = 3,
  INVALID_REQUEST = 4,
  START_OUT_OF_BOUNDS = 5,
  GOAL_OUT_OF_BOUNDS = 6,
  START_IN_COLLISION = 7,
  GOAL_IN_COLLISION = 8,
  MAX_NODES_EXCEEDED = 9,
  INTERNAL_ERROR = 10,
};

// The enumerator's name; any value outside 0..9 gives "INTERNAL_ERROR". Static text.
VELTRAX_SE2_EXPORT const char* plannerStatusName(PlannerStatus status) noexcept;

// Times in milliseconds from a steady clock.
struct VELTRAX_SE2_EXPORT PlannerDiagnostics {
  bool obstacle_heuristic_cache_hit = false;
  double total_time_ms = 0.0;
  double search_time_ms = 0.0;
  double obstacle_heuristic_time_ms = 0.0;
  double kinematic_heuristic_time_ms = 0.0;
  double collision_check_time_ms = 0.0;
  double analytic_expansion_time_ms = 0.0;
  double smoothing_time_ms = 0.0;
  std::uint64_t expanded_nodes = 0;
  std::uint64_t generated_nodes = 0;
  std::uint64_t collision_checks = 0;
  double path_length = 0.0;
  std::uint32_t reverse_count = 0;
  std::uint32_t direction_switch_count = 0;
  std::uint32_t in_place_rotation_count = 0;
};

struct VELTRAX_SE2_EXPORT PlannerResult {
  PlannerStatus status = PlannerStatus::INTERNAL_ERROR;
  std::string message;
  std::vector<Pose2D> path;  // start first; empty unless SUCCESS
  // One output label per pose of path: label i is the step that leaves pose i (the last pose
  // repeats the one before), read from the path's geometry. The search's own labels, the motion
  // that arrived at a node, never reach the result.
  std::vector<Direction> directions;
  PlannerDiagnostics diagnostics;
  std::uint64_t map_revision = 0;
  std::uint64_t goal_revision = 0;
  std::uint64_t robot_revision = 0;

  bool matchesRevisions(std::uint64_t map_revision_, std::uint64_t goal_revision_,
                        std::uint64_t robot_revision_) const noexcept {
    return map_revision == map_revision_ && goal_revision == goal_revision_ &&
           robot_revision == robot_revision_;
  }
};

// Set by the caller from any thread; plan() polls it. The flag guards no other data, so relaxed
// atomic accesses suffice.
class VELTRAX_SE2_EXPORT CancellationToken {
 public:
  void cancel() noexcept { cancelled_.store(true, std::memory_order_relaxed); }
  void reset() noexcept { cancelled_.store(false, std::memory_order_relaxed); }
  bool cancelled() const noexcept { return cancelled_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> cancelled_{false};
};

}  // namespace veltrax::se2
