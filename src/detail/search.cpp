#include "detail/search.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "detail/clearance.hpp"
#include "detail/errors.hpp"
#include "detail/free_cells.hpp"
#include "detail/kinematic_bound.hpp"
#include "detail/kinematic_cost.hpp"
#include "detail/manoeuvre_field.hpp"
#include "detail/postprocess.hpp"
#include "detail/primitive_lengths.hpp"
#include "detail/transition_cost.hpp"
#include "detail/workspace.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/footprint.hpp"
#include "veltrax/se2/heuristic.hpp"
#include "veltrax/se2/kinematics.hpp"
#include "veltrax/se2/primitives.hpp"

namespace veltrax::se2::detail {

namespace {

constexpr double kMinPlanningResolution = 1e-6;
// Primitives with fewer samples are checked sample by sample.
constexpr std::size_t kFewestSwept = 4;
using Node = Workspace::Node;

// Thrown by the budget poll out of the heuristic's construction.
struct Interrupted {
  PlannerStatus status;
  const char* message;
};

// The state of one planning call from its setup to its outcome.
class Search {
 public:
  // With `from_goal`, the search runs on `request` turned round (fromGoal()) and writes the
  // path of `*from_goal` into the result.
  Search(const Costmap& costmap, const PlanRequest& request, const PlannerConfig& config,
         const CancellationToken* token, Clock::time_point t0, PlannerResult& result,
         const PlanRequest* from_goal = nullptr)
      : costmap_(costmap),
        request_(request),
        real_(from_goal),
        config_(config),
        token_(token),
        t0_(t0),
        result_(result),
        diagnostics_(result.diagnostics),
        checker_(costmap, config.allow_unknown) {}

  void run(Workspace& workspace) {
    if (prepare(workspace)) {
      advance(workspace, std::numeric_limits<std::uint64_t>::max());
    }
  }
  // Everything up to the first expansion; false when the call ended there (the result says how).
  bool prepare(Workspace& workspace);
  // Expands until this search has made `until` expansions in all or has ended; true when it
  // ended, its outcome in the result.
  bool advance(Workspace& workspace, std::uint64_t until);
  // The other search of a pair, whose expansions count against max_expanded_nodes too.
  void pairWith(const PlannerDiagnostics& other) noexcept { partner_ = &other; }
  std::uint64_t expanded() const noexcept { return diagnostics_.expanded_nodes; }
  // Ends the search as its partner ended (out of time or nodes, or cancelled), with the
  // partial path it would give.
  void stop(const Workspace& workspace, const PlannerResult& partner) {
    diagnostics_.search_time_ms = 0.0;
    fail(partner.status, partner.message);
    finishPartial(workspace);
  }

 private:
  // Setup, in the order a caller sees its refusals: the start and goal on the map and free, the
  // heuristics and the limits they imply, then the node pool, the start node and the primitive
  // table. False when the call ended there.
  bool admit(GridIndex& start_cell, GridIndex& goal_cell);
  // The field, or null when it is computed lazily (lazy_).
  void buildManoeuvreField(Workspace& workspace);
  const ObstacleHeuristic* obstacleHeuristic(Workspace& workspace, GridIndex start_cell,
                                             GridIndex goal_cell);
  bool prepareKinematics();
  bool startSearch(Workspace& workspace, const ObstacleHeuristic* heuristic,
                   std::uint64_t capacity);

  // The search proper: expansions in order of f until the goal is reached, a check ends it (true)
  // or `until` expansions are made (false).
  bool search(Workspace& workspace, std::uint64_t until);
  // Within the tolerances of the goal, or joined to it by an analytic curve that passed.
  bool reachesGoal(const Node& node);
  // The terminal checks: cancellation and the time limit every terminal_check_interval
  // expansions, the node limit at every one. False when the search must stop.
  bool mayContinue();
  void expand(Workspace& workspace, std::uint32_t current, const Node& node);
  // Every primitive's samples checked; outcomes into workspace.check_outcomes.
  void checkPrimitives(Workspace& workspace, std::uint32_t current, const Node& node);
  // Whether primitive i of the expansion of node `current` could change its child, whatever its
  // samples cost; `known` is the child's node, if any.
  bool mayImprove(const Workspace& workspace, std::uint32_t current, const Node& node,
                  std::size_t i, std::uint32_t known) const;
  // The largest cost under the primitive's samples, or -1 once one collides.
  std::int16_t sampleCost(const MotionPrimitive& primitive, const Pose2D& start, std::size_t slot);
  void relax(Workspace& workspace, std::uint32_t current, const Node& node,
             const MotionPrimitive& primitive, StateKey key, std::uint8_t cost);
  bool tryAnalyticExpansion(const Node& node);
  void finish(const Workspace& workspace, std::uint32_t goal_node);
  // finish() for a search from the goal: its path turned round into one from the real start.
  void finishFromGoal(const Workspace& workspace, std::uint32_t goal_node);
  // After a failed search, with return_partial_path: the path to the expanded node closest to the
  // goal, under the failure status already in the result.
  void finishPartial(const Workspace& workspace);

  CollisionResult timedCollisionCheck(const Pose2D& pose) {
    const auto start = Clock::now();
    const CollisionResult r =
        fast_check_ ? (*fast_check_)(pose) : checker_.checkValidated(pose, request_.footprint);
    diagnostics_.collision_check_time_ms += millisecondsSince(start);
    return r;
  }

  // The time budget and the token, polled while the heuristic is built: throws Interrupted.
  void pollBudget() const {
    if (token_ != nullptr && token_->cancelled()) {
      throw Interrupted{PlannerStatus::CANCELLED, "planning cancelled"};
    }
    if (secondsSince(t0_) > config_.max_planning_time_seconds) {
      throw Interrupted{PlannerStatus::TIMEOUT, "planning timed out"};
    }
  }

  static double secondsSince(Clock::time_point t) {
    return static_cast<double>(
               std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t).count()) /
           1e9;
  }

  bool fail(PlannerStatus status, std::string message) {
    return endPlan(result_, status, std::move(message));
  }

  // The obstacle heuristic of a cell; a lazy field computes it as far as needed (and may throw
  // Interrupted when the budget runs out meanwhile).
  double obstacleTerm(const GridIndex& cell) const {
    if (lazy_ != nullptr) {
      return lazy_->at(cell.y * width_ + cell.x, poll_);
    }
    return std::min(obstacle_[cell.y * width_ + cell.x], reach_);
  }

