// Memory bounds of a plan on a large map. The measurement runs in a child process so that what
// earlier tests left behind does not count, and is skipped under sanitizers, whose shadow memory
// would be measured instead.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2 {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kUnderSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif
#else
constexpr bool kUnderSanitizer = false;
#endif

// kB from a line of /proc/self/status ("VmHWM:   12345 kB"); -1 when missing.
long statusKilobytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, field.size() + 1, field + ":") == 0) {
      return std::stol(line.substr(field.size() + 1));
    }
  }
  return -1;
}

struct Peak {
  long grown_kb = -1;  // peak RSS minus RSS before the map was built
  int status = -1;     // PlannerStatus of the plan
  std::uint64_t expanded = 0;
};

struct LargeCase {
  std::string name;
  std::uint64_t wall_rows;  // a wall at column 1000 from row 0 up to here
  double y;                 // start and goal row, metres
  std::uint64_t max_expanded_nodes;
  PlannerStatus status;
};

std::ostream& operator<<(std::ostream& out, const LargeCase& c) { return out << c.name; }

// Plans across a 2000 x 2000 map (100 m at 0.05 m) in a child process and reports its peak.
Peak measureLargePlan(const LargeCase& c) {
  int fds[2];
  if (::pipe(fds) != 0) {
    return {};
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    ::malloc_trim(0);
    // Reset the high-water mark to the current resident size (Linux 4.0 and later).
    std::ofstream("/proc/self/clear_refs") << "5";
    Peak peak;
    const long before = statusKilobytes("VmRSS");
    {
      const std::uint64_t n = 2000;
      std::vector<std::uint8_t> cells(n * n, 0);
      for (std::uint64_t y = 0; y < c.wall_rows; ++y) {
        cells[y * n + 1000] = kLethalCost;
      }
      const HybridAStar planner(Costmap(n, n, 0.05, 0.0, 0.0, std::move(cells)));
      PlannerConfig config;
      config.max_expanded_nodes = c.max_expanded_nodes;
      config.max_planning_time_seconds = 600.0;
      PlanRequest request;
      request.start = {5.0, c.y, 0.0};
      request.goal = {95.0, c.y, 0.0};
      const PlannerResult result = planner.plan(request, config);
      peak.status = static_cast<int>(result.status);
      peak.expanded = result.diagnostics.expanded_nodes;
      peak.grown_kb = statusKilobytes("VmHWM") - before;
    }
    const ssize_t written = ::write(fds[1], &peak, sizeof peak);
    ::_exit(written == static_cast<ssize_t>(sizeof peak) ? 0 : 1);
  }
  ::close(fds[1]);
  Peak peak;
  if (child > 0) {
    if (::read(fds[0], &peak, sizeof peak) != static_cast<ssize_t>(sizeof peak)) {
      peak = Peak{};
    }
    int wait_status = 0;
    ::waitpid(child, &wait_status, 0);
  }
  ::close(fds[0]);
  return peak;
}

class ResourcesLargeMapTest : public ::testing::TestWithParam<LargeCase> {};

// The map copy (4 MB), the obstacle heuristic (32 MB of doubles) and the search's nodes fit in
// 160 MB; a node index laid out densely over cells x 72 bins (1.15 GB) would not.
TEST_P(ResourcesLargeMapTest, PeakResidentMemoryStaysBounded) {
  if (kUnderSanitizer) {
    GTEST_SKIP() << "resident memory is not meaningful under a sanitizer";
  }
  const LargeCase& c = GetParam();
  const Peak peak = measureLargePlan(c);
  ASSERT_EQ(peak.status, static_cast<int>(c.status));
  EXPECT_GT(peak.expanded, 0u);
  EXPECT_GT(peak.grown_kb, 36 * 1024);  // at least the map copy and the heuristic: it measured
  EXPECT_LT(peak.grown_kb, 160 * 1024);
  std::printf("peak RSS growth, 2000 x 2000 map, %s: %ld kB, %llu expansions\n", c.name.c_str(),
              peak.grown_kb, static_cast<unsigned long long>(peak.expanded));
}

INSTANTIATE_TEST_SUITE_P(
    Searches, ResourcesLargeMapTest,
    ::testing::Values(
        // Straight across the open map: the heuristic leads the way.
        LargeCase{"open", 0, 50.0, 1000000, PlannerStatus::SUCCESS},
        // Around a 75 m wall until the budget is spent: many nodes, many touched index pages.
        LargeCase{"budget_spent", 1500, 5.0, 200000, PlannerStatus::MAX_NODES_EXCEEDED}),
    [](const ::testing::TestParamInfo<LargeCase>& info) { return info.param.name; });

}  // namespace
}  // namespace veltrax::se2
