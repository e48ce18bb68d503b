// The library's planner against the plain reference planner of oracles/: the same results, bit
// for bit, on seeded queries over several maps and configurations, apart from the timings.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "oracles/reference_planner.hpp"
#include "shared_maps.hpp"
#include "test_support.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2 {
namespace {

constexpr double kResolution = 0.05;

void fillBox(std::vector<std::uint8_t>& cells, std::uint64_t width, std::uint64_t x0,
             std::uint64_t y0, std::uint64_t x1, std::uint64_t y1, std::uint8_t cost) {
  for (std::uint64_t y = y0; y < y1; ++y) {
    for (std::uint64_t x = x0; x < x1; ++x) {
      cells[y * width + x] = cost;
    }
  }
}

// Three rooms joined by doorways, with a lethal border.
Costmap roomsMap() {
  std::vector<std::uint8_t> cells(90 * 70, 254);
  fillBox(cells, 90, 2, 2, 88, 68, 0);
  fillBox(cells, 90, 30, 0, 32, 40, 254);
  fillBox(cells, 90, 60, 25, 62, 70, 254);
  return Costmap(90, 70, kResolution, 0.0, 0.0, cells);
}

// Random lethal boxes and a patch of unknown cells.
Costmap clutterMap() {
  std::vector<std::uint8_t> cells(80 * 60, 0);
  std::mt19937 rng(7);
  for (int i = 0; i < 9; ++i) {
    const std::uint64_t x = rng() % 72;
    const std::uint64_t y = rng() % 52;
    fillBox(cells, 80, x, y, x + 2 + rng() % 6, y + 2 + rng() % 6, 254);
  }
  fillBox(cells, 80, 50, 40, 58, 46, 255);
  return Costmap(80, 60, kResolution, -1.0, 2.0, cells);
}

// Open ground with scattered graded costs: every step pays a different penalty.
Costmap gradedMap() {
  std::vector<std::uint8_t> cells(90 * 80, 0);
  std::mt19937 rng(11);
  for (std::uint8_t& c : cells) {
    c = rng() % 6 == 0 ? static_cast<std::uint8_t>(rng() % 180) : 0;
  }
  fillBox(cells, 90, 40, 30, 46, 50, 254);
  return Costmap(90, 80, kResolution, 0.0, 0.0, cells);
}

// A corner of the benchmark maze (grey level = cost, first image row = largest y).
Costmap mazeCorner() {
  const Costmap maze = testing::loadGreyCostmap("bench/maps/maze.pgm");
  std::vector<std::uint8_t> cells(110 * 110);
  for (std::uint64_t i = 0; i < cells.size(); ++i) {
    cells[i] = maze.getCost(i % 110, i / 110);
  }
  return Costmap(110, 110, kResolution, 0.0, 0.0, cells);
}

struct MapCase {
  const char* name;
  Costmap (*make)();
  bool inflate;
};

const MapCase kMaps[] = {{"rooms", &roomsMap, true},
                         {"clutter", &clutterMap, true},
                         {"graded", &gradedMap, false},
                         {"maze", &mazeCorner, true}};

// The map as the planner sees it (the inflation itself is held to its oracle in test_cost_fields).
Costmap plannerMap(const MapCase& m) {
  return m.inflate ? inflateCostmap(m.make(), 0.4, 0.15, 6.0) : m.make();
}

PolygonFootprint rectangle(double length, double width) {
  return PolygonFootprint{{{length / 2, width / 2},
                           {-length / 2, width / 2},
                           {-length / 2, -width / 2},
                           {length / 2, -width / 2}}};
}

// The configurations compared, each from a base whose expansion budget keeps every outcome
// deterministic.
struct Variant {
  const char* name;
  void (*set)(PlannerConfig&);
  Footprint footprint;
};

// clang-format off
const Variant kVariants[] = {
    {"reeds-shepp circle", [](PlannerConfig&) {}, CircleFootprint{0.25}},
    {"dubins circle", [](PlannerConfig& c) { c.allow_reverse = false; }, CircleFootprint{0.2}},
    {"in-place rotation", [](PlannerConfig& c) { c.allow_in_place_rotation = true; c.angle_bins = 16; }, CircleFootprint{0.2}},
    {"rectangle", [](PlannerConfig& c) { c.angle_bins = 36; c.cost_penalty = 3.5; c.analytic_expansion_ratio = 1.0; c.analytic_expansion_max_cost = 253; },
     rectangle(0.5, 0.3)},
    // Long enough to be checked by rows, with enough samples per primitive to be swept as one.
    {"long rectangle", [](PlannerConfig& c) { c.angle_bins = 36; c.collision_check_step = 0.015; c.analytic_expansion_max_cost = 253; },
     rectangle(0.9, 0.3)},
    {"unknown allowed", [](PlannerConfig& c) {
       c.allow_unknown = true; c.smooth_path = false; c.retrospective_penalty = 0.01; c.minimum_turning_radius = 0.6; },
     CircleFootprint{0.25}},
    {"two-part footprint", [](PlannerConfig& c) { c.angle_bins = 24; c.analytic_expansion_max_cost = 60; },
     MultiPolygonFootprint{{rectangle(0.4, 0.25), PolygonFootprint{{{0.15, 0.0}, {0.35, 0.1}, {0.35, -0.1}}}}}},
};
// clang-format on

// Everything but the timings; the paths are compared bit for bit.
auto outcome(const PlannerResult& r) {
  const PlannerDiagnostics& d = r.diagnostics;
  return std::tie(r.status, r.message, r.directions, d.obstacle_heuristic_cache_hit,
                  d.expanded_nodes, d.generated_nodes, d.collision_checks, d.path_length,
                  d.reverse_count, d.direction_switch_count, d.in_place_rotation_count,
                  r.map_revision, r.goal_revision, r.robot_revision);
}

void expectSameResult(const PlannerResult& fast, const PlannerResult& slow) {
  EXPECT_EQ(outcome(fast), outcome(slow));
  ASSERT_EQ(fast.path.size(), slow.path.size());
  EXPECT_TRUE(slow.path.empty() ||  // memcmp must not see an empty vector's null data
              std::memcmp(fast.path.data(), slow.path.data(), slow.path.size() * sizeof(Pose2D)) ==
                  0);
}

class PlannerDifferential : public ::testing::TestWithParam<MapCase> {};

TEST_P(PlannerDifferential, SameResultsAsReference) {
  const Costmap map = plannerMap(GetParam());
  const HybridAStar planner(map);
  oracles::ReferencePlanner reference(map);
  const CollisionChecker checker(map, false);
  std::mt19937_64 rng(std::hash<std::string>()(GetParam().name) % 1000);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double x_extent = static_cast<double>(map.width()) * map.resolution();
  const double y_extent = static_cast<double>(map.height()) * map.resolution();
  auto freePose = [&]() {
    for (;;) {
      const Pose2D pose{map.originX() + unit(rng) * x_extent, map.originY() + unit(rng) * y_extent,
                        (unit(rng) * 2.0 - 1.0) * kPi};
      if (!checker.check(pose, CircleFootprint{0.3}).collision) {
        return pose;
      }
    }
  };
  constexpr int kQueries = 54;
  int successes = 0;
  int reversing = 0;
  std::uint64_t revision = 0;
  PlanRequest request;
  for (int q = 0; q < kQueries; ++q) {
    const Variant& variant = kVariants[q % std::size(kVariants)];
    PlannerConfig config;
    config.max_expanded_nodes = 300;
    config.max_planning_time_seconds = testing_support::kUnlimitedSeconds;
    config.terminal_check_interval = 16;
    variant.set(config);
    request.footprint = variant.footprint;
    request.start = freePose();
    // Every third query keeps the goal and the revision: a heuristic cache hit on both sides.
    if (q % 3 != 2) {
      request.goal = freePose();
      ++revision;
      // Goals a short, mostly forward drive away succeed within the budget; the far ones with
      // any heading end in the other statuses.
      for (int attempt = 0; attempt < 100 && q % 4 != 0; ++attempt) {
        const double reach = 0.4 + unit(rng) * 1.2;
        const double bearing = request.start.yaw + (unit(rng) - 0.5) * (q % 2 == 0 ? 1.0 : 6.0);
        const Pose2D near{request.start.x + reach * std::cos(bearing),
                          request.start.y + reach * std::sin(bearing),
                          normalizeYaw(request.start.yaw + (unit(rng) - 0.5) * 1.2)};
        GridIndex cell;
        if (map.worldToMap(near.x, near.y, cell) &&
            !checker.check(near, CircleFootprint{0.3}).collision) {
          request.goal = near;
          break;
        }
      }
    }
    request.map_revision = revision;
    request.goal_revision = static_cast<std::uint64_t>(q);
    const PlannerResult fast = planner.plan(request, config);
    const PlannerResult slow = reference.plan(request, config);
    SCOPED_TRACE(std::string(GetParam().name) + " query " + std::to_string(q) + " (" +
                 variant.name + "): " + plannerStatusName(slow.status) + " " + slow.message);
    expectSameResult(fast, slow);
    successes += slow.status == PlannerStatus::SUCCESS ? 1 : 0;
    reversing += slow.diagnostics.reverse_count > 0 ? 1 : 0;
  }
  // The comparison is only worth something when many searches end in real paths.
  EXPECT_GE(successes, 6) << GetParam().name;
  EXPECT_GE(reversing, 1) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Maps, PlannerDifferential, ::testing::ValuesIn(kMaps),
                         [](const auto& info) { return std::string(info.param.name); });

// A doorway one cell wide: the heuristic passes, the robot does not, and the search runs dry.
TEST(PlannerDifferentialExits, OpenSetExhaustedMatches) {
  const std::uint64_t w = 40;
  std::vector<std::uint8_t> cells(w * w, 0);
  fillBox(cells, w, 0, 20, 30, 22, 254);
  fillBox(cells, w, 31, 20, w, 22, 254);
  fillBox(cells, w, 10, 0, 12, 14, 253);
  const Costmap map(w, w, 0.1, 0.0, 0.0, cells);
  PlannerConfig config;
  config.max_planning_time_seconds = testing_support::kUnlimitedSeconds;
  config.angle_bins = 16;
  PlanRequest request;
  request.start = Pose2D{0.6, 0.6, 0.0};
  request.goal = Pose2D{3.1, 3.1, 0.0};
  request.footprint = CircleFootprint{0.12};
  const PlannerResult fast = HybridAStar(map).plan(request, config);
  const PlannerResult slow = oracles::ReferencePlanner(map).plan(request, config);
  EXPECT_EQ(slow.status, PlannerStatus::NO_PATH);
  EXPECT_EQ(slow.message, "open set exhausted");
  expectSameResult(fast, slow);
}

}  // namespace
}  // namespace veltrax::se2
