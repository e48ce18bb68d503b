// The search loop must not allocate per expansion. This program counts every heap allocation (the
// library's included) through a replaced global operator new, so it is built on its own.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "veltrax/se2/planner.hpp"

namespace {
std::atomic<std::uint64_t> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) {
    return p;
  }
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace veltrax::se2 {
namespace {

TEST(PlannerAllocationTest, SearchLoopAllocatesNothingPerExpansion) {
  // An open 6 m x 6 m room whose far half is cut off by a wall with a gap too narrow for the
  // robot: the search runs until its expansion budget is spent.
  const std::uint64_t width = 120;
  const std::uint64_t height = 120;
  std::vector<std::uint8_t> cells(width * height, 0);
  for (std::uint64_t y = 0; y < height; ++y) {
    if (y < 58 || y > 61) {
      cells[y * width + 80] = 254;
      cells[y * width + 81] = 254;
    }
  }
  HybridAStar planner(Costmap(width, height, 0.05, 0.0, 0.0, cells));
  PlanRequest request;
  request.start = Pose2D{1.0, 3.0, 0.0};
  request.goal = Pose2D{5.0, 3.0, 0.0};
  PlannerConfig config;
  // A curve to the goal is tried every 4th expansion, and every one ends at the wall: sampling
  // them must not allocate either.
  config.analytic_expansion_max_length = 10.0;
  config.max_planning_time_seconds = 1e9;  // expansions end every call here, never the clock
  std::uint64_t curve_checks = 0;
  auto allocationsFor = [&](std::uint64_t budget) {
    config.max_expanded_nodes = budget;
    const std::uint64_t before = g_allocations.load();
    const PlannerResult result = planner.plan(request, config);
    const std::uint64_t count = g_allocations.load() - before;
    EXPECT_EQ(result.status, PlannerStatus::MAX_NODES_EXCEEDED) << result.message;
    EXPECT_EQ(result.diagnostics.expanded_nodes, budget);
    // Each primitive has two samples here; the rest of the checks are the curves'.
    curve_checks = result.diagnostics.collision_checks - result.diagnostics.generated_nodes * 2;
    return count;
  };
  allocationsFor(4000);  // grows the reused pool, index, open list and primitive storage
  const std::uint64_t few = allocationsFor(400);
  const std::uint64_t many = allocationsFor(4000);
  EXPECT_EQ(many, few);
  EXPECT_GT(curve_checks, 20000u);  // samples of curves, at the least: the curves were walked
  EXPECT_GT(few, 0u);               // the per-call part (result, tables, state space) is counted

  // A new map of the same size: the gap moves and the planner keeps its workspace, so the first
  // plan on the new map allocates what a plan with a new map revision on a warm planner does
  // (the heuristic field, rebuilt in the old one's memory, and the per-call part).
  for (std::uint64_t y = 0; y < height; ++y) {
    cells[y * width + 80] = y < 28 || y > 31 ? 254 : 0;
    cells[y * width + 81] = cells[y * width + 80];
  }
  planner.setCostmap(Costmap(width, height, 0.05, 0.0, 0.0, cells));
  const std::uint64_t after_new_map = allocationsFor(4000);
  request.map_revision = 1;
  const std::uint64_t new_revision = allocationsFor(4000);
  EXPECT_EQ(after_new_map, new_revision);
  EXPECT_GT(after_new_map, many);  // a new heuristic field was built (its search allocates)
}

}  // namespace
}  // namespace veltrax::se2
