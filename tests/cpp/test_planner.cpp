#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "detail/path_labels.hpp"
#include "detail/transition_cost.hpp"
#include "detail/workspace.hpp"
#include "test_support.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2 {
namespace {

using namespace testing_support;

// ---- node keys and capacity

Costmap freeMap(std::uint64_t width, std::uint64_t height, double resolution = 0.05) {
  return Costmap(width, height, resolution, 0.0, 0.0, std::vector<std::uint8_t>(width * height, 0));
}

struct KeyCase {
  double yaw;
  std::uint32_t bins;
  std::uint32_t bin;
};

class StateKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(StateKeyTest, YawBin) {
  const Costmap map = freeMap(10, 10, 1.0);
  const std::uint32_t cell = 3 * 10 + 7;
  EXPECT_EQ(detail::stateKey(map, GetParam().bins, Pose2D{7.5, 3.2, GetParam().yaw}),
            cell * GetParam().bins + GetParam().bin);
}

INSTANTIATE_TEST_SUITE_P(
    Yaws, StateKeyTest,
    ::testing::Values(KeyCase{0.0, 72, 0}, KeyCase{kTwoPi - 1e-12, 72, 0},
                      KeyCase{-kPi / 2, 72, 54}, KeyCase{kPi, 72, 36}, KeyCase{-kPi, 72, 36},
                      // 5 degrees computed with a rounding error below the boundary: upper bin.
                      KeyCase{kTwoPi / 72 * (1 - 1e-15), 72, 1},
                      KeyCase{kTwoPi / 72 * 0.999, 72, 0}, KeyCase{4 * kTwoPi + 0.1, 8, 0},
                      KeyCase{-1e-20, 8, 0}, KeyCase{kTwoPi * 3 / 8 - 1e-3, 8, 2}));

TEST(StateKeyTest, OffMapOrNonFiniteIsInvalid) {
  const Costmap map = freeMap(10, 10, 1.0);
  EXPECT_EQ(detail::stateKey(map, 72, Pose2D{10.0, 1.0, 0.0}), detail::kInvalidIndex);
  EXPECT_EQ(detail::stateKey(map, 72, Pose2D{-0.001, 1.0, 0.0}), detail::kInvalidIndex);
  EXPECT_EQ(detail::stateKey(map, 72, Pose2D{1.0, 1.0, kNaN}), detail::kInvalidIndex);
}

// The two binnings of the library on yaws at and just below bin edges: the footprint templates
// floor the yaw, the state key floors it after kStateKeyYawNudge, so they part only within that
// nudge below an edge (one ulp below here) and agree everywhere else.
struct YawEdgeCase {
  std::uint32_t bins;
  double yaw;
  std::uint32_t template_bin;
  std::uint32_t key_bin;
};

class YawBinEdgeTest : public ::testing::TestWithParam<YawEdgeCase> {};

TEST_P(YawBinEdgeTest, TemplatesAndStateKeysPartOnlyWithinTheNudge) {
  const YawEdgeCase& c = GetParam();
  const YawBinFootprintTemplates templates(CircleFootprint{0.5}, c.bins);
  EXPECT_EQ(templates.yawToBin(c.yaw), c.template_bin) << c.yaw;
  EXPECT_EQ(detail::stateKey(freeMap(1, 1, 1.0), c.bins, Pose2D{0.5, 0.5, c.yaw}), c.key_bin)
      << c.yaw;
}

INSTANTIATE_TEST_SUITE_P(Edges, YawBinEdgeTest,
                         ::testing::Values(YawEdgeCase{8, kTwoPi / 8, 1, 1},
                                           YawEdgeCase{8, kPi / 2, 2, 2},
                                           YawEdgeCase{8, std::nextafter(kPi / 2, 0.0), 1, 2},
                                           YawEdgeCase{8, kPi / 2 - 1e-7, 1, 1},
                                           YawEdgeCase{8, kPi, 4, 4},
                                           YawEdgeCase{8, std::nextafter(kPi, 0.0), 3, 4},
                                           YawEdgeCase{8, std::nextafter(kTwoPi, 0.0), 7, 0},
                                           YawEdgeCase{8, -1e-20, 0, 0},
                                           YawEdgeCase{72, kTwoPi / 72 * (1 - 1e-15), 0, 1},
                                           YawEdgeCase{72, 0.09, 1, 1}));

constexpr Direction F = Direction::FORWARD;
constexpr Direction R = Direction::REVERSE;
constexpr Direction O = Direction::ROTATION;

// ---- the transition cost, which the reference planner shares: checked here on its own

struct CostCase {
  std::string name;
  Direction direction;
  Steering steering;
  std::uint8_t max_cost;
  bool from_start;  // no arrival motion to pay a change against
  Direction arrival_direction;
  Steering arrival_steering;
  double parent_g;
  double retrospective_penalty;
  double expected;
};

std::ostream& operator<<(std::ostream& out, const CostCase& c) { return out << c.name; }

class ChildCostTest : public ::testing::TestWithParam<CostCase> {};

TEST_P(ChildCostTest, LengthCellCostAndPenaltiesInOneSum) {
  const CostCase& c = GetParam();
  PlannerConfig config;
  config.cost_penalty = 2.0;
  config.non_straight_penalty = 0.5;
  config.reverse_penalty = 0.25;
  config.direction_switch_penalty = 4.0;
  config.steering_change_penalty = 0.125;
  config.retrospective_penalty = c.retrospective_penalty;
  MotionPrimitive primitive;
  primitive.direction = c.direction;
  primitive.steering = c.steering;
  primitive.length = 1.0;
  const detail::Arrival arrival{c.arrival_direction, c.arrival_steering};
  EXPECT_EQ(detail::childCost(config, primitive, c.max_cost, c.from_start ? nullptr : &arrival,
                              c.parent_g),
            c.expected);
}

constexpr Steering S = Steering::STRAIGHT;
constexpr Steering L = Steering::LEFT;
constexpr Steering Rt = Steering::RIGHT;

// Length 1; cost 126 of 252 adds half the cost penalty; the start pays no change.
INSTANTIATE_TEST_SUITE_P(
    Motions, ChildCostTest,
    ::testing::Values(
        CostCase{"StraightOnFreeCells", Direction::FORWARD, S, 0, true, Direction::FORWARD, S, 0.0,
                 0.0, 1.0},
        CostCase{"CellCost", Direction::FORWARD, S, 126, true, Direction::FORWARD, S, 0.0, 0.0,
                 2.0},
        CostCase{"Arc", Direction::FORWARD, L, 0, true, Direction::FORWARD, S, 0.0, 0.0, 1.5},
        CostCase{"ReverseArc", Direction::REVERSE, Rt, 0, true, Direction::FORWARD, S, 0.0, 0.0,
                 1.75},
        CostCase{"Cusp", Direction::FORWARD, S, 0, false, Direction::REVERSE, S, 0.0, 0.0, 5.0},
        CostCase{"SteeringChange", Direction::FORWARD, L, 0, false, Direction::FORWARD, S, 0.0, 0.0,
                 1.625},
        CostCase{"EveryPenalty", Direction::REVERSE, L, 126, false, Direction::FORWARD, Rt, 0.0,
                 0.0, 6.875},
        // A turn on the spot pays the switch only: it has no steering to change.
        CostCase{"RotationAfterArc", Direction::ROTATION, L, 0, false, Direction::FORWARD, L, 0.0,
                 0.0, 5.0},
        CostCase{"RetrospectiveShareOfParent", Direction::FORWARD, S, 0, false, Direction::FORWARD,
                 S, 3.0, 0.5, 5.5}),
    [](const ::testing::TestParamInfo<CostCase>& info) { return info.param.name; });

struct LabelCase {
  std::string name;
  std::vector<Pose2D> path;
  std::vector<Direction> labels;
};

std::ostream& operator<<(std::ostream& out, const LabelCase& c) { return out << c.name; }

class DirectionLabelTest : public ::testing::TestWithParam<LabelCase> {};

TEST_P(DirectionLabelTest, Labels) {
  EXPECT_EQ(detail::directionLabels(GetParam().path), GetParam().labels);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DirectionLabelTest,
    ::testing::Values(LabelCase{"empty", {}, {}}, LabelCase{"one_pose", {{1, 2, 3}}, {F}},
                      LabelCase{"forward", {{0, 0, 0}, {0.05, 0, 0}, {0.1, 0, 0}}, {F, F, F}},
                      LabelCase{"reverse", {{0, 0, 0}, {-0.05, 0, 0}, {-0.1, 0, 0}}, {R, R, R}},
                      // A sideways step is not behind the heading: forward.
                      LabelCase{"sideways", {{0, 0, 0}, {0, 0.05, 0}}, {F, F}},
                      LabelCase{"rotation_then_forward",
                                {{0, 0, 0},
                                 {0, 0, 0.1},
                                 {0, 0, 0.2},
                                 {0.05 * std::cos(0.2), 0.05 * std::sin(0.2), 0.2}},
                                {O, O, F, F}},
                      LabelCase{"repeated_pose_copies_previous",
                                {{0, 0, 0}, {-0.05, 0, 0}, {-0.05, 0, 0}, {-0.1, 0, 0}},
                                {R, R, R, R}},
                      LabelCase{"repeated_first_pose_is_forward",
                                {{0, 0, 0}, {0, 0, 0}, {-0.05, 0, 0}},
                                {F, R, R}},
                      // Yaw differences are normalised: 2 pi on the spot is no turn.
                      LabelCase{"full_turn_is_no_rotation", {{0, 0, 0}, {0, 0, kTwoPi}}, {F, F}},
                      LabelCase{"tiny_move_counts_as_none", {{0, 0, 0}, {5e-10, 0, 0.5}}, {O, O}}),
    [](const ::testing::TestParamInfo<LabelCase>& info) { return info.param.name; });

// ---- planning

// A costmap in world coordinates (origin 0, 0): `cost` gives the byte of each cell centre.
Costmap drawMap(double width_m, double height_m, double resolution,
                const std::function<std::uint8_t(double, double)>& cost) {
  const auto width = static_cast<std::uint64_t>(std::llround(width_m / resolution));
  const auto height = static_cast<std::uint64_t>(std::llround(height_m / resolution));
  std::vector<std::uint8_t> cells(width * height);
  for (std::uint64_t y = 0; y < height; ++y) {
    for (std::uint64_t x = 0; x < width; ++x) {
      cells[y * width + x] = cost((x + 0.5) * resolution, (y + 0.5) * resolution);
    }
  }
  return Costmap(width, height, resolution, 0.0, 0.0, std::move(cells));
}

bool inBox(double x, double y, double x0, double y0, double x1, double y1) {
  return x >= x0 && x <= x1 && y >= y0 && y <= y1;
}

PlanRequest makeRequest(Pose2D start, Pose2D goal) {
  PlanRequest request;
  request.start = start;
  request.goal = goal;
  return request;
}

Costmap openField() {
  return drawMap(6, 6, 0.05, [](double, double) -> std::uint8_t { return 0; });
}

// ---- statuses produced by real requests

struct StatusCase {
  std::string name;
  std::function<void(PlanRequest&, PlannerConfig&)> change;
  PlannerStatus status;
  std::string message;
  std::uint64_t expanded;
};

std::ostream& operator<<(std::ostream& out, const StatusCase& s) { return out << s.name; }

// 4 m x 3 m; a lethal block around (3.5, 2.5) and a closed box around (0.5, 2.5).
Costmap statusMap() {
  return drawMap(4, 3, 0.05, [](double x, double y) -> std::uint8_t {
    if (inBox(x, y, 3.3, 2.3, 3.7, 2.7)) {
      return 254;
    }
    const bool box_wall = inBox(x, y, 0.0, 2.0, 1.0, 3.0) && !inBox(x, y, 0.1, 2.1, 0.9, 2.9);
    return box_wall ? 254 : 0;
  });
}

class PlannerStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(PlannerStatusTest, StatusMessageAndCounters) {
  const HybridAStar planner(statusMap());
  PlanRequest request = makeRequest({1.0, 1.0, 0.0}, {3.0, 1.0, 0.0});
  PlannerConfig config;
  GetParam().change(request, config);
  request.map_revision = 11;
  request.goal_revision = 12;
  request.robot_revision = 13;
  const PlannerResult result = planner.plan(request, config);
  EXPECT_EQ(result.status, GetParam().status);
  EXPECT_EQ(result.message, GetParam().message);
  EXPECT_EQ(result.diagnostics.expanded_nodes, GetParam().expanded);
  EXPECT_TRUE(result.path.empty());
  EXPECT_TRUE(result.directions.empty());
  EXPECT_EQ(result.diagnostics.total_time_ms, 0.0);
  EXPECT_TRUE(result.matchesRevisions(11, 12, 13));
}

using Change = std::function<void(PlanRequest&, PlannerConfig&)>;
constexpr PlannerStatus kInvalid = PlannerStatus::INVALID_REQUEST;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Requests, PlannerStatusTest,
    ::testing::Values(
        StatusCase{"bad_bins_and_footprint", Change([](PlanRequest& r, PlannerConfig& c) {
                     c.angle_bins = 4; r.footprint = CircleFootprint{-1.0}; }),
                   kInvalid, "angle_bins must be at least 8", 0},
        StatusCase{"bad_footprint", Change([](PlanRequest& r, PlannerConfig&) {
                     r.footprint = PolygonFootprint{{{0, 0}, {1, 0}}}; }),
                   kInvalid, "polygon footprint requires at least three points", 0},
        StatusCase{"nan_goal_yaw_beats_bounds", Change([](PlanRequest& r, PlannerConfig&) {
                     r.start.x = -50.0; r.goal.yaw = kNaN; }),
                   kInvalid, "start and goal poses must be finite", 0},
        StatusCase{"start_outside", Change([](PlanRequest& r, PlannerConfig&) { r.start.x = 4.0; }),
                   PlannerStatus::START_OUT_OF_BOUNDS, "start is outside costmap", 0},
        StatusCase{"goal_outside", Change([](PlanRequest& r, PlannerConfig&) { r.goal.y = -0.01; }),
                   PlannerStatus::GOAL_OUT_OF_BOUNDS, "goal is outside costmap", 0},
        StatusCase{"start_in_collision", Change([](PlanRequest& r, PlannerConfig&) { r.start = {3.5, 2.2, 0.0}; }),
                   PlannerStatus::START_IN_COLLISION, "start footprint is in collision", 0},
        StatusCase{"goal_in_collision", Change([](PlanRequest& r, PlannerConfig&) { r.goal = {3.5, 2.5, 0.0}; }),
                   PlannerStatus::GOAL_IN_COLLISION, "goal footprint is in collision", 0},
        StatusCase{"node_pool_too_large", Change([](PlanRequest&, PlannerConfig& c) { c.angle_bins = 0x10000000u; }),
                   kInvalid, "costmap/yaw node pool exceeds 32-bit index capacity", 0},
        StatusCase{"goal_walled_off", Change([](PlanRequest& r, PlannerConfig&) { r.goal = {0.5, 2.5, 0.0}; }),
                   PlannerStatus::NO_PATH, "goal is disconnected in obstacle heuristic", 0},
        StatusCase{"one_expansion_budget", Change([](PlanRequest&, PlannerConfig& c) { c.max_expanded_nodes = 1; }),
                   PlannerStatus::MAX_NODES_EXCEEDED, "maximum expanded nodes exceeded", 1},
        StatusCase{"timeout_at_first_check", Change([](PlanRequest&, PlannerConfig& c) {
                     c.terminal_check_interval = 1; c.max_planning_time_seconds = 1e-12; }),
                   PlannerStatus::TIMEOUT, "planning timed out", 1},
        StatusCase{"radius_too_small_for_the_map",
                   Change([](PlanRequest&, PlannerConfig& c) { c.minimum_turning_radius = 1e-7; }),
                   kInvalid, "minimum_turning_radius is too small for the costmap extent", 0},
        StatusCase{"radius_too_large_to_sample",
                   Change([](PlanRequest&, PlannerConfig& c) { c.minimum_turning_radius = 1e9; }),
                   kInvalid, "minimum_turning_radius is too large for angle_bins and collision_check_step", 0},
        StatusCase{"tiny_sample_step", Change([](PlanRequest&, PlannerConfig& c) { c.collision_check_step = 1e-300; }),
                   kInvalid, "collision_check_step is too small for the primitive length", 0}),
    [](const ::testing::TestParamInfo<StatusCase>& info) { return info.param.name; });
