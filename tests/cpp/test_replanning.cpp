// Local map updates: a planner changed window by window plans exactly as a new planner on the final
// map, window inflation equals whole-map inflation, refused windows change nothing, and a map
// change never waits for a running plan (ThreadSanitizer runs the Concurrency* tests).
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "test_support.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2 {
namespace {

using testing_support::sameBits;
using testing_support::thrownMessage;

constexpr std::uint64_t kWidth = 64;
constexpr std::uint64_t kHeight = 48;

// 6.4 m x 4.8 m at 0.1 m: a wall with two doors, a pillar and a graded band.
Costmap baseMap() {
  std::vector<std::uint8_t> cells(kWidth * kHeight, 0);
  for (std::uint64_t y = 0; y < kHeight; ++y) {
    cells[y * kWidth + 30] = (y > 8 && y < 16) || (y > 30 && y < 38) ? 0 : kLethalCost;
    cells[y * kWidth + 45] = 120;
  }
  for (std::uint64_t y = 20; y < 26; ++y) {
    for (std::uint64_t x = 12; x < 17; ++x) {
      cells[y * kWidth + x] = kLethalCost;
    }
  }
  return Costmap(kWidth, kHeight, 0.1, 0.0, 0.0, std::move(cells));
}

void expectSameResult(const PlannerResult& got, const PlannerResult& want, const std::string& at) {
  SCOPED_TRACE(at);
  EXPECT_EQ(got.status, want.status);
  EXPECT_EQ(got.message, want.message);
  EXPECT_EQ(got.diagnostics.expanded_nodes, want.diagnostics.expanded_nodes);
  EXPECT_EQ(got.diagnostics.generated_nodes, want.diagnostics.generated_nodes);
  EXPECT_EQ(got.directions, want.directions);
  ASSERT_EQ(got.path.size(), want.path.size());
  for (std::size_t i = 0; i < got.path.size(); ++i) {
    EXPECT_TRUE(sameBits(got.path[i].x, want.path[i].x) &&
                sameBits(got.path[i].y, want.path[i].y) &&
                sameBits(got.path[i].yaw, want.path[i].yaw))
        << "pose " << i;
  }
}

struct UpdateCase {
  const char* name;
  bool lazy;
  bool footprint_aware;
};
void PrintTo(const UpdateCase& c, std::ostream* os) { *os << c.name; }

class UpdateDifferential : public ::testing::TestWithParam<UpdateCase> {};

// Random windows of random bytes (lethal, free, graded, unknown) away from the starts and goals,
// one to three per plan, and starts and goals that change now and then: after every batch the
// planner must answer as a new planner on its map does, and that map must be the edits applied in
// order. A lazy field, which settles toward each plan's start, must also answer as the whole-map
// field (the new planner runs without it).
TEST_P(UpdateDifferential, EqualsANewPlannerOnTheFinalMap) {
  const UpdateCase& c = GetParam();
  const Costmap base = baseMap();
  std::vector<std::uint8_t> expected = base.cells();
  HybridAStar planner(base);
  PlanRequest request;
  const Pose2D starts[] = {{1.0, 1.0, 0.0}, {1.0, 4.0, 0.0}, {2.5, 1.5, kPi / 2}};
  request.footprint = PolygonFootprint{{{0.3, 0.15}, {-0.1, 0.15}, {-0.1, -0.15}, {0.3, -0.15}}};
  const Pose2D goals[] = {{5.5, 4.0, kPi / 2}, {5.8, 1.0, 0.0}};
  PlannerConfig config;
  config.minimum_turning_radius = 0.5;
  config.max_expanded_nodes = 20000;
  config.max_planning_time_seconds = 300.0;
  config.footprint_aware_heuristic = c.footprint_aware;
  config.lazy_obstacle_heuristic = c.lazy;
  PlannerConfig fresh_config = config;
  fresh_config.lazy_obstacle_heuristic = false;
  const auto nearEnds = [&](std::uint64_t x, std::uint64_t y) {
    for (const Pose2D& p : {starts[0], starts[1], starts[2], goals[0], goals[1]}) {
      if (std::abs(static_cast<double>(x) + 0.5 - p.x * 10.0) < 6.0 &&
          std::abs(static_cast<double>(y) + 0.5 - p.y * 10.0) < 6.0) {
        return true;
      }
    }
    return false;
  };
  std::mt19937 random(7);
  const std::uint8_t bytes[] = {kLethalCost, 0, 0, 90, 200, kUnknownCost};
  for (int batch = 0; batch < 14; ++batch) {
    for (int edits = 1 + static_cast<int>(random() % 3); edits > 0; --edits) {
      const std::uint64_t w = 1 + random() % 8;
      const std::uint64_t h = 1 + random() % 8;
      const std::uint64_t x0 = random() % (kWidth - w + 1);
      const std::uint64_t y0 = random() % (kHeight - h + 1);
      std::vector<std::uint8_t> cells(w * h);
      for (std::uint64_t y = 0; y < h; ++y) {
        for (std::uint64_t x = 0; x < w; ++x) {
          const std::uint64_t at = (y0 + y) * kWidth + x0 + x;
          cells[y * w + x] = nearEnds(x0 + x, y0 + y) ? expected[at] : bytes[random() % 6];
          expected[at] = cells[y * w + x];
        }
      }
      planner.updateCostmap(x0, y0, w, h, cells);
    }
    request.goal = goals[(batch / 3) % 2];
    request.start = starts[batch % 3];
    ASSERT_EQ(planner.costmap().cells(), expected);
    const HybridAStar fresh(planner.costmap());
    expectSameResult(planner.plan(request, config), fresh.plan(request, fresh_config),
                     "batch " + std::to_string(batch));
  }
}

INSTANTIATE_TEST_SUITE_P(Planner, UpdateDifferential,
                         ::testing::Values(UpdateCase{"cached_field", false, false},
                                           UpdateCase{"clearance_map", false, true},
                                           UpdateCase{"lazy_field", true, false},
                                           UpdateCase{"lazy_field_on_clearance", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Random windows, edges included, over maps with lethal and graded cells, radii from none to
// beyond the map: the window's bytes are the whole map's inflation there.
TEST(InflateWindow, EqualsWholeMapInflation) {
  std::mt19937 random(11);
  const struct {
    double inflation, inscribed, scaling;
  } curves[] = {{0.0, 0.0, 1.0}, {0.35, 0.2, 3.0}, {1.0, 0.0, 10.0}, {9.0, 0.3, 0.5}};
  for (const auto& curve : curves) {
    const std::uint64_t width = 20 + random() % 30;
    const std::uint64_t height = 20 + random() % 30;
    std::vector<std::uint8_t> cells(width * height, 0);
    for (std::uint8_t& cell : cells) {
      const auto roll = random() % 40;
      cell = roll == 0 ? kLethalCost : roll == 1 ? 100 : roll == 2 ? kUnknownCost : 0;
    }
    const Costmap map(width, height, 0.1, -1.0, 2.0, std::move(cells));
    const Costmap whole = inflateCostmap(map, curve.inflation, curve.inscribed, curve.scaling);
    for (int trial = 0; trial < 25; ++trial) {
      const std::uint64_t w = 1 + random() % width;
      const std::uint64_t h = 1 + random() % height;
      const std::uint64_t x0 = random() % (width - w + 1);
      const std::uint64_t y0 = random() % (height - h + 1);
      std::vector<std::uint8_t> want;
      for (std::uint64_t y = y0; y < y0 + h; ++y) {
        for (std::uint64_t x = x0; x < x0 + w; ++x) {
          want.push_back(whole.cells()[y * width + x]);
        }
      }
      EXPECT_EQ(
          inflateCostmapWindow(map, x0, y0, w, h, curve.inflation, curve.inscribed, curve.scaling),
          want)
          << curve.inflation << " window " << x0 << "," << y0 << " " << w << "x" << h;
    }
  }
}

// Windows off the map, overflowing ones included, and cells of the wrong size are refused; the
// planner's map and its next plan stay as they were.
TEST(UpdateCostmap, RefusesWindowsOffTheMapAndChangesNothing) {
  const Costmap base = baseMap();
  HybridAStar planner(base);
  PlanRequest request;
  request.start = {1.0, 1.0, 0.0};
  request.goal = {5.5, 4.0, kPi / 2};
  PlannerConfig config;
  config.lazy_obstacle_heuristic = true;
  config.max_planning_time_seconds = testing_support::kUnlimitedSeconds;
  const PlannerResult before = planner.plan(request, config);
  ASSERT_EQ(before.status, PlannerStatus::SUCCESS);
  const std::uint64_t huge = ~std::uint64_t{0};
  const std::vector<std::uint8_t> lethal(4, kLethalCost);
  const struct {
    std::uint64_t x0, y0, w, h;
    std::size_t size;
    std::string message;
  } cases[] = {
      {kWidth - 1, 0, 2, 2, 4, "out_of_range: update window is outside the costmap"},
      {0, kHeight - 1, 2, 2, 4, "out_of_range: update window is outside the costmap"},
      {kWidth, 0, 1, 4, 4, "out_of_range: update window is outside the costmap"},
      {huge, 0, 2, 2, 4, "out_of_range: update window is outside the costmap"},
      {0, 1, 2, huge, 4, "out_of_range: update window is outside the costmap"},
      {0, 0, 2, 2, 3, "update cells do not match the window size"},
      {0, 0, huge, 2, 4, "out_of_range: update window is outside the costmap"},
  };
  for (const auto& c : cases) {
    const std::vector<std::uint8_t> cells(lethal.begin(), lethal.begin() + c.size);
    EXPECT_EQ(thrownMessage([&] { planner.updateCostmap(c.x0, c.y0, c.w, c.h, cells); }),
              c.message);
    EXPECT_EQ(planner.costmap().cells(), base.cells());
  }
  EXPECT_EQ(thrownMessage([&] { inflateCostmapWindow(base, 60, 0, 5, 1, 0.5, 0.2, 1.0); }),
            "out_of_range: inflation window is outside the costmap");
  expectSameResult(planner.plan(request, config), before, "after the refusals");
}

// A plan that only cancellation ends runs while the map is changed from this thread: were a
// change to wait for the plan, the test would never end. The plan keeps its own map; the next
// plan sees the changes and equals a new planner's.
TEST(ConcurrencyReplanning, MapChangesNeverWaitForARunningPlan) {
  std::vector<std::uint8_t> cells(400 * 400, 0);
  HybridAStar planner(Costmap(400, 400, 0.05, 0.0, 0.0, cells));
  PlanRequest endless;
  endless.start = {2.0, 2.0, 0.0};
  endless.goal = {18.0, 18.0, 1.0};
  PlannerConfig config;
  // A goal no node lands on and no curve is tried to: the search floods the whole lattice.
  config.position_tolerance = 1e-12;
  config.yaw_tolerance = 1e-12;
  config.analytic_expansion_ratio = 1e300;
  config.max_expanded_nodes = ~std::uint64_t{0};
  config.max_planning_time_seconds = 1e9;
  CancellationToken token;
  PlannerResult endless_result;
  std::thread worker([&] { endless_result = planner.plan(endless, config, &token); });
  const std::vector<std::uint8_t> box(100, kLethalCost);
  for (std::uint64_t step = 0; step < 20; ++step) {
    planner.updateCostmap(100 + 10 * step, 150, 10, 10, box);
  }
  planner.setCostmap(Costmap(400, 400, 0.05, 0.0, 0.0, cells));
  planner.updateCostmap(180, 100, 10, 10, box);
  token.cancel();
  worker.join();
  EXPECT_EQ(endless_result.status, PlannerStatus::CANCELLED);

  PlanRequest request;
  request.start = {2.0, 5.0, 0.0};
  request.goal = {15.0, 5.0, 0.0};
  PlannerConfig plain;
  plain.lazy_obstacle_heuristic = true;
  plain.max_planning_time_seconds = testing_support::kUnlimitedSeconds;
  const HybridAStar fresh(planner.costmap());
  EXPECT_EQ(planner.costmap().cells()[105 * 400 + 185], kLethalCost);
  plain.lazy_obstacle_heuristic = false;
  const PlannerResult want = fresh.plan(request, plain);
  plain.lazy_obstacle_heuristic = true;
  expectSameResult(planner.plan(request, plain), want, "after the changes");
}

}  // namespace
}  // namespace veltrax::se2
