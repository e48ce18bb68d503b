#include "veltrax/se2/planner.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

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

// Everything a planner owns, behind one pointer so that the planner moves while its mutex and
// its costmap stay where they are.
struct HybridAStar::State {
  explicit State(Costmap map) : costmap(std::move(map)) {}

  Costmap costmap;
  std::mutex workspace_mutex;
  // The node pool, scratch buffers and the obstacle heuristic cache, all used under the mutex.
  Workspace workspace;
};

HybridAStar::HybridAStar(Costmap costmap) : state_(std::make_unique<State>(std::move(costmap))) {}

HybridAStar::~HybridAStar() = default;
HybridAStar::HybridAStar(HybridAStar&& other) noexcept = default;
HybridAStar& HybridAStar::operator=(HybridAStar&& other) noexcept = default;

const Costmap& HybridAStar::costmap() const& noexcept { return state_->costmap; }

void HybridAStar::setCostmap(Costmap costmap) {
  if (!state_) {
    return;
  }
  const std::lock_guard<std::mutex> workspace_lock(state_->workspace_mutex);
  state_->costmap = std::move(costmap);
  state_->workspace.forgetMap();
}

PlannerResult HybridAStar::plan(const PlanRequest& request, const PlannerConfig& config,
                                const CancellationToken* token) const {
  const auto t0 = detail::Clock::now();
  PlannerResult result;
  result.map_revision = request.map_revision;
  result.goal_revision = request.goal_revision;
  result.robot_revision = request.robot_revision;
  if (!state_) {
    detail::endPlan(result, PlannerStatus::INTERNAL_ERROR, "planner was moved from");
    return result;
  }
  if (acceptsRequest(request, config, token, result)) {
    const std::lock_guard<std::mutex> workspace_lock(state_->workspace_mutex);
    detail::runSearch(state_->costmap, state_->workspace, request, config, token, t0, result);
  }
  return result;
}

}  // namespace veltrax::se2
