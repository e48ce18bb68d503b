#include "veltrax/se2/planner.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "detail/costmap_cells.hpp"
#include "detail/errors.hpp"
#include "detail/search.hpp"
#include "detail/timing.hpp"
#include "detail/workspace.hpp"
#include "veltrax/se2/footprint.hpp"

namespace veltrax::se2 {

namespace {

// Chosen on the benchmark suite: see the README's tuning section.
constexpr double kRecommendedHeuristicWeight = 1.5;
constexpr double kRecommendedInPlaceHeuristicWeight = 3.0;

bool allFinite(const Pose2D& pose) {
  return std::isfinite(pose.x) && std::isfinite(pose.y) && std::isfinite(pose.yaw);
}

// The checks that need neither the costmap nor the workspace, so they run before the lock.
bool acceptsRequest(const PlanRequest& request, const PlannerConfig& config,
                    const CancellationToken* token, PlannerResult& result) {
  using detail::endPlan;
  const std::vector<std::string> config_problems = config.validate();
  if (!config_problems.empty()) {
    return endPlan(result, PlannerStatus::INVALID_REQUEST, config_problems.front());
  }
  const std::vector<std::string> footprint_problems = validateFootprint(request.footprint);
  if (!footprint_problems.empty()) {
    return endPlan(result, PlannerStatus::INVALID_REQUEST, footprint_problems.front());
  }
  if (!allFinite(request.start) || !allFinite(request.goal)) {
    return endPlan(result, PlannerStatus::INVALID_REQUEST, "start and goal poses must be finite");
  }
  // Far beyond a turn a yaw keeps too few bits to say which way the robot faces.
  constexpr double kMaxRequestYaw = 1e6;
  if (!(std::fabs(request.start.yaw) <= kMaxRequestYaw &&
        std::fabs(request.goal.yaw) <= kMaxRequestYaw)) {
    return endPlan(result, PlannerStatus::INVALID_REQUEST,
                   "start and goal yaw must be within 1e6 radians of zero");
  }
  if (token != nullptr && token->cancelled()) {
    return endPlan(result, PlannerStatus::CANCELLED, "planning cancelled");
  }
  return true;
}

}  // namespace

namespace {

// The footprint's extent along the robot's x axis.
double footprintLength(const Footprint& footprint) {
  if (const auto* circle = std::get_if<CircleFootprint>(&footprint)) {
    return 2.0 * circle->radius;
  }
  // A valid footprint has points.
  double x_min = std::numeric_limits<double>::infinity();
  double x_max = -std::numeric_limits<double>::infinity();
  const auto extend = [&](const PolygonFootprint& polygon) {
    for (const Point2D& p : polygon.points) {
      x_min = std::min(x_min, p.x);
      x_max = std::max(x_max, p.x);
    }
  };
  if (const auto* polygon = std::get_if<PolygonFootprint>(&footprint)) {
    extend(*polygon);
  } else if (const auto* multi = std::get_if<MultiPolygonFootprint>(&footprint)) {
    for (const PolygonFootprint& polygon : multi->polygons) {
      extend(polygon);
    }
  }
  return x_max - x_min;
}

PlannerConfig recommendedFor(double resolution, const Footprint& footprint,
                             bool allow_in_place_rotation, double minimum_turning_radius) {
  if (!(std::isfinite(resolution) && resolution > 0.0)) {
    detail::throwInvalidArgument("resolution must be finite and positive");
  }
  const std::vector<std::string> problems = validateFootprint(footprint);
  if (!problems.empty()) {
    detail::throwInvalidArgument(problems.front());
  }
  if (!(std::isfinite(minimum_turning_radius) && minimum_turning_radius > 0.0)) {
    detail::throwInvalidArgument("minimum_turning_radius must be finite and positive");
  }
  PlannerConfig config;
  config.minimum_turning_radius = minimum_turning_radius;
  // The penalties are paid per primitive; this is its length on the lattice of this radius.
  const double step =
      std::max(kTwoPi * config.minimum_turning_radius / config.angle_bins, resolution);
  // Per metre driven: steering costs 30 % more than driving straight and reversing twice as much;
  // a change of steering costs a centimetre and a cusp half a metre. At 5 % the search wove left
  // and right arcs between the straights nearly for free (about 19 curvature sign changes per
  // 10 m of the benchmark suite's paths, a third of that at 30 %, at the same length).
  config.non_straight_penalty = 0.3 * step;
  config.reverse_penalty = 1.0 * step;
  config.steering_change_penalty = 0.01;
  config.direction_switch_penalty = 2.0;
  // A shortest curve to the goal may reverse twice where the search would not.
  config.analytic_expansion_max_cusps = 1;
  config.heuristic_weight = kRecommendedHeuristicWeight;
  config.footprint_aware_heuristic = true;
  config.heuristic_reach_factor = 2.0;
  // Inscribed cells do not block, and goals beside walls of an inflated map are reached
  // through them.
  config.analytic_expansion_max_cost = kInscribedCost;
  // A curve to the goal is cheap to try (a few microseconds, then the checks of its samples),
  // and from farther away it spares the search most of its expansions.
  // On cells so coarse that the lattice's nodes lie too sparse to meet the goal tolerances, a curve
  // must reach across two cells.
  config.analytic_expansion_max_length = std::max(10.0, 2.0 * resolution);
  // From that far a curve often fails near its end; every 16th expansion is often enough.
  config.analytic_expansion_ratio = 16.0;
  // And a curve that fails is refused after a few checks spread along it.
  config.analytic_expansion_coarse_checks = true;
  // Where the search floods a narrow place, half of its successors end in nodes already expanded
  // or already reached more cheaply, and their checks could change nothing.
  config.check_improving_successors_only = true;
  // A reverse shorter than the robot, where driving forwards is about as short, is pointless.
  config.analytic_expansion_min_reverse_length = footprintLength(footprint);
  // On cells coarser than the output spacing, chords of the primitives' arcs would leave poses
  // sideways.
  config.resample_along_arcs = true;
  // A node per third of a step: on cells much finer than a step, nodes a cell or two apart
  // mostly repeat one another's search. Rounded down to whole cells, so that coarser cells keep
  // their own.
  config.lattice_cell_size = step / 3.0;
  config.allow_in_place_rotation = allow_in_place_rotation;
  // A search still going after several times the expansions its way needs (one and a half per
  // step of the start's heuristic, at least 512) is mostly flooding poses its heuristic prices
  // too low: a robot facing a wall it must turn round from, or one that can only reverse out of
  // an aisle. Heading for the goal at twice the weight for a while ends most such floods within
  // a few thousand expansions, with paths about as long; a search it does not help goes back to
  // the usual weight.
  config.stall_expansions = 512;
  config.stall_expansions_per_metre = 1.5 / step;
  config.stall_heuristic_weight = 2.0 * kRecommendedHeuristicWeight;
  // Near the goal the curve to it decides the heuristic of most children, and computing it
  // costs more than the rest of a child; most children are never expanded.
  config.lazy_kinematic_heuristic = true;
  if (allow_in_place_rotation) {
    // Every change between driving and turning on the spot pays the switch penalty; turning
    // there is no cusp, and at half a metre a turn made of a few rotations is avoided at
    // great expense.
    config.direction_switch_penalty = 0.05;
    // The heuristic knows nothing of the turns on the spot a path needs, a cost it misses at
    // every corner; a stronger weight keeps the search from flooding each corridor in all yaws.
    config.heuristic_weight = kRecommendedInPlaceHeuristicWeight;
    // Turning on the spot its weight is already high; more only adds turns.
    config.stall_expansions = 0;
    config.stall_expansions_per_metre = 0.0;
    config.stall_heuristic_weight = 1.0;
  }
  return config;
}

}  // namespace

PlannerConfig recommendedConfig(double resolution, const Footprint& footprint,
                                bool allow_in_place_rotation) {
  return recommendedFor(resolution, footprint, allow_in_place_rotation,
                        PlannerConfig{}.minimum_turning_radius);
}

PlannerConfig recommendedConfig(double resolution, const Footprint& footprint,
                                bool allow_in_place_rotation, double minimum_turning_radius) {
  PlannerConfig config =
      recommendedFor(resolution, footprint, allow_in_place_rotation, minimum_turning_radius);
  // A car named by its radius gets the estimate of its manoeuvres: without it a three-point
  // turn or a parking shuffle costs the search most of the neighbourhood in every yaw.
  config.manoeuvre_heuristic = true;
  // Into a bay or a gap is where a car's queries get hard, and out of one is easy.
  config.search_from_goal = true;
  // With its manoeuvres foreseen, a car's search past a few hundred expansions is mostly working
  // through a real one (turning round in a dead end takes several), not flooding; the harder
  // weight there made such paths 5 % longer.
  if (config.stall_expansions != 0) {
    config.stall_expansions = 2048;
    config.stall_expansions_per_metre = 0.0;
  }
  return config;
}

// Everything a planner owns, behind one pointer so that the planner moves while its mutexes and
// its costmap stay where they are.
struct HybridAStar::State {
  explicit State(Costmap map)
      : costmap(std::move(map)), snapshot(std::make_shared<Costmap>(costmap)) {}

