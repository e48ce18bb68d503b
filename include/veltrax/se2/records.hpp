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

// Tuning of one planning call. Lengths in metres, angles in radians, times in seconds. Every
// penalty adds metres to a step's cost, except cost_penalty, which multiplies its length.
// validate() names the ranges; plan() refuses a record outside them (INVALID_REQUEST).
struct VELTRAX_SE2_EXPORT PlannerConfig {
  // Metres: the tightest arc the vehicle drives (> 0 unless turning on the spot). The primitives'
  // arcs use it, and no output path turns tighter (1 % slack).
  double minimum_turning_radius = 0.4;
  // Differential drive: adds turns on the spot to the primitives, drops the analytic curves and
  // no longer holds the output to minimum_turning_radius.
  bool allow_in_place_rotation = false;
  // Reverse primitives, and Reeds-Shepp rather than Dubins curves to the goal.
  bool allow_reverse = true;
  // Yaw bins of the lattice over [0, 2 pi), at least 8; 72 is 5 degrees.
  std::uint32_t angle_bins = 72;
  // Metres (>= 0): a node this close to the goal position, and within yaw_tolerance of its yaw,
  // ends the search.
  double position_tolerance = 0.1;
  // Radians (>= 0): the largest yaw difference to the goal, taken the short way, that ends the
  // search.
  double yaw_tolerance = 0.1;
  // Metres (> 0) between footprint checks along primitives, analytic curves and the output path.
  double collision_check_step = 0.025;
  // Metres (> 0): the output path's poses lie at most this far apart. Unless turning on the spot,
  // a stretch between two path poses whose chord steps would lean off their poses' headings by
  // more than they turn, which a car cannot drive, is resampled along its arc (see
  // resample_along_arcs).
  double path_output_spacing = 0.05;
  // Multiplies: a step whose highest cell cost is c costs length * (1 + c / 252 * cost_penalty).
  double cost_penalty = 2.0;
  // Metres added per arc (steering) primitive; turns on the spot pay none.
  double non_straight_penalty = 1.05;
  // Metres added per reverse primitive.
  double reverse_penalty = 2.0;
  // Metres added where the direction changes between consecutive motions (a cusp, or between
  // driving and turning on the spot).
  double direction_switch_penalty = 2.0;
  // Metres added where the steering changes between consecutive driving primitives.
  double steering_change_penalty = 0.05;
  // Fraction of a node's cost g added to every step from it (g' = g + step + this * g).
  double retrospective_penalty = 0.0;
  // Expansions (>= 1) after which the search ends with MAX_NODES_EXCEEDED.
  std::uint64_t max_expanded_nodes = 1000000;
  // Seconds (> 0) after which the search ends with TIMEOUT, counted from when the call starts to
  // work (after any wait for another call on the same planner) and covering the heuristic's
  // construction. Checked every terminal_check_interval expansions and every few thousand cells
  // of the heuristic, not during post-processing, which may overrun it.
  double max_planning_time_seconds = 5.0;
  // Expansions (>= 1) between the checks of the time budget and of the cancellation token.
  std::uint32_t terminal_check_interval = 256;
  // Unknown cells (cost 255) are passable instead of blocking.
  bool allow_unknown = false;
  // Keep the last obstacle heuristic field and reuse it for a request with the same goal cell,
  // map_revision, allow_unknown, cost_penalty and clearance (HybridAStar::setCostmap drops it).
  bool cache_obstacle_heuristic = true;
  // An analytic curve to the goal is tried every N-th expansion, N this ratio rounded up to a
  // whole number (> 0; 3.5 tries every 4th).
  double analytic_expansion_ratio = 3.5;
  // Metres (> 0): curves are tried only from nodes at most this far from the goal along the
  // curve.
  double analytic_expansion_max_length = 3.0;
  // Highest raw cell cost an analytic curve may touch; a blocking cell refuses it in any case.
  std::uint8_t analytic_expansion_max_cost = 200;
  // Smooth a path that has no cusp and no turn on the spot; either way it is resampled.
  bool smooth_path = true;
  // Most iterations (>= 1) of PathSmoother::smooth.
  std::uint32_t smoother_max_iterations = 1000;
  // Smoother weight (>= 0) pulling each pose back towards the input path.
  double smoother_weight_data = 0.2;
  // Smoother weight (>= 0) pulling each pose towards its neighbours.
  double smoother_weight_smooth = 0.3;
  // Metres (> 0): the smoother stops once an iteration moves the poses less than this in total.
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
  // When the search ends without reaching the goal (TIMEOUT, MAX_NODES_EXCEEDED, or NO_PATH once
  // the open set is exhausted), return the post-processed path to the expanded node closest to
  // the goal by the obstacle heuristic (the distance around walls; ties: the nearer in a straight
  // line, then the first created) if it is closer than the start, with the failure status kept
  // and PlannerResult::partial set. For a robot that must move now, or to see how far the search
  // got.
  bool return_partial_path = false;
  // Output poses between two path poses that turn lie on the circular arc the robot drives from
  // one to the other, instead of on the straight chord, so that every step leans off its heading
  // by half its turn. Off, only the stretches whose chord steps would leave a pose sideways are
  // (on coarse cells a chord spans several output steps and leans off the start by half the
  // whole arc's turn). Endpoints stay; a stretch gets one more step where its arc needs it to
  // keep path_output_spacing. Where a stretch fits in one step the output is as without.
  bool resample_along_arcs = false;
  // Maps of more than 2^32 cells x angle_bins are searched with 64-bit node keys (held in a hash
  // table where address space is short) instead of being refused.
  bool wide_node_keys = false;
  // The obstacle heuristic is computed as the search reads it: its backward search from the goal
  // runs only until the cells asked for are final, and the planner keeps it (and repairs it on
  // updateCostmap) for later plans to the same goal. Every value read is the whole-map field's,
  // so results equal those with heuristic_reach_factor 0, which this mode stands in for.
  bool lazy_obstacle_heuristic = false;
  // The heuristic's kinematic term prices the car's manoeuvres as the transition costs do: the
  // cheapest of a forward-only curve, a reverse-only one (reverse_penalty per primitive length
  // of reversing) and a Reeds-Shepp curve with a cusp (direction_switch_penalty), instead of the
  // bare Reeds-Shepp length; turning on the spot, the straight distance plus the yaw change at
  // a cell per yaw bin, instead of nothing. Still a lower bound of the costs on a free map.
  bool penalized_kinematic_heuristic = false;
  // The heuristic also takes the cost of reaching the goal with the car's own manoeuvres around
  // its walls, estimated on a coarse lattice near the goal (cells one yaw bin's arc of the
  // turning radius wide, 24 yaw bins, the transition costs' prices per metre), built once per plan.
  // It foresees three-point turns and parking shuffles that the 2-D distance and the obstacle-free
  // curve miss, at the price of optimality: the estimate is no lower bound. Ignored when turning on
  // the spot.
  bool manoeuvre_heuristic = false;
  // Also search from the goal back to the start, taking turns with the search from the start
  // once that has not finished within a few hundred expansions; the first to find a path gives
  // it. Getting into a tight bay is hard to foresee from outside, while getting out of it is a
  // few primitives, so a parking query is often far easier backwards. The search from the goal
  // ends only with an analytic curve onto the start, so the path still starts exactly there.
  // Needs allow_reverse (the path backwards drives each motion in the other gear); ignored
  // without it and when turning on the spot. max_expanded_nodes counts both searches.
  bool search_from_goal = false;
  // Curvatures of the car-like primitives, straight included: an odd number from 3 to 9, evenly
  // spaced up to 1 / minimum_turning_radius each side (5: straight, half and full lock). The
  // gentler arcs turn whole yaw bins (MotionPrimitiveTable). Ignored when turning on the spot.
  std::uint32_t steering_angles = 3;
  // non_straight_penalty is charged in proportion to an arc's curvature (full lock pays it all,
  // half lock half), instead of in full for every arc.
  bool scale_steering_penalty_with_curvature = false;
  // An analytic curve's samples are checked every 16th first (and the last), then the others,
  // instead of in order: a curve that collides, as most tried near obstacles do, is mostly
  // refused after a few checks rather than after every sample up to the collision. The same
  // curves pass; only collision_checks and the times change.
  bool analytic_expansion_coarse_checks = false;
  // Metres (>= 0): an analytic curve that reverses for less than this (then drives forward
  // again, or reaches the goal) gives way to the forward-only curve when that is at most 5 %
  // longer and passes; without one the shortest curve is kept, short reverse and all. 0 keeps
  // every shortest curve. A reverse that continues the motion arriving at the curve's first pose
  // is not judged.
  double analytic_expansion_min_reverse_length = 0.0;
  // Metres (>= 0): the side of the search lattice's cells, a whole number of costmap cells
  // (rounded down, at least one, at most the primitive length). The search keeps one node per
  // lattice cell and yaw bin, so on a costmap much finer than the primitives a coarser lattice
  // spares it the nodes that differ by a fraction of a step. Poses, collision checks and costs
  // stay at the costmap's own resolution. 0 keeps the costmap's cells.
  double lattice_cell_size = 0.0;
  // A successor is checked against the map only when it could still change its node: one that
  // ends in an expanded node, or that could not lower its node's cost even over free cells, is
  // passed over unchecked. The same paths; only collision_checks and the times change.
  bool check_improving_successors_only = false;
  // A search that has made stall_expansions expansions (0: never) without finding a path weights
  // the heuristic by stall_heuristic_weight instead of heuristic_weight for the next
  // stall_weight_expansions expansions, then by heuristic_weight again; the open set is
  // reordered at each change. Where the heuristic misjudges what is left (a robot that must turn
  // round between racks, or reverse all the way), a search floods every pose it prices lower
  // than the true cost; the harder weight heads for the goal instead. The path may then be
  // dearer, by at most the larger weight's factor; queries solved sooner are unchanged.
  std::uint64_t stall_expansions = 0;
  double stall_heuristic_weight = 1.0;
  std::uint64_t stall_weight_expansions = 32768;
  // A new node is queued with a lower bound of its heuristic that needs no curve (the obstacle
  // term, the manoeuvre estimate, and its parent's curve length less the step), and the curve
  // to the goal is computed only when the node reaches the front of the open set; a node it then
  // puts behind the next one goes back. Most nodes are never expanded, so most curves are never
  // computed. The expansions are those of the search without it but for the order of ties.
  // Ignored when turning on the spot.
  bool lazy_kinematic_heuristic = false;
  // Finite, >= 0: a search from a start whose heuristic is h turns to stall_heuristic_weight
  // only after max(stall_expansions, stall_expansions_per_metre * h) expansions (stall_expansions
  // 0 still means never). A long way takes more expansions without any flood, and the harder
  // weight there only lengthens the path; a short query that floods is caught early. 0 keeps
  // stall_expansions alone.
  double stall_expansions_per_metre = 0.0;

