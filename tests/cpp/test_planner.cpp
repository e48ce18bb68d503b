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

#include "detail/lazy_table.hpp"
#include "detail/open_list.hpp"
#include "detail/path_labels.hpp"
#include "detail/workspace.hpp"
#include "shared_maps.hpp"
#include "test_support.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/heuristic.hpp"
#include "veltrax/se2/planner.hpp"
#include "veltrax/se2/primitives.hpp"
#include "veltrax/se2/smoother.hpp"

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

struct CapacityCase {
  std::uint64_t width;
  std::uint64_t height;
  std::uint32_t bins;
  std::uint64_t capacity;
};

class NodeKeyCapacityTest : public ::testing::TestWithParam<CapacityCase> {};

TEST_P(NodeKeyCapacityTest, Capacity) {
  const CapacityCase& c = GetParam();
  EXPECT_EQ(detail::nodeKeyCapacity(c.width, c.height, c.bins), c.capacity);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, NodeKeyCapacityTest,
    ::testing::Values(CapacityCase{100, 100, 72, 720000}, CapacityCase{65536, 65536, 8, 0},
                      // 0xFFFFFFFF = 15 * 65537 * 4369: exactly full is accepted.
                      CapacityCase{65537, 4369, 15, 0xFFFFFFFFull},
                      CapacityCase{65537, 4370, 15, 0},
                      CapacityCase{1, 1, 0xFFFFFFFFu, 0xFFFFFFFFull},
                      CapacityCase{2, 1, 0x80000000u, 0},
                      CapacityCase{std::uint64_t{1} << 63, 4, 8, 0}));

// Without the address space for a mapping the entries are hashed; they read as a map would, also
// while the table grows and after it is cleared.
TEST(LazyTableTest, HashedEntriesReadLikeAMap) {
  detail::LazyTable table;
  table.resetHashed(0xFFFFFFFFu);
  ASSERT_TRUE(table.hashed());
  std::mt19937_64 random(3);
  std::unordered_map<std::size_t, std::uint32_t> expected;
  for (int i = 0; i < 20000; ++i) {
    const std::size_t key = random() % 50000 * 85899;  // up to 2^32 - 2
    const auto value = static_cast<std::uint32_t>(random() % 1000 + 1);
    table.set(key, value);
    expected[key] = value;
  }
  for (const auto& [key, value] : expected) {
    ASSERT_EQ(table.get(key), value);
  }
  EXPECT_EQ(table.get(7), 0u);
  table.clear();
  EXPECT_EQ(table.get(expected.begin()->first), 0u);
}

// The open list pops in exactly the order of a binary heap keyed (f, h, 64-bit push number),
// also across the renumbering of its 32-bit push numbers, which a small limit forces often.
class OpenListOrderTest : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(OpenListOrderTest, PopsLikeAPriorityQueue) {
  struct Entry {
    double f;
    double h;
    std::uint32_t node;
    std::uint64_t sequence;
  };
  const auto after = [](const Entry& a, const Entry& b) {
    if (a.f != b.f) {
      return a.f > b.f;
    }
    if (a.h != b.h) {
      return a.h > b.h;
    }
    return a.sequence > b.sequence;
  };
  std::vector<Entry> reference;
  detail::OpenList open(GetParam());
  std::mt19937_64 rng(17);
  std::uint64_t sequence = 0;
  std::uint32_t node = 0;
  std::size_t pops = 0;
  for (int step = 0; step < 20000; ++step) {
    // Few distinct values, so that ties on f and on h are common.
    if (rng() % 3 != 0 && open.size() < GetParam() - 1) {
      const double f = static_cast<double>(rng() % 8);
      const double h = static_cast<double>(rng() % 4) * 0.5;
      open.push(f, h, node);
      reference.push_back(Entry{f, h, node, sequence++});
      std::push_heap(reference.begin(), reference.end(), after);
      ++node;
    } else if (!reference.empty()) {
      std::pop_heap(reference.begin(), reference.end(), after);
      ASSERT_EQ(open.top().node, reference.back().node) << "pop " << pops;
      ASSERT_EQ(open.pop(), reference.back().node) << "pop " << pops;
      reference.pop_back();
      ++pops;
    }
    ASSERT_EQ(open.size(), reference.size());
  }
  EXPECT_GT(pops, 5000u);
}