  // max(k, o) with k the kinematic distance to the goal and o the obstacle term of the pose's
  // cell; `bound` receives an upper bound of the Reeds-Shepp or Dubins length (the length itself
  // when computed, +inf when unknown) and `exact` whether it is the length itself. With priced
  // kinematics k is their cost for a pose reached by `arrival` (ROTATION: the start).
  double heuristicCost(const Pose2D& pose, Direction arrival, double& bound, bool& exact) const {
    bound = std::numeric_limits<double>::infinity();
    exact = false;
    GridIndex cell;
    if (!costmap_.worldToMap(pose.x, pose.y, cell)) {
      return std::numeric_limits<double>::infinity();
    }
    const double o = obstacleTerm(cell);
    // An unreachable cell stays unreachable whatever the curve length; skip the curve.
    if (!(o < std::numeric_limits<double>::infinity())) {
      return o;
    }
    if (space_ == nullptr) {
      if (!priced_) {
        return o;
      }
      const double k = priced_kinematics_.inPlaceCost(pose, request_.goal);
      return k > o ? k : o;
    }
    double k = space_->distance(pose, request_.goal);
    bound = k;
    exact = true;
    if (priced_ && config_.allow_reverse) {
      k = priced_kinematics_.carCost(pose, request_.goal, k, arrival);
    }
    if (manoeuvre_ != nullptr) {
      k = std::max(k, manoeuvre_->at(pose, arrival, poll_));
    }
    return k > o ? k : o;
  }

  // The same value for the end of a primitive of length `step_length` driven from `parent`. With
  // reversing allowed the distance is a metric, so the parent's bound plus the step bounds the
  // child's; when that (plus a cusp, with priced kinematics) is no larger than o, max(k, o) is o
  // and the curve need not be computed. With lazy_kinematic_heuristic the curve is not computed
  // here at all: the value is a lower bound (the parent's distance less the step, the same
  // triangle inequality), `bound` is kPendingBound, and the curve waits until the node is popped;
  // most nodes never are.
  double heuristicCostAfterStep(const Pose2D& pose, Direction arrival, const Node& parent,
                                double step_length, double& bound, bool& exact) const {
    if (bounds_ == nullptr && !lazy_kinematics_) {
      return heuristicCost(pose, arrival, bound, exact);
    }
    GridIndex cell;
    if (!costmap_.worldToMap(pose.x, pose.y, cell)) {
      bound = std::numeric_limits<double>::infinity();
      exact = false;
      return bound;
    }
    const double o = obstacleTerm(cell);
    const bool reachable = o < std::numeric_limits<double>::infinity();
    double k = 0.0;
    if (bounds_ != nullptr && (reachable || !lazy_kinematics_)) {
      const double upper = bounds_->afterStep(parent.kinematic_bound, step_length);
      if ((priced_ ? upper + priced_kinematics_.cusp : upper) <= o) {
        bound = upper;
        exact = false;
        return manoeuvre_ != nullptr ? std::max(o, manoeuvre_->at(pose, arrival, poll_)) : o;
      }
      // The priced cost is never below the bare distance.
      if (lazy_kinematics_ && parent.kinematic_exact) {
        k = bounds_->lowerAfterStep(parent.kinematic_bound, step_length);
      }
    }
    if (!lazy_kinematics_) {
      return heuristicCost(pose, arrival, bound, exact);
    }
    bound = kPendingBound;
    exact = false;
    if (!reachable) {
      return o;
    }
    if (manoeuvre_ != nullptr) {
      k = std::max(k, manoeuvre_->at(pose, arrival, poll_));
    }
    return k > o ? k : o;
  }

  // A primitive that moved a whole cell or more along an axis has left its cell, though rounding
  // may map its end back into it (a straight cell-long step from a pose on a cell edge). Its key
  // is then taken a millionth of a cell further on; kInvalidKey when it did not move that far.
  StateKey keyAfterCrossing(const Pose2D& from, const Pose2D& end) const {
    const double cell = costmap_.resolution() * static_cast<double>(lattice_);
    const double dx = end.x - from.x;
    const double dy = end.y - from.y;
    const double whole = cell * (1.0 - 1e-9);
    if (!(std::fabs(dx) >= whole || std::fabs(dy) >= whole)) {
      return kInvalidKey;
    }
    Pose2D beyond = end;
    beyond.x += std::fabs(dx) >= whole ? std::copysign(cell * 1e-6, dx) : 0.0;
    beyond.y += std::fabs(dy) >= whole ? std::copysign(cell * 1e-6, dy) : 0.0;
    return stateKey(costmap_, bins_, beyond, lattice_);
  }

