#include "veltrax/se2/planner.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "detail/clearance.hpp"
#include "detail/errors.hpp"
#include "detail/kinematic_bound.hpp"
#include "detail/path_labels.hpp"
#include "detail/workspace.hpp"
#include "detail/yaw_bins.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/footprint.hpp"
#include "veltrax/se2/heuristic.hpp"
#include "veltrax/se2/kinematics.hpp"
#include "veltrax/se2/primitives.hpp"
#include "veltrax/se2/smoother.hpp"

namespace veltrax::se2 {

namespace {

// Chosen on the benchmark suite: see the README's tuning section.
constexpr double kRecommendedHeuristicWeight = 1.5;
constexpr double kRecommendedInPlaceHeuristicWeight = 3.0;

}  // namespace

PlannerConfig recommendedConfig(double resolution, const Footprint& footprint,
                                bool allow_in_place_rotation) {
  if (!(std::isfinite(resolution) && resolution > 0.0)) {
    detail::throwInvalidArgument("resolution must be finite and positive");
  }
  const std::vector<std::string> problems = validateFootprint(footprint);
  if (!problems.empty()) {
    detail::throwInvalidArgument(problems.front());
  }
  PlannerConfig config;
  // The penalties are paid per primitive; this is its length for the default lattice.
  const double step =
      std::max(kTwoPi * config.minimum_turning_radius / config.angle_bins, resolution);
  // Per metre driven: steering costs 5 % more than driving straight and reversing twice as much;
  // a change of steering costs a centimetre and a cusp half a metre.
  config.non_straight_penalty = 0.05 * step;
  config.reverse_penalty = 1.0 * step;
  config.steering_change_penalty = 0.01;
  config.direction_switch_penalty = 2.0;
  // A shortest curve to the goal may reverse twice where the search would not.
  config.analytic_expansion_max_cusps = 1;
  config.heuristic_weight = kRecommendedHeuristicWeight;
  config.footprint_aware_heuristic = true;
  config.heuristic_reach_factor = 2.0;
  // Inscribed cells (253) do not block, and goals beside walls of an inflated map are reached
  // through them.
  config.analytic_expansion_max_cost = kInscribedCost;
  // A curve to the goal is cheap to try (a few microseconds, then the checks of its samples),
  // and from farther away it spares the search most of its expansions.
  config.analytic_expansion_max_length = 10.0;
  // From that far a curve often fails near its end; every 16th expansion is often enough.
  config.analytic_expansion_ratio = 16.0;
  config.allow_in_place_rotation = allow_in_place_rotation;
  if (allow_in_place_rotation) {
    // Every change between driving and turning on the spot pays the switch penalty; turning
    // there is no cusp, and at half a metre a turn made of a few rotations is avoided at
    // great expense.
    config.direction_switch_penalty = 0.05;
    // The heuristic knows nothing of the turns on the spot a path needs, a cost it misses at
    // every corner; a stronger weight keeps the search from flooding each corridor in all yaws.
    config.heuristic_weight = kRecommendedInPlaceHeuristicWeight;
  }
  return config;
}

// ---------------------------------------------------------------------------------------------
// HybridAStar

namespace detail {

std::uint64_t nodeKeyCapacity(std::uint64_t width, std::uint64_t height,
                              std::uint32_t angle_bins) noexcept {
  if (angle_bins == 0 ||
      (height != 0 && width > std::numeric_limits<std::uint64_t>::max() / height)) {
    return 0;
  }
  const std::uint64_t cells = width * height;
  if (cells > std::uint64_t{kInvalidIndex} / angle_bins) {
    return 0;
  }
  return cells * angle_bins;
}

std::uint32_t stateKey(const Costmap& costmap, std::uint32_t angle_bins, const Pose2D& pose) {
  GridIndex cell;
  if (!costmap.worldToMap(pose.x, pose.y, cell) || !std::isfinite(pose.yaw)) {
    return kInvalidIndex;
  }
  const auto cell_key = static_cast<std::uint32_t>(cell.y * costmap.width() + cell.x);
  const std::uint32_t bin = yawBin(pose.yaw, angle_bins, kStateKeyYawNudge);
  return cell_key * angle_bins + bin;
}

}  // namespace detail

void HybridAStar::Workspace::reset(std::uint64_t capacity) {
  if (index.size() == capacity) {
    // Zeroing the entries keeps their pages, so searches in other parts of the map would pile
    // up pages of the table call after call; past a budget they go back to the kernel instead
    // (reading as zero again), and the next search faults in only what it touches.
    if (index.hashed() || index.dirtyBytes() > kIndexPageBudget) {
      index.clear();
    } else {
      for (const std::uint32_t key : touched) {
        index.set(key, 0);
      }
    }
  } else {
    index.reset(static_cast<std::size_t>(capacity));
  }
  touched.clear();
  nodes.clear();
}

std::uint32_t HybridAStar::Workspace::getOrCreate(std::uint32_t key) {
  const std::uint32_t stored = index.get(key);
  if (stored != 0) {
    return stored - 1u;
  }
  const auto position = static_cast<std::uint32_t>(nodes.size());
  index.set(key, position + 1u);
  touched.push_back(key);
  nodes.push_back(Node{Pose2D{}, std::numeric_limits<double>::infinity(),
                       std::numeric_limits<double>::infinity(), detail::kInvalidIndex,
                       Direction::FORWARD, Steering::STRAIGHT, false, false});
  return position;
}

struct HybridAStar::ObstacleHeuristicCacheKey {
  std::uint64_t map_revision;
  GridIndex goal;
  bool allow_unknown;
  double cost_penalty;
  double clearance;  // 0 unless the heuristic is footprint-aware
};

HybridAStar::HybridAStar(Costmap costmap)
    : costmap_(std::move(costmap)), workspace_(std::make_unique<Workspace>()) {}

HybridAStar::~HybridAStar() = default;

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
  return static_cast<double>(
             std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count()) /
         1e6;
}