INSTANTIATE_TEST_SUITE_P(SequenceLimits, OpenListOrderTest,
                         ::testing::Values(std::uint64_t{1} << 32, 64, 7));

TEST(OpenListTest, RefusesToRenumberMoreEntriesThanNumbers) {
  detail::OpenList open(3);
  open.push(1.0, 0.0, 0);
  open.push(1.0, 0.0, 1);
  open.push(1.0, 0.0, 2);
  std::string message;
  try {
    open.push(1.0, 0.0, 3);
  } catch (const std::length_error& e) {
    message = e.what();
  }
  EXPECT_EQ(message, "open list is too large");
  EXPECT_EQ(open.size(), 3u);
}

// ---- step counts and direction labels

constexpr Direction F = Direction::FORWARD;
constexpr Direction R = Direction::REVERSE;
constexpr Direction O = Direction::ROTATION;

struct CountCase {
  std::string name;
  std::vector<Direction> search;
  std::vector<Direction> analytic;
  std::uint32_t reverse;
  std::uint32_t switches;
  std::uint32_t rotations;
};

std::ostream& operator<<(std::ostream& out, const CountCase& c) { return out << c.name; }

class StepCountTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(StepCountTest, Counts) {
  const CountCase& c = GetParam();
  std::vector<KinematicSample> analytic;
  for (const Direction d : c.analytic) {
    analytic.push_back(KinematicSample{Pose2D{}, d});
  }
  const detail::StepCounts counts = detail::countSteps(c.search, analytic);
  EXPECT_EQ(counts.reverse, c.reverse);
  EXPECT_EQ(counts.direction_switches, c.switches);
  EXPECT_EQ(counts.rotations, c.rotations);
}

INSTANTIATE_TEST_SUITE_P(
    Chains, StepCountTest,
    ::testing::Values(
        CountCase{"start_only", {F}, {}, 0, 0, 0},
        // The start's placeholder label never counts, nor does the change away from it.
        CountCase{"start_then_reverse", {F, R, R}, {}, 2, 0, 0},
        CountCase{"reverse_then_forward", {F, R, F, F}, {}, 1, 1, 0},
        CountCase{"rotations", {F, O, O, F}, {}, 0, 1, 2},
        // A chain ending in reverse, closed by a forward curve: one switch at the junction.
        CountCase{"reverse_chain_forward_curve", {F, F, R}, {F, F, F}, 1, 2, 0},
        CountCase{"curve_with_cusp", {F, F}, {F, R, R, F}, 2, 2, 0},
        CountCase{"curve_from_start", {F}, {R, R}, 2, 1, 0}),
    [](const ::testing::TestParamInfo<CountCase>& info) { return info.param.name; });

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