  const Costmap& costmap_;
  const PlanRequest& request_;
  const PlanRequest* real_;  // non-null when searching from the goal
  const PlannerDiagnostics* partner_ = nullptr;
  const PlannerConfig& config_;
  const CancellationToken* token_;
  Clock::time_point t0_;
  PlannerResult& result_;
  PlannerDiagnostics& diagnostics_;
  CollisionChecker checker_;
  std::optional<FastCollisionCheck> fast_check_;
  SweptStencils* stencils_ = nullptr;  // the workspace's, when the footprint has them
  // The obstacle heuristic field when the cache is off; otherwise the workspace's cache holds it.
  std::optional<ObstacleHeuristic> uncached_field_;
  const double* obstacle_ = nullptr;
  LazyObstacleField* lazy_ = nullptr;
  std::function<void()> poll_ = [this] { pollBudget(); };
  double reach_ = std::numeric_limits<double>::infinity();  // see ObstacleHeuristic::reach
  std::uint64_t width_ = 0;
  std::optional<KinematicStateSpace> space_storage_;
  const KinematicStateSpace* space_ = nullptr;
  // Forward-only curves, tried in place of a shortest curve with a short reverse
  // (analytic_expansion_min_reverse_length).
  std::optional<KinematicStateSpace> forward_curves_;
  // Set when the kinematic distance is a metric (Reeds-Shepp) and its bounds may be chained.
  std::optional<KinematicBound> bounds_storage_;
  const KinematicBound* bounds_ = nullptr;
  // The workspace's manoeuvre estimate, when manoeuvre_heuristic is on and the car does not turn
  // on the spot.
  ManoeuvreField* manoeuvre_ = nullptr;
  // Children are queued with a lower bound of their heuristic (lazy_kinematic_heuristic).
  bool lazy_kinematics_ = false;
  // The kinematic bound of a node queued that way, until it is popped.
  static constexpr double kPendingBound = -std::numeric_limits<double>::infinity();
  // The prices of the kinematic term, when penalized_kinematic_heuristic is on.
  bool priced_ = false;
  PricedKinematics priced_kinematics_;
  std::optional<MotionPrimitiveTable> table_;
  std::uint32_t bins_ = 0;
  // The lattice's cells in costmap cells a side (lattice_cell_size).
  std::uint64_t lattice_ = 1;
  double weight_ = 1.0;
  // The expansion at which weight_ turns harder (stall_expansions, stall_expansions_per_metre),
  // and the one at which it goes back.
  std::uint64_t stall_at_ = 0;
  std::uint64_t stall_until_ = 0;
  // Analytic curves are tried every interval_-th expansion, when the robot cannot turn on the spot.
  bool try_curves_ = false;
  std::uint64_t interval_ = 1;
  // The analytic curve that ends the path, in the workspace's storage; empty unless one passed.
  std::vector<KinematicSample>* curve_ = nullptr;
};

bool Search::prepare(Workspace& workspace) {
  GridIndex start_cell;
  GridIndex goal_cell;
  if (!admit(start_cell, goal_cell)) {
    return false;
  }
  // The refusals that need no heuristic come first: an impossible problem costs nothing.
  // Whole cells, rounded down, and no longer than the straight primitive: a step must be able to
  // leave its lattice cell.
  const double resolution = costmap_.resolution();
  const double side_wanted =
      std::min(config_.lattice_cell_size, basePrimitiveLength(resolution, config_));
  const double factor = std::floor(side_wanted / resolution + 1e-9);
  const auto side = static_cast<double>(std::max(costmap_.width(), costmap_.height()));
  lattice_ = factor > 1.0 ? static_cast<std::uint64_t>(std::min(factor, side)) : 1;
  const std::uint64_t capacity = nodeKeyCapacity(latticeSide(costmap_.width(), lattice_),
                                                 latticeSide(costmap_.height(), lattice_),
                                                 config_.angle_bins, config_.wide_node_keys);
  if (capacity == 0) {
    return fail(PlannerStatus::INVALID_REQUEST,
                config_.wide_node_keys ? "costmap/yaw node pool exceeds 62-bit index capacity"
                                       : "costmap/yaw node pool exceeds 32-bit index capacity");
  }
  if (!prepareKinematics()) {
    return false;
  }
  try {
    const ObstacleHeuristic* heuristic = obstacleHeuristic(workspace, start_cell, goal_cell);
    return startSearch(workspace, heuristic, capacity);
  } catch (const Interrupted& stop) {
    return fail(stop.status, stop.message);
  }
}

bool Search::advance(Workspace& workspace, std::uint64_t until) {
  try {
    return search(workspace, until);
  } catch (const Interrupted& stop) {
    diagnostics_.search_time_ms = 0.0;
    fail(stop.status, stop.message);
    return true;
  }
}

bool Search::admit(GridIndex& start_cell, GridIndex& goal_cell) {
  // The planner's tolerances are absolute (a step below 1e-9 m moves nothing, a turning radius
  // check allows 1e-6 m): on finer cells its paths would be judged by them, not by their geometry.
  if (!(costmap_.resolution() >= kMinPlanningResolution)) {
    return fail(PlannerStatus::INVALID_REQUEST,
                "costmap resolution must be at least 1e-6 m for planning");
  }
  if (!costmap_.worldToMap(request_.start.x, request_.start.y, start_cell)) {
    return fail(PlannerStatus::START_OUT_OF_BOUNDS, "start is outside costmap");
  }
  if (!costmap_.worldToMap(request_.goal.x, request_.goal.y, goal_cell)) {
    return fail(PlannerStatus::GOAL_OUT_OF_BOUNDS, "goal is outside costmap");
  }
  if (timedCollisionCheck(request_.start).collision) {
    return fail(PlannerStatus::START_IN_COLLISION, "start footprint is in collision");
  }
  if (timedCollisionCheck(request_.goal).collision) {
    return fail(PlannerStatus::GOAL_IN_COLLISION, "goal footprint is in collision");
  }
  return true;
}

const ObstacleHeuristic* Search::obstacleHeuristic(Workspace& workspace, GridIndex start_cell,
                                                   GridIndex goal_cell) {
  const auto th = Clock::now();
  // A pose whose cell centre is closer to a blocking cell's centre than the inscribed radius less
  // half a cell diagonal collides wherever in its cell it lies, so the heuristic may block it.
  const double clearance = config_.footprint_aware_heuristic
                               ? std::max(0.0, inscribedRadius(request_.footprint) -
                                                   costmap_.resolution() * 0.70710678118654757)
                               : 0.0;
  const std::function<void()>& poll = poll_;
  if (config_.lazy_obstacle_heuristic) {
    lazy_ = &workspace.lazyField(
        costmap_, {goal_cell, config_.allow_unknown, config_.cost_penalty, clearance},
        config_.cache_obstacle_heuristic, diagnostics_.obstacle_heuristic_cache_hit);
    lazy_->aim(start_cell);
    buildManoeuvreField(workspace);
    diagnostics_.obstacle_heuristic_time_ms = millisecondsSince(th);
    return nullptr;
  }
  const Costmap& field_map =
      workspace.heuristicMap(costmap_, clearance, config_.allow_unknown, poll);
  const double factor = config_.heuristic_reach_factor;
  const ObstacleHeuristic* field = nullptr;
  if (!config_.cache_obstacle_heuristic) {
    field =
        &uncached_field_.emplace(field_map, goal_cell, config_.allow_unknown, config_.cost_penalty,
                                 0.0, start_cell, factor, std::vector<double>(), poll);
  } else {
    field = &workspace.heuristic_cache.get(
        field_map,
        {request_.map_revision, goal_cell, config_.allow_unknown, config_.cost_penalty, clearance},
        start_cell, factor, diagnostics_.obstacle_heuristic_cache_hit, poll);
  }
  buildManoeuvreField(workspace);
  diagnostics_.obstacle_heuristic_time_ms = millisecondsSince(th);
  return field;
}

void Search::buildManoeuvreField(Workspace& workspace) {
  if (!config_.manoeuvre_heuristic || config_.allow_in_place_rotation) {
    return;
  }
  const double radius = inscribedRadius(request_.footprint);
  // The longest primitive of MotionPrimitiveTable, by which the penalties become prices per
  // metre (the primitive length unless gentler arcs are longer).
  const double length = longestPrimitiveLength(costmap_.resolution(), config_);
  ManoeuvreField::Prices prices;
  prices.radius = config_.minimum_turning_radius;
  prices.reverse_per_metre = config_.reverse_penalty / length;
  prices.non_straight_per_metre = config_.non_straight_penalty / length;
  prices.cusp = config_.direction_switch_penalty;
  prices.allow_reverse = config_.allow_reverse;
  prices.cost_penalty = config_.cost_penalty;
  // A few tens of milliseconds at most; none beyond.
  constexpr std::uint64_t kMostManoeuvreStates = std::uint64_t{1} << 18;
  workspace.manoeuvre.build(costmap_, config_.allow_unknown, request_.footprint, radius,
                            request_.start, request_.goal, prices, kMostManoeuvreStates,
                            workspace.zeroCostTable(costmap_), poll_);
  manoeuvre_ = workspace.manoeuvre.empty() ? nullptr : &workspace.manoeuvre;
}

bool Search::prepareKinematics() {
  const auto tk = Clock::now();
  if (!config_.allow_in_place_rotation) {
    space_ = &space_storage_.emplace(config_.minimum_turning_radius, config_.allow_reverse);
    if (config_.allow_reverse && config_.analytic_expansion_min_reverse_length > 0.0) {
      forward_curves_.emplace(config_.minimum_turning_radius, false);
    }
  }
  diagnostics_.kinematic_heuristic_time_ms = millisecondsSince(tk);
  priced_ = config_.penalized_kinematic_heuristic;
  if (priced_) {
    // The longest primitive of MotionPrimitiveTable (made after the start's heuristic): a reverse
    // primitive pays reverse_penalty over at most this length, so the price per metre is a lower
    // bound whatever steering_angles adds.
    const double bin = kTwoPi / static_cast<double>(config_.angle_bins);
    const double length = longestPrimitiveLength(costmap_.resolution(), config_);
    priced_kinematics_.radius = config_.minimum_turning_radius;
    priced_kinematics_.reverse_per_metre = config_.reverse_penalty / length;
    priced_kinematics_.cusp = config_.direction_switch_penalty;
    priced_kinematics_.cell_per_radian = costmap_.resolution() / bin;
  }
  if (space_ == nullptr) {
    return true;
  }
  lazy_kinematics_ = config_.lazy_kinematic_heuristic;
  // The curves refuse poses more than kMaxReachInRadii radii apart; with a radius that small for
  // this map the heuristic of a far pose would throw mid-search, so refuse the request up front.
  const double extent =
      static_cast<double>(std::max(costmap_.width(), costmap_.height())) * costmap_.resolution();
  if (!(extent <= KinematicStateSpace::kMaxReachInRadii * config_.minimum_turning_radius)) {
    return fail(PlannerStatus::INVALID_REQUEST,
                "minimum_turning_radius is too small for the costmap extent");
  }
  if (config_.allow_reverse) {
    const double far_x = static_cast<double>(costmap_.width()) * costmap_.resolution();
    const double far_y = static_cast<double>(costmap_.height()) * costmap_.resolution();
    const double scale =
        std::max({std::fabs(costmap_.originX()), std::fabs(costmap_.originY()),
                  std::fabs(costmap_.originX() + far_x), std::fabs(costmap_.originY() + far_y)});
    bounds_ = &bounds_storage_.emplace(config_.minimum_turning_radius, scale);
  }
  return true;
}

bool Search::startSearch(Workspace& workspace, const ObstacleHeuristic* heuristic,
                         std::uint64_t capacity) {
  if (heuristic != nullptr) {
    obstacle_ = heuristic->distances().data();
    reach_ = heuristic->reach();
  }
  width_ = costmap_.width();
  bins_ = config_.angle_bins;
  weight_ = config_.heuristic_weight;

  workspace.reset(capacity / bins_, bins_);
  curve_ = &workspace.analytic_curve;
  curve_->clear();
  fast_check_.emplace(checker_, request_.footprint, workspace.zeroCostTable(costmap_));
  stencils_ = fast_check_->polygon() != nullptr &&
                      workspace.stencils.prepare(*fast_check_->polygon(), costmap_.resolution())
                  ? &workspace.stencils
                  : nullptr;
  const std::uint32_t start =
      workspace.getOrCreate(stateKey(costmap_, bins_, request_.start, lattice_));
  Node& start_node = workspace.nodes[start];
  start_node.pose = request_.start;
  start_node.g = 0.0;
  const double h0 = heuristicCost(request_.start, Direction::ROTATION, start_node.kinematic_bound,
                                  start_node.kinematic_exact);
  if (!std::isfinite(h0)) {
    return fail(PlannerStatus::NO_PATH, "goal is disconnected in obstacle heuristic");
  }
  OpenList& open = workspace.open;
  open.clear();
  // The pool and the open list grow by at most one entry per primitive and expansion. Reserving
  // that up front costs address space only (untouched pages stay unmapped) and spares the peak
  // of a growing vector, which holds the old and the new copy at once. Too large a request just
  // leaves the vectors to grow as they would anyway.
  const std::uint64_t per_expansion =
      (config_.allow_in_place_rotation ? 1u : 2u * curvaturesPerSide(config_) + 1u) *
          (config_.allow_reverse ? 2u : 1u) +
      (config_.allow_in_place_rotation ? 2u : 0u);
  constexpr std::uint64_t kMostReserved = std::uint64_t{1} << 26;
  const std::uint64_t expansions = std::min(config_.max_expanded_nodes, kMostReserved);
  const std::uint64_t entries = std::min({expansions * per_expansion + 1, kMostReserved, capacity});
  try {
    workspace.nodes.reserve(static_cast<std::size_t>(entries));
    open.reserve(static_cast<std::size_t>(entries));
  } catch (const std::bad_alloc&) {
  }
  open.push(weight_ * h0, h0, start);
  // A long way takes more expansions without any flood; the start's heuristic measures it.
  stall_at_ = config_.stall_expansions;
  const double scaled = config_.stall_expansions_per_metre * h0;
  if (stall_at_ != 0 && scaled > static_cast<double>(stall_at_)) {
    stall_at_ = scaled < 1.8e19 ? static_cast<std::uint64_t>(scaled)
                                : std::numeric_limits<std::uint64_t>::max();
  }
  // Past the last expansion a count can reach, the harder weight simply stays.
  stall_until_ = stall_at_ + std::min(config_.stall_weight_expansions,
                                      std::numeric_limits<std::uint64_t>::max() - stall_at_);

  // A table the configuration cannot support (a sample step far too small for the primitive
  // length) is an invalid request like any other, not an exception out of plan().
  try {
    table_.emplace(costmap_.resolution(), config_);
  } catch (const LimitExceeded& e) {
    return fail(PlannerStatus::INVALID_REQUEST, e.what());
  }
  const double ratio = std::ceil(config_.analytic_expansion_ratio);
  interval_ = ratio >= 18446744073709551615.0 ? std::numeric_limits<std::uint64_t>::max()
                                              : static_cast<std::uint64_t>(ratio);
  if (interval_ == 0) {
    interval_ = 1;
  }
  try_curves_ = !config_.allow_in_place_rotation;
  return true;
}

bool Search::search(Workspace& workspace, std::uint64_t until) {
  const auto ts = Clock::now();
  OpenList& open = workspace.open;
  std::vector<Node>& nodes = workspace.nodes;
  while (!open.empty()) {
    if (diagnostics_.expanded_nodes >= until) {
      diagnostics_.search_time_ms += millisecondsSince(ts);
      return false;
    }
    const std::uint32_t current = open.pop();
    // Most likely the next node to expand: its load overlaps this expansion.
    if (!open.empty()) {
      __builtin_prefetch(nodes.data() + open.top().node);
    }
    if (nodes[current].closed) {
      continue;
    }
    // A node queued with a lower bound of its heuristic gets the heuristic itself now, and goes
    // back to wait its turn when that puts it behind the next entry.
    if (lazy_kinematics_ && nodes[current].kinematic_bound == kPendingBound) {
      Node& pending = nodes[current];
      const double h = heuristicCost(pending.pose, pending.arrival_direction,
                                     pending.kinematic_bound, pending.kinematic_exact);
      if (!std::isfinite(h)) {
        pending.kinematic_bound = kPendingBound;  // never expanded, as if never queued
        continue;
      }
      const double f = pending.g + weight_ * h;
      if (!open.empty() && f > open.top().f) {
        open.push(f, h, current);
        continue;
      }
    }
    nodes[current].closed = true;
    ++diagnostics_.expanded_nodes;
    // A search still going after stall_at_ expansions weights its heuristic harder for a while:
    // what is left open is ordered anew, as if every entry had been pushed with that weight.
    const std::uint64_t expanded = diagnostics_.expanded_nodes;
    if (stall_at_ != 0 && (expanded == stall_at_ || expanded == stall_until_)) {
      weight_ =
          expanded == stall_until_ ? config_.heuristic_weight : config_.stall_heuristic_weight;
      open.rekey([&](const OpenList::Entry& e) { return nodes[e.node].g + weight_ * e.h; });
    }
    // A copy: creating children may move the pool.
    const Node node = nodes[current];
    if (reachesGoal(node)) {
      diagnostics_.search_time_ms += millisecondsSince(ts);
      finish(workspace, current);
      return true;
    }
    if (!mayContinue()) {
      // The time of an unfinished search is not reported (see PlannerDiagnostics).
      diagnostics_.search_time_ms = 0.0;
      finishPartial(workspace);
      return true;
    }
    expand(workspace, current, node);
  }
  diagnostics_.search_time_ms += millisecondsSince(ts);
  fail(PlannerStatus::NO_PATH, "open set exhausted");
  finishPartial(workspace);
  return true;
}

bool Search::reachesGoal(const Node& node) {
  const Pose2D& p = node.pose;
  const Pose2D& goal = request_.goal;
  // From the goal, only a curve onto the start itself may end the search: the path must begin
  // exactly there.
  if (real_ == nullptr && std::hypot(goal.x - p.x, goal.y - p.y) <= config_.position_tolerance &&
      std::fabs(normalizeYaw(goal.yaw - p.yaw)) <= config_.yaw_tolerance) {
    return true;
  }
  return try_curves_ && diagnostics_.expanded_nodes % interval_ == 0 && tryAnalyticExpansion(node);
}

bool Search::mayContinue() {
  if (diagnostics_.expanded_nodes % config_.terminal_check_interval == 0) {
    if (token_ != nullptr && token_->cancelled()) {
      return fail(PlannerStatus::CANCELLED, "planning cancelled");
    }
    const double elapsed =
        static_cast<double>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t0_).count()) /
        1e9;
    if (elapsed > config_.max_planning_time_seconds) {
      return fail(PlannerStatus::TIMEOUT, "planning timed out");
    }
  }
  const std::uint64_t both =
      diagnostics_.expanded_nodes + (partner_ != nullptr ? partner_->expanded_nodes : 0);
  if (both >= config_.max_expanded_nodes) {
    return fail(PlannerStatus::MAX_NODES_EXCEEDED, "maximum expanded nodes exceeded");
  }
  return true;
}