// Whether a cached field serves a search from `start` with this reach factor: a field of the whole
// map always does; one that stopped early only if it would have stopped there for this start.
bool reachesFar(const ObstacleHeuristic& field, GridIndex start, double factor) {
  if (field.reach() == std::numeric_limits<double>::infinity()) {
    return true;
  }
  const double v = field.distance(start.x, start.y);
  return factor > 0.0 && v < field.reach() && field.reach() >= factor * v + 1.0;
}

bool allFinite(const Pose2D& pose) {
  return std::isfinite(pose.x) && std::isfinite(pose.y) && std::isfinite(pose.yaw);
}

// One planning call: the state that lives from the entry checks to the returned result.
class Search {
 public:
  Search(const Costmap& costmap, const PlanRequest& request, const PlannerConfig& config,
         const CancellationToken* token, Clock::time_point t0, PlannerResult& result)
      : costmap_(costmap),
        request_(request),
        config_(config),
        token_(token),
        t0_(t0),
        result_(result),
        diagnostics_(result.diagnostics),
        checker_(costmap, config.allow_unknown) {}

  CollisionResult timedCollisionCheck(const Pose2D& pose) {
    const auto start = Clock::now();
    const CollisionResult r =
        fast_check_ ? (*fast_check_)(pose) : checker_.checkValidated(pose, request_.footprint);
    diagnostics_.collision_check_time_ms += millisecondsSince(start);
    return r;
  }

  void run(HybridAStar::Workspace& workspace, const ObstacleHeuristic& heuristic,
           const KinematicStateSpace* space, std::uint64_t capacity);

 private:
  // max(k, o) with k the kinematic distance to the goal and o the obstacle term of the pose's
  // cell; `bound` receives an upper bound of k (k itself when computed, +inf when unknown) and
  // `exact` whether it is k itself.
  double heuristicCost(const Pose2D& pose, double& bound, bool& exact) const {
    bound = std::numeric_limits<double>::infinity();
    exact = false;
    GridIndex cell;
    if (!costmap_.worldToMap(pose.x, pose.y, cell)) {
      return std::numeric_limits<double>::infinity();
    }
    const double o = std::min(obstacle_[cell.y * width_ + cell.x], reach_);
    // An unreachable cell stays unreachable whatever the curve length; skip the curve.
    if (space_ == nullptr || !(o < std::numeric_limits<double>::infinity())) {
      return o;
    }
    const double k = space_->distance(pose, request_.goal);
    bound = k;
    exact = true;
    return k > o ? k : o;
  }

  // The same value for the end of a primitive of length `step_length` driven from a pose whose
  // bound is `parent_bound`. With reversing allowed the distance is a metric, so the parent's
  // bound plus the step bounds the child's; when that is no larger than o, max(k, o) is o and
  // the curve need not be computed.
  double heuristicCostAfterStep(const Pose2D& pose, double parent_bound, double step_length,
                                double& bound, bool& exact) const {
    if (bounds_ != nullptr) {
      GridIndex cell;
      if (costmap_.worldToMap(pose.x, pose.y, cell)) {
        const double o = std::min(obstacle_[cell.y * width_ + cell.x], reach_);
        const double upper = bounds_->afterStep(parent_bound, step_length);
        if (upper <= o) {
          bound = upper;
          exact = false;
          return o;
        }
      }
    }
    return heuristicCost(pose, bound, exact);
  }

