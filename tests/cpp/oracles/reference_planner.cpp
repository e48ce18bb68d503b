#include "oracles/reference_planner.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>
#include <queue>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "oracles/collision_reference.hpp"
#include "oracles/obstacle_heuristic_oracle.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/footprint.hpp"
#include "veltrax/se2/kinematics.hpp"
#include "veltrax/se2/smoother.hpp"

namespace veltrax::se2::oracles {

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Node {
  Pose2D pose;
  double g = kInf;
  std::uint32_t parent = kNone;
  Direction direction = Direction::FORWARD;
  int steering = 0;  // curvature index j of j / n / radius; rotations +-1
  bool closed = false;
};

struct Entry {
  double f;
  double h;
  std::uint32_t node;
  std::uint64_t sequence;
  // std::priority_queue pops the largest: the smallest f, then h, then the earliest push.
  bool operator<(const Entry& o) const {
    return std::tie(o.f, o.h, o.sequence) < std::tie(f, h, sequence);
  }
};

// How far a step's chord, taken the way the step is driven, leans off the heading it starts
// from, beyond the turn the step makes (a car drives a step only if this is not positive).
double leanBeyondTurn(const Pose2D& from, const Pose2D& to) {
  const double dx = to.x - from.x;
  const double dy = to.y - from.y;
  const bool behind = dx * std::cos(from.yaw) + dy * std::sin(from.yaw) < 0.0;
  const double lean = normalizeYaw(std::atan2(dy, dx) + (behind ? kPi : 0.0) - from.yaw);
  return std::fabs(lean) - std::fabs(normalizeYaw(to.yaw - from.yaw));
}

bool sideways(const Pose2D& from, const Pose2D& to) {
  return std::hypot(to.x - from.x, to.y - from.y) > 1e-9 && leanBeyondTurn(from, to) > 1e-9;
}

// The output resampling of a car's path: chords, as PathSmoother::resample makes them, unless
// a step of them leaves its pose sideways. Then each stretch between two path poses whose chord
// steps include such a step has its inner poses on the circle through both that turns as their
// headings do (one more step where the arc's steps would exceed the spacing).
std::vector<Pose2D> carResample(const std::vector<Pose2D>& path, double spacing, bool car) {
  std::vector<Pose2D> chords = PathSmoother::resample(path, spacing);
  bool any = false;
  for (std::size_t i = 1; car && i < chords.size(); ++i) {
    any = any || sideways(chords[i - 1], chords[i]);
  }
  if (!any) {
    return chords;
  }
  std::vector<Pose2D> out{path.front()};
  for (std::size_t i = 1; i < path.size(); ++i) {
    const Pose2D a = path[i - 1];
    const Pose2D b = path[i];
    if (std::hypot(b.x - a.x, b.y - a.y) < 1e-12) {  // the same position
      if (std::fabs(normalizeYaw(b.yaw - out.back().yaw)) > 1e-12) {
        out.push_back(b);
      }
      continue;
    }
    const std::vector<Pose2D> stretch = PathSmoother::resample({a, b}, spacing);
    bool bad = false;
    for (std::size_t j = 1; j < stretch.size(); ++j) {
      bad = bad || sideways(stretch[j - 1], stretch[j]);
    }
    const double turn = normalizeYaw(b.yaw - a.yaw);
    std::size_t k = stretch.size() - 1;
    if (!bad || k < 2 || std::fabs(turn) <= 1e-9) {
      out.insert(out.end(), stretch.begin() + 1, stretch.end());
      continue;
    }
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double diameter = std::hypot(dx, dy) / std::sin(std::fabs(turn) / 2.0);
    if (diameter * std::sin(std::fabs(turn) / (2.0 * static_cast<double>(k))) > spacing) {
      ++k;
    }
    for (std::size_t j = 1; j < k; ++j) {
      const double t = static_cast<double>(j) / static_cast<double>(k);
      const double along = diameter * std::sin(std::fabs(turn) * t / 2.0);
      const double heading = std::atan2(dy, dx) - turn / 2.0 + t * turn / 2.0;
      out.push_back(Pose2D{a.x + along * std::cos(heading), a.y + along * std::sin(heading),
                           normalizeYaw(t * turn + a.yaw)});
    }
    out.push_back(stretch.back());
  }
  return out;
}

bool finitePose(const Pose2D& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.yaw);
}