void Search::expand(Workspace& workspace, std::uint32_t current, const Node& node) {
  std::vector<MotionPrimitive>& primitives = workspace.primitives;
  table_->generate(node.pose, primitives);
  // The children's index entries lie scattered over a large table: their loads are started
  // here, so that the collision checks hide them. Prefetches are only hints.
  std::vector<StateKey>& keys = workspace.child_keys;
  keys.resize(primitives.size());
  for (std::size_t i = 0; i < primitives.size(); ++i) {
    keys[i] = stateKey(costmap_, bins_, primitives[i].samples.back(), lattice_);
    if (keys[i] != kInvalidKey) {
      workspace.prefetch(keys[i]);
    }
  }
  checkPrimitives(workspace, current, node);
  const std::vector<std::int16_t>& outcomes = workspace.check_outcomes;
  for (std::size_t i = 0; i < primitives.size(); ++i) {
    if (keys[i] == kInvalidKey || outcomes[i] < 0) {
      continue;  // off the map, or a sample collides
    }
    relax(workspace, current, node, primitives[i], keys[i], static_cast<std::uint8_t>(outcomes[i]));
  }
}

// Every primitive's samples are checked first, back to back, so that one clock interval covers
// all checks of the expansion. The checks are pure, so doing them ahead of the node updates
// changes nothing but the number of clock reads. Halfway through, the index entries have
// arrived: the children's nodes are prefetched then, so that the second half of the checks
// hides their loads too.
void Search::checkPrimitives(Workspace& workspace, std::uint32_t current, const Node& node) {
  const std::vector<MotionPrimitive>& primitives = workspace.primitives;
  const std::vector<StateKey>& keys = workspace.child_keys;
  std::vector<std::int16_t>& outcomes = workspace.check_outcomes;
  outcomes.resize(primitives.size());
  const Pose2D& start = node.pose;
  const auto checks_start = Clock::now();
  if (config_.check_improving_successors_only) {
    // The children are looked up first, and their nodes' loads overlap the checks before them.
    std::vector<std::uint32_t>& known = workspace.child_nodes;
    known.resize(primitives.size());
    for (std::size_t i = 0; i < primitives.size(); ++i) {
      known[i] = keys[i] != kInvalidKey ? workspace.find(keys[i]) : kInvalidIndex;
      if (known[i] != kInvalidIndex) {
        __builtin_prefetch(workspace.nodes.data() + known[i]);
      }
    }
    // Children only get cheaper during the expansion, so a check passed over here stays futile.
    for (std::size_t i = 0; i < primitives.size(); ++i) {
      if (mayImprove(workspace, current, node, i, known[i])) {
        outcomes[i] = sampleCost(primitives[i], start, i);
      } else {
        ++diagnostics_.generated_nodes;
        outcomes[i] = -1;
      }
    }
    diagnostics_.collision_check_time_ms += millisecondsSince(checks_start);
    return;
  }
  const std::size_t half = primitives.size() / 2;
  for (std::size_t i = 0; i < half; ++i) {
    outcomes[i] = sampleCost(primitives[i], start, i);
  }
  for (std::size_t i = 0; i < primitives.size(); ++i) {
    if (keys[i] != kInvalidKey) {
      const std::uint32_t known = workspace.find(keys[i]);
      if (known != kInvalidIndex) {
        __builtin_prefetch(workspace.nodes.data() + known);
      }
    }
  }
  for (std::size_t i = half; i < primitives.size(); ++i) {
    outcomes[i] = sampleCost(primitives[i], start, i);
  }
  diagnostics_.collision_check_time_ms += millisecondsSince(checks_start);
}

