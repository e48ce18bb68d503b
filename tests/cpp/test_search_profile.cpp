// Every path the planner reports as found must survive an independent judge, and a path the
// search found must not be thrown away by post-processing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "detail/free_cells.hpp"
#include "detail/manoeuvre_field.hpp"
#include "detail/open_list.hpp"
#include "oracles/collision_reference.hpp"
#include "oracles/path_checker.hpp"
#include "oracles/reference_planner.hpp"
#include "shared_maps.hpp"
#include "test_support.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/heuristic.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2 {
namespace {

// The bundled example maps, read by their YAML files' occupancy convention.
Costmap exampleMap(const std::string& name) {
  return testing::loadOccupancyMap("../examples/maps/" + name + ".pgm", 0.0, 0.0);
}

Costmap emptyMap(std::uint64_t cells, double resolution) {
  return Costmap(cells, cells, resolution, 0.0, 0.0, std::vector<std::uint8_t>(cells * cells, 0));
}

Costmap farMap() { return Costmap(100, 100, 0.05, 1e8, 1e8, std::vector<std::uint8_t>(10000, 0)); }

struct FoundCase {
  const char* name;
  Costmap (*map)();
  Pose2D start;
  Pose2D goal;
  void (*adjust)(PlanRequest&, PlannerConfig&);
};

void asIs(PlanRequest&, PlannerConfig&) {}

// A corridor one cell high for a robot of 2 cm radius.
Costmap corridor() { return Costmap(2000, 1, 0.05, 0.0, 0.0, std::vector<std::uint8_t>(2000, 0)); }
void tinyRobot(PlanRequest& r, PlannerConfig&) { r.footprint = CircleFootprint{0.02}; }

// Queries whose paths post-processing used to reject ("collision=true" where the chords between
// node poses graze a wall; "curvature=invalid" where coarse cells make chords turn tighter than
// their arcs).
// clang-format off
const FoundCase kFoundCases[] = {
    {"warehouse_across", [] { return exampleMap("warehouse"); }, {1, 1, 0}, {14, 9, 0}, asIs},
    {"warehouse_rack", [] { return exampleMap("warehouse"); }, {5.7, 3.0, -1.5708}, {1.0, 9.0, 3.1416}, asIs},
    {"maze_corridor", [] { return exampleMap("maze"); }, {0.625, 0.625, 1.5708}, {5, 0.625, 0}, asIs},
    {"maze_turn_round", [] { return exampleMap("maze"); }, {0.625, 0.625, 1.5708}, {0.625, 0.625, -1.5708},
     [](PlanRequest&, PlannerConfig& c) { c.allow_reverse = false; c.max_planning_time_seconds = 600; }},
    {"coarse_cells", [] { return emptyMap(40, 0.25); }, {2, 2, 0}, {6, 5, 1.5}, asIs},
    // Chords of 0.15 m arcs cut into three output steps would leave poses sideways (pose 74 here).
    {"coarse_cells_chords", [] { return emptyMap(100, 0.15); }, {2, 2, 0}, {9, 6, 1.5}, asIs},
    {"coarse_cells_along_arcs", [] { return emptyMap(100, 0.15); }, {2, 2, 0}, {9, 6, 1.5},
     [](PlanRequest&, PlannerConfig& c) { c.resample_along_arcs = true; }},
    {"coarse_bins_chords", [] { return emptyMap(200, 0.05); }, {2, 2, 0}, {6, 5, 1.5},
     [](PlanRequest&, PlannerConfig& c) { c.angle_bins = 24; }},
    {"eight_bins", [] { return emptyMap(200, 0.05); }, {2, 2, 0}, {6, 5, 1.5},
     [](PlanRequest&, PlannerConfig& c) { c.angle_bins = 8; }},
    {"five_steering_angles", [] { return exampleMap("warehouse"); }, {1, 1, 0}, {14, 9, 0},
     [](PlanRequest&, PlannerConfig& c) { c.steering_angles = 5; c.scale_steering_penalty_with_curvature = true; }},
    {"seven_steering_angles_coarse_cells", [] { return emptyMap(100, 0.15); }, {2, 2, 0}, {9, 6, 1.5},
     [](PlanRequest&, PlannerConfig& c) { c.steering_angles = 7; c.resample_along_arcs = true; }},
    {"fine_output", [] { return emptyMap(50, 0.2); }, {2, 2, 0}, {6, 5, 1.5},
     [](PlanRequest&, PlannerConfig& c) { c.path_output_spacing = 0.02; }},
    // 10^8 m out: the far edge of what a costmap accepts (5e-8 m); yaws up to a million radians.
    {"far_from_origin", farMap, {1e8 + 1.5, 1e8 + 2.5, 0}, {1e8 + 3.5, 1e8 + 2.5, 0}, asIs},
    {"yaw_of_a_million_radians", farMap, {1e8 + 1.5, 1e8 + 2.5, 1e6}, {1e8 + 3.5, 1e8 + 2.5, -1e6}, asIs},
    // From a start on a cell edge, rounding maps the end of a cell-long straight step back into its
    // own cell; the step has left it all the same.
    {"cell_edge_start", corridor, {1.0, 0.025, 0}, {80.025, 0.025, 0}, tinyRobot},
    {"near_cell_edge_start", corridor, {1.01, 0.025, 0}, {80.025, 0.025, 0}, tinyRobot},
};
// clang-format on

class FoundPathTest : public ::testing::TestWithParam<FoundCase> {};

TEST_P(FoundPathTest, IsReturnedAndSound) {
  const FoundCase& c = GetParam();
  const HybridAStar planner(c.map());
  PlanRequest request;
  request.start = c.start;
  request.goal = c.goal;
  PlannerConfig config;
  config.max_planning_time_seconds = testing_support::kUnlimitedSeconds;
  c.adjust(request, config);
  const PlannerResult result = planner.plan(request, config);
  ASSERT_EQ(result.status, PlannerStatus::SUCCESS) << result.message;
  EXPECT_EQ(oracles::pathProblem(planner.costmap(), request, config, result), "");
}

INSTANTIATE_TEST_SUITE_P(Queries, FoundPathTest, ::testing::ValuesIn(kFoundCases),
                         [](const auto& info) { return std::string(info.param.name); });

// More steering angles against the reference planner's own lattice of them: the same search bit
// for bit (statuses, counters, paths), and sound paths.
TEST(SteeringAngles, SameSearchAsTheReferenceAndSoundPaths) {
  // 6 m square, 0.1 m cells, a wall at x 3..3.2 from y 0 to 4.
  std::vector<std::uint8_t> cells(60 * 60, 0);
  for (std::size_t y = 0; y < 40; ++y) {
    cells[y * 60 + 30] = cells[y * 60 + 31] = 254;
  }
  const Costmap map(60, 60, 0.1, 0.0, 0.0, cells);
  const HybridAStar planner(map);
  oracles::ReferencePlanner reference(map);
  const std::pair<Pose2D, Pose2D> queries[] = {{{1, 1, 0}, {2.5, 2.5, 1.2}},
                                               {{3.8, 1, 1.57}, {5, 1, -1.57}},
                                               {{1, 5, 0}, {1.5, 5, 3.1416}},
                                               {{4.5, 2, 1.57}, {2, 5.2, 3.14}}};
  int found = 0;
  for (const std::uint32_t angles : {5u, 7u}) {
    for (const auto& [start, goal] : queries) {
      PlannerConfig config;
      config.steering_angles = angles;
      config.scale_steering_penalty_with_curvature = angles == 7;
      config.max_expanded_nodes = 5000;
      config.max_planning_time_seconds = testing_support::kUnlimitedSeconds;
      PlanRequest request;
      request.start = start;
      request.goal = goal;
      const PlannerResult fast = planner.plan(request, config);
      const PlannerResult slow = reference.plan(request, config);
      SCOPED_TRACE(std::to_string(angles) + " angles to " + std::to_string(goal.x) + ": " +
                   slow.message);
      const auto& a = fast.diagnostics;
      const auto& b = slow.diagnostics;
      EXPECT_EQ(std::make_tuple(fast.status, fast.message, a.expanded_nodes, a.generated_nodes,
                                a.collision_checks, a.reverse_count, a.direction_switch_count),
                std::make_tuple(slow.status, slow.message, b.expanded_nodes, b.generated_nodes,
                                b.collision_checks, b.reverse_count, b.direction_switch_count));
      ASSERT_EQ(fast.path.size(), slow.path.size());
      EXPECT_TRUE(fast.path.empty() || std::memcmp(fast.path.data(), slow.path.data(),
                                                   fast.path.size() * sizeof(Pose2D)) == 0);
      if (fast.status == PlannerStatus::SUCCESS) {
        ++found;
        EXPECT_EQ(oracles::pathProblem(map, request, config, fast), "");
      }
    }
  }
  EXPECT_GE(found, 6);
}

// With return_partial_path a search that ends short of the goal, at its budget or with the open
// set exhausted, returns a sound path to where it got closest; the search, its status and its
// message are those of the same call without.
TEST(PartialPath, LeadsUpToTheGapTheRobotCannotPass) {
  // 5 m x 3 m, a wall at x 2.5..2.55 with a gap at y 1.45..1.5, too narrow for the 0.25 m robot.
  std::vector<std::uint8_t> cells(100 * 60, 0);
  for (std::size_t y = 0; y < 60; ++y) {
    cells[y * 100 + 50] = y == 29 ? 0 : 254;
  }
  const HybridAStar planner(Costmap(100, 60, 0.05, 0.0, 0.0, cells));
  PlanRequest request;
  request.start = {1.0, 1.5, 0.0};
  request.goal = {4.0, 1.5, 0.0};
  for (const std::uint64_t budget : {200u, 1000000u, 200u + 1u, 1000000u + 1u}) {
    PlannerConfig config;
    config.max_planning_time_seconds = testing_support::kUnlimitedSeconds;
    config.max_expanded_nodes = budget & ~1u;
    config.lazy_obstacle_heuristic = (budget & 1u) != 0;  // the field computed as read
    const PlannerResult plain = planner.plan(request, config);
    config.return_partial_path = true;
    const PlannerResult result = planner.plan(request, config);
    EXPECT_EQ(plain.status, config.max_expanded_nodes == 200u ? PlannerStatus::MAX_NODES_EXCEEDED
                                                              : PlannerStatus::NO_PATH);
    EXPECT_EQ(std::make_tuple(result.status, result.message, result.diagnostics.expanded_nodes),
              std::make_tuple(plain.status, plain.message, plain.diagnostics.expanded_nodes));
    EXPECT_TRUE(!plain.partial && plain.path.empty());
    ASSERT_TRUE(result.partial && !result.path.empty());
    // A sound path from the start to its own end.
    PlannerResult judged = result;
    judged.status = PlannerStatus::SUCCESS;
    PlanRequest to_end = request;
    to_end.goal = result.path.back();
    EXPECT_EQ(oracles::pathProblem(planner.costmap(), to_end, config, judged), "");
    const Pose2D& end = result.path.back();
    EXPECT_LT(std::hypot(end.x - 4.0, end.y - 1.5), 3.0);
    if (config.max_expanded_nodes >
        200u) {  // every reachable pose explored: the end lies at the gap
      EXPECT_TRUE(end.x > 2.1 && end.x < 2.5 && std::fabs(end.y - 1.475) < 0.15)
          << end.x << ' ' << end.y;
    }
  }
}

// Every cell size a costmap accepts gets a clean answer, never an exception or INTERNAL_ERROR: the
// defaults, the recommended configuration (which once found nothing on 5 m cells, where an arc
// of one cell looped twice round and turned by less than a yaw bin) and a robot scaled with the
// cells. Cells finer than a micrometre are refused; every other query here is solved soundly.
TEST(FoundPathCellSizes, EveryAcceptedResolutionGetsACleanAnswer) {
  for (const double cell : {1e-310, 1e-12, 9.99e-7, 1e-6, 1e-3, 0.3, 1.0, 4.5, 5.0, 5.5, 100.0}) {
    const HybridAStar planner(emptyMap(20, cell));
    for (int setup = 0; setup < 3; ++setup) {
      PlanRequest request;
      request.start = {6 * cell, 6 * cell, 0.0};
      request.goal = {14 * cell, 12 * cell, 1.5};
      PlannerConfig config =
          setup == 0 ? PlannerConfig{} : recommendedConfig(cell, request.footprint);
      if (setup == 2 || cell < 0.3) {  // in proportion to the cell: a 0.4 m radius would not fit
        request.footprint = CircleFootprint{cell};
        config.minimum_turning_radius = 3 * cell;
        config.collision_check_step = cell / 2;
        config.path_output_spacing = cell;
        config.position_tolerance = cell;
        config.analytic_expansion_max_length = 10 * cell;
      }
      config.max_planning_time_seconds = testing_support::kUnlimitedSeconds;
      SCOPED_TRACE("cell " + std::to_string(cell) + " setup " + std::to_string(setup));
      PlannerResult result;
      ASSERT_NO_THROW(result = planner.plan(request, config));
      if (cell < 1e-6) {
        EXPECT_EQ(result.status, PlannerStatus::INVALID_REQUEST);
        EXPECT_EQ(result.message, "costmap resolution must be at least 1e-6 m for planning");
      } else {
        EXPECT_EQ(result.status, PlannerStatus::SUCCESS) << result.message;
        EXPECT_EQ(oracles::pathProblem(planner.costmap(), request, config, result), "");
      }
    }
  }
}

// 6 m x 4 m at 0.1 m: a wall with a door 0.6 m wide and a pillar, for robots of different widths.
Costmap doorMap() {
  std::vector<std::uint8_t> cells(60 * 40, 0);
  for (std::uint64_t y = 0; y < 40; ++y) {
    cells[y * 60 + 30] = y < 17 || y > 22 ? 254 : 0;
    cells[y * 60 + 45] = y > 8 && y < 14 ? 254 : 0;
  }
  return Costmap(60, 40, 0.1, 0.0, 0.0, cells);
}

const Footprint kWide =
    PolygonFootprint{{{0.35, 0.25}, {-0.35, 0.25}, {-0.35, -0.25}, {0.35, -0.25}}};

// The footprint-aware heuristic blocks only cells where the footprint collides wherever in the
// cell and at whatever yaw it stands: from every cell beside the wall where the reference checker
// finds a free pose (9 positions x 36 yaws), the goal stays connected.
TEST(FootprintAwareHeuristic, NeverBlocksACellWhereTheFootprintFits) {
  const HybridAStar planner(doorMap());
  for (const Footprint& footprint : {Footprint{CircleFootprint{0.28}}, kWide}) {
    PlannerConfig config = recommendedConfig(0.1, footprint);
    config.max_expanded_nodes = 1;
    PlanRequest request{{}, {1.0, 2.0, 0.0}, footprint, 0, 0, 0};
    int fitting = 0;
    for (std::uint64_t cell = 0; cell < 60 * 40; ++cell) {
      const double x0 = static_cast<double>(cell % 60) * 0.1,
                   y0 = static_cast<double>(cell / 60) * 0.1;
      bool fits = false;
      for (int k = 0; k < 9 * 36 && !fits && std::fabs(x0 - 3.0) <= 0.6; ++k) {
        request.start = {x0 + 0.005 + 0.045 * (k % 3), y0 + 0.005 + 0.045 * (k / 3 % 3),
                         kTwoPi / 36 * (k / 9)};
        fits =
            !oracles::referenceCheck(planner.costmap(), false, request.start, footprint).collision;
      }
      fitting += fits ? 1 : 0;
      ASSERT_FALSE(fits && planner.plan(request, config).status == PlannerStatus::NO_PATH)
          << request.start.x << ", " << request.start.y << ", " << request.start.yaw;
    }
    EXPECT_GE(fitting, 40);
  }
}

// A planner that planned for one robot plans for another, to the same goal on the same map
// revision, exactly as a new planner: the cached field of one clearance is not the other's.
TEST(FootprintAwareHeuristic, ReusedPlannerPlansAsAFreshOneForEachFootprint) {
  const HybridAStar reused(doorMap());
  for (const Footprint& footprint :
       {Footprint{CircleFootprint{0.1}}, kWide, Footprint{CircleFootprint{0.1}}}) {
    const PlanRequest request{{1.0, 1.0, 0.0}, {5.2, 3.0, 1.5}, footprint, 0, 0, 0};
    PlannerConfig config = recommendedConfig(0.1, footprint);
    config.max_planning_time_seconds = testing_support::kUnlimitedSeconds;
    const PlannerResult again = reused.plan(request, config);
    const PlannerResult fresh = HybridAStar(doorMap()).plan(request, config);
    ASSERT_EQ(again.status, PlannerStatus::SUCCESS) << again.message;
    EXPECT_EQ(again.diagnostics.expanded_nodes, fresh.diagnostics.expanded_nodes);
    ASSERT_EQ(again.path.size(), fresh.path.size());
    EXPECT_EQ(std::memcmp(again.path.data(), fresh.path.data(), again.path.size() * sizeof(Pose2D)),
              0);
  }
}

// Random queries on every bundled map, with the library defaults and the recommended
// configuration, for a car with and without reverse and a robot that turns on the spot: no
// INTERNAL_ERROR, every found path sound, and the recommended configuration solves every query a
// reversing or turning robot can drive.
TEST(FoundPathRandom, EveryFoundPathIsSoundAndTheRecommendedConfigSolvesAll) {
  std::mt19937_64 random(20261206);
  for (const char* name : {"parking_lot", "warehouse", "maze"}) {
    const HybridAStar planner(exampleMap(name));
    const Costmap& map = planner.costmap();
    const CollisionChecker checker(map, false);
    const double width = static_cast<double>(map.width()) * map.resolution();
    const double height = static_cast<double>(map.height()) * map.resolution();
    std::uniform_real_distribution<double> ux(0.0, width), uy(0.0, height), uyaw(-3.14, 3.14);
    const auto freePose = [&]() {
      for (;;) {
        const Pose2D pose{ux(random), uy(random), uyaw(random)};
        if (!checker.check(pose, CircleFootprint{0.35}).collision) return pose;
      }
    };
    // Start and goal joined by cells where the robot fits with 0.1 m to spare.
    const auto connected = [&](const Pose2D& a, const Pose2D& b) {
      GridIndex ca, cb;
      map.worldToMap(a.x, a.y, ca);
      map.worldToMap(b.x, b.y, cb);
      return std::isfinite(ObstacleHeuristic(map, cb, false, 0.0, 0.35).distance(ca.x, ca.y));
    };
    for (int mode = 0; mode < 3; ++mode) {
      for (int query = 0; query < 3; ++query) {
        PlanRequest request;
        request.start = freePose();
        do {
          request.goal = freePose();
        } while (std::hypot(request.goal.x - request.start.x, request.goal.y - request.start.y) <
                     3.0 ||
                 !connected(request.start, request.goal));
        for (const bool recommended : {false, true}) {
          PlannerConfig config =
              recommended ? recommendedConfig(map.resolution(), request.footprint, mode == 2)
                          : PlannerConfig{};
          config.allow_reverse = mode != 1;
          config.allow_in_place_rotation = mode == 2;
          config.max_expanded_nodes = recommended ? 2000000 : 60000;
          config.max_planning_time_seconds = testing_support::kUnlimitedSeconds;
          const PlannerResult result = planner.plan(request, config);
          SCOPED_TRACE(std::string(name) + " mode " + std::to_string(mode) + " query " +
                       std::to_string(query) + (recommended ? " recommended" : " defaults"));
          EXPECT_NE(result.status, PlannerStatus::INTERNAL_ERROR) << result.message;
          EXPECT_EQ(oracles::pathProblem(map, request, config, result), "");
          // A car that cannot reverse may have no way to turn round in a corridor.
          if (recommended && result.status != PlannerStatus::SUCCESS &&
              !(mode == 1 && result.status == PlannerStatus::NO_PATH)) {
            ADD_FAILURE() << plannerStatusName(result.status) << ": " << result.message;
          }
        }
      }
    }
  }
}

// A row of 1 m cells with a lethal cell at the end: clearance c blocks the cells whose centre is
// closer than c to it (from cell 6, 5 and 4 on for 1, 2 and 2.5); unknown cells block like lethal
// ones unless they are allowed.
TEST(ObstacleHeuristicClearance, BlocksCellsCloserThanTheClearance) {
  const Costmap row(7, 1, 1.0, 0.0, 0.0, {0, 0, 0, 0, 0, 0, 254});
  const double inf = std::numeric_limits<double>::infinity();
  for (const auto& [clearance, blocked_from] : {std::pair{1.0, 6u}, {2.0, 5u}, {2.5, 4u}}) {
    const ObstacleHeuristic field(row, GridIndex{0, 0}, false, 2.0, clearance);
    for (std::uint64_t x = 0; x < 7; ++x) {
      EXPECT_EQ(field.distance(x, 0), x < blocked_from ? static_cast<double>(x) : inf)
          << "clearance " << clearance << " x " << x;
    }
  }
  const Costmap unknown(4, 1, 1.0, 0.0, 0.0, {0, 0, 0, 255});
  EXPECT_EQ(ObstacleHeuristic(unknown, GridIndex{0, 0}, false, 0.0, 1.5).distance(2, 0), inf);
  EXPECT_EQ(ObstacleHeuristic(unknown, GridIndex{0, 0}, true, 0.0, 1.5).distance(3, 0), 3.0);
}

// A field that stops early agrees with the whole field below its reach and reads the reach
// elsewhere, and it reaches far enough for its start.
TEST(ObstacleHeuristicReach, AgreesWithTheWholeFieldBelowItsReach) {
  std::mt19937_64 random(7);
  std::vector<std::uint8_t> cells(120 * 90);
  for (std::uint8_t& c : cells) {
    const auto roll = random() % 100;
    c = roll < 12 ? 254 : (roll < 15 ? 255 : static_cast<std::uint8_t>(roll % 40));
  }
  const Costmap map(120, 90, 0.1, 0.0, 0.0, cells);
  const GridIndex goal{60, 45};
  const ObstacleHeuristic whole(map, goal, false, 2.0);
  EXPECT_EQ(whole.reach(), std::numeric_limits<double>::infinity());
  for (const GridIndex start : {GridIndex{70, 45}, GridIndex{5, 5}, GridIndex{119, 0}}) {
    for (const double factor : {1.0, 2.0}) {
      const ObstacleHeuristic part(map, goal, false, 2.0, 0.0, start, factor);
      const double v = whole.distance(start.x, start.y);
      if (!std::isfinite(v)) {
        EXPECT_EQ(part.reach(), std::numeric_limits<double>::infinity());
      } else {
        EXPECT_GE(part.reach(), factor * v + 1.0);
      }
      for (std::uint64_t y = 0; y < 90; ++y) {
        for (std::uint64_t x = 0; x < 120; ++x) {
          ASSERT_EQ(part.distance(x, y), std::min(whole.distance(x, y), part.reach()))
              << x << ", " << y << " factor " << factor;
        }
      }
    }
  }
}

// The cached field of a near start does not serve a far one; the whole field serves every start.
TEST(ObstacleHeuristicReach, CacheHitsOnlyWhereTheFieldReaches) {
  const HybridAStar planner(emptyMap(400, 0.05));
  PlanRequest request;
  request.goal = {10.0, 10.0, 0.0};
  PlannerConfig config = recommendedConfig(0.05, request.footprint);
  config.max_planning_time_seconds = testing_support::kUnlimitedSeconds;
  const auto hit = [&](double start_x) {
    request.start = {start_x, 10.0, 0.0};
    const PlannerResult r = planner.plan(request, config);
    EXPECT_EQ(r.status, PlannerStatus::SUCCESS) << r.message;
    return r.diagnostics.obstacle_heuristic_cache_hit;
  };
  EXPECT_FALSE(hit(12.0));
  EXPECT_TRUE(hit(11.0));
  EXPECT_FALSE(hit(2.0));  // 8 m out: twice that lies beyond the field
  EXPECT_TRUE(hit(12.0));  // the map's far corner is nearer than 17 m: now the whole field
  config.heuristic_reach_factor = 0.0;
  EXPECT_TRUE(hit(19.0));
  config.heuristic_reach_factor = 2.0;
  request.goal = {5.0, 5.0, 0.0};
  EXPECT_FALSE(hit(6.0));
  config.heuristic_reach_factor = 0.0;
  EXPECT_FALSE(hit(6.0));  // a search without a reach factor needs the whole field
  // Uncached calls neither hit nor disturb the cache.
  config.cache_obstacle_heuristic = false;
  EXPECT_FALSE(hit(6.5));
  request.goal = {15.0, 5.0, 0.0};
  EXPECT_FALSE(hit(6.0));
  config.cache_obstacle_heuristic = true;
  request.goal = {5.0, 5.0, 0.0};
  EXPECT_TRUE(hit(6.5));
}

// The parking car of these tests: 4.7 x 1.9 m, its origin at the rear axle.
PolygonFootprint parkingCar() {
  return PolygonFootprint{{{3.7, 0.95}, {-1.0, 0.95}, {-1.0, -0.95}, {3.7, -0.95}}};
}

// A car (4.7 x 1.9 m, 3.5 m radius) facing the closed end of a 6 m wide corridor must turn round
// to a goal behind it: a manoeuvre of several cusps that neither the 2-D distance nor the
// obstacle-free curve foresees. With the estimate of its manoeuvres the search finds a sound path
// in a small part of the expansions it needs without.
TEST(ManoeuvreHeuristic, TurnsACarRoundInADeadEnd) {
  std::vector<std::uint8_t> cells(200 * 62, 0);
  for (std::size_t x = 0; x < 200; ++x) {
    cells[x] = cells[61 * 200 + x] = 254;
  }
  for (std::size_t y = 0; y < 62; ++y) {
    cells[y * 200 + 199] = 254;
  }
  const HybridAStar planner(Costmap(200, 62, 0.1, 0.0, 0.0, cells));
  PlanRequest request;
  request.footprint = parkingCar();
  request.start = {13.0, 3.1, 0.0};
  request.goal = {9.0, 3.1, kPi};
  PlannerConfig config = recommendedConfig(0.1, request.footprint, false, 3.5);
  config.max_planning_time_seconds = testing_support::kUnlimitedSeconds;
  ASSERT_TRUE(config.manoeuvre_heuristic);
  config.search_from_goal = false;  // the estimate alone
  const PlannerResult result = planner.plan(request, config);
  ASSERT_EQ(result.status, PlannerStatus::SUCCESS) << result.message;
  EXPECT_EQ(oracles::pathProblem(planner.costmap(), request, config, result), "");
  EXPECT_GE(result.diagnostics.direction_switch_count, 2u);
  config.manoeuvre_heuristic = false;
  config.max_expanded_nodes = 10 * result.diagnostics.expanded_nodes;
  const PlannerResult without = planner.plan(request, config);
  EXPECT_TRUE(without.status == PlannerStatus::MAX_NODES_EXCEEDED ||
              without.diagnostics.expanded_nodes > 5 * result.diagnostics.expanded_nodes)
      << result.diagnostics.expanded_nodes << " " << without.diagnostics.expanded_nodes;
}

// Prices of the estimate for the car's 3.5 m radius: reversing and arcs dearer per metre, a cusp
// 2 m.
detail::ManoeuvreField::Prices fieldPrices() {
  detail::ManoeuvreField::Prices prices;
  prices.radius = 3.5;
  prices.reverse_per_metre = 1.0;
  prices.non_straight_per_metre = 0.3;
  prices.cusp = 2.0;
  return prices;
}

// States over empty ground are answered from the zero-cost table without looking at their points,
// and the search back, aimed at the start, runs only as far as each read needs: the estimate must
// read the same everywhere, in any order, as a field searched to its end in order of value alone
// without the table, on a map with open floor, graded costs and walls.
TEST(ManoeuvreHeuristic, ZeroCostShortcutAndReadsOnDemandChangeNoEstimate) {
  std::vector<std::uint8_t> cells(300 * 120, 0);
  for (std::size_t x = 0; x < 300; ++x) {
    cells[x] = cells[119 * 300 + x] = 254;
  }
  for (std::size_t y = 40; y < 80; ++y) {
    for (std::size_t x = 140; x < 160; ++x) {
      cells[y * 300 + x] = 254;
    }
  }
  const Costmap map = inflateCostmap(Costmap(300, 120, 0.1, 0.0, 0.0, cells), 1.5, 0.2, 2.0);
  const Footprint car = parkingCar();
  detail::ManoeuvreField::Prices prices = fieldPrices();
  prices.cost_penalty = 2.0;
  detail::ZeroCostRegions zero;
  zero.build(map);
  const Pose2D start{4.0, 6.0, 0.0};
  const Pose2D goal{26.0, 3.0, kPi};
  detail::ManoeuvreField with_table;
  detail::ManoeuvreField without;
  with_table.build(map, false, car, 0.95, start, goal, prices, std::uint64_t{1} << 18, &zero, {});
  without.build(map, false, car, 0.95, start, goal, prices, std::uint64_t{1} << 18, nullptr, {},
                false);
  ASSERT_FALSE(without.empty());
  without.settleAll();
  std::vector<Pose2D> poses;
  for (double x = 0.05; x < 30.0; x += 0.23) {
    for (double y = 0.05; y < 12.0; y += 0.23) {
      for (double yaw = -3.1; yaw < 3.2; yaw += 0.37) {
        poses.push_back({x, y, yaw});
      }
    }
  }
  // In the order of their estimates, so that each read finds the search back just short of it,
  // and in a shuffled order.
  std::shuffle(poses.begin(), poses.end(), std::mt19937(7));
  std::stable_sort(poses.begin(), poses.begin() + poses.size() / 2,
                   [&](const Pose2D& a, const Pose2D& b) {
                     return without.at(a, Direction::FORWARD) < without.at(b, Direction::FORWARD);
                   });
  int finite = 0;
  for (const Pose2D& pose : poses) {
    for (const Direction arrival : {Direction::FORWARD, Direction::REVERSE, Direction::ROTATION}) {
      const double a = with_table.at(pose, arrival);
      ASSERT_EQ(a, without.at(pose, arrival)) << pose.x << " " << pose.y << " " << pose.yaw;
      finite += a > 0.0 && a < 1e9 ? 1 : 0;
    }
  }
  EXPECT_GT(finite, 75000);
}

// On open ground the cheapest way to a goal from six moves straight behind it is six straight
// moves, whatever the heading. The estimate may merge that way with another in a cell and so
// swap a straight move for a pair of arcs here and there, but it must stay within a few arcs'
// surcharge of it at every one of its 24 headings (moving on from cell centres made it more than
// twice as dear at 15 degrees off the axes).
TEST(ManoeuvreHeuristic, StraightLinesStayStraightAtEveryHeading) {
  const Costmap map(400, 400, 0.1, 0.0, 0.0, std::vector<std::uint8_t>(400 * 400, 0));
  const Footprint car = parkingCar();
  detail::ManoeuvreField::Prices prices = fieldPrices();
  const double move = 3.5 * 2.0 * kPi / 24.0;  // one yaw bin's arc, the straight move's length
  const double straight = 6.0 * move;
  const double four_arcs = 4.0 * 0.3 * move;
  for (int t = 0; t < 24; ++t) {
    const double yaw = t * 2.0 * kPi / 24.0;
    const Pose2D goal{20.0 + 0.37 * std::cos(yaw), 20.0 + 0.37 * std::sin(yaw), yaw};
    const Pose2D start{goal.x - 6.0 * move * std::cos(yaw), goal.y - 6.0 * move * std::sin(yaw),
                       yaw};
    detail::ManoeuvreField field;
    field.build(map, false, car, 0.95, start, goal, prices, std::uint64_t{1} << 18, nullptr, {});
    ASSERT_FALSE(field.empty());
    const double value = field.at(start, Direction::FORWARD);
    EXPECT_GE(value, straight * (1.0 - 1e-6)) << t;
    EXPECT_LE(value, straight + four_arcs + 1e-4) << t;
  }
  // Places are kept in float: a radius whose moves no float can hold leaves no estimate, rather
  // than lattice cells computed from infinities.
  prices.radius = 1e300;
  detail::ManoeuvreField huge;
  huge.build(map, false, car, 0.95, {5.0, 5.0, 0.0}, {30.0, 30.0, 0.0}, prices,
             std::uint64_t{1} << 18, nullptr, {});
  EXPECT_TRUE(huge.empty());
}

// A row of nine 2.5 m bays, 5 m deep, all but the middle one taken by a parked car, off a 5.5 m
// aisle closed by a wall: 24 x 11 m at 0.1 m.
Costmap bayRow() {
  std::vector<std::uint8_t> cells(240 * 110, 0);
  const auto block = [&](double x0, double y0, double x1, double y1) {
    for (std::size_t y = 0; y < 110; ++y) {
      for (std::size_t x = 0; x < 240; ++x) {
        const double cx = (static_cast<double>(x) + 0.5) * 0.1;
        const double cy = (static_cast<double>(y) + 0.5) * 0.1;
        if (cx >= x0 && cx <= x1 && cy >= y0 && cy <= y1) {
          cells[y * 240 + x] = 254;
        }
      }
    }
  };
  block(0.0, 10.5, 24.0, 11.0);
  for (int bay = 0; bay < 9; ++bay) {
    if (bay != 4) {
      const double centre = 1.25 + 2.5 * bay;
      block(centre - 0.95, 0.0, centre + 0.95, 4.7);
    }
  }
  return Costmap(240, 110, 0.1, 0.0, 0.0, cells);
}

// A car (4.7 x 1.9 m, 3.5 m radius, origin at the rear axle) in the aisle, nose first into the
// free bay.
PlanRequest noseFirstIntoTheBay() {
  PlanRequest request;
  request.footprint = parkingCar();
  request.start = {2.0, 7.75, 0.0};
  request.goal = {11.25, 4.0, -kPi / 2};
  return request;
}

// The open list reordered mid-search, as a stalled search's harder weight does: whatever was
// popped before, the rest come out by the new f, then h, then push order, ties included.
TEST(OpenListRekey, PopsTheRestInTheNewOrder) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int> small(0, 5);
  detail::OpenList open;
  std::vector<std::tuple<double, double, std::uint32_t>> pushed;  // f, h, node (= push order)
  for (std::uint32_t node = 0; node < 2000; ++node) {
    const double h = small(random);
    pushed.emplace_back(small(random) + h, h, node);
    open.push(std::get<0>(pushed.back()), h, node);
  }
  std::vector<bool> popped(pushed.size(), false);
  for (int k = 0; k < 300; ++k) {
    popped[open.pop()] = true;
  }
  // f = g + 3h with g = f - h, and some ties left to h and push order.
  open.rekey(
      [&](const detail::OpenList::Entry& e) { return std::get<0>(pushed[e.node]) + 2 * e.h; });
  std::vector<std::tuple<double, double, std::uint32_t>> expected;
  for (const auto& [f, h, node] : pushed) {
    if (!popped[node]) {
      expected.emplace_back(f + 2 * h, h, node);
    }
  }
  std::sort(expected.begin(), expected.end());
  std::vector<std::uint32_t> order;
  while (!open.empty()) {
    order.push_back(open.pop());
  }
  ASSERT_EQ(order.size(), expected.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    ASSERT_EQ(order[i], std::get<2>(expected[i])) << i;
  }
}