std::uint32_t referenceKey(const Costmap& map, std::uint32_t bins, const Pose2D& pose) {
  GridIndex cell;
  if (!map.worldToMap(pose.x, pose.y, cell) || !std::isfinite(pose.yaw)) {
    return kNone;
  }
  double r = std::fmod(pose.yaw, kTwoPi);
  if (r < 0.0) {
    r = r + kTwoPi;
  }
  const auto bin =
      static_cast<std::uint32_t>(std::floor(r / kTwoPi * static_cast<double>(bins) + 1e-9)) % bins;
  return static_cast<std::uint32_t>(cell.y * map.width() + cell.x) * bins + bin;
}

// The motions from a node, by the documented rules: straight and arcs forwards and, if allowed,
// backwards, or straight moves and turns on the spot. Each motion is one cell long, or one yaw
// bin of arc when that is longer; on cells so coarse that a cell-long arc would turn more than a
// quarter turn, arcs turn one yaw bin instead. With more steering angles, n curvatures a side,
// j / n / radius, whose arcs below full lock turn the fewest whole yaw bins (one at least) that
// make them at least a motion long, or one bin where a motion-long arc would turn a quarter turn.
struct Motion {
  Direction direction;
  int steering;
  double length;
  std::vector<Pose2D> samples;
};

struct Lattice {
  double radius, length, arc_length, step, bin;
  bool reverse, in_place;
  int per_side;

  Lattice(double resolution, const PlannerConfig& c)
      : radius(c.minimum_turning_radius),
        step(c.collision_check_step),
        bin(kTwoPi / c.angle_bins),
        reverse(c.allow_reverse),
        in_place(c.allow_in_place_rotation),
        per_side(in_place ? 1 : static_cast<int>(c.steering_angles - 1) / 2) {
    const double bin_arc = (kTwoPi * radius) / c.angle_bins;
    length = in_place ? resolution : std::max(bin_arc, resolution);
    arc_length = length > 1.5707963267948966 * radius ? bin_arc : length;
  }

  Motion make(const Pose2D& p, Direction direction, int steering) const {
    const double turn = static_cast<double>(steering);
    if (direction == Direction::ROTATION) {
      return {direction, steering, length, {{p.x, p.y, normalizeYaw(turn * bin + p.yaw)}}};
    }
    const double kappa = (turn / per_side) / radius;
    double arc = arc_length;
    if (std::abs(steering) < per_side) {
      const double bins = length * std::fabs(kappa) > 1.5707963267948966
                              ? 1.0
                              : std::max(1.0, std::ceil(length * std::fabs(kappa) / bin));
      arc = bins * bin / std::fabs(kappa);
    }
    Motion m{direction, steering, steering == 0 ? length : arc, {}};
    const double n = std::max(1.0, std::ceil(m.length / step));
    const double d = static_cast<double>(direction) * m.length;
    for (double k = 1; k <= n; ++k) {
      const double s = (k * d) / n;
      if (steering == 0) {
        m.samples.push_back({p.x + std::cos(p.yaw) * s, p.y + std::sin(p.yaw) * s, p.yaw});
      } else {
        const double yaw = s * kappa + p.yaw;
        m.samples.push_back({p.x + (std::sin(yaw) - std::sin(p.yaw)) / kappa,
                             p.y - (std::cos(yaw) - std::cos(p.yaw)) / kappa, normalizeYaw(yaw)});
      }
    }
    return m;
  }

  std::vector<Motion> successors(const Pose2D& p) const {
    std::vector<Motion> out;
    for (const Direction direction : {Direction::FORWARD, Direction::REVERSE}) {
      if (direction == Direction::FORWARD || reverse) {
        out.push_back(make(p, direction, 0));
        for (int j = per_side; j >= 1 && !in_place; --j) {
          out.push_back(make(p, direction, j));
          out.push_back(make(p, direction, -j));
        }
      }
    }
    if (in_place) {
      out.push_back(make(p, Direction::ROTATION, 1));
      out.push_back(make(p, Direction::ROTATION, -1));
    }
    return out;
  }
};

