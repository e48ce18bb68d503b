// Threads sharing one planner. Every concurrent result is compared with one computed alone
// beforehand, so a data race that corrupts the workspace, the heuristic cache or a result shows up
// as a wrong path here and as a report under ThreadSanitizer (which runs the tests named
// Concurrency*).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "veltrax/se2/planner.hpp"

namespace veltrax::se2 {
namespace {

// 8 m x 8 m at 0.1 m: a wall across the middle with a wide door, a pillar, and a band of graded
// cost the planner prefers to cross once.
Costmap wallMap() {
  const std::uint64_t n = 80;
  std::vector<std::uint8_t> cells(n * n, 0);
  for (std::uint64_t i = 0; i < n; ++i) {
    cells[40 * n + i] = i < 30 || i > 50 ? kLethalCost : 0;
    cells[60 * n + i] = 80;
  }
  for (std::uint64_t y = 15; y < 22; ++y) {
    for (std::uint64_t x = 55; x < 62; ++x) {
      cells[y * n + x] = kLethalCost;
    }
  }
  return Costmap(n, n, 0.1, 0.0, 0.0, std::move(cells));
}

// Each thread runs the queries in its own rotation, so calls on the one planner interleave with
// different goals and two map revisions, and its heuristic cache is both hit and replaced under
// contention.
TEST(Concurrency, ThreadsSharingOnePlannerGetTheSoloResults) {
  const Costmap map = wallMap();
  PlannerConfig config;
  config.minimum_turning_radius = 0.6;
  config.max_expanded_nodes = 20000;
  config.max_planning_time_seconds = 300.0;  // never the reason a call ends here
  std::vector<PlanRequest> requests;
  for (const Pose2D& start : {Pose2D{1.0, 1.0, 0.0}, Pose2D{7.0, 2.0, kPi / 2}}) {
    for (const Pose2D& goal :
         {Pose2D{4.0, 7.0, kPi / 2}, Pose2D{6.5, 6.5, 0.0}, Pose2D{1.5, 6.0, kPi}}) {
      PlanRequest request;
      request.start = start;
      request.goal = goal;
      request.footprint = CircleFootprint{0.2};
      request.map_revision = requests.size() % 2;
      request.goal_revision = requests.size() + 1;
      requests.push_back(request);
    }
  }
  PlannerConfig uncached = config;
  uncached.cache_obstacle_heuristic = false;
  std::vector<PlannerResult> alone;
  for (const PlanRequest& request : requests) {
    alone.push_back(HybridAStar(map).plan(request, uncached));
  }
  constexpr int kThreads = 4;
  const HybridAStar planner(map);
  std::vector<std::vector<PlannerResult>> results(kThreads);
  std::vector<std::thread> threads;
  const auto query = [&](int t, std::size_t k) { return (k / 2 + t) % requests.size(); };
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (std::size_t k = 0; k < 2 * requests.size(); ++k) {
        results[t].push_back(planner.plan(requests[query(t, k)], config));
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  // Everything but the cache-hit flag and the times, which depend on what other threads did.
  for (int t = 0; t < kThreads; ++t) {
    for (std::size_t k = 0; k < results[t].size(); ++k) {
      const PlannerResult& actual = results[t][k];
      const PlannerResult& expected = alone[query(t, k)];
      SCOPED_TRACE("thread " + std::to_string(t) + " call " + std::to_string(k));
      ASSERT_EQ(actual.status, expected.status) << actual.message;
      EXPECT_EQ(actual.message, expected.message);
      ASSERT_EQ(actual.path.size(), expected.path.size());
      EXPECT_TRUE(expected.path.empty() ||  // memcmp must not see an empty vector's null data
                  std::memcmp(actual.path.data(), expected.path.data(),
                              expected.path.size() * sizeof(Pose2D)) == 0);
      EXPECT_EQ(actual.directions, expected.directions);
      EXPECT_EQ(actual.diagnostics.expanded_nodes, expected.diagnostics.expanded_nodes);
      EXPECT_EQ(actual.diagnostics.generated_nodes, expected.diagnostics.generated_nodes);
      EXPECT_EQ(actual.diagnostics.collision_checks, expected.diagnostics.collision_checks);
      EXPECT_EQ(actual.diagnostics.path_length, expected.diagnostics.path_length);
      EXPECT_EQ(actual.goal_revision, expected.goal_revision);
    }
  }
}

}  // namespace
}  // namespace veltrax::se2