// A car (4.7 x 1.9 m, 3.5 m radius) parks nose first in the free bay: hard to foresee from the
// aisle, a few primitives out of the bay. Searching from the goal as well finds a sound path that
// starts and ends exactly at the request's poses; a node limit counts the expansions of both
// searches.
TEST(SearchFromGoal, ParksNoseFirstBetweenParkedCars) {
  const HybridAStar planner(bayRow());
  const PlanRequest request = noseFirstIntoTheBay();
  PlannerConfig config = recommendedConfig(0.1, request.footprint, false, 3.5);
  config.max_planning_time_seconds = testing_support::kUnlimitedSeconds;
  config.search_from_goal = false;
  // The harder weight of a stalled search would cut the flood short its own way.
  config.stall_expansions = 0;
  const PlannerResult alone = planner.plan(request, config);
  config.search_from_goal = true;
  const PlannerResult both = planner.plan(request, config);
  ASSERT_EQ(both.status, PlannerStatus::SUCCESS) << both.message;
  EXPECT_EQ(oracles::pathProblem(planner.costmap(), request, config, both), "");
  EXPECT_EQ(std::memcmp(&both.path.front(), &request.start, sizeof(Pose2D)), 0);
  EXPECT_EQ(std::memcmp(&both.path.back(), &request.goal, sizeof(Pose2D)), 0);
  EXPECT_LT(5 * both.diagnostics.expanded_nodes, alone.diagnostics.expanded_nodes)
      << both.diagnostics.expanded_nodes << " " << alone.diagnostics.expanded_nodes;
  config.max_expanded_nodes = both.diagnostics.expanded_nodes - 1;
  const PlannerResult cut = planner.plan(request, config);
  EXPECT_EQ(cut.status, PlannerStatus::MAX_NODES_EXCEEDED);
  EXPECT_EQ(cut.diagnostics.expanded_nodes, config.max_expanded_nodes);
}