bool Search::mayImprove(const Workspace& workspace, std::uint32_t current, const Node& node,
                        std::size_t i, std::uint32_t known) const {
  if (workspace.child_keys[i] == kInvalidKey) {
    return false;  // off the map: refused whatever the check says
  }
  if (known == kInvalidIndex || known == current) {
    return true;  // a new node, or one the primitive may cross out of: left to relax
  }
  const Node& reached = workspace.nodes[known];
  if (reached.closed) {
    return false;
  }
  // The cost over free cells bounds every other from below: the sums add the same terms in the
  // same order, and rounding keeps their order.
  const Arrival arrival{node.arrival_direction, node.arrival_steering};
  return childCost(config_, workspace.primitives[i], 0,
                   node.parent != kInvalidIndex ? &arrival : nullptr, node.g) < reached.g;
}

std::int16_t Search::sampleCost(const MotionPrimitive& primitive, const Pose2D& start,
                                std::size_t slot) {
  ++diagnostics_.generated_nodes;
  const FastCollisionCheck& check = *fast_check_;
  // Samples over zero cells only, all of them as one: each would pass with cost 0.
  if (check.allZero(primitive.samples)) {
    diagnostics_.collision_checks += primitive.samples.size();
    return 0;
  }
  // A polygon's samples as one where that can be told: every sample checked, none collided.
  // Placing the hull of the first and last samples pays off from a handful of samples on.
  std::uint8_t swept = 0;
  bool collides = false;
  // Fastest with the stencil of the primitive's shape: no geometry but where a cell could
  // change the answer.
  if (stencils_ != nullptr) {
    if (const SweptStencil* stencil = stencils_->get(slot, start, primitive.samples)) {
      std::size_t first = 0;
      switch (stencilPolygonCost(check.checker(), *stencil, start, primitive.samples,
                                 *check.polygon(), swept, first, stencils_->scratch)) {
        case StencilOutcome::kCost:
          diagnostics_.collision_checks += primitive.samples.size();
          return swept;
        case StencilOutcome::kCollision: diagnostics_.collision_checks += first + 1; return -1;
        case StencilOutcome::kUndecided: break;
      }
    }
  }
  if (check.polygon() != nullptr && primitive.samples.size() >= kFewestSwept &&
      sweptPolygonCost(check.checker(), primitive.samples, *check.polygon(), swept, collides)) {
    diagnostics_.collision_checks += primitive.samples.size();
    return swept;
  }
  // When a sample surely collides only the first such one matters, and a sample away from every
  // cell that could block is not it.
  if (collides) {
    for (const Pose2D& sample : primitive.samples) {
      ++diagnostics_.collision_checks;
      if (!check.belowLethal(sample) && check(sample).collision) {
        return -1;
      }
    }
    diagnostics_.collision_checks -= primitive.samples.size();
  }
  std::int16_t cost = 0;
  for (const Pose2D& sample : primitive.samples) {
    const CollisionResult r = check(sample);
    ++diagnostics_.collision_checks;
    if (r.collision) {
      return -1;
    }
    cost = r.max_cost > cost ? r.max_cost : cost;
  }
  return cost;
}