// clang-format on

struct PostProcessCase {
  std::string name;
  bool allow_reverse;
  Pose2D start;
  Pose2D goal;
  // Lethal box x0, y0, x1, y1 (metres); empty when x1 < x0.
  double box[4];
  std::string message;
};

std::ostream& operator<<(std::ostream& out, const PostProcessCase& c) { return out << c.name; }

class PostProcessFailureTest : public ::testing::TestWithParam<PostProcessCase> {};

TEST_P(PostProcessFailureTest, ReportsWhichValidationFailed) {
  // The analytic curve is sampled only at its segment ends (sample step longer than the curve),
  // so it can jump over an obstacle or hide a loop that the output path, resampled along the
  // chords and checked densely, reveals. The curve is tried from the start (ratio 1).
  const PostProcessCase& c = GetParam();
  const Costmap map = drawMap(6, 3, 0.05, [&](double x, double y) -> std::uint8_t {
    return inBox(x, y, c.box[0], c.box[1], c.box[2], c.box[3]) ? 254 : 0;
  });
  const HybridAStar planner(map);
  PlannerConfig config;
  config.allow_reverse = c.allow_reverse;
  config.analytic_expansion_ratio = 1.0;
  config.analytic_expansion_max_length = 100.0;
  config.collision_check_step = 100.0;
  const PlannerResult result = planner.plan(makeRequest(c.start, c.goal), config);
  EXPECT_EQ(result.status, PlannerStatus::INTERNAL_ERROR);
  EXPECT_EQ(result.message, c.message);
  EXPECT_TRUE(result.path.empty());
  EXPECT_TRUE(result.directions.empty());
  EXPECT_EQ(result.diagnostics.expanded_nodes, 1u);
  EXPECT_GT(result.diagnostics.total_time_ms, 0.0);
  EXPECT_GT(result.diagnostics.smoothing_time_ms, 0.0);
  EXPECT_EQ(result.diagnostics.path_length, 0.0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Failures, PostProcessFailureTest,
    ::testing::Values(
        // A straight curve jumping over a block.
        PostProcessCase{"collision", true, {1.0, 1.5, 0.0}, {3.0, 1.5, 0.0}, {1.9, 1.4, 2.1, 1.6},
                        "postprocessed path failed validation: collision=true, curvature=valid"},
        // A forward-only loop back to a goal behind the start: its chords turn far too tightly.
        PostProcessCase{"curvature", false, {3.0, 1.5, 0.0}, {2.6, 1.5, 0.0}, {0, 0, -1, -1},
                        "postprocessed path failed validation: collision=false, curvature=invalid"},
        PostProcessCase{"both", false, {3.0, 1.5, 0.0}, {2.6, 1.5, 0.0}, {2.6, 1.8, 2.8, 2.0},
                        "postprocessed path failed validation: collision=true, curvature=invalid"}),
    [](const ::testing::TestParamInfo<PostProcessCase>& info) { return info.param.name; });
// clang-format on

TEST(PlannerTest, ObstacleHeuristicCacheKey) {
  const HybridAStar planner(openField());
  PlanRequest request = makeRequest({1.0, 1.0, 0.0}, {2.0, 1.0, 0.0});
  PlannerConfig config;
  auto hit = [&] { return planner.plan(request, config).diagnostics.obstacle_heuristic_cache_hit; };
  EXPECT_FALSE(hit());
  EXPECT_TRUE(hit());
  request.goal.x = 2.01;  // same cell
  EXPECT_TRUE(hit());
  request.map_revision = 1;
  EXPECT_FALSE(hit());
  EXPECT_TRUE(hit());
  request.goal.x = 2.3;
  EXPECT_FALSE(hit());
  config.allow_unknown = true;
  EXPECT_FALSE(hit());
  config.cost_penalty = 2.5;
  EXPECT_FALSE(hit());
  EXPECT_TRUE(hit());
  // Uncached calls neither hit nor disturb the cache.
  config.cache_obstacle_heuristic = false;
  EXPECT_FALSE(hit());
  request.goal.x = 4.0;
  EXPECT_FALSE(hit());
  config.cache_obstacle_heuristic = true;
  request.goal.x = 2.3;
  EXPECT_TRUE(hit());
}

}  // namespace
}  // namespace veltrax::se2