// Options that spare checks without changing what is found: sparse checks of a curve's samples
// accept exactly the curves checked in order, and a successor passed over could not have changed
// its node. The same searches and paths, with fewer checks.
struct CheckSaving {
  const char* name;
  bool PlannerConfig::*option;
};

class CheckSavingOptions : public ::testing::TestWithParam<CheckSaving> {};

TEST_P(CheckSavingOptions, FindTheSamePathsWithFewerChecks) {
  const HybridAStar planner(bayRow());
  PlanRequest request;
  request.footprint = parkingCar();
  const std::pair<Pose2D, Pose2D> queries[] = {{{2.0, 7.75, 0.0}, {11.25, 4.0, -kPi / 2}},
                                               {{20.0, 7.5, kPi}, {11.25, 1.3, kPi / 2}},
                                               {{11.25, 1.3, kPi / 2}, {5.0, 8.0, kPi}}};
  std::uint64_t saved = 0;
  for (const bool from_goal : {true, false}) {
    for (const auto& [start, goal] : queries) {
      request.start = start;
      request.goal = goal;
      PlannerConfig config = recommendedConfig(0.1, request.footprint, false, 3.5);
      config.max_planning_time_seconds = testing_support::kUnlimitedSeconds;
      config.search_from_goal = from_goal;
      ASSERT_TRUE(config.*GetParam().option);
      const PlannerResult sparing = planner.plan(request, config);
      config.*GetParam().option = false;
      const PlannerResult every = planner.plan(request, config);
      const auto& a = sparing.diagnostics;
      const auto& b = every.diagnostics;
      ASSERT_EQ(sparing.status, PlannerStatus::SUCCESS) << sparing.message;
      EXPECT_EQ(
          std::make_tuple(sparing.status, a.expanded_nodes, a.generated_nodes, sparing.directions),
          std::make_tuple(every.status, b.expanded_nodes, b.generated_nodes, every.directions));
      ASSERT_EQ(sparing.path.size(), every.path.size());
      EXPECT_EQ(
          std::memcmp(sparing.path.data(), every.path.data(), every.path.size() * sizeof(Pose2D)),
          0);
      EXPECT_LE(a.collision_checks, b.collision_checks);
      saved += b.collision_checks - a.collision_checks;
    }
  }
  EXPECT_GT(saved, 1000u);
}

