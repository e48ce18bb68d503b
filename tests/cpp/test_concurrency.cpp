// Threads sharing one planner, and the batch planner's pool. Every concurrent result is compared
// with one computed alone beforehand, so a data race that corrupts the workspace, the heuristic
// cache or a result shows up as a wrong path here and as a report under ThreadSanitizer (which
// runs the tests named Concurrency*).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "test_support.hpp"
#include "veltrax/se2/batch.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2 {
namespace {

// 8 m x 8 m at 0.1 m: a wall across the middle with a wide door, a pillar, and a band of graded
// cost the planner prefers to cross once. Six queries over two map revisions, each planned alone.
struct Workload {
  Costmap map{1, 1, 1.0, 0.0, 0.0, {0}};
  PlannerConfig config;
  std::vector<PlanRequest> requests;
  std::vector<PlannerResult> alone;
};

const Workload& workload() {
  static const Workload w = [] {
    Workload w;
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
    w.map = Costmap(n, n, 0.1, 0.0, 0.0, std::move(cells));
    w.config.minimum_turning_radius = 0.6;
    w.config.max_expanded_nodes = 20000;
    w.config.max_planning_time_seconds = testing_support::kUnlimitedSeconds;
    for (const Pose2D& start : {Pose2D{1.0, 1.0, 0.0}, Pose2D{7.0, 2.0, kPi / 2}}) {
      for (const Pose2D& goal :
           {Pose2D{4.0, 7.0, kPi / 2}, Pose2D{6.5, 6.5, 0.0}, Pose2D{1.5, 6.0, kPi}}) {
        PlanRequest request;
        request.start = start;
        request.goal = goal;
        request.footprint = CircleFootprint{0.2};
        request.map_revision = w.requests.size() % 2;
        request.goal_revision = w.requests.size() + 1;
        w.requests.push_back(request);
      }
    }
    PlannerConfig uncached = w.config;
    uncached.cache_obstacle_heuristic = false;
    for (const PlanRequest& request : w.requests) {
      w.alone.push_back(HybridAStar(w.map).plan(request, uncached));
    }
    return w;
  }();
  return w;
}

// Everything but the cache-hit flag and the times, which depend on what other threads did.
void expectSameOutcome(const PlannerResult& actual, const PlannerResult& expected) {
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

bool samePath(const PlannerResult& a, const PlannerResult& b) {
  return a.status == b.status && a.path.size() == b.path.size() &&
         (a.path.empty() ||
          std::memcmp(a.path.data(), b.path.data(), a.path.size() * sizeof(Pose2D)) == 0);
}

// The workload's map with the door 2 m further left: a heuristic left from the old map would lead
// the search to the old door.
Costmap movedDoor(const Costmap& map) {
  std::vector<std::uint8_t> cells = map.cells();
  const std::uint64_t n = map.width();
  for (std::uint64_t i = 0; i < n; ++i) {
    cells[40 * n + i] = i < 10 || i > 30 ? kLethalCost : 0;
  }
  return Costmap(n, n, map.resolution(), map.originX(), map.originY(), std::move(cells));
}

// Each thread runs the queries in its own rotation, so calls on the one planner interleave with
// different goals and two map revisions, and its heuristic cache is both hit and replaced under
// contention.
TEST(Concurrency, ThreadsSharingOnePlannerGetTheSoloResults) {
  const Workload& w = workload();
  constexpr int kThreads = 4;
  const HybridAStar planner(w.map);
  std::vector<std::vector<PlannerResult>> results(kThreads);
  std::vector<std::thread> threads;
  const auto query = [&](int t, std::size_t k) { return (k / 2 + t) % w.requests.size(); };
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (std::size_t k = 0; k < 2 * w.requests.size(); ++k) {
        results[t].push_back(planner.plan(w.requests[query(t, k)], w.config));
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (int t = 0; t < kThreads; ++t) {
    for (std::size_t k = 0; k < results[t].size(); ++k) {
      SCOPED_TRACE("thread " + std::to_string(t) + " call " + std::to_string(k));
      expectSameOutcome(results[t][k], w.alone[query(t, k)]);
    }
  }
}

// Results in request order whatever worker planned them, each request reported once; a cancelled
// batch and a throwing progress callback end cleanly.
TEST(Concurrency, PlanManyKeepsRequestOrder) {
  const Workload& w = workload();
  for (const std::size_t workers : {1u, 3u}) {
    std::set<std::size_t> reported;
    std::size_t last_done = 0;
    const std::vector<PlannerResult> results = planMany(
        w.map, w.requests, w.config, workers, nullptr,
        [&](std::size_t done, std::size_t total, std::size_t index, const PlannerResult& result) {
          EXPECT_EQ(done, ++last_done);
          EXPECT_EQ(total, w.requests.size());
          EXPECT_EQ(result.goal_revision, w.requests[index].goal_revision);
          reported.insert(index);
        });
    ASSERT_EQ(results.size(), w.requests.size());
    EXPECT_EQ(reported.size(), w.requests.size());
    for (std::size_t q = 0; q < results.size(); ++q) {
      SCOPED_TRACE("request " + std::to_string(q) + " workers " + std::to_string(workers));
      expectSameOutcome(results[q], w.alone[q]);
    }
  }
  CancellationToken token;
  token.cancel();
  for (const PlannerResult& result : planMany(w.map, w.requests, w.config, 2, &token)) {
    EXPECT_EQ(result.status, PlannerStatus::CANCELLED);
  }
  std::size_t calls = 0;
  EXPECT_THROW(planMany(w.map, w.requests, w.config, 2, nullptr,
                        [&](std::size_t, std::size_t, std::size_t, const PlannerResult&) {
                          ++calls;
                          throw std::runtime_error("stop");
                        }),
               std::runtime_error);
  EXPECT_EQ(calls, 1u);
}

// Planners moved into a vector, and moved again as it grows, plan as where they were made; a
// moved-from planner refuses until a planner is assigned to it.
TEST(PlannerMoves, MovedPlannersPlanAsBefore) {
  const Workload& w = workload();
  HybridAStar original(w.map);
  expectSameOutcome(original.plan(w.requests[0], w.config), w.alone[0]);
  std::vector<HybridAStar> planners;
  planners.push_back(std::move(original));
  for (int k = 0; k < 3; ++k) {
    planners.emplace_back(w.map);
  }
  for (const HybridAStar& planner : planners) {
    for (std::size_t q = 0; q < w.requests.size(); ++q) {
      expectSameOutcome(planner.plan(w.requests[q], w.config), w.alone[q]);
    }
  }
  const PlannerResult refused = original.plan(w.requests[2], w.config);
  EXPECT_EQ(refused.status, PlannerStatus::INTERNAL_ERROR);
  EXPECT_EQ(refused.message, "planner was moved from");
  EXPECT_EQ(refused.goal_revision, w.requests[2].goal_revision);
  EXPECT_TRUE(refused.path.empty());
  original = std::move(planners.front());
  expectSameOutcome(original.plan(w.requests[1], w.config), w.alone[1]);
}

// After setCostmap a planner plans bit for bit as a new planner on the new map, although the
// request repeats the revision of the field it cached for the old one; plans on other threads
// meanwhile each see one whole map.
TEST(Concurrency, SetCostmapPlansAsANewPlanner) {
  const Workload& w = workload();
  const Costmap moved = movedDoor(w.map);
  std::vector<PlannerResult> fresh;
  std::size_t changed = 0;
  for (std::size_t q = 0; q < w.requests.size(); ++q) {
    fresh.push_back(HybridAStar(moved).plan(w.requests[q], w.config));
    changed += samePath(fresh[q], w.alone[q]) ? 0 : 1;
  }
  EXPECT_GE(changed, 3u);  // the moved door matters to most queries
  HybridAStar planner(w.map);
  for (std::size_t q = 0; q < w.requests.size(); ++q) {
    SCOPED_TRACE("request " + std::to_string(q));
    planner.setCostmap(w.map);
    expectSameOutcome(planner.plan(w.requests[q], w.config), w.alone[q]);
    planner.setCostmap(moved);
    const PlannerResult replanned = planner.plan(w.requests[q], w.config);
    EXPECT_FALSE(replanned.diagnostics.obstacle_heuristic_cache_hit);
    expectSameOutcome(replanned, fresh[q]);
  }
  std::vector<std::vector<PlannerResult>> results(2);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < results.size(); ++t) {
    threads.emplace_back([&, t] {
      for (const PlanRequest& request : w.requests) {
        results[t].push_back(planner.plan(request, w.config));
      }
    });
  }
  for (int k = 0; k < 20; ++k) {
    planner.setCostmap(k % 2 == 0 ? w.map : moved);
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (const std::vector<PlannerResult>& thread_results : results) {
    for (std::size_t q = 0; q < thread_results.size(); ++q) {
      EXPECT_TRUE(samePath(thread_results[q], w.alone[q]) || samePath(thread_results[q], fresh[q]))
          << "request " << q;
    }
  }
}

}  // namespace
}  // namespace veltrax::se2