  // Every problem, in a fixed order; empty when the record is usable. Never throws.
  std::vector<std::string> validate() const;
};

struct VELTRAX_SE2_EXPORT PlanRequest {
  Pose2D start;  // finite, yaw within 1e6 rad of 0
  Pose2D goal;   // likewise
  Footprint footprint = CircleFootprint{0.25};
  // Key of the obstacle heuristic cache: change it when the map changes (setCostmap drops the
  // cache whatever the revision).
  std::uint64_t map_revision = 0;
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

// What one call did. Times in milliseconds from a steady clock, counted from plan()'s entry (a
// call waiting for another on the same planner counts its wait in total_time_ms). The step counts
// describe the path found and stay 0 without one.
struct VELTRAX_SE2_EXPORT PlannerDiagnostics {
  // The obstacle heuristic came from the planner's cache instead of being built.
  bool obstacle_heuristic_cache_hit = false;
  // The whole call; set only once a path was found (SUCCESS, or refused in post-processing), so 0
  // on TIMEOUT, CANCELLED, MAX_NODES_EXCEEDED, NO_PATH and refused requests.
  double total_time_ms = 0.0;
  // The expansion loop; set when it finds a path or runs out of nodes (NO_PATH), 0 on TIMEOUT,
  // CANCELLED and MAX_NODES_EXCEEDED.
  double search_time_ms = 0.0;
  // Building (or fetching) the obstacle heuristic field, before the search.
  double obstacle_heuristic_time_ms = 0.0;
  // Setting up the Reeds-Shepp or Dubins space of the kinematic heuristic.
  double kinematic_heuristic_time_ms = 0.0;
  // Footprint checks of the primitives, analytic curves and output path, summed.
  double collision_check_time_ms = 0.0;
  // Analytic curve attempts, summed (their checks included).
  double analytic_expansion_time_ms = 0.0;
  // Post-processing of a found path: smoothing, resampling and validation.
  double smoothing_time_ms = 0.0;
  // Nodes taken from the open list and expanded (the goal node included).
  std::uint64_t expanded_nodes = 0;
  // Primitives whose samples were checked, one per child considered.
  std::uint64_t generated_nodes = 0;
  // Footprint placements during the search (primitive and curve samples).
  std::uint64_t collision_checks = 0;
  // Metres: the length of the output polyline.
  double path_length = 0.0;
  // Reverse steps, not manoeuvres: each reverse primitive of the search and each reverse sample
  // step of the analytic curve counts one.
  std::uint32_t reverse_count = 0;
  // Changes of direction between consecutive steps (cusps, and changes between driving and
  // turning on the spot), along the search's motions and the curve.
  std::uint32_t direction_switch_count = 0;
  // Steps of the output path labelled ROTATION.
  std::uint32_t in_place_rotation_count = 0;
  // Waiting for another call on the same planner to end before this one could start: its time
  // budget counts from after the wait; total_time_ms includes it.
  double wait_time_ms = 0.0;
};

struct VELTRAX_SE2_EXPORT PlannerResult {
  PlannerStatus status = PlannerStatus::INTERNAL_ERROR;
  std::string message;
  // Empty unless SUCCESS or partial. Starts with request.start exactly as given: its yaw is not
  // normalised, though the following poses' yaws are. Ends within the tolerances of the goal
  // (when partial: at the explored pose closest to it).
  std::vector<Pose2D> path;
  // One output label per pose of path: label i is the step that leaves pose i (the last pose
  // repeats the one before), read from the path's geometry. The search's own labels, the motion
  // that arrived at a node, never reach the result.
  std::vector<Direction> directions;
  PlannerDiagnostics diagnostics;
  std::uint64_t map_revision = 0;
  std::uint64_t goal_revision = 0;
  std::uint64_t robot_revision = 0;
  // The search failed (the status says how) and `path` leads to where it got closest to the goal
  // (PlannerConfig::return_partial_path); the path's step counts, length and times describe it.
  bool partial = false;

  // Whether the result answers a request of these revisions (one for an outdated request can be
  // dropped).
  bool matchesRevisions(std::uint64_t map, std::uint64_t goal, std::uint64_t robot) const noexcept {
    return map_revision == map && goal_revision == goal && robot_revision == robot;
  }
};

// Set by the caller from any thread; plan() polls it (on entry and every terminal_check_interval
// expansions) and ends with CANCELLED. plan() reads it through a pointer: the token must outlive
// every call it is passed to. The flag guards no other data, so relaxed atomic accesses suffice.
class VELTRAX_SE2_EXPORT CancellationToken {
 public:
  void cancel() noexcept { cancelled_.store(true, std::memory_order_relaxed); }
  void reset() noexcept { cancelled_.store(false, std::memory_order_relaxed); }
  bool cancelled() const noexcept { return cancelled_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> cancelled_{false};
};

}  // namespace veltrax::se2