// What every successful plan must satisfy, whatever the map.
void expectValidPath(const PlannerResult& result, const PlanRequest& request,
                     const PlannerConfig& config, const Costmap& map) {
  ASSERT_EQ(result.status, PlannerStatus::SUCCESS) << result.message;
  EXPECT_EQ(result.message, "path found");
  ASSERT_FALSE(result.path.empty());
  const auto& path = result.path;
  EXPECT_EQ(path.front().x, request.start.x);
  EXPECT_EQ(path.front().y, request.start.y);
  EXPECT_EQ(path.front().yaw, request.start.yaw);
  EXPECT_LE(std::hypot(path.back().x - request.goal.x, path.back().y - request.goal.y),
            config.position_tolerance + 1e-9);
  EXPECT_LE(std::fabs(normalizeYaw(path.back().yaw - request.goal.yaw)),
            config.yaw_tolerance + 1e-9);
  double length = 0.0;
  for (std::size_t i = 1; i < path.size(); ++i) {
    const double step = std::hypot(path[i].x - path[i - 1].x, path[i].y - path[i - 1].y);
    ASSERT_LE(step, config.path_output_spacing * (1 + 1e-9)) << i;
    length += step;
  }
  EXPECT_NEAR(result.diagnostics.path_length, length, 1e-9);
  const CollisionChecker checker(map, config.allow_unknown);
  EXPECT_FALSE(
      checker.validatePath(path, request.footprint, config.collision_check_step).collision);
  if (!config.allow_in_place_rotation) {
    EXPECT_TRUE(PathSmoother::respectsTurningRadius(path, config.minimum_turning_radius));
  }
  ASSERT_EQ(result.directions.size(), path.size());
  std::uint32_t rotations = 0;
  for (std::size_t i = 0; i + 1 < result.directions.size(); ++i) {
    rotations += result.directions[i] == Direction::ROTATION ? 1 : 0;
  }
  EXPECT_EQ(result.diagnostics.in_place_rotation_count, rotations);
  EXPECT_GE(result.diagnostics.expanded_nodes, 1u);
  EXPECT_GT(result.diagnostics.total_time_ms, 0.0);
  EXPECT_EQ(result.map_revision, request.map_revision);
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

INSTANTIATE_TEST_SUITE_P(
    Requests, PlannerStatusTest,
    ::testing::Values(
        StatusCase{"bad_bins_and_footprint",
                   [](PlanRequest& r, PlannerConfig& c) {
                     c.angle_bins = 4;
                     r.footprint = CircleFootprint{-1.0};
                   },
                   PlannerStatus::INVALID_REQUEST, "angle_bins must be at least 8", 0},
        StatusCase{"bad_footprint",
                   [](PlanRequest& r, PlannerConfig&) {
                     r.footprint = PolygonFootprint{{{0, 0}, {1, 0}}};
                   },
                   PlannerStatus::INVALID_REQUEST,
                   "polygon footprint requires at least three points", 0},
        StatusCase{"nan_goal_yaw_beats_bounds",
                   [](PlanRequest& r, PlannerConfig&) {
                     r.start.x = -50.0;
                     r.goal.yaw = kNaN;
                   },
                   PlannerStatus::INVALID_REQUEST, "start and goal poses must be finite", 0},
        StatusCase{"start_outside", [](PlanRequest& r, PlannerConfig&) { r.start.x = 4.0; },
                   PlannerStatus::START_OUT_OF_BOUNDS, "start is outside costmap", 0},
        StatusCase{"goal_outside", [](PlanRequest& r, PlannerConfig&) { r.goal.y = -0.01; },
                   PlannerStatus::GOAL_OUT_OF_BOUNDS, "goal is outside costmap", 0},
        StatusCase{"start_in_collision",
                   [](PlanRequest& r, PlannerConfig&) {
                     r.start = {3.5, 2.2, 0.0};
                   },
                   PlannerStatus::START_IN_COLLISION, "start footprint is in collision", 0},
        StatusCase{"goal_in_collision",
                   [](PlanRequest& r, PlannerConfig&) {
                     r.goal = {3.5, 2.5, 0.0};
                   },
                   PlannerStatus::GOAL_IN_COLLISION, "goal footprint is in collision", 0},
        StatusCase{"node_pool_too_large",
                   [](PlanRequest&, PlannerConfig& c) { c.angle_bins = 0x10000000u; },
                   PlannerStatus::INVALID_REQUEST,
                   "costmap/yaw node pool exceeds 32-bit index capacity", 0},
        StatusCase{"goal_walled_off",
                   [](PlanRequest& r, PlannerConfig&) {
                     r.goal = {0.5, 2.5, 0.0};
                   },
                   PlannerStatus::NO_PATH, "goal is disconnected in obstacle heuristic", 0},
        StatusCase{"one_expansion_budget",
                   [](PlanRequest&, PlannerConfig& c) { c.max_expanded_nodes = 1; },
                   PlannerStatus::MAX_NODES_EXCEEDED, "maximum expanded nodes exceeded", 1},
        StatusCase{"timeout_at_first_check",
                   [](PlanRequest&, PlannerConfig& c) {
                     c.terminal_check_interval = 1;
                     c.max_planning_time_seconds = 1e-12;
                   },
                   PlannerStatus::TIMEOUT, "planning timed out", 1},
        StatusCase{"radius_too_small_for_the_map",
                   [](PlanRequest&, PlannerConfig& c) { c.minimum_turning_radius = 1e-7; },
                   PlannerStatus::INVALID_REQUEST,
                   "minimum_turning_radius is too small for the costmap extent", 0},
        StatusCase{"tiny_sample_step",
                   [](PlanRequest&, PlannerConfig& c) { c.collision_check_step = 1e-300; },
                   PlannerStatus::INVALID_REQUEST,
                   "collision_check_step is too small for the primitive length", 0}),
    [](const ::testing::TestParamInfo<StatusCase>& info) { return info.param.name; });

TEST(PlannerTest, FullIndexCapacityIsAccepted) {
  // One cell at 0xFFFFFFFF bins: every 32-bit key but the invalid one; the table stays virtual.
  const HybridAStar planner(freeMap(1, 1, 1.0));
  PlannerConfig config;
  config.angle_bins = 0xFFFFFFFFu;
  PlanRequest request = makeRequest({0.5, 0.5, 0.0}, {0.5, 0.5, 0.0});
  request.footprint = CircleFootprint{0.1};
  const PlannerResult result = planner.plan(request, config);
  EXPECT_EQ(result.status, PlannerStatus::SUCCESS) << result.message;
  EXPECT_EQ(result.diagnostics.expanded_nodes, 1u);
}

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

INSTANTIATE_TEST_SUITE_P(
    Failures, PostProcessFailureTest,
    ::testing::Values(
        // A straight curve jumping over a block.
        PostProcessCase{"collision",
                        true,
                        {1.0, 1.5, 0.0},
                        {3.0, 1.5, 0.0},
                        {1.9, 1.4, 2.1, 1.6},
                        "postprocessed path failed validation: collision=true, curvature=valid"},
        // A forward-only loop back to a goal behind the start: its chords turn far too tightly.
        PostProcessCase{"curvature",
                        false,
                        {3.0, 1.5, 0.0},
                        {2.6, 1.5, 0.0},
                        {0, 0, -1, -1},
                        "postprocessed path failed validation: collision=false, curvature=invalid"},
        PostProcessCase{"both",
                        false,
                        {3.0, 1.5, 0.0},
                        {2.6, 1.5, 0.0},
                        {2.6, 1.8, 2.8, 2.0},
                        "postprocessed path failed validation: collision=true, curvature=invalid"}),
    [](const ::testing::TestParamInfo<PostProcessCase>& info) { return info.param.name; });

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

// ---- real maps

struct RealMap {
  std::string name;
  std::string image;  // relative to data/maps
  double origin_x;
  double origin_y;
};

std::ostream& operator<<(std::ostream& out, const RealMap& m) { return out << m.name; }

Costmap loadOccupancyMap(const RealMap& m) {
  return testing::loadOccupancyMap("maps/" + m.image, m.origin_x, m.origin_y);
}

class RealMapTest : public ::testing::TestWithParam<RealMap> {};

TEST_P(RealMapTest, RandomQueriesEndWellAndEveryPathIsValid) {
  const Costmap map = loadOccupancyMap(GetParam());
  const HybridAStar planner(map);
  const CollisionChecker checker(map, false);
  PlannerConfig config;
  config.max_expanded_nodes = 20000;  // a budget in expansions keeps the outcome deterministic
  config.max_planning_time_seconds = 600.0;
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> yaw(-kPi, kPi);
  auto freePose = [&]() {
    for (;;) {
      const std::uint64_t x = rng() % map.width();
      const std::uint64_t y = rng() % map.height();
      const Pose2D centre = map.mapToWorld(x, y);
      const Pose2D pose{centre.x, centre.y, yaw(rng)};
      if (!checker.check(pose, CircleFootprint{0.25}).collision) {
        return pose;
      }
    }
  };
  int successes = 0;
  for (int query = 0; query < 10; ++query) {
    PlanRequest request = makeRequest(freePose(), freePose());
    // Half of the goals are near the start, so that some queries succeed within the budget.
    if (query % 2 == 0) {
      for (int attempt = 0; attempt < 1000; ++attempt) {
        const Pose2D goal = freePose();
        if (std::hypot(goal.x - request.start.x, goal.y - request.start.y) < 2.5) {
          request.goal = goal;
          break;
        }
      }
    }
    const PlannerResult result = planner.plan(request, config);
    if (result.status == PlannerStatus::SUCCESS) {
      ++successes;
      expectValidPath(result, request, config, map);
    } else {
      EXPECT_TRUE(result.status == PlannerStatus::NO_PATH ||
                  result.status == PlannerStatus::MAX_NODES_EXCEEDED)
          << plannerStatusName(result.status) << ": " << result.message;
      EXPECT_TRUE(result.path.empty());
    }
  }
  EXPECT_GE(successes, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Data, RealMapTest,
    ::testing::Values(RealMap{"turtlebot3", "turtlebot3/map.pgm", -10.0, -10.0},
                      RealMap{"warehouse", "aws_small_warehouse/warehouse_005.pgm", -7.0, -10.5}),
    [](const ::testing::TestParamInfo<RealMap>& info) { return info.param.name; });

}  // namespace
}  // namespace veltrax::se2