  // A primitive that moved a whole cell or more along an axis has left its cell, though rounding
  // may map its end back into it (a straight cell-long step from a pose on a cell edge). Its key
  // is then taken a millionth of a cell further on; kInvalidIndex when it did not move that far.
  std::uint32_t keyAfterCrossing(const Pose2D& from, const Pose2D& end, std::uint32_t bins) const {
    const double cell = costmap_.resolution();
    const double dx = end.x - from.x;
    const double dy = end.y - from.y;
    const double whole = cell * (1.0 - 1e-9);
    if (!(std::fabs(dx) >= whole || std::fabs(dy) >= whole)) {
      return detail::kInvalidIndex;
    }
    Pose2D beyond = end;
    beyond.x += std::fabs(dx) >= whole ? std::copysign(cell * 1e-6, dx) : 0.0;
    beyond.y += std::fabs(dy) >= whole ? std::copysign(cell * 1e-6, dy) : 0.0;
    return detail::stateKey(costmap_, bins, beyond);
  }

  bool tryAnalyticExpansion(const HybridAStar::Workspace::Node& node);
  void finish(HybridAStar::Workspace& workspace, std::uint32_t goal_node);
  std::vector<Pose2D> searchedSamples(const HybridAStar::Workspace& workspace,
                                      const std::vector<std::uint32_t>& chain) const;
  void fail(PlannerStatus status, const char* message) {
    result_.status = status;
    result_.message = message;
  }

  const Costmap& costmap_;
  const PlanRequest& request_;
  const PlannerConfig& config_;
  const CancellationToken* token_;
  Clock::time_point t0_;
  PlannerResult& result_;
  PlannerDiagnostics& diagnostics_;
  CollisionChecker checker_;
  std::optional<detail::FastCollisionCheck> fast_check_;
  const double* obstacle_ = nullptr;
  double reach_ = std::numeric_limits<double>::infinity();  // see ObstacleHeuristic::reach
  std::uint64_t width_ = 0;
  const KinematicStateSpace* space_ = nullptr;
  // Set when the kinematic distance is a metric (Reeds-Shepp) and its bounds may be chained.
  std::optional<detail::KinematicBound> bounds_storage_;
  const detail::KinematicBound* bounds_ = nullptr;
  std::vector<KinematicSample> analytic_;
  std::optional<MotionPrimitiveTable> table_;
};

// `bound` and `exact` are the node's kinematic bound (see heuristicCost).
bool Search::tryAnalyticExpansion(const HybridAStar::Workspace::Node& node) {
  const Pose2D& from = node.pose;
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
  // Changes of direction along the curve, counting the one where it joins the node's motion.
  std::uint32_t cusps = 0;
  bool joined = node.parent != detail::kInvalidIndex;
  Direction previous = node.direction;
  try {
    passed = space_->interpolateWhile(from, request_.goal, config_.collision_check_step, analytic_,
                                      [&](const KinematicSample& sample) {
                                        if (joined && sample.direction != previous &&
                                            ++cusps > config_.analytic_expansion_max_cusps) {
                                          return false;
                                        }
                                        joined = true;
                                        previous = sample.direction;
                                        const CollisionResult r = timedCollisionCheck(sample.pose);
                                        ++diagnostics_.collision_checks;
                                        return !r.collision &&
                                               r.max_cost <= config_.analytic_expansion_max_cost;
                                      });
  } catch (const detail::LimitExceeded&) {
    // A curve that cannot be sampled at this step (far too many samples) is not checkable, so
    // it cannot close the search; the search goes on as after a colliding curve.
    passed = false;
  }
  diagnostics_.analytic_expansion_time_ms += millisecondsSince(ta);
  if (!passed) {
    analytic_.clear();  // only a curve that passed may end the path
  }
  return passed;
}