  // Held only for moments: to change the map or to take a snapshot of it, never for a plan.
  std::mutex map_mutex;
  // What costmap() shows, changed in place.
  Costmap costmap;
  // The map plans work on: a plan holds it while it runs, and a change made meanwhile goes to a
  // copy that the next plan takes, so no running plan sees a change.
  std::shared_ptr<Costmap> snapshot;
  // Counts the map's changes; with the windows changed since the workspace last caught up, or
  // a marker of a whole new map.
  std::uint64_t version = 0;
  struct Change {
    std::uint64_t version;
    bool whole;
    detail::Workspace::MapWindow window;
  };
  std::vector<Change> changes;

  std::mutex workspace_mutex;
  // The node pool, scratch buffers and what is derived from the map, used under the mutex.
  detail::Workspace workspace;
};

HybridAStar::HybridAStar(Costmap costmap) : state_(std::make_unique<State>(std::move(costmap))) {}

HybridAStar::~HybridAStar() = default;
HybridAStar::HybridAStar(HybridAStar&& other) noexcept = default;
HybridAStar& HybridAStar::operator=(HybridAStar&& other) noexcept = default;

const Costmap& HybridAStar::costmap() const& noexcept { return state_->costmap; }

namespace {

// Past this many windows waiting for the next plan, it rebuilds instead of repairing.
constexpr std::size_t kMostPendingChanges = 4096;

}  // namespace

void HybridAStar::setCostmap(Costmap costmap) {
  if (!state_) {
    return;
  }
  auto snapshot = std::make_shared<Costmap>(costmap);
  const std::lock_guard<std::mutex> map_lock(state_->map_mutex);
  state_->costmap = std::move(costmap);
  state_->snapshot = std::move(snapshot);
  ++state_->version;
  state_->changes.assign(1, State::Change{state_->version, true, {}});
}

void HybridAStar::updateCostmap(std::uint64_t x0, std::uint64_t y0, std::uint64_t width,
                                std::uint64_t height, const std::vector<std::uint8_t>& cells) {
  if (!state_) {
    return;
  }
  const std::lock_guard<std::mutex> map_lock(state_->map_mutex);
  Costmap& map = state_->costmap;
  if (!(x0 <= map.width() && width <= map.width() - x0 && y0 <= map.height() &&
        height <= map.height() - y0)) {
    detail::throwOutOfRange("update window is outside the costmap");
  }
  if (height != 0 && width > cells.size() / height) {
    detail::throwInvalidArgument("update cells do not match the window size");
  }
  if (cells.size() != width * height) {
    detail::throwInvalidArgument("update cells do not match the window size");
  }
  if (width == 0 || height == 0) {
    return;
  }
  // A running plan holds the snapshot: the change goes to a copy for the next plan.
  if (state_->snapshot.use_count() > 1) {
    state_->snapshot = std::make_shared<Costmap>(map);
  }
  for (Costmap* target : {&map, state_->snapshot.get()}) {
    std::vector<std::uint8_t>& out = detail::CostmapCells::of(*target);
    for (std::uint64_t row = 0; row < height; ++row) {
      std::copy(cells.begin() + static_cast<std::ptrdiff_t>(row * width),
                cells.begin() + static_cast<std::ptrdiff_t>((row + 1) * width),
                out.begin() + static_cast<std::ptrdiff_t>((y0 + row) * map.width() + x0));
    }
  }
  ++state_->version;
  std::vector<State::Change>& changes = state_->changes;
  if (changes.size() >= kMostPendingChanges) {
    changes.assign(1, State::Change{state_->version, true, {}});
  } else {
    changes.push_back(State::Change{state_->version, false, {x0, y0, x0 + width, y0 + height}});
  }
}

PlannerResult HybridAStar::plan(const PlanRequest& request, const PlannerConfig& config,
                                const CancellationToken* token) const {
  const auto entry = detail::Clock::now();
  PlannerResult result;
  result.map_revision = request.map_revision;
  result.goal_revision = request.goal_revision;
  result.robot_revision = request.robot_revision;
  if (!state_) {
    detail::endPlan(result, PlannerStatus::INTERNAL_ERROR, "planner was moved from");
    return result;
  }
  if (!acceptsRequest(request, config, token, result)) {
    return result;
  }
  const std::lock_guard<std::mutex> workspace_lock(state_->workspace_mutex);
  const auto t0 = detail::Clock::now();
  result.diagnostics.wait_time_ms = std::chrono::duration<double, std::milli>(t0 - entry).count();
  detail::Workspace& workspace = state_->workspace;
  std::shared_ptr<const Costmap> snapshot;
  std::vector<detail::Workspace::MapWindow> windows;
  bool whole = false;
  {
    const std::lock_guard<std::mutex> map_lock(state_->map_mutex);
    snapshot = state_->snapshot;
    std::vector<State::Change>& changes = state_->changes;
    for (const State::Change& change : changes) {
      if (change.version > workspace.map_version) {
        whole = whole || change.whole;
        if (!whole) {
          windows.push_back(change.window);
        }
      }
    }
    // Only this workspace reads the changes, and it is about to catch up with all of them.
    changes.clear();
    workspace.map_version = state_->version;
  }
  if (whole) {
    workspace.forgetMap();
  } else if (!windows.empty()) {
    try {
      workspace.repairMap(*snapshot, windows);
    } catch (...) {
      workspace.forgetMap();  // half repaired is no use; the next plan rebuilds
      throw;
    }
  }
  detail::runSearch(*snapshot, workspace, request, config, token, t0, result);
  if (result.diagnostics.total_time_ms > 0.0) {
    result.diagnostics.total_time_ms += result.diagnostics.wait_time_ms;
  }
  return result;
}

}  // namespace veltrax::se2