// The child `primitive` reaches from node `current`, of lattice key `key` and largest cell cost
// `cost`: created if new, and given the cheaper of its cost so far and this route's.
void Search::relax(Workspace& workspace, std::uint32_t current, const Node& node,
                   const MotionPrimitive& primitive, StateKey key, std::uint8_t cost) {
  const Pose2D& end = primitive.samples.back();
  std::uint32_t child = workspace.find(key);
  if (child == current) {
    key = keyAfterCrossing(node.pose, end);
    child = key == kInvalidKey ? current : workspace.find(key);
    if (child == current) {
      return;
    }
  }
  if (child == kInvalidIndex) {
    child = workspace.getOrCreate(key);
  }
  Node& reached = workspace.nodes[child];
  if (reached.closed) {
    return;
  }
  const Arrival arrival{node.arrival_direction, node.arrival_steering};
  const double g = childCost(config_, primitive, cost,
                             node.parent != kInvalidIndex ? &arrival : nullptr, node.g);
  if (!(g < reached.g)) {
    return;
  }
  reached.pose = end;
  reached.g = g;
  reached.parent = current;
  reached.arrival_direction = primitive.direction;
  reached.arrival_steering = primitive.steering_index;
  const double h = heuristicCostAfterStep(end, primitive.direction, node, primitive.length,
                                          reached.kinematic_bound, reached.kinematic_exact);
  if (std::isfinite(h)) {
    workspace.open.push(g + weight_ * h, h, child);
  }
}

// Whether every sample passes `check`, asked of every kCoarseStride-th sample and the last
// first, then of the others in order.
template <class Check>
bool coarseFirst(const std::vector<KinematicSample>& samples, Check&& check) {
  constexpr std::size_t kCoarseStride = 16;
  const std::size_t n = samples.size();
  for (std::size_t i = kCoarseStride - 1; i < n; i += kCoarseStride) {
    if (!check(samples[i])) {
      return false;
    }
  }
  if (n % kCoarseStride != 0 && !check(samples[n - 1])) {
    return false;
  }
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if ((i + 1) % kCoarseStride != 0 && !check(samples[i])) {
      return false;
    }
  }
  return true;
}