void Search::run(HybridAStar::Workspace& workspace, const ObstacleHeuristic& heuristic,
                 const KinematicStateSpace* space, std::uint64_t capacity) {
  using detail::kInvalidIndex;
  obstacle_ = heuristic.distances().data();
  reach_ = heuristic.reach();
  width_ = costmap_.width();
  space_ = space;
  if (space != nullptr && config_.allow_reverse) {
    const double far_x = static_cast<double>(costmap_.width()) * costmap_.resolution();
    const double far_y = static_cast<double>(costmap_.height()) * costmap_.resolution();
    const double scale =
        std::max({std::fabs(costmap_.originX()), std::fabs(costmap_.originY()),
                  std::fabs(costmap_.originX() + far_x), std::fabs(costmap_.originY() + far_y)});
    bounds_storage_.emplace(config_.minimum_turning_radius, scale);
    bounds_ = &*bounds_storage_;
  }
  const std::uint32_t bins = config_.angle_bins;

  workspace.reset(capacity);
  if (!workspace.zero_cost.built()) {
    workspace.zero_cost.build(costmap_);
  }
  fast_check_.emplace(checker_, request_.footprint, &workspace.zero_cost);
  const detail::FastCollisionCheck& check = *fast_check_;
  const std::uint32_t start =
      workspace.getOrCreate(detail::stateKey(costmap_, bins, request_.start));
  workspace.nodes[start].pose = request_.start;
  workspace.nodes[start].g = 0.0;

  const double h0 = heuristicCost(request_.start, workspace.nodes[start].kinematic_bound,
                                  workspace.nodes[start].kinematic_exact);
  if (!std::isfinite(h0)) {
    fail(PlannerStatus::NO_PATH, "goal is disconnected in obstacle heuristic");
    return;
  }
  detail::OpenList& open = workspace.open;
  open.clear();
  // The pool and the open list grow by at most one entry per primitive and expansion. Reserving
  // that up front costs address space only (untouched pages stay unmapped) and spares the peak
  // of a growing vector, which holds the old and the new copy at once. Too large a request just
  // leaves the vectors to grow as they would anyway.
  {
    const std::uint64_t per_expansion =
        (config_.allow_in_place_rotation ? 1u : 3u) * (config_.allow_reverse ? 2u : 1u) +
        (config_.allow_in_place_rotation ? 2u : 0u);
    constexpr std::uint64_t kMostReserved = std::uint64_t{1} << 26;
    const std::uint64_t expansions = std::min(config_.max_expanded_nodes, kMostReserved);
    const std::uint64_t entries =
        std::min({expansions * per_expansion + 1, kMostReserved, capacity});
    try {
      workspace.nodes.reserve(static_cast<std::size_t>(entries));
      open.reserve(static_cast<std::size_t>(entries));
    } catch (const std::bad_alloc&) {
    }
  }
  const double weight = config_.heuristic_weight;
  open.push(weight * h0, h0, start);

  // A table the configuration cannot support (a sample step far too small for the primitive
  // length) is an invalid request like any other, not an exception out of plan().
  std::optional<MotionPrimitiveTable>& table = table_;
  try {
    table.emplace(costmap_.resolution(), config_);
  } catch (const detail::LimitExceeded& e) {
    result_.status = PlannerStatus::INVALID_REQUEST;
    result_.message = e.what();
    return;
  }

  const double ratio = std::ceil(config_.analytic_expansion_ratio);
  std::uint64_t interval = ratio >= 18446744073709551615.0
                               ? std::numeric_limits<std::uint64_t>::max()
                               : static_cast<std::uint64_t>(ratio);
  if (interval == 0) {
    interval = 1;
  }
  const bool analytic = !config_.allow_in_place_rotation;
  const Pose2D& goal = request_.goal;

  const auto ts = Clock::now();
  std::vector<MotionPrimitive>& primitives = workspace.primitives;
  std::vector<HybridAStar::Workspace::Node>& nodes = workspace.nodes;
  while (!open.empty()) {
    const std::uint32_t current = open.pop();
    // Most likely the next node to expand: its load overlaps this expansion.
    if (!open.empty()) {
      __builtin_prefetch(nodes.data() + open.top().node);
    }
    if (nodes[current].closed) {
      continue;
    }
    nodes[current].closed = true;
    ++diagnostics_.expanded_nodes;
    const HybridAStar::Workspace::Node node = nodes[current];
    const Pose2D& p = node.pose;

    if (std::hypot(goal.x - p.x, goal.y - p.y) <= config_.position_tolerance &&
        std::fabs(normalizeYaw(goal.yaw - p.yaw)) <= config_.yaw_tolerance) {
      diagnostics_.search_time_ms = millisecondsSince(ts);
      finish(workspace, current);
      return;
    }
    if (analytic && diagnostics_.expanded_nodes % interval == 0 && tryAnalyticExpansion(node)) {
      diagnostics_.search_time_ms = millisecondsSince(ts);
      finish(workspace, current);
      return;
    }
    if (diagnostics_.expanded_nodes % config_.terminal_check_interval == 0) {
      if (token_ != nullptr && token_->cancelled()) {
        fail(PlannerStatus::CANCELLED, "planning cancelled");
        return;
      }
      const double elapsed =
          static_cast<double>(
              std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t0_).count()) /
          1e9;
      if (elapsed > config_.max_planning_time_seconds) {
        fail(PlannerStatus::TIMEOUT, "planning timed out");
        return;
      }
    }
    if (diagnostics_.expanded_nodes >= config_.max_expanded_nodes) {
      fail(PlannerStatus::MAX_NODES_EXCEEDED, "maximum expanded nodes exceeded");
      return;
    }

    table->generate(p, primitives);
    // The children's index entries lie scattered over a large table: their loads are started
    // here, so that the collision checks below hide them. Prefetches are only hints.
    std::vector<std::uint32_t>& keys = workspace.child_keys;
    keys.resize(primitives.size());
    for (std::size_t i = 0; i < primitives.size(); ++i) {
      keys[i] = detail::stateKey(costmap_, bins, primitives[i].samples.back());
      if (keys[i] != kInvalidIndex) {
        workspace.index.prefetch(keys[i]);
      }
    }
    // Every primitive's samples are checked first, back to back, so that one clock interval
    // covers all checks of the expansion. The checks are pure, so doing them ahead of the node
    // updates changes nothing but the number of clock reads. Halfway through, the index entries
    // have arrived: the children's nodes are prefetched then, so that the second half of the
    // checks hides their loads too.
    std::vector<std::int16_t>& outcomes = workspace.check_outcomes;
    outcomes.resize(primitives.size());
    const auto check_primitive = [&](std::size_t i) {
      ++diagnostics_.generated_nodes;
      std::int16_t cost = 0;
      for (const Pose2D& sample : primitives[i].samples) {
        const CollisionResult r = check(sample);
        ++diagnostics_.collision_checks;
        if (r.collision) {
          cost = -1;
          break;
        }
        cost = r.max_cost > cost ? r.max_cost : cost;
      }
      outcomes[i] = cost;
    };
    const std::size_t half = primitives.size() / 2;
    const auto checks_start = Clock::now();
    for (std::size_t i = 0; i < half; ++i) {
      check_primitive(i);
    }
    for (std::size_t i = 0; i < primitives.size(); ++i) {
      if (keys[i] != kInvalidIndex) {
        const std::uint32_t known = workspace.find(keys[i]);
        if (known != kInvalidIndex) {
          __builtin_prefetch(nodes.data() + known);
        }
      }
    }
    for (std::size_t i = half; i < primitives.size(); ++i) {
      check_primitive(i);
    }
    diagnostics_.collision_check_time_ms += millisecondsSince(checks_start);
    for (std::size_t i = 0; i < primitives.size(); ++i) {
      if (outcomes[i] < 0) {
        keys[i] = kInvalidIndex;  // a sample collides
      }
    }
    for (std::size_t i = 0; i < primitives.size(); ++i) {
      const MotionPrimitive& primitive = primitives[i];
      if (keys[i] == kInvalidIndex) {
        continue;  // off the map, or a sample collides
      }
      const auto cost = static_cast<std::uint8_t>(outcomes[i]);
      const Pose2D& end = primitive.samples.back();
      std::uint32_t key = keys[i];
      std::uint32_t child = workspace.find(key);
      if (child == current) {
        key = keyAfterCrossing(p, end, bins);
        child = key == kInvalidIndex ? current : workspace.find(key);
        if (child == current) {
          continue;
        }
      }
      if (child == kInvalidIndex) {
        child = workspace.getOrCreate(key);
      }
      if (nodes[child].closed) {
        continue;
      }
      const double length = primitive.length;
      double step = length + (static_cast<double>(cost) / 252.0) * config_.cost_penalty * length;
      if (primitive.direction != Direction::ROTATION) {
        if (primitive.steering != Steering::STRAIGHT) {
          step += config_.non_straight_penalty;
        }
        if (primitive.direction == Direction::REVERSE) {
          step += config_.reverse_penalty;
        }
      }
      if (node.parent != kInvalidIndex) {
        if (primitive.direction != node.direction) {
          step += config_.direction_switch_penalty;
        }
        if (primitive.direction != Direction::ROTATION && primitive.steering != node.steering) {
          step += config_.steering_change_penalty;
        }
      }
      const double g = step + config_.retrospective_penalty * node.g + node.g;
      HybridAStar::Workspace::Node& reached = nodes[child];
      if (!(g < reached.g)) {
        continue;
      }
      reached.pose = end;
      reached.g = g;
      reached.parent = current;
      reached.direction = primitive.direction;
      reached.steering = primitive.steering;
      const double h = heuristicCostAfterStep(end, node.kinematic_bound, length,
                                              reached.kinematic_bound, reached.kinematic_exact);
      if (std::isfinite(h)) {
        open.push(g + weight * h, h, child);
      }
    }
  }
  diagnostics_.search_time_ms = millisecondsSince(ts);
  fail(PlannerStatus::NO_PATH, "open set exhausted");
}

