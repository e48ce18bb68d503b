// A whole planning call on a small fuzzed map with fuzzed poses and a fuzzed, bounded
// configuration: plan() reports every outcome in its result, and a path it calls a success is
// collision-free, drivable and reproducible.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/planner.hpp"
#include "veltrax/se2/smoother.hpp"

namespace {

using namespace veltrax::se2;

bool samePoses(const std::vector<Pose2D>& a, const std::vector<Pose2D>& b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].x != b[i].x || a[i].y != b[i].y || a[i].yaw != b[i].yaw) {
      return false;
    }
  }
  return true;
}

Costmap fuzzedMap(FuzzedDataProvider& in) {
  const std::uint64_t width = in.ConsumeIntegralInRange<std::uint64_t>(1, 24);
  const std::uint64_t height = in.ConsumeIntegralInRange<std::uint64_t>(1, 24);
  const double resolution = in.ConsumeFloatingPointInRange(0.05, 0.25);
  // Mostly free space with a few obstacles: a map of random bytes is almost all lethal.
  std::vector<std::uint8_t> cells(width * height, 0);
  const std::size_t marks = in.ConsumeIntegralInRange<std::size_t>(0, 48);
  for (std::size_t i = 0; i < marks; ++i) {
    const std::size_t at = in.ConsumeIntegralInRange<std::size_t>(0, cells.size() - 1);
    cells[at] = in.ConsumeIntegral<std::uint8_t>();
  }
  return Costmap(width, height, resolution, 0.0, 0.0, std::move(cells));
}

Pose2D fuzzedPose(FuzzedDataProvider& in, const Costmap& map) {
  const double w = static_cast<double>(map.width()) * map.resolution();
  const double h = static_cast<double>(map.height()) * map.resolution();
  Pose2D pose;
  pose.x = fuzz::boundedOrHostile(in, -0.1 * w, 1.1 * w);
  pose.y = fuzz::boundedOrHostile(in, -0.1 * h, 1.1 * h);
  pose.yaw = fuzz::boundedOrHostile(in, -7.0, 7.0);
  return pose;
}

PlannerConfig fuzzedConfig(FuzzedDataProvider& in) {
  PlannerConfig c;
  c.minimum_turning_radius = fuzz::boundedOrHostile(in, 0.05, 1.5);
  c.allow_in_place_rotation = in.ConsumeBool();
  c.allow_reverse = in.ConsumeBool();
  c.angle_bins = in.ConsumeIntegralInRange<std::uint32_t>(6, 96);
  c.position_tolerance = fuzz::boundedOrHostile(in, 0.0, 0.5);
  c.yaw_tolerance = fuzz::boundedOrHostile(in, 0.0, 1.0);
  c.collision_check_step = fuzz::boundedOrHostile(in, 0.01, 0.2);
  c.path_output_spacing = fuzz::boundedOrHostile(in, 0.01, 0.5);
  c.cost_penalty = fuzz::boundedOrHostile(in, 0.0, 5.0);
  c.non_straight_penalty = in.ConsumeFloatingPointInRange(0.0, 3.0);
  c.reverse_penalty = in.ConsumeFloatingPointInRange(0.0, 3.0);
  c.direction_switch_penalty = in.ConsumeFloatingPointInRange(0.0, 3.0);
  c.steering_change_penalty = in.ConsumeFloatingPointInRange(0.0, 1.0);
  c.retrospective_penalty = in.ConsumeFloatingPointInRange(0.0, 0.1);
  // The bound that keeps every input quick.
  c.max_expanded_nodes = in.ConsumeIntegralInRange<std::uint64_t>(0, 1500);
  // Generous, so that no result depends on the speed of the machine.
  c.max_planning_time_seconds = 600.0;
  c.terminal_check_interval = in.ConsumeIntegralInRange<std::uint32_t>(0, 64);
  c.allow_unknown = in.ConsumeBool();
  c.cache_obstacle_heuristic = in.ConsumeBool();
  c.analytic_expansion_ratio = fuzz::boundedOrHostile(in, 0.5, 10.0);
  c.analytic_expansion_max_length = fuzz::boundedOrHostile(in, 0.1, 10.0);
  c.analytic_expansion_max_cost = in.ConsumeIntegral<std::uint8_t>();
  c.smooth_path = in.ConsumeBool();
  c.smoother_max_iterations = in.ConsumeIntegralInRange<std::uint32_t>(0, 200);
  c.smoother_weight_data = in.ConsumeFloatingPointInRange(0.0, 1.0);
  c.smoother_weight_smooth = in.ConsumeFloatingPointInRange(0.0, 1.0);
  c.smoother_tolerance = fuzz::boundedOrHostile(in, 1e-12, 1e-3);
  c.lattice_cell_size = fuzz::boundedOrHostile(in, 0.0, 1.0);
  c.check_improving_successors_only = in.ConsumeBool();
  // The car's aids: the estimate of its manoeuvres and the search from the goal.
  c.manoeuvre_heuristic = in.ConsumeBool();
  c.search_from_goal = in.ConsumeBool();
  // A stalled search's harder weight, switched on and back within the node bound.
  c.stall_expansions = in.ConsumeIntegralInRange<std::uint64_t>(0, 1500);
  c.stall_heuristic_weight = fuzz::boundedOrHostile(in, 1.0, 6.0);
  c.stall_weight_expansions = in.ConsumeIntegralInRange<std::uint64_t>(0, 1500);
  c.lazy_kinematic_heuristic = in.ConsumeBool();
  c.stall_expansions_per_metre = fuzz::boundedOrHostile(in, 0.0, 200.0);
  return c;
}