bool Search::tryAnalyticExpansion(const Node& node) {
  const Pose2D& from = node.pose;
  // The node's kinematic bound (see heuristicCost).
  const double bound = node.kinematic_bound;
  const bool exact = node.kinematic_exact;
  // A pose farther from the goal in a straight line than the length limit has no short curve.
  if (bounds_ != nullptr &&
      bounds_->certainlyLonger(std::hypot(request_.goal.x - from.x, request_.goal.y - from.y),
                               config_.analytic_expansion_max_length)) {
    return false;
  }
  // The curve's length d is at most the node's bound, and is the bound when that is exact, so
  // the curve needs computing for the length test only when an inexact bound is too long.
  if (!(bound <= config_.analytic_expansion_max_length)) {
    const double d = exact ? bound : space_->distance(from, request_.goal);
    if (!(d <= config_.analytic_expansion_max_length)) {
      return false;
    }
  }
  const auto ta = Clock::now();
  // Each sample is checked as soon as it is computed, so a curve that collides early costs
  // little; the samples and checks up to the first failure are those of checking the whole
  // interpolated curve in order.
  bool passed = false;
  // Changes of direction along the curve, counting the one where it joins the motion that
  // arrived at the node.
  std::uint32_t cusps = 0;
  bool joined = node.parent != kInvalidIndex;
  Direction previous = node.arrival_direction;
  // The reverse stretch the curve is on, if it began on the curve: its length so far.
  double min_reverse = config_.analytic_expansion_min_reverse_length;
  bool judged_reverse = false;
  bool short_reverse = false;  // a curve was refused for one
  double reverse_length = 0.0;
  Pose2D last = from;
  const auto admissible = [&](const KinematicSample& sample) {
    if (joined && sample.direction != previous && ++cusps > config_.analytic_expansion_max_cusps) {
      return false;
    }
    if (min_reverse > 0.0) {
      if (sample.direction == Direction::REVERSE) {
        if (previous != Direction::REVERSE || !joined) {
          judged_reverse = true;
          reverse_length = 0.0;
        }
        reverse_length += std::hypot(sample.pose.x - last.x, sample.pose.y - last.y);
      } else if (judged_reverse && previous == Direction::REVERSE) {
        if (reverse_length < min_reverse) {
          short_reverse = true;
          return false;
        }
        judged_reverse = false;
      }
      last = sample.pose;
    }
    joined = true;
    previous = sample.direction;
    return true;
  };
  const auto passes = [&](const KinematicSample& sample) {
    ++diagnostics_.collision_checks;
    // Away from every cell of cost 254 or above a sample passes any limit from 253 up.
    if (config_.analytic_expansion_max_cost >= kInscribedCost &&
        fast_check_->belowLethal(sample.pose)) {
      return true;
    }
    const CollisionResult r = timedCollisionCheck(sample.pose);
    return !r.collision && r.max_cost <= config_.analytic_expansion_max_cost;
  };
  const auto check_sample = [&](const KinematicSample& sample) {
    return admissible(sample) && passes(sample);
  };
  // A short reverse into the goal.
  const auto short_reverse_at_goal = [&] {
    short_reverse = short_reverse || (judged_reverse && previous == Direction::REVERSE &&
                                      reverse_length < min_reverse);
    return short_reverse;
  };
  // The curve of `space` from the node, checked from scratch.
  const auto attempt = [&](const KinematicStateSpace& space) {
    cusps = 0;
    joined = node.parent != kInvalidIndex;
    previous = node.arrival_direction;
    judged_reverse = false;
    reverse_length = 0.0;
    last = from;
    // By reference: a std::function holding the lambda itself would allocate on every try.
    if (config_.analytic_expansion_coarse_checks) {
      return space.interpolateWhile(from, request_.goal, config_.collision_check_step, *curve_,
                                    std::ref(admissible)) &&
             !short_reverse_at_goal() && coarseFirst(*curve_, passes);
    }
    return space.interpolateWhile(from, request_.goal, config_.collision_check_step, *curve_,
                                  std::ref(check_sample)) &&
           !short_reverse_at_goal();
  };
  try {
    passed = attempt(*space_);
    if (!passed && short_reverse && forward_curves_) {
      // A forward-only curve at most 5 % longer is driven instead; without one, the shortest
      // curve's short reverse is as good as it gets, and the curve is judged without the rule.
      short_reverse = false;
      const double shortest = space_->distance(from, request_.goal);
      passed = forward_curves_->distance(from, request_.goal) <= 1.05 * shortest &&
               attempt(*forward_curves_);
      if (!passed) {
        min_reverse = 0.0;
        passed = attempt(*space_);
      }
    }
  } catch (const LimitExceeded&) {
    // A curve that cannot be sampled at this step (far too many samples) is not checkable, so
    // it cannot close the search; the search goes on as after a colliding curve.
    passed = false;
  }
  diagnostics_.analytic_expansion_time_ms += millisecondsSince(ta);
  if (!passed) {
    curve_->clear();  // only a curve that passed may end the path
  }
  return passed;
}

void Search::finish(const Workspace& workspace, std::uint32_t goal_node) {
  if (real_ != nullptr) {
    finishFromGoal(workspace, goal_node);
    return;
  }
  FoundPath found{{}, {}, {}, *curve_};
  for (std::uint32_t at = goal_node; at != kInvalidIndex; at = workspace.nodes[at].parent) {
    const Node& node = workspace.nodes[at];
    found.poses.push_back(node.pose);
    found.arrival_directions.push_back(node.arrival_direction);
    found.arrival_steerings.push_back(node.arrival_steering);
  }
  std::reverse(found.poses.begin(), found.poses.end());
  std::reverse(found.arrival_directions.begin(), found.arrival_directions.end());
  std::reverse(found.arrival_steerings.begin(), found.arrival_steerings.end());
  finishPlan(found, *table_, checker_, request_, config_, token_, t0_, result_,
             fast_check_ ? &*fast_check_ : nullptr);
}

void Search::finishFromGoal(const Workspace& workspace, std::uint32_t goal_node) {
  std::vector<std::uint32_t> chain;
  for (std::uint32_t at = goal_node; at != kInvalidIndex; at = workspace.nodes[at].parent) {
    chain.push_back(at);
  }
  std::reverse(chain.begin(), chain.end());
  // This search's path, from the real goal on: the nodes with the motions that arrived at them,
  // then the curve; and every sample it checked, regenerated as finish() would.
  std::vector<Pose2D> poses;
  std::vector<Direction> directions;
  std::vector<std::int8_t> steerings;
  std::vector<Pose2D> driven;
  driven.push_back(workspace.nodes[chain.front()].pose);
  for (std::size_t i = 0; i < chain.size(); ++i) {
    const Node& node = workspace.nodes[chain[i]];
    poses.push_back(node.pose);
    directions.push_back(node.arrival_direction);
    steerings.push_back(node.arrival_steering);
    if (i > 0) {
      const MotionPrimitive primitive = table_->make(workspace.nodes[chain[i - 1]].pose,
                                                     node.arrival_direction, node.arrival_steering);
      driven.insert(driven.end(), primitive.samples.begin(), primitive.samples.end());
    }
  }
  for (const KinematicSample& sample : *curve_) {
    poses.push_back(sample.pose);
    directions.push_back(sample.direction);
    steerings.push_back(0);
    driven.push_back(sample.pose);
  }
  // Driven the other way round, each motion keeps its gear (the heading is turned round too)
  // and turns the other way; the motion between poses j - 1 and j of the real path is the one
  // that arrived at pose n - j here.
  const std::size_t n = poses.size();
  const auto turned = [](const Pose2D& p) { return Pose2D{p.x, p.y, normalizeYaw(p.yaw + kPi)}; };
  std::vector<Pose2D> real_poses(n);
  std::vector<Direction> real_directions(n, Direction::FORWARD);
  std::vector<std::int8_t> real_steerings(n, 0);
  for (std::size_t j = 0; j < n; ++j) {
    real_poses[j] = turned(poses[n - 1 - j]);
    if (j > 0) {
      real_directions[j] = directions[n - j];
      real_steerings[j] = static_cast<std::int8_t>(-steerings[n - j]);
    }
  }
  std::reverse(driven.begin(), driven.end());
  std::transform(driven.begin(), driven.end(), driven.begin(), turned);
  // The ends are the request's poses, as given, rather than turned round twice.
  real_poses.front() = driven.front() = real_->start;
  real_poses.back() = driven.back() = real_->goal;
  const std::vector<KinematicSample> no_curve;
  const FoundPath found{std::move(real_poses), std::move(real_directions),
                        std::move(real_steerings), no_curve, &driven};
  // This search's own check places the outline turned round; the path is the real one.
  const FastCollisionCheck real_check(checker_, real_->footprint,
                                      fast_check_ ? fast_check_->regions() : nullptr);
  finishPlan(found, *table_, checker_, *real_, config_, token_, t0_, result_,
             fast_check_ ? &real_check : nullptr);
}