INSTANTIATE_TEST_SUITE_P(
    Options, CheckSavingOptions,
    ::testing::Values(
        CheckSaving{"coarse_curve_checks", &PlannerConfig::analytic_expansion_coarse_checks},
        CheckSaving{"improving_successors_only", &PlannerConfig::check_improving_successors_only}),
    [](const ::testing::TestParamInfo<CheckSaving>& info) { return std::string(info.param.name); });

// The nose-first bay, searched from the aisle alone. A lattice rounded down from 1.5 cells is
// the costmap's own, bit for bit; one of two cells a side finds a sound path with a fraction of
// the expansions; one larger than the map still gets a clean answer.
TEST(LatticeCells, CoarserLatticeOnFineCellsSparesTheSearch) {
  const HybridAStar planner(bayRow());
  const PlanRequest request = noseFirstIntoTheBay();
  PlannerConfig config = recommendedConfig(0.1, request.footprint, false, 3.5);
  config.max_planning_time_seconds = testing_support::kUnlimitedSeconds;
  config.search_from_goal = false;
  config.stall_expansions = 0;
  config.lattice_cell_size = 0.2;
  const PlannerResult coarse = planner.plan(request, config);
  config.lattice_cell_size = 0.0;
  const PlannerResult fine = planner.plan(request, config);
  config.lattice_cell_size = 0.15;
  const PlannerResult rounded = planner.plan(request, config);
  ASSERT_EQ(coarse.status, PlannerStatus::SUCCESS) << coarse.message;
  ASSERT_EQ(fine.status, PlannerStatus::SUCCESS) << fine.message;
  EXPECT_EQ(oracles::pathProblem(planner.costmap(), request, config, coarse), "");
  EXPECT_LT(2 * coarse.diagnostics.expanded_nodes, fine.diagnostics.expanded_nodes)
      << coarse.diagnostics.expanded_nodes << " " << fine.diagnostics.expanded_nodes;
  EXPECT_EQ(rounded.diagnostics.expanded_nodes, fine.diagnostics.expanded_nodes);
  EXPECT_TRUE(testing_support::samePoses(rounded.path, fine.path));
  config.lattice_cell_size = 1e300;
  config.max_expanded_nodes = 5000;
  const PlannerResult whole = planner.plan(request, config);
  EXPECT_NE(whole.status, PlannerStatus::INTERNAL_ERROR) << whole.message;
  EXPECT_FALSE(whole.message.empty());
}

}  // namespace
}  // namespace veltrax::se2
