// Threads sharing planners, tokens and checkers. The assertions compare every concurrent result
// with one computed alone beforehand, so a data race that corrupts the workspace, the heuristic
// cache or a result shows up as a wrong path here and as a report under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "veltrax/se2/batch.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2 {
namespace {

constexpr int kThreads = 4;

// 8 m x 8 m at 0.1 m: a wall across the middle with a wide door, and a pillar.
Costmap wallMap() {
  const std::uint64_t n = 80;
  std::vector<std::uint8_t> cells(n * n, 0);
  for (std::uint64_t x = 0; x < n; ++x) {
    if (x < 30 || x > 50) {
      cells[40 * n + x] = kLethalCost;
    }
  }
  for (std::uint64_t y = 15; y < 22; ++y) {
    for (std::uint64_t x = 55; x < 62; ++x) {
      cells[y * n + x] = kLethalCost;
    }
  }
  for (std::uint64_t i = 0; i < n; ++i) {
    cells[60 * n + i] = 80;  // a band of graded cost the planner prefers to cross once
  }
  return Costmap(n, n, 0.1, 0.0, 0.0, std::move(cells));
}

PlannerConfig quickConfig() {
  PlannerConfig config;
  config.minimum_turning_radius = 0.6;
  config.max_expanded_nodes = 20000;
  config.max_planning_time_seconds = 300.0;  // never the reason a call ends here
  return config;
}

std::vector<PlanRequest> requests() {
  const Pose2D starts[] = {{1.0, 1.0, 0.0}, {7.0, 2.0, kPi / 2}};
  const Pose2D goals[] = {{4.0, 7.0, kPi / 2}, {6.5, 6.5, 0.0}, {1.5, 6.0, kPi}};
  std::vector<PlanRequest> result;
  std::uint64_t revision = 0;
  for (const Pose2D& start : starts) {
    for (const Pose2D& goal : goals) {
      PlanRequest request;
      request.start = start;
      request.goal = goal;
      request.footprint = CircleFootprint{0.2};
      request.map_revision = revision % 2;  // two map revisions: cache keys differ twice over
      request.goal_revision = ++revision;
      result.push_back(request);
    }
  }
  return result;
}

// Everything that must not depend on what other threads did meanwhile (the cache-hit flag and
// the times do).
void expectSameOutcome(const PlannerResult& actual, const PlannerResult& expected,
                       const std::string& where) {
  ASSERT_EQ(actual.status, expected.status) << where << ": " << actual.message;
  EXPECT_EQ(actual.message, expected.message) << where;
  ASSERT_EQ(actual.path.size(), expected.path.size()) << where;
  for (std::size_t i = 0; i < actual.path.size(); ++i) {
    ASSERT_EQ(actual.path[i].x, expected.path[i].x) << where << " pose " << i;
    ASSERT_EQ(actual.path[i].y, expected.path[i].y) << where << " pose " << i;
    ASSERT_EQ(actual.path[i].yaw, expected.path[i].yaw) << where << " pose " << i;
  }
  EXPECT_EQ(actual.directions, expected.directions) << where;
  EXPECT_EQ(actual.diagnostics.expanded_nodes, expected.diagnostics.expanded_nodes) << where;
  EXPECT_EQ(actual.diagnostics.generated_nodes, expected.diagnostics.generated_nodes) << where;
  EXPECT_EQ(actual.diagnostics.collision_checks, expected.diagnostics.collision_checks) << where;
  EXPECT_EQ(actual.diagnostics.path_length, expected.diagnostics.path_length) << where;
  EXPECT_EQ(actual.goal_revision, expected.goal_revision) << where;
}

// Reference outcomes, each from a planner of its own without a cache.
std::vector<PlannerResult> referenceResults(const Costmap& map,
                                            const std::vector<PlanRequest>& all) {
  PlannerConfig config = quickConfig();
  config.cache_obstacle_heuristic = false;
  std::vector<PlannerResult> results;
  for (const PlanRequest& request : all) {
    const HybridAStar planner(map);
    results.push_back(planner.plan(request, config));
  }
  return results;
}

class ConcurrencyPlanTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    map_ = std::make_unique<Costmap>(wallMap());
    requests_ = requests();
    expected_ = referenceResults(*map_, requests_);
  }
  static void TearDownTestSuite() { map_.reset(); }

  static std::unique_ptr<Costmap> map_;
  static std::vector<PlanRequest> requests_;
  static std::vector<PlannerResult> expected_;
};

std::unique_ptr<Costmap> ConcurrencyPlanTest::map_;
std::vector<PlanRequest> ConcurrencyPlanTest::requests_;
std::vector<PlannerResult> ConcurrencyPlanTest::expected_;

// Each thread runs the queries in its own rotation, so calls on the one planner interleave with
// different goals and revisions and its heuristic cache is both hit and replaced under contention.
TEST_F(ConcurrencyPlanTest, ThreadsSharingOnePlannerGetTheSoloResults) {
  const HybridAStar planner(*map_);
  const PlannerConfig config = quickConfig();
  std::vector<std::vector<PlannerResult>> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (std::size_t k = 0; k < 2 * requests_.size(); ++k) {
        const std::size_t q = (k / 2 + static_cast<std::size_t>(t)) % requests_.size();
        results[t].push_back(planner.plan(requests_[q], config));
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(results[t].size(), 2 * requests_.size());
    for (std::size_t k = 0; k < results[t].size(); ++k) {
      const std::size_t q = (k / 2 + static_cast<std::size_t>(t)) % requests_.size();
      expectSameOutcome(results[t][k], expected_[q],
                        "thread " + std::to_string(t) + " call " + std::to_string(k));
    }
  }
}

// The batch planner: results in request order whatever worker planned them, each request
// reported once; a cancelled batch and a throwing progress callback end cleanly.
TEST_F(ConcurrencyPlanTest, PlanManyKeepsRequestOrder) {
  for (const std::size_t workers : {1u, 3u}) {
    std::set<std::size_t> reported;
    std::size_t last_done = 0;
    const std::vector<PlannerResult> results = planMany(
        *map_, requests_, quickConfig(), workers, nullptr,
        [&](std::size_t done, std::size_t total, std::size_t index, const PlannerResult& result) {
          EXPECT_EQ(done, ++last_done);
          EXPECT_EQ(total, requests_.size());
          EXPECT_EQ(result.goal_revision, requests_[index].goal_revision);
          reported.insert(index);
        });
    ASSERT_EQ(results.size(), requests_.size());
    EXPECT_EQ(reported.size(), requests_.size());
    for (std::size_t q = 0; q < results.size(); ++q) {
      expectSameOutcome(results[q], expected_[q], "request " + std::to_string(q));
    }
  }
  CancellationToken token;
  token.cancel();
  for (const PlannerResult& result : planMany(*map_, requests_, quickConfig(), 2, &token)) {
    EXPECT_EQ(result.status, PlannerStatus::CANCELLED);
  }
  std::size_t calls = 0;
  EXPECT_THROW(planMany(*map_, requests_, quickConfig(), 2, nullptr,
                        [&](std::size_t, std::size_t, std::size_t, const PlannerResult&) {
                          ++calls;
                          throw std::runtime_error("stop");
                        }),
               std::runtime_error);
  EXPECT_EQ(calls, 1u);
}

}  // namespace
}  // namespace veltrax::se2
