// The planner's own answers: node keys, direction labels, the configuration checks, and the status
// and message of every way a request can end other than with a path. Found paths are judged in
// test_search_profile.cpp and compared with the reference planner in test_differential.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "detail/path_labels.hpp"
#include "detail/workspace.hpp"
#include "oracles/path_checker.hpp"
#include "test_support.hpp"
#include "veltrax/se2/io.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2 {
namespace {

using namespace testing_support;

TEST(StateKey, CellTimesBinsPlusFloorBinOfTheYaw) {
  const Costmap map(10, 10, 1.0, 0.0, 0.0, std::vector<std::uint8_t>(100, 0));
  const std::uint32_t cell = 3 * 10 + 7;
  const struct {
    double yaw;
    std::uint32_t bins, bin;
  } cases[] = {{0.0, 72, 0},
               {kTwoPi - 1e-12, 72, 0},
               {-kPi / 2, 72, 54},
               {kPi, 72, 36},
               // 5 degrees computed with a rounding error below the boundary: upper bin.
               {kTwoPi / 72 * (1 - 1e-15), 72, 1},
               {kTwoPi / 72 * 0.999, 72, 0},
               {4 * kTwoPi + 0.1, 8, 0},
               {-1e-20, 8, 0},
               {kTwoPi * 3 / 8 - 1e-3, 8, 2}};
  for (const auto& c : cases) {
    EXPECT_EQ(detail::stateKey(map, c.bins, Pose2D{7.5, 3.2, c.yaw}), cell * c.bins + c.bin)
        << c.yaw;
  }
  for (const Pose2D off : {Pose2D{10.0, 1.0, 0.0}, Pose2D{-0.001, 1.0, 0.0}, Pose2D{1, 1, kNaN}}) {
    EXPECT_EQ(detail::stateKey(map, 72, off), detail::kInvalidKey);
  }
}

// The two binnings on yaws at and just below bin edges: the footprint templates floor the yaw,
// the state key floors it after its nudge, so they part only within that nudge below an edge.
TEST(StateKey, PartsFromTheTemplateBinOnlyWithinTheNudge) {
  const Costmap one(1, 1, 1.0, 0.0, 0.0, {0});
  const struct {
    std::uint32_t bins;
    double yaw;
    std::uint32_t template_bin, key_bin;
  } cases[] = {{8, kTwoPi / 8, 1, 1},
               {8, kPi / 2, 2, 2},
               {8, std::nextafter(kPi / 2, 0.0), 1, 2},
               {8, kPi / 2 - 1e-7, 1, 1},
               {8, std::nextafter(kPi, 0.0), 3, 4},
               {8, std::nextafter(kTwoPi, 0.0), 7, 0},
               {72, kTwoPi / 72 * (1 - 1e-15), 0, 1},
               {72, 0.09, 1, 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(YawBinFootprintTemplates(CircleFootprint{0.5}, c.bins).yawToBin(c.yaw),
              c.template_bin)
        << c.yaw;
    EXPECT_EQ(detail::stateKey(one, c.bins, Pose2D{0.5, 0.5, c.yaw}), c.key_bin) << c.yaw;
  }
}

TEST(DirectionLabels, FollowTheStepAgainstTheHeading) {
  constexpr Direction F = Direction::FORWARD;
  constexpr Direction R = Direction::REVERSE;
  constexpr Direction O = Direction::ROTATION;
  const struct {
    std::vector<Pose2D> path;
    std::vector<Direction> labels;
  } cases[] = {
      // A sideways step is not behind the heading: forward.
      {{{0, 0, 0}, {0, 0.05, 0}}, {F, F}},
      {{{0, 0, 0}, {0, 0, 0.1}, {0, 0, 0.2}, {0.05 * std::cos(0.2), 0.05 * std::sin(0.2), 0.2}},
       {O, O, F, F}},
      {{{0, 0, 0}, {-0.05, 0, 0}, {-0.05, 0, 0}, {-0.1, 0, 0}}, {R, R, R, R}},
      {{{0, 0, 0}, {0, 0, 0}, {-0.05, 0, 0}}, {F, R, R}},
      // Yaw differences are normalised: 2 pi on the spot is no turn; a move below 1e-9 is none.
      {{{0, 0, 0}, {0, 0, kTwoPi}}, {F, F}},
      {{{0, 0, 0}, {5e-10, 0, 0.5}}, {O, O}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(detail::directionLabels(c.path), c.labels) << c.path.size() << " poses";
  }
}

// Step counts from the search's arrival labels (the start's own label is no step, and its change
// to the first step no switch), continued along the analytic curve from the goal node's label.
TEST(StepCounts, FromTheFirstStepOnThenAlongTheCurve) {
  constexpr Direction F = Direction::FORWARD, R = Direction::REVERSE, O = Direction::ROTATION;
  const auto curve = [](std::vector<Direction> directions) {
    std::vector<KinematicSample> samples;
    for (const Direction d : directions) samples.push_back(KinematicSample{Pose2D{}, d});
    return samples;
  };
  const struct {
    std::vector<Direction> chain;
    std::vector<KinematicSample> curve;
    std::uint32_t reverse, switches, rotations;
  } cases[] = {{{F, R, R, F}, {}, 2, 1, 0},
               {{F, O, O, F, F}, {}, 0, 1, 2},
               {{R}, curve({R, F}), 1, 1, 0},  // the start alone: the curve continues from R
               {{F, R}, curve({R, R, F}), 3, 1, 0},
               {{F, O, F}, curve({R}), 1, 2, 1}};
  for (const auto& c : cases) {
    const detail::StepCounts counts = detail::countSteps(c.chain, c.curve);
    EXPECT_EQ(std::make_tuple(counts.reverse, counts.direction_switches, counts.rotations),
              std::make_tuple(c.reverse, c.switches, c.rotations))
        << c.chain.size() << " nodes, " << c.curve.size() << " curve samples";
  }
}

// Every field set wrong at once: each message once, in the fixed order.
TEST(PlannerConfigValidate, EveryFaultInTheFixedOrder) {
  using Set = void (*)(PlannerConfig&);
  // clang-format off
  const std::pair<Set, std::string> faults[] = {
      {[](PlannerConfig& c) { c.minimum_turning_radius = kNaN; }, "minimum_turning_radius must be finite and positive"},
      {[](PlannerConfig& c) { c.angle_bins = 7; }, "angle_bins must be at least 8"},
      {[](PlannerConfig& c) { c.position_tolerance = -0.1; }, "position_tolerance must be finite and non-negative"},
      {[](PlannerConfig& c) { c.yaw_tolerance = kNaN; }, "yaw_tolerance must be finite and non-negative"},
      {[](PlannerConfig& c) { c.collision_check_step = -0.025; }, "collision_check_step must be finite and positive"},
      {[](PlannerConfig& c) { c.path_output_spacing = 0.0; }, "path_output_spacing must be finite and positive"},
      {[](PlannerConfig& c) { c.cost_penalty = -3.0; }, "cost_penalty must be finite and non-negative"},
      {[](PlannerConfig& c) { c.non_straight_penalty = -kInf; }, "non_straight_penalty must be finite and non-negative"},
      {[](PlannerConfig& c) { c.reverse_penalty = kInf; }, "reverse_penalty must be finite and non-negative"},
      {[](PlannerConfig& c) { c.direction_switch_penalty = -1.0; }, "direction_switch_penalty must be finite and non-negative"},
      {[](PlannerConfig& c) { c.steering_change_penalty = kNaN; }, "steering_change_penalty must be finite and non-negative"},
      {[](PlannerConfig& c) { c.retrospective_penalty = -0.5; }, "retrospective_penalty must be finite and non-negative"},
      {[](PlannerConfig& c) { c.max_expanded_nodes = 0; }, "max_expanded_nodes must be positive"},
      {[](PlannerConfig& c) { c.max_planning_time_seconds = 0.0; }, "max_planning_time_seconds must be finite and positive"},
      {[](PlannerConfig& c) { c.terminal_check_interval = 0; }, "terminal_check_interval must be positive"},
      {[](PlannerConfig& c) { c.analytic_expansion_ratio = -2.0; }, "analytic_expansion_ratio must be finite and positive"},
      {[](PlannerConfig& c) { c.analytic_expansion_max_length = kInf; }, "analytic_expansion_max_length must be finite and positive"},
      {[](PlannerConfig& c) { c.smoother_max_iterations = 0; }, "smoother_max_iterations must be positive"},
      {[](PlannerConfig& c) { c.smoother_weight_data = kNaN; }, "smoother_weight_data must be finite and non-negative"},
      {[](PlannerConfig& c) { c.smoother_weight_smooth = -1.0; }, "smoother_weight_smooth must be finite and non-negative"},
      {[](PlannerConfig& c) { c.smoother_tolerance = 0.0; }, "smoother_tolerance must be finite and positive"},
      {[](PlannerConfig& c) { c.heuristic_weight = 0.5; }, "heuristic_weight must be finite and at least 1"},
      {[](PlannerConfig& c) { c.heuristic_reach_factor = 0.5; }, "heuristic_reach_factor must be 0 or finite and at least 1"},
      {[](PlannerConfig& c) { c.steering_angles = 4; }, "steering_angles must be odd and between 3 and 9"},
      {[](PlannerConfig& c) { c.analytic_expansion_min_reverse_length = kNaN; }, "analytic_expansion_min_reverse_length must be finite and non-negative"},
      {[](PlannerConfig& c) { c.lattice_cell_size = -0.1; }, "lattice_cell_size must be finite and non-negative"},
      {[](PlannerConfig& c) { c.stall_heuristic_weight = kInf; }, "stall_heuristic_weight must be finite and at least 1"},
      {[](PlannerConfig& c) { c.stall_weight_expansions = 0; }, "stall_weight_expansions must be positive"},
      {[](PlannerConfig& c) { c.stall_expansions_per_metre = -0.5; }, "stall_expansions_per_metre must be finite and non-negative"},
  };
  // clang-format on
  PlannerConfig config;
  std::vector<std::string> expected;
  for (const auto& [set, message] : faults) {
    set(config);
    expected.push_back(message);
  }
  EXPECT_EQ(config.validate(), expected);
}

TEST(RecommendedConfig, PenaltiesPerMetreAndExtensionsOn) {
  const PlannerConfig c = recommendedConfig(0.05, CircleFootprint{0.25});
  EXPECT_TRUE(c.validate().empty());
  // The default lattice's primitive is one 5 cm cell long; coarser cells make longer ones.
  EXPECT_DOUBLE_EQ(c.non_straight_penalty, 0.015);
  EXPECT_DOUBLE_EQ(c.reverse_penalty, 0.05);
  EXPECT_DOUBLE_EQ(recommendedConfig(0.2, CircleFootprint{0.25}).reverse_penalty, 0.2);
  EXPECT_EQ(c.direction_switch_penalty, 2.0);
  EXPECT_EQ(c.analytic_expansion_max_cusps, 1u);
  EXPECT_EQ(c.heuristic_weight, 1.5);
  EXPECT_TRUE(c.footprint_aware_heuristic && c.resample_along_arcs && c.lazy_kinematic_heuristic &&
              !c.return_partial_path);
  EXPECT_EQ(c.analytic_expansion_max_cost, 253);
  EXPECT_FALSE(c.allow_in_place_rotation);
  // A robot that turns on the spot: turning there is no cusp, and the heuristic misses its turns.
  const PlannerConfig spot = recommendedConfig(0.05, CircleFootprint{0.25}, true);
  EXPECT_TRUE(spot.allow_in_place_rotation);
  EXPECT_EQ(spot.direction_switch_penalty, 0.05);
  EXPECT_EQ(spot.heuristic_weight, 3.0);
  // A stalled search heads for the goal at twice the weight, but not one that turns on the spot.
  // After one and a half expansions per primitive length (one 5 cm cell) of the start's
  // heuristic, at least 512.
  EXPECT_EQ(std::make_tuple(c.stall_expansions, c.stall_heuristic_weight),
            std::make_tuple(std::uint64_t{512}, 3.0));
  EXPECT_EQ(c.stall_expansions_per_metre, 30.0);
  EXPECT_EQ(std::make_tuple(spot.stall_expansions, spot.stall_expansions_per_metre),
            std::make_tuple(std::uint64_t{0}, 0.0));
  EXPECT_DOUBLE_EQ(spot.reverse_penalty, 0.05);
  // Cells far coarser than the radius: a curve to the goal reaches across two of them.
  EXPECT_EQ(c.analytic_expansion_max_length, 10.0);
  EXPECT_EQ(recommendedConfig(20.0, CircleFootprint{0.25}).analytic_expansion_max_length, 40.0);
  // A car of 3.5 m radius: its arcs of one 5-degree bin are 0.3054 m long, and the penalties per
  // metre are converted with that length.
  const PlannerConfig car = recommendedConfig(0.1, CircleFootprint{1.0}, false, 3.5);
  EXPECT_EQ(car.minimum_turning_radius, 3.5);
  EXPECT_NEAR(car.reverse_penalty, 0.30543, 1e-5);
  EXPECT_NEAR(car.non_straight_penalty, 0.0916298, 1e-7);
  EXPECT_EQ(car.direction_switch_penalty, 2.0);
  EXPECT_TRUE(car.manoeuvre_heuristic && !c.manoeuvre_heuristic);
  EXPECT_TRUE(car.search_from_goal && !c.search_from_goal);
  // Its manoeuvres foreseen, a car's search turns harder only after 2048 expansions.
  EXPECT_EQ(std::make_tuple(car.stall_expansions, car.stall_expansions_per_metre),
            std::make_tuple(std::uint64_t{2048}, 0.0));
  EXPECT_EQ(recommendedConfig(0.1, CircleFootprint{1.0}, true, 3.5).stall_expansions, 0u);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Planner, Refuses, ::testing::Values(
    Refusal{"recommended_zero_resolution", [] { recommendedConfig(0.0, CircleFootprint{0.25}); }, "resolution must be finite and positive"},
    Refusal{"recommended_nan_resolution", [] { recommendedConfig(kNaN, CircleFootprint{0.25}); }, "resolution must be finite and positive"},
    Refusal{"recommended_bad_footprint", [] { recommendedConfig(0.05, CircleFootprint{-1.0}); }, "circle radius must be finite and positive"},
    Refusal{"recommended_zero_radius", [] { recommendedConfig(0.05, CircleFootprint{0.25}, false, 0.0); }, "minimum_turning_radius must be finite and positive"}),
    refusalName);
// clang-format on

// A costmap in world coordinates from the origin: `cost` gives the byte of each cell centre.
Costmap drawMap(double width_m, double height_m,
                const std::function<std::uint8_t(double, double)>& cost) {
  const auto width = static_cast<std::uint64_t>(std::llround(width_m / 0.05));
  const auto height = static_cast<std::uint64_t>(std::llround(height_m / 0.05));
  std::vector<std::uint8_t> cells(width * height);
  for (std::uint64_t y = 0; y < height; ++y) {
    for (std::uint64_t x = 0; x < width; ++x) {
      cells[y * width + x] = cost((x + 0.5) * 0.05, (y + 0.5) * 0.05);
    }
  }
  return Costmap(width, height, 0.05, 0.0, 0.0, std::move(cells));
}

bool inBox(double x, double y, double x0, double y0, double x1, double y1) {
  return x >= x0 && x <= x1 && y >= y0 && y <= y1;
}

using Change = std::function<void(PlanRequest&, PlannerConfig&)>;

struct StatusCase {
  std::string name;
  Change change;
  PlannerStatus status;
  std::string message;
  std::uint64_t expanded;
};
void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class PlannerStatusTest : public ::testing::TestWithParam<StatusCase> {};

// 4 m x 3 m; a lethal block around (3.5, 2.5) and a closed box around (0.5, 2.5).
TEST_P(PlannerStatusTest, StatusMessageAndCounters) {
  const HybridAStar planner(drawMap(4, 3, [](double x, double y) -> std::uint8_t {
    const bool box_wall = inBox(x, y, 0.0, 2.0, 1.0, 3.0) && !inBox(x, y, 0.1, 2.1, 0.9, 2.9);
    return box_wall || inBox(x, y, 3.3, 2.3, 3.7, 2.7) ? 254 : 0;
  }));
  PlanRequest request;
  request.start = {1.0, 1.0, 0.0};
  request.goal = {3.0, 1.0, 0.0};
  PlannerConfig config;
  config.max_planning_time_seconds = kUnlimitedSeconds;
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

constexpr PlannerStatus kInvalid = PlannerStatus::INVALID_REQUEST;
const char* const kYawRange = "start and goal yaw must be within 1e6 radians of zero";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Requests, PlannerStatusTest, ::testing::Values(
    StatusCase{"bad_bins_and_footprint", Change([](PlanRequest& r, PlannerConfig& c) { c.angle_bins = 4; r.footprint = CircleFootprint{-1.0}; }),
               kInvalid, "angle_bins must be at least 8", 0},
    StatusCase{"bad_footprint", Change([](PlanRequest& r, PlannerConfig&) { r.footprint = PolygonFootprint{{{0, 0}, {1, 0}}}; }),
               kInvalid, "polygon footprint requires at least three points", 0},
    StatusCase{"nan_goal_yaw_beats_bounds", Change([](PlanRequest& r, PlannerConfig&) { r.start.x = -50.0; r.goal.yaw = kNaN; }),
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
    // The budget covers the heuristic's construction, polled every 4096 cells.
    StatusCase{"timeout_while_the_heuristic_is_built", Change([](PlanRequest&, PlannerConfig& c) { c.max_planning_time_seconds = 1e-12; }),
               PlannerStatus::TIMEOUT, "planning timed out", 0},
    StatusCase{"radius_too_small_for_the_map", Change([](PlanRequest&, PlannerConfig& c) { c.minimum_turning_radius = 1e-7; }),
               kInvalid, "minimum_turning_radius is too small for the costmap extent", 0},
    StatusCase{"radius_too_large_to_sample", Change([](PlanRequest&, PlannerConfig& c) { c.minimum_turning_radius = 1e9; }),
               kInvalid, "minimum_turning_radius is too large for angle_bins and collision_check_step", 0},
    // Yaws of 1e15 once failed inside the planner, a million-point polygon took hours to validate.
    StatusCase{"start_yaw_1e15", Change([](PlanRequest& r, PlannerConfig&) { r.start.yaw = 1e15; }), kInvalid, kYawRange, 0},
    StatusCase{"goal_yaw_below_minus_1e6", Change([](PlanRequest& r, PlannerConfig&) { r.goal.yaw = -1.0000001e6; }), kInvalid, kYawRange, 0},
    StatusCase{"polygon_of_a_million_points", Change([](PlanRequest& r, PlannerConfig&) { r.footprint = PolygonFootprint{std::vector<Point2D>(1000000)}; }),
               kInvalid, "polygon footprint must have at most 1024 points", 0},
    StatusCase{"tiny_sample_step", Change([](PlanRequest&, PlannerConfig& c) { c.collision_check_step = 1e-300; }),
               kInvalid, "collision_check_step is too small for the primitive length", 0}),
    [](const ::testing::TestParamInfo<StatusCase>& info) { return info.param.name; });
// clang-format on

// The analytic curve is tried from the start (ratio 1) and sampled only at its segment ends
// (sample step longer than the curve), so it can jump over an obstacle or hide a loop that the
// output path, resampled and checked densely, reveals. Output steps of 0.5 m cut each segment of
// the loop in two: steps a car can drive, but their chords turn tighter than the loop's arcs.
TEST(PostProcessing, ReportsWhichValidationFailed) {
  const struct {
    bool allow_reverse;
    Pose2D start, goal;
    double box[4];  // lethal x0, y0, x1, y1
    const char* message;
  } cases[] = {
      // A straight curve jumping over a block.
      {true,
       {1.0, 1.5, 0.0},
       {3.0, 1.5, 0.0},
       {1.9, 1.4, 2.1, 1.6},
       "postprocessed path failed validation: collision=true, curvature=valid"},
      // A forward-only loop back to a goal behind the start: its chords turn far too tightly.
      {false,
       {3.0, 1.5, 0.0},
       {2.6, 1.5, 0.0},
       {0, 0, -1, -1},
       "postprocessed path failed validation: collision=false, curvature=invalid"},
      {false,
       {3.0, 1.5, 0.0},
       {2.6, 1.5, 0.0},
       {2.6, 1.8, 2.8, 2.0},
       "postprocessed path failed validation: collision=true, curvature=invalid"},
  };
  for (const auto& c : cases) {
    const HybridAStar planner(drawMap(6, 3, [&](double x, double y) -> std::uint8_t {
      return inBox(x, y, c.box[0], c.box[1], c.box[2], c.box[3]) ? 254 : 0;
    }));
    PlannerConfig config;
    config.max_planning_time_seconds = kUnlimitedSeconds;
    config.allow_reverse = c.allow_reverse;
    config.analytic_expansion_ratio = 1.0;
    config.analytic_expansion_max_length = 100.0;
    config.collision_check_step = 100.0;
    config.path_output_spacing = 0.5;
    PlanRequest request;
    request.start = c.start;
    request.goal = c.goal;
    const PlannerResult result = planner.plan(request, config);
    EXPECT_EQ(result.status, PlannerStatus::INTERNAL_ERROR);
    EXPECT_EQ(result.message, c.message);
    EXPECT_TRUE(result.path.empty() && result.directions.empty());
    EXPECT_EQ(result.diagnostics.expanded_nodes, 1u);
    EXPECT_GT(result.diagnostics.smoothing_time_ms, 0.0);
    EXPECT_EQ(result.diagnostics.path_length, 0.0);
  }
}

// Queries on the bundled warehouse whose shortest curve to the goal reverses for 2-34 cm. With
// the rule on (the recommended configuration: the robot's length), a forward-only curve at most
// 5 % longer takes its place where one passes, and otherwise the shortest curve stays: the same
// search, sound paths, never more than 5 % longer.
TEST(AnalyticExpansion, DrivesForwardWhereAShortReverseSavesLittle) {
  const HybridAStar planner(loadMap(std::string(VELTRAX_EXAMPLES_DIR) + "/maps/warehouse.yaml"));
  PlanRequest request;
  request.footprint = CircleFootprint{0.25};
  PlannerConfig config = recommendedConfig(0.05, request.footprint);
  config.max_planning_time_seconds = kUnlimitedSeconds;
  // The cases end in a short reverse at the usual weight; a search turned harder after 512
  // expansions may end with another curve.
  config.stall_expansions = 2048;
  config.stall_expansions_per_metre = 0.0;
  ASSERT_EQ(config.analytic_expansion_min_reverse_length, 0.5);
  const auto reversed = [](const PlannerResult& r) {
    double length = 0.0;
    for (std::size_t i = 0; i + 1 < r.path.size(); ++i) {
      length += r.directions[i] == Direction::REVERSE
                    ? std::hypot(r.path[i + 1].x - r.path[i].x, r.path[i + 1].y - r.path[i].y)
                    : 0.0;
    }
    return length;
  };
  struct Case {
    Pose2D start;
    Pose2D goal;
    bool forward;  // a forward-only curve within 5 % passes
  };
  const Case cases[] = {{{10.71, 9.21, -0.65}, {12.01, 4.45, 2.7}, true},
                        {{12.02, 6.23, -0.42}, {5.59, 4.96, 1.26}, true},
                        {{5.51, 3.97, -0.93}, {6.27, 0.83, 0.0}, true},
                        {{10.11, 5.17, -0.1}, {9.64, 8.97, -2.17}, false},
                        {{9.81, 8.06, -1.45}, {11.31, 9.61, 1.07}, false}};
  for (const Case& c : cases) {
    request.start = c.start;
    request.goal = c.goal;
    config.analytic_expansion_min_reverse_length = 0.0;
    const PlannerResult shortest = planner.plan(request, config);
    config.analytic_expansion_min_reverse_length = 0.5;
    const PlannerResult result = planner.plan(request, config);
    ASSERT_EQ(shortest.status, PlannerStatus::SUCCESS) << shortest.message;
    ASSERT_EQ(result.status, PlannerStatus::SUCCESS) << result.message;
    SCOPED_TRACE(std::to_string(c.goal.x) + ", " + std::to_string(c.goal.y));
    EXPECT_EQ(oracles::pathProblem(planner.costmap(), request, config, result), "");
    EXPECT_EQ(result.diagnostics.expanded_nodes, shortest.diagnostics.expanded_nodes);
    EXPECT_GT(reversed(shortest), 0.0);
    EXPECT_LT(reversed(shortest), 0.5);
    EXPECT_EQ(reversed(result) == 0.0, c.forward);
    EXPECT_LE(result.diagnostics.path_length, 1.05 * shortest.diagnostics.path_length);
    if (!c.forward) {
      EXPECT_EQ(result.path.size(), shortest.path.size());
      EXPECT_EQ(result.diagnostics.path_length, shortest.diagnostics.path_length);
    }
  }
}

// Smoothing inside plan honours the time budget: with the budget spent by the time a path is found
// (the search itself never looks at the clock here), the unsmoothed path is kept and succeeds.
TEST(PostProcessing, SmoothingKeepsTheLastAcceptedPathOnceTheBudgetIsSpent) {
  const HybridAStar planner(drawMap(6, 3, [](double, double) -> std::uint8_t { return 0; }));
  PlanRequest request;
  request.start = {1.0, 1.0, 0.0};
  request.goal = {4.0, 2.0, 0.6};
  PlannerConfig config;
  config.allow_reverse = false;
  config.analytic_expansion_max_length = 1e-6;  // a path of lattice steps, which smoothing moves
  config.terminal_check_interval = 0xFFFFFFFFu;
  config.max_planning_time_seconds = kUnlimitedSeconds;
  config.smooth_path = false;
  const PlannerResult raw = planner.plan(request, config);
  config.smooth_path = true;
  const PlannerResult smoothed = planner.plan(request, config);
  config.max_planning_time_seconds = 1e-12;
  const PlannerResult spent = planner.plan(request, config);
  ASSERT_EQ(spent.status, PlannerStatus::SUCCESS) << spent.message;
  const auto bits = [](const PlannerResult& r) {
    return std::string(reinterpret_cast<const char*>(r.path.data()),
                       r.path.size() * sizeof(Pose2D));
  };
  EXPECT_NE(bits(smoothed), bits(raw)) << smoothed.path.size();
  EXPECT_EQ(bits(spent), bits(raw));
}

}  // namespace
}  // namespace veltrax::se2