// The cost of reaching a node by `m` from a node of cost g that was itself reached by `arrival`
// (none for the start), with c the largest cost under the motion's samples.
double stepCost(const PlannerConfig& c, const Motion& m, std::uint8_t cost, const Node* arrival,
                double g) {
  double step = m.length + (cost / 252.0) * c.cost_penalty * m.length;
  if (m.direction != Direction::ROTATION) {
    const double share = c.scale_steering_penalty_with_curvature
                             ? std::abs(m.steering) / ((c.steering_angles - 1) / 2.0)
                             : 1.0;
    step += m.steering != 0 ? c.non_straight_penalty * share : 0.0;
    step += m.direction == Direction::REVERSE ? c.reverse_penalty : 0.0;
  }
  if (arrival != nullptr) {
    step += m.direction != arrival->direction ? c.direction_switch_penalty : 0.0;
    const bool steers = m.direction != Direction::ROTATION && m.steering != arrival->steering;
    step += steers ? c.steering_change_penalty : 0.0;
  }
  return step + c.retrospective_penalty * g + g;
}

double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

PlannerResult ReferencePlanner::plan(const PlanRequest& request, const PlannerConfig& config) {
  const auto t0 = std::chrono::steady_clock::now();
  PlannerResult result;
  result.map_revision = request.map_revision;
  result.goal_revision = request.goal_revision;
  result.robot_revision = request.robot_revision;
  PlannerDiagnostics& diag = result.diagnostics;
  auto fail = [&](PlannerStatus status, const std::string& message) {
    result.status = status;
    result.message = message;
    return result;
  };

  const std::vector<std::string> config_problems = config.validate();
  if (!config_problems.empty()) {
    return fail(PlannerStatus::INVALID_REQUEST, config_problems.front());
  }
  const std::vector<std::string> footprint_problems = validateFootprint(request.footprint);
  if (!footprint_problems.empty()) {
    return fail(PlannerStatus::INVALID_REQUEST, footprint_problems.front());
  }
  if (!finitePose(request.start) || !finitePose(request.goal)) {
    return fail(PlannerStatus::INVALID_REQUEST, "start and goal poses must be finite");
  }
  GridIndex start_cell;
  GridIndex goal_cell;
  if (!costmap_.worldToMap(request.start.x, request.start.y, start_cell)) {
    return fail(PlannerStatus::START_OUT_OF_BOUNDS, "start is outside costmap");
  }
  if (!costmap_.worldToMap(request.goal.x, request.goal.y, goal_cell)) {
    return fail(PlannerStatus::GOAL_OUT_OF_BOUNDS, "goal is outside costmap");
  }
  const bool unknown = config.allow_unknown;
  const Footprint& footprint = request.footprint;
  if (referenceCheck(costmap_, unknown, request.start, footprint).collision) {
    return fail(PlannerStatus::START_IN_COLLISION, "start footprint is in collision");
  }
  if (referenceCheck(costmap_, unknown, request.goal, footprint).collision) {
    return fail(PlannerStatus::GOAL_IN_COLLISION, "goal footprint is in collision");
  }

  std::vector<double> field;
  if (!config.cache_obstacle_heuristic) {
    field = obstacleHeuristicDistances(costmap_, goal_cell, unknown, config.cost_penalty);
  } else {
    const CacheKey key{request.map_revision, goal_cell.x, goal_cell.y, unknown,
                       config.cost_penalty};
    diag.obstacle_heuristic_cache_hit = cache_key_ == key;
    if (!diag.obstacle_heuristic_cache_hit) {
      cache_field_ = obstacleHeuristicDistances(costmap_, goal_cell, unknown, config.cost_penalty);
      cache_key_ = key;
    }
    field = cache_field_;
  }

  std::optional<KinematicStateSpace> space;
  if (!config.allow_in_place_rotation) {
    space.emplace(config.minimum_turning_radius, config.allow_reverse);
    const double extent =
        static_cast<double>(std::max(costmap_.width(), costmap_.height())) * costmap_.resolution();
    if (!(extent <= KinematicStateSpace::kMaxReachInRadii * config.minimum_turning_radius)) {
      return fail(PlannerStatus::INVALID_REQUEST,
                  "minimum_turning_radius is too small for the costmap extent");
    }
  }

  const std::uint64_t cells = costmap_.width() * costmap_.height();  // the costmap checked it
  if (cells > std::uint64_t{0xFFFFFFFFu} / config.angle_bins) {
    return fail(PlannerStatus::INVALID_REQUEST,
                "costmap/yaw node pool exceeds 32-bit index capacity");
  }
  const std::uint32_t bins = config.angle_bins;
  std::vector<std::uint32_t> index(cells * bins, kNone);
  std::vector<Node> nodes;
  auto getOrCreate = [&](std::uint32_t key) {
    if (index[key] == kNone) {
      index[key] = static_cast<std::uint32_t>(nodes.size());
      nodes.push_back(Node{});
    }
    return index[key];
  };
  const Pose2D goal = request.goal;
  auto heuristicCost = [&](const Pose2D& pose) {
    GridIndex cell;
    if (!costmap_.worldToMap(pose.x, pose.y, cell)) {
      return kInf;
    }
    const double o = field[cell.y * costmap_.width() + cell.x];
    if (!space || !(o < kInf)) {
      return o;
    }
    const double k = space->distance(pose, goal);
    return k > o ? k : o;
  };

  const std::uint32_t start = getOrCreate(referenceKey(costmap_, bins, request.start));
  nodes[start].pose = request.start;
  nodes[start].g = 0.0;
  const double h0 = heuristicCost(request.start);
  if (!std::isfinite(h0)) {
    return fail(PlannerStatus::NO_PATH, "goal is disconnected in obstacle heuristic");
  }
  std::priority_queue<Entry> open;
  open.push(Entry{h0, h0, start, 0});
  std::uint64_t sequence = 1;

  const Lattice lattice(costmap_.resolution(), config);
  if (!(std::ceil(lattice.length / lattice.step) <= 100000.0)) {
    return fail(PlannerStatus::INVALID_REQUEST,
                lattice.length > costmap_.resolution()
                    ? "minimum_turning_radius is too large for angle_bins and collision_check_step"
                    : "collision_check_step is too small for the primitive length");
  }
  const double ratio = std::ceil(config.analytic_expansion_ratio);
  std::uint64_t interval = ratio >= 18446744073709551615.0
                               ? std::numeric_limits<std::uint64_t>::max()
                               : static_cast<std::uint64_t>(ratio);
  if (interval == 0) {
    interval = 1;
  }

  std::vector<KinematicSample> analytic;
  std::optional<std::uint32_t> goal_node;
  while (!open.empty() && !goal_node) {
    const Entry top = open.top();
    open.pop();
    if (nodes[top.node].closed) {
      continue;
    }
    nodes[top.node].closed = true;
    ++diag.expanded_nodes;
    const Node node = nodes[top.node];
    const Pose2D p = node.pose;
    if (std::hypot(goal.x - p.x, goal.y - p.y) <= config.position_tolerance &&
        std::fabs(normalizeYaw(goal.yaw - p.yaw)) <= config.yaw_tolerance) {
      goal_node = top.node;
      break;
    }
    if (space && diag.expanded_nodes % interval == 0) {
      const double d = space->distance(p, goal);
      if (d <= config.analytic_expansion_max_length) {
        bool passed = true;
        std::vector<KinematicSample> samples;
        try {
          samples = space->interpolateWithDirections(p, goal, config.collision_check_step);
        } catch (const std::invalid_argument&) {
          passed = false;
        }
        for (std::size_t i = 0; passed && i < samples.size(); ++i) {
          const CollisionResult r = referenceCheck(costmap_, unknown, samples[i].pose, footprint);
          ++diag.collision_checks;
          if (r.collision || r.max_cost > config.analytic_expansion_max_cost) {
            passed = false;
          }
        }
        if (passed) {
          analytic = samples;
          goal_node = top.node;
          break;
        }
      }
    }
    if (diag.expanded_nodes % config.terminal_check_interval == 0 &&
        secondsSince(t0) > config.max_planning_time_seconds) {
      return fail(PlannerStatus::TIMEOUT, "planning timed out");
    }
    if (diag.expanded_nodes >= config.max_expanded_nodes) {
      return fail(PlannerStatus::MAX_NODES_EXCEEDED, "maximum expanded nodes exceeded");
    }
    for (const Motion& primitive : lattice.successors(p)) {
      ++diag.generated_nodes;
      std::uint8_t cost = 0;
      bool collides = false;
      for (const Pose2D& sample : primitive.samples) {
        const CollisionResult r = referenceCheck(costmap_, unknown, sample, footprint);
        ++diag.collision_checks;
        if (r.collision) {
          collides = true;
          break;
        }
        cost = std::max(cost, r.max_cost);
      }
      if (collides) {
        continue;
      }
      const Pose2D end = primitive.samples.back();
      std::uint32_t key = referenceKey(costmap_, bins, end);
      if (key != kNone && index[key] == top.node) {
        // A step of a whole cell along an axis has left its cell, whatever the rounding says.
        const double cell = costmap_.resolution();
        const bool across_x = std::fabs(end.x - p.x) >= cell * (1.0 - 1e-9);
        const bool across_y = std::fabs(end.y - p.y) >= cell * (1.0 - 1e-9);
        key = kNone;
        if (across_x || across_y) {
          const Pose2D beyond{end.x + (across_x ? std::copysign(cell * 1e-6, end.x - p.x) : 0.0),
                              end.y + (across_y ? std::copysign(cell * 1e-6, end.y - p.y) : 0.0),
                              end.yaw};
          key = referenceKey(costmap_, bins, beyond);
        }
      }
      if (key == kNone || index[key] == top.node) {
        continue;
      }
      const std::uint32_t child = getOrCreate(key);
      if (nodes[child].closed) {
        continue;
      }
      const double g =
          stepCost(config, primitive, cost, node.parent != kNone ? &node : nullptr, node.g);
      if (!(g < nodes[child].g)) {
        continue;
      }
      nodes[child].pose = end;
      nodes[child].g = g;
      nodes[child].parent = top.node;
      nodes[child].direction = primitive.direction;
      nodes[child].steering = primitive.steering;
      const double h = heuristicCost(end);
      if (std::isfinite(h)) {
        open.push(Entry{g + h, h, child, sequence++});
      }
    }
  }
  if (!goal_node) {
    return fail(PlannerStatus::NO_PATH, "open set exhausted");
  }

  // Result assembly and post-processing.
  std::vector<Pose2D> path;
  std::vector<Direction> labels;
  for (std::uint32_t at = *goal_node; at != kNone; at = nodes[at].parent) {
    path.insert(path.begin(), nodes[at].pose);
    labels.insert(labels.begin(), nodes[at].direction);
  }
  for (const KinematicSample& sample : analytic) {
    path.push_back(sample.pose);
  }
  // Steps along the chain (the start's label is no step; its change to the first is no switch),
  // then along the curve, which continues from the goal node's label.
  for (std::size_t i = 1; i < labels.size(); ++i) {
    diag.reverse_count += labels[i] == Direction::REVERSE ? 1 : 0;
    diag.in_place_rotation_count += labels[i] == Direction::ROTATION ? 1 : 0;
    diag.direction_switch_count += i >= 2 && labels[i] != labels[i - 1] ? 1 : 0;
  }
  for (const KinematicSample& sample : analytic) {
    diag.reverse_count += sample.direction == Direction::REVERSE ? 1 : 0;
    diag.direction_switch_count += sample.direction != labels.back() ? 1 : 0;
    labels.push_back(sample.direction);
  }

  const CollisionChecker checker(costmap_, unknown);
  const std::vector<Pose2D> raw = path;
  if (config.smooth_path && diag.reverse_count == 0 && diag.in_place_rotation_count == 0 &&
      diag.direction_switch_count == 0) {
    path = PathSmoother::smooth(path, checker, footprint, config);
  }
  const bool check_radius = !config.allow_in_place_rotation;
  std::vector<Pose2D> out = carResample(path, config.path_output_spacing, check_radius);
  const bool collides = checker.validatePath(out, footprint, config.collision_check_step).collision;
  if (!collides &&
      (!check_radius || PathSmoother::respectsTurningRadius(out, config.minimum_turning_radius))) {
    path = out;
  } else {
    const std::vector<Pose2D> fallback = carResample(raw, config.path_output_spacing, check_radius);
    const bool raw_collides =
        checker.validatePath(fallback, footprint, config.collision_check_step).collision;
    const std::string prefix = "postprocessed path failed validation: collision=";
    std::string failure;
    if (check_radius &&
        !PathSmoother::respectsTurningRadius(fallback, config.minimum_turning_radius)) {
      failure = prefix + (raw_collides ? "true" : "false") + ", curvature=invalid";
    } else if (raw_collides) {
      failure = prefix + "true, curvature=valid";
    }
    if (failure.empty()) {
      path = fallback;
    } else {
      // Last resort: the samples the search checked, primitive by primitive, then the curve.
      std::vector<std::uint32_t> chain;
      for (std::uint32_t at = *goal_node; at != kNone; at = nodes[at].parent) {
        chain.insert(chain.begin(), at);
      }
      std::vector<Pose2D> searched{nodes[chain.front()].pose};
      for (std::size_t i = 1; i < chain.size(); ++i) {
        const Node& n = nodes[chain[i]];
        const Motion m = lattice.make(nodes[chain[i - 1]].pose, n.direction, n.steering);
        searched.insert(searched.end(), m.samples.begin(), m.samples.end());
      }
      for (const KinematicSample& sample : analytic) {
        searched.push_back(sample.pose);
      }
      const std::vector<Pose2D> driven =
          carResample(searched, config.path_output_spacing, check_radius);
      if (checker.validatePath(driven, footprint, config.collision_check_step * (1.0 + 1e-9))
              .collision ||
          (check_radius &&
           !PathSmoother::respectsTurningRadius(driven, config.minimum_turning_radius))) {
        return fail(PlannerStatus::INTERNAL_ERROR, failure);
      }
      path = driven;
    }
  }
  result.status = PlannerStatus::SUCCESS;
  result.message = "path found";
  // Each pose's label is the step leaving it: behind the heading, on the spot, or repeating the
  // previous label when nothing moves; the last pose copies the one before.
  std::vector<Direction>& labels_out = result.directions;
  labels_out.assign(path.size(), Direction::FORWARD);
  diag.in_place_rotation_count = 0;
  for (std::size_t i = 0; i + 1 < path.size(); ++i) {
    const double dx = path[i + 1].x - path[i].x;
    const double dy = path[i + 1].y - path[i].y;
    if (std::hypot(dx, dy) > 1e-9) {
      const bool behind = dx * std::cos(path[i].yaw) + dy * std::sin(path[i].yaw) < 0.0;
      labels_out[i] = behind ? Direction::REVERSE : Direction::FORWARD;
    } else if (std::fabs(normalizeYaw(path[i + 1].yaw - path[i].yaw)) > 1e-9) {
      labels_out[i] = Direction::ROTATION;
      ++diag.in_place_rotation_count;
    } else if (i > 0) {
      labels_out[i] = labels_out[i - 1];
    }
  }
  if (path.size() > 1) {
    labels_out.back() = labels_out[path.size() - 2];
  }
  double length = 0.0;
  for (std::size_t i = 1; i < path.size(); ++i) {
    length += std::hypot(path[i].x - path[i - 1].x, path[i].y - path[i - 1].y);
  }
  diag.path_length = length;
  result.path = path;
  return result;
}

}  // namespace veltrax::se2::oracles