void Search::finishPartial(const Workspace& workspace) {
  // A search from the goal has no partial path to offer: its poses lead away from the goal.
  if (real_ != nullptr || !config_.return_partial_path ||
      result_.status == PlannerStatus::CANCELLED) {
    return;
  }
  const auto closeness = [&](const Pose2D& pose, double& straight) {
    GridIndex cell;
    costmap_.worldToMap(pose.x, pose.y, cell);  // nodes lie on the map
    straight = std::hypot(request_.goal.x - pose.x, request_.goal.y - pose.y);
    return obstacleTerm(cell);
  };
  double best_straight = 0.0;
  double best = 0.0;
  std::uint32_t best_node = kInvalidIndex;
  // Every cell read here was read when its node was pushed, so a lazy field has it final and
  // does no work; should it still run out of budget, there is no partial path.
  try {
    best = closeness(request_.start, best_straight);
    const std::vector<Node>& nodes = workspace.nodes;
    for (std::uint32_t i = 0; i < nodes.size(); ++i) {
      if (!nodes[i].closed) {
        continue;
      }
      double straight = 0.0;
      const double o = closeness(nodes[i].pose, straight);
      if (o < best || (best_node != kInvalidIndex && o == best && straight < best_straight)) {
        best = o;
        best_straight = straight;
        best_node = i;
      }
    }
  } catch (const Interrupted&) {
    return;
  }
  if (best_node == kInvalidIndex) {
    return;  // no closer than the start
  }
  const PlannerStatus status = result_.status;
  const std::string message = result_.message;
  curve_->clear();
  finish(workspace, best_node);
  result_.partial = result_.status == PlannerStatus::SUCCESS;
  result_.status = status;
  result_.message = message;
}

// The request driven backwards: from the goal to the start with both headings turned round,
// and the footprint turned with them, so that it covers what the car covers.
PlanRequest fromGoal(const PlanRequest& request) {
  PlanRequest out = request;
  out.start = Pose2D{request.goal.x, request.goal.y, normalizeYaw(request.goal.yaw + kPi)};
  out.goal = Pose2D{request.start.x, request.start.y, normalizeYaw(request.start.yaw + kPi)};
  const auto turn = [](PolygonFootprint& polygon) {
    for (Point2D& p : polygon.points) {
      p = Point2D{-p.x, -p.y};
    }
  };
  if (auto* polygon = std::get_if<PolygonFootprint>(&out.footprint)) {
    turn(*polygon);
  } else if (auto* multi = std::get_if<MultiPolygonFootprint>(&out.footprint)) {
    for (PolygonFootprint& polygon : multi->polygons) {
      turn(polygon);
    }
  }
  return out;  // a circle about the origin is its own turn
}

// The losing search's work, added to the winner's diagnostics.
void addWork(PlannerDiagnostics& to, const PlannerDiagnostics& from) {
  to.search_time_ms += from.search_time_ms;
  to.obstacle_heuristic_time_ms += from.obstacle_heuristic_time_ms;
  to.kinematic_heuristic_time_ms += from.kinematic_heuristic_time_ms;
  to.collision_check_time_ms += from.collision_check_time_ms;
  to.analytic_expansion_time_ms += from.analytic_expansion_time_ms;
  to.expanded_nodes += from.expanded_nodes;
  to.generated_nodes += from.generated_nodes;
  to.collision_checks += from.collision_checks;
}

// Expansions the search from the start makes alone: most queries end within them and never pay
// for the heuristics of a second search.
constexpr std::uint64_t kHeadStart = 512;
// Then the two take turns of this many expansions.
constexpr std::uint64_t kTurn = 256;

}  // namespace

void runSearch(const Costmap& costmap, Workspace& workspace, const PlanRequest& request,
               const PlannerConfig& config, const CancellationToken* token, Clock::time_point t0,
               PlannerResult& result) {
  constexpr std::uint64_t kAll = std::numeric_limits<std::uint64_t>::max();
  Search forward(costmap, request, config, token, t0, result);
  if (!forward.prepare(workspace)) {
    return;
  }
  if (!config.search_from_goal || !config.allow_reverse || config.allow_in_place_rotation) {
    forward.advance(workspace, kAll);
    return;
  }
  if (forward.advance(workspace, kHeadStart)) {
    return;
  }
  const PlanRequest turned = fromGoal(request);
  // Its obstacle heuristic is computed only as far as it is read: the field toward the start
  // is new for every start, and the search from the goal often needs little of it.
  PlannerConfig lazy = config;
  lazy.lazy_obstacle_heuristic = true;
  PlannerResult other;
  Search backward(costmap, turned, lazy, token, t0, other, &request);
  forward.pairWith(other.diagnostics);
  backward.pairWith(result.diagnostics);
  Workspace& second = workspace.fromGoal();
  // A search from the goal that cannot start or ends without a path leaves the other alone.
  bool both = backward.prepare(second);
  for (;;) {
    if (both && backward.advance(second, backward.expanded() + kTurn)) {
      if (other.status == PlannerStatus::SUCCESS) {
        PlannerDiagnostics diagnostics = other.diagnostics;
        addWork(diagnostics, result.diagnostics);
        diagnostics.wait_time_ms = result.diagnostics.wait_time_ms;
        diagnostics.obstacle_heuristic_cache_hit = result.diagnostics.obstacle_heuristic_cache_hit;
        result.status = other.status;
        result.message = std::move(other.message);
        result.path = std::move(other.path);
        result.directions = std::move(other.directions);
        result.partial = false;
        result.diagnostics = diagnostics;
        return;
      }
      if (other.status == PlannerStatus::TIMEOUT || other.status == PlannerStatus::CANCELLED ||
          other.status == PlannerStatus::MAX_NODES_EXCEEDED) {
        forward.stop(workspace, other);
        addWork(result.diagnostics, other.diagnostics);
        return;
      }
      both = false;
    }
    if (forward.advance(workspace, both ? forward.expanded() + kTurn : kAll)) {
      addWork(result.diagnostics, other.diagnostics);
      return;
    }
  }
}

}  // namespace veltrax::se2::detail
