#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "oracles/obstacle_heuristic_oracle.hpp"
#include "test_support.hpp"
#include "veltrax/se2/heuristic.hpp"

namespace veltrax::se2 {
namespace {

using namespace testing_support;

Costmap makeMap(std::uint64_t width, std::uint64_t height, double resolution,
                std::vector<std::uint8_t> cells) {
  return Costmap(width, height, resolution, 0.0, 0.0, std::move(cells));
}

std::vector<double> row(const ObstacleHeuristic& h, std::uint64_t y) {
  std::vector<double> out;
  for (std::uint64_t x = 0; x < h.width(); ++x) {
    out.push_back(h.distance(x, y));
  }
  return out;
}

struct LineCase {
  std::uint8_t middle_cost;
  std::vector<double> expected;
};

class ObstacleHeuristicLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(ObstacleHeuristicLineTest, StepsPayTheCostOfTheCellEntered) {
  const LineCase& c = GetParam();
  const ObstacleHeuristic h(makeMap(3, 1, 0.5, {0, c.middle_cost, 0}), GridIndex{0, 0}, false, 2.0);
  EXPECT_EQ(row(h, 0), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Costs, ObstacleHeuristicLineTest,
    ::testing::Values(LineCase{0, {0.0, 0.5, 1.0}}, LineCase{126, {0.0, 1.0, 1.5}},
                      LineCase{253, {0.0, 1.503968253968254, 2.003968253968254}},
                      LineCase{252, {0.0, 1.5, 2.0}}, LineCase{254, {0.0, kInf, kInf}},
                      LineCase{255, {0.0, kInf, kInf}}));

class ObstacleHeuristicPenaltyTest : public ::testing::TestWithParam<double> {};

TEST_P(ObstacleHeuristicPenaltyTest, NegativeOrNonFinitePenaltyIsRefused) {
  const Costmap map = makeMap(2, 2, 1.0, {0, 0, 0, 0});
  try {
    ObstacleHeuristic h(map, GridIndex{0, 0}, false, GetParam());
    FAIL() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "cost_penalty must be finite and non-negative");
  }
}

INSTANTIATE_TEST_SUITE_P(Penalties, ObstacleHeuristicPenaltyTest,
                         ::testing::Values(-1.0, -1e-300, kInf, -kInf,
                                           std::numeric_limits<double>::quiet_NaN()));

// The fast field against the plain priority-queue Dijkstra, bit for bit, on random maps: free
// space, graded costs, lethal walls and unknown cells, with penalties that exercise the bucket
// ring (small spread) and the heap fallback (huge spread).
struct RandomCase {
  std::uint32_t seed;
  double cost_penalty;
  double resolution;
  bool allow_unknown;
};

class ObstacleHeuristicDifferentialTest : public ::testing::TestWithParam<RandomCase> {};

TEST_P(ObstacleHeuristicDifferentialTest, SameDoublesAsThePlainDijkstra) {
  const RandomCase& c = GetParam();
  std::mt19937 rng(c.seed);
  for (int trial = 0; trial < 12; ++trial) {
    const std::uint64_t width = 1 + rng() % 70;
    const std::uint64_t height = 1 + rng() % 70;
    std::vector<std::uint8_t> cells(width * height);
    const unsigned lethal_percent = rng() % 35;
    for (auto& cell : cells) {
      const unsigned roll = rng() % 100;
      if (roll < lethal_percent) {
        cell = 254;
      } else if (roll < lethal_percent + 5) {
        cell = 255;
      } else if (roll < 60) {
        cell = static_cast<std::uint8_t>(rng() % 254);
      } else {
        cell = 0;
      }
    }
    const Costmap map(width, height, c.resolution, 0.0, 0.0, cells);
    const GridIndex goal{rng() % width, rng() % height};
    const ObstacleHeuristic fast(map, goal, c.allow_unknown, c.cost_penalty);
    const std::vector<double> plain =
        oracles::obstacleHeuristicDistances(map, goal, c.allow_unknown, c.cost_penalty);
    ASSERT_EQ(fast.distances().size(), plain.size());
    std::size_t finite = 0;
    for (std::size_t i = 0; i < plain.size(); ++i) {
      ASSERT_EQ(std::memcmp(&fast.distances()[i], &plain[i], sizeof(double)), 0)
          << "trial " << trial << " cell " << i << ": " << fast.distances()[i] << " vs "
          << plain[i];
      finite += std::isfinite(plain[i]) ? 1 : 0;
    }
    EXPECT_GE(finite, 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Seeds, ObstacleHeuristicDifferentialTest,
    ::testing::Values(RandomCase{1, 2.0, 0.05, false}, RandomCase{2, 2.0, 0.05, true},
                      RandomCase{3, 0.0, 0.1, false}, RandomCase{4, 7.3, 0.037, true},
                      RandomCase{5, 0.5, 1.0, false}, RandomCase{6, 1e6, 0.05, true},
                      RandomCase{7, 1e-12, 0.05, false}, RandomCase{8, 3e4, 0.25, true},
                      RandomCase{9, 2.0, 1e-3, true}, RandomCase{10, 1e200, 1e100, true}));

}  // namespace
}  // namespace veltrax::se2