// The poses the search checked along the chain from the start node to the goal node: the start,
// each node's primitive regenerated from its parent (bit for bit the samples checked when it was
// generated, since expanded nodes never move), then the analytic curve.
std::vector<Pose2D> Search::searchedSamples(const HybridAStar::Workspace& workspace,
                                            const std::vector<std::uint32_t>& chain) const {
  std::vector<Pose2D> samples;
  samples.push_back(workspace.nodes[chain.front()].pose);
  for (std::size_t i = 1; i < chain.size(); ++i) {
    const HybridAStar::Workspace::Node& node = workspace.nodes[chain[i]];
    const MotionPrimitive primitive =
        table_->make(workspace.nodes[chain[i - 1]].pose, node.direction, node.steering);
    samples.insert(samples.end(), primitive.samples.begin(), primitive.samples.end());
  }
  for (const KinematicSample& sample : analytic_) {
    samples.push_back(sample.pose);
  }
  return samples;
}

// Rebuilds the path, post-processes it and fills the result.
void Search::finish(HybridAStar::Workspace& workspace, std::uint32_t goal_node) {
  std::vector<Pose2D>& path = result_.path;
  std::vector<Direction> labels;
  std::vector<std::uint32_t> chain;
  for (std::uint32_t at = goal_node; at != detail::kInvalidIndex; at = workspace.nodes[at].parent) {
    chain.push_back(at);
  }
  std::reverse(chain.begin(), chain.end());
  path.reserve(chain.size() + analytic_.size());
  labels.reserve(chain.size());
  for (const std::uint32_t at : chain) {
    path.push_back(workspace.nodes[at].pose);
    labels.push_back(workspace.nodes[at].direction);
  }
  result_.status = PlannerStatus::SUCCESS;
  result_.message = "path found";
  for (const KinematicSample& sample : analytic_) {
    path.push_back(sample.pose);
  }
  const detail::StepCounts counts = detail::countSteps(labels, analytic_);
  diagnostics_.reverse_count = counts.reverse;
  diagnostics_.direction_switch_count = counts.direction_switches;
  diagnostics_.in_place_rotation_count = counts.rotations;

  const auto tp = Clock::now();
  const std::vector<Pose2D> raw = path;
  // Settings that passed validation can still be far too fine for the path found: resample and
  // the sweep of validatePath refuse to produce more than their sample limits. That is a bad
  // request, reported like the others rather than thrown out of plan().
  auto refuse = [&](const char* message, PlannerStatus status = PlannerStatus::INVALID_REQUEST) {
    result_.status = status;
    result_.message = message;
    path.clear();
    result_.directions.clear();
    diagnostics_.smoothing_time_ms = millisecondsSince(tp);
    diagnostics_.total_time_ms = millisecondsSince(t0_);
  };
  try {
    if (config_.smooth_path && diagnostics_.reverse_count == 0 &&
        diagnostics_.in_place_rotation_count == 0 && diagnostics_.direction_switch_count == 0) {
      path = PathSmoother::smooth(path, checker_, request_.footprint, config_);
    }
    const bool check_radius = !config_.allow_in_place_rotation;
    auto timedValidate = [&](const std::vector<Pose2D>& poses, double step) {
      const auto start = Clock::now();
      const CollisionResult r = checker_.validatePath(poses, request_.footprint, step);
      diagnostics_.collision_check_time_ms += millisecondsSince(start);
      return r;
    };
    std::vector<Pose2D> out = PathSmoother::resample(path, config_.path_output_spacing);
    const CollisionResult r = timedValidate(out, config_.collision_check_step);
    bool passed = !r.collision && (!check_radius || PathSmoother::respectsTurningRadius(
                                                        out, config_.minimum_turning_radius));
    if (passed) {
      path = std::move(out);
    } else {
      std::vector<Pose2D> fallback = PathSmoother::resample(raw, config_.path_output_spacing);
      const CollisionResult r2 = timedValidate(fallback, config_.collision_check_step);
      const char* failure = nullptr;
      if (check_radius &&
          !PathSmoother::respectsTurningRadius(fallback, config_.minimum_turning_radius)) {
        failure = r2.collision
                      ? "postprocessed path failed validation: collision=true, curvature=invalid"
                      : "postprocessed path failed validation: collision=false, curvature=invalid";
      } else if (r2.collision) {
        failure = "postprocessed path failed validation: collision=true, curvature=valid";
      }
      if (failure != nullptr) {
        // Chords between node poses leave the arcs the search drove, and on a path that grazes
        // an obstacle (or on coarse cells, where a chord turns tighter than its arc) they can
        // fail where the search's own samples passed. Those samples, every primitive's in order
        // and then the curve's, are exactly what the search accepted. They lie one sample step
        // apart up to rounding, which must not make the sweep add a sample between two of them.
        std::vector<Pose2D> driven =
            PathSmoother::resample(searchedSamples(workspace, chain), config_.path_output_spacing);
        if (timedValidate(driven, config_.collision_check_step * (1.0 + 1e-9)).collision ||
            (check_radius &&
             !PathSmoother::respectsTurningRadius(driven, config_.minimum_turning_radius))) {
          refuse(failure, PlannerStatus::INTERNAL_ERROR);
          return;
        }
        fallback = std::move(driven);
      }
      path = std::move(fallback);
    }
  } catch (const detail::LimitExceeded& e) {
    refuse(e.what());
    return;
  }

  const std::size_t n = path.size();
  result_.directions = detail::directionLabels(path);
  const std::vector<Direction>& directions = result_.directions;
  std::uint32_t rotations = 0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    rotations += directions[i] == Direction::ROTATION ? 1 : 0;
  }
  diagnostics_.in_place_rotation_count = rotations;
  diagnostics_.smoothing_time_ms = millisecondsSince(tp);
  double length = 0.0;
  for (std::size_t i = 1; i < n; ++i) {
    length += std::hypot(path[i].x - path[i - 1].x, path[i].y - path[i - 1].y);
  }
  diagnostics_.path_length = length;
  diagnostics_.total_time_ms = millisecondsSince(t0_);
}

}  // namespace