Footprint fuzzedFootprint(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) {
    return CircleFootprint{fuzz::boundedOrHostile(in, 0.01, 0.4)};
  }
  const double half_length = in.ConsumeFloatingPointInRange(0.01, 0.4);
  const double half_width = in.ConsumeFloatingPointInRange(0.01, 0.3);
  return PolygonFootprint{{{half_length, half_width},
                           {-half_length, half_width},
                           {-half_length, -half_width},
                           {half_length, -half_width}}};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const Costmap map = fuzzedMap(in);
  const HybridAStar planner(map);
  PlanRequest request;
  request.start = fuzzedPose(in, map);
  request.goal = fuzzedPose(in, map);
  request.footprint = fuzzedFootprint(in);
  request.map_revision = in.ConsumeIntegral<std::uint64_t>();
  request.goal_revision = in.ConsumeIntegral<std::uint64_t>();
  request.robot_revision = in.ConsumeIntegral<std::uint64_t>();
  const PlannerConfig config = fuzzedConfig(in);
  CancellationToken token;
  if (in.ConsumeIntegral<std::uint8_t>() == 0) {
    token.cancel();
  }

  const PlannerResult result = planner.plan(request, config, &token);

  fuzz::require(
      result.matchesRevisions(request.map_revision, request.goal_revision, request.robot_revision),
      "revisions are copied");
  fuzz::require(!result.message.empty(), "every outcome has a message");
  fuzz::require(result.status != PlannerStatus::TIMEOUT, "no timeout within the budget");
  if (token.cancelled()) {
    fuzz::require(result.status == PlannerStatus::CANCELLED ||
                      result.status == PlannerStatus::INVALID_REQUEST,
                  "a cancelled token stops the call", result.message);
  }
  if (result.status != PlannerStatus::SUCCESS) {
    fuzz::require(result.path.empty() && result.directions.empty(), "failures carry no path",
                  result.message);
    // Post-processing may refuse what the search found (resampling a long arc primitive yields
    // chords tighter than the radius allows); that is a reported outcome, not a crash. Anything
    // else called an internal error is a bug.
    fuzz::require(result.status != PlannerStatus::INTERNAL_ERROR ||
                      result.message.rfind("postprocessed path failed validation: ", 0) == 0,
                  "no internal error", result.message);
    return 0;
  }

  fuzz::require(result.message == "path found", "success message", result.message);
  fuzz::require(!result.path.empty(), "a success has a path");
  fuzz::require(result.directions.size() == result.path.size(), "one direction per pose");
  const Pose2D& first = result.path.front();
  fuzz::require(first.x == request.start.x && first.y == request.start.y,
                "the path starts at the start");
  const Pose2D& last = result.path.back();
  fuzz::require(std::hypot(last.x - request.goal.x, last.y - request.goal.y) <=
                    config.position_tolerance + 1e-9,
                "the path ends at the goal");
  const CollisionChecker checker(planner.costmap(), config.allow_unknown);
  fuzz::require(
      !checker.validatePath(result.path, request.footprint, config.collision_check_step).collision,
      "a successful path is collision-free");
  if (!config.allow_in_place_rotation) {
    fuzz::require(PathSmoother::respectsTurningRadius(result.path, config.minimum_turning_radius),
                  "a successful path respects the turning radius");
  }
  for (std::size_t i = 1; i < result.path.size(); ++i) {
    const double step = std::hypot(result.path[i].x - result.path[i - 1].x,
                                   result.path[i].y - result.path[i - 1].y);
    fuzz::require(step <= config.path_output_spacing * (1.0 + 1e-9), "output spacing holds");
  }

  // The same call again, now with a warm workspace and maybe a cache hit, gives the same path.
  const PlannerResult again = planner.plan(request, config, &token);
  fuzz::require(again.status == result.status && again.message == result.message &&
                    samePoses(again.path, result.path) && again.directions == result.directions,
                "planning is deterministic");
  return 0;
}