PlannerResult HybridAStar::plan(const PlanRequest& request, const PlannerConfig& config,
                                const CancellationToken* token) const {
  const auto t0 = Clock::now();
  PlannerResult result;
  result.map_revision = request.map_revision;
  result.goal_revision = request.goal_revision;
  result.robot_revision = request.robot_revision;

  const std::vector<std::string> config_problems = config.validate();
  if (!config_problems.empty()) {
    result.status = PlannerStatus::INVALID_REQUEST;
    result.message = config_problems.front();
    return result;
  }
  const std::vector<std::string> footprint_problems = validateFootprint(request.footprint);
  if (!footprint_problems.empty()) {
    result.status = PlannerStatus::INVALID_REQUEST;
    result.message = footprint_problems.front();
    return result;
  }
  if (!allFinite(request.start) || !allFinite(request.goal)) {
    result.status = PlannerStatus::INVALID_REQUEST;
    result.message = "start and goal poses must be finite";
    return result;
  }
  // Far beyond a turn a yaw keeps too few bits to say which way the robot faces.
  constexpr double kMaxRequestYaw = 1e6;
  if (!(std::fabs(request.start.yaw) <= kMaxRequestYaw &&
        std::fabs(request.goal.yaw) <= kMaxRequestYaw)) {
    result.status = PlannerStatus::INVALID_REQUEST;
    result.message = "start and goal yaw must be within 1e6 radians of zero";
    return result;
  }
  if (token != nullptr && token->cancelled()) {
    result.status = PlannerStatus::CANCELLED;
    result.message = "planning cancelled";
    return result;
  }

  const std::lock_guard<std::mutex> workspace_lock(workspace_mutex_);
  GridIndex start_cell;
  GridIndex goal_cell;
  if (!costmap_.worldToMap(request.start.x, request.start.y, start_cell)) {
    result.status = PlannerStatus::START_OUT_OF_BOUNDS;
    result.message = "start is outside costmap";
    return result;
  }
  if (!costmap_.worldToMap(request.goal.x, request.goal.y, goal_cell)) {
    result.status = PlannerStatus::GOAL_OUT_OF_BOUNDS;
    result.message = "goal is outside costmap";
    return result;
  }
  Search search(costmap_, request, config, token, t0, result);
  if (search.timedCollisionCheck(request.start).collision) {
    result.status = PlannerStatus::START_IN_COLLISION;
    result.message = "start footprint is in collision";
    return result;
  }
  if (search.timedCollisionCheck(request.goal).collision) {
    result.status = PlannerStatus::GOAL_IN_COLLISION;
    result.message = "goal footprint is in collision";
    return result;
  }

  // A pose whose cell centre is closer to a blocking cell's centre than the inscribed radius less
  // half a cell diagonal collides wherever in its cell it lies, so the heuristic may block it.
  const double clearance = config.footprint_aware_heuristic
                               ? std::max(0.0, inscribedRadius(request.footprint) -
                                                   costmap_.resolution() * 0.70710678118654757)
                               : 0.0;
  std::shared_ptr<const ObstacleHeuristic> heuristic;
  {
    const auto th = Clock::now();
    const double factor = config.heuristic_reach_factor;
    // A clearance field is the plain field of the map with the cells near obstacles blocked;
    // that map is kept with the workspace for the next goal.
    Workspace& workspace = *workspace_;
    if (clearance > 0.0 &&
        (!workspace.clearance_map || workspace.clearance_map_clearance != clearance ||
         workspace.clearance_map_allow_unknown != config.allow_unknown)) {
      workspace.clearance_map.reset();
      workspace.clearance_map.emplace(
          costmap_.width(), costmap_.height(), costmap_.resolution(), costmap_.originX(),
          costmap_.originY(),
          detail::blockNearObstacles(costmap_, config.allow_unknown, clearance));
      workspace.clearance_map_clearance = clearance;
      workspace.clearance_map_allow_unknown = config.allow_unknown;
    }
    const Costmap& field_map = clearance > 0.0 ? *workspace.clearance_map : costmap_;
    if (!config.cache_obstacle_heuristic) {
      heuristic = std::make_shared<const ObstacleHeuristic>(
          field_map, goal_cell, config.allow_unknown, config.cost_penalty, 0.0, start_cell, factor);
    } else {
      const std::lock_guard<std::mutex> cache_lock(cache_mutex_);
      const bool hit = cache_key_ != nullptr && cache_key_->map_revision == request.map_revision &&
                       cache_key_->goal.x == goal_cell.x && cache_key_->goal.y == goal_cell.y &&
                       cache_key_->allow_unknown == config.allow_unknown &&
                       cache_key_->cost_penalty == config.cost_penalty &&
                       cache_key_->clearance == clearance &&
                       reachesFar(*cached_heuristic_, start_cell, factor);
      if (hit) {
        result.diagnostics.obstacle_heuristic_cache_hit = true;
      } else {
        // Only the cache holds the old field (calls are serialised and drop their copy on
        // return), so its pages can be reused instead of faulting in fresh ones. The key goes
        // first: should the construction throw, no later call may hit the emptied field.
        std::vector<double> storage;
        if (cached_heuristic_ != nullptr && cached_heuristic_.use_count() == 1) {
          cache_key_.reset();
          storage = cached_heuristic_->releaseStorage();
          cached_heuristic_.reset();
        }
        cached_heuristic_ = std::make_shared<ObstacleHeuristic>(
            field_map, goal_cell, config.allow_unknown, config.cost_penalty, 0.0, start_cell,
            factor, std::move(storage));
        cache_key_ = std::make_unique<ObstacleHeuristicCacheKey>(ObstacleHeuristicCacheKey{
            request.map_revision, goal_cell, config.allow_unknown, config.cost_penalty, clearance});
      }
      heuristic = cached_heuristic_;
    }
    result.diagnostics.obstacle_heuristic_time_ms = millisecondsSince(th);
  }

  std::optional<KinematicStateSpace> space;
  {
    const auto tk = Clock::now();
    if (!config.allow_in_place_rotation) {
      space.emplace(config.minimum_turning_radius, config.allow_reverse);
    }
    result.diagnostics.kinematic_heuristic_time_ms = millisecondsSince(tk);
  }
  // The curves refuse poses more than kMaxReachInRadii radii apart; with a radius that small for
  // this map the heuristic of a far pose would throw mid-search, so refuse the request up front.
  if (space) {
    const double extent =
        static_cast<double>(std::max(costmap_.width(), costmap_.height())) * costmap_.resolution();
    if (!(extent <= KinematicStateSpace::kMaxReachInRadii * config.minimum_turning_radius)) {
      result.status = PlannerStatus::INVALID_REQUEST;
      result.message = "minimum_turning_radius is too small for the costmap extent";
      return result;
    }
  }

  const std::uint64_t capacity =
      detail::nodeKeyCapacity(costmap_.width(), costmap_.height(), config.angle_bins);
  if (capacity == 0) {
    result.status = PlannerStatus::INVALID_REQUEST;
    result.message = "costmap/yaw node pool exceeds 32-bit index capacity";
    return result;
  }
  search.run(*workspace_, *heuristic, space ? &*space : nullptr, capacity);
  return result;
}

}  // namespace veltrax::se2
