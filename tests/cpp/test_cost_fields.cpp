// Inflation and the obstacle heuristic: their documented values, their refusals, and the fast
// versions against the plain ones of oracles/ on random maps, bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "detail/costmap_cells.hpp"
#include "detail/inflation.hpp"
#include "detail/lazy_field.hpp"
#include "detail/radix_queue.hpp"
#include "detail/step_costs.hpp"
#include "oracles/inflation_oracle.hpp"
#include "oracles/obstacle_heuristic_oracle.hpp"
#include "test_support.hpp"
#include "veltrax/se2/heuristic.hpp"

namespace veltrax::se2 {
namespace {

using namespace testing_support;

double plainHypot(double dx, double dy) { return std::hypot(dx, dy); }
// One ulp further for seeds to the right: every left/right pair of offsets becomes a tie.
double fartherToTheRight(double dx, double dy) {
  const double d = std::hypot(dx, dy);
  return dx < 0.0 ? std::nextafter(d, kInf) : d;
}
// One ulp nearer for odd row offsets: ties between swapped and mirrored offsets.
double nearerOnOddRows(double dx, double dy) {
  const double d = std::hypot(dx, dy);
  return static_cast<std::int64_t>(dy) % 2 != 0 ? std::nextafter(d, 0.0) : d;
}

// An n x n map at 0.1 m, free but for one lethal cell in the middle.
Costmap oneSeed(std::uint64_t n) {
  std::vector<std::uint8_t> cells(n * n, 0);
  cells[(n / 2) * n + n / 2] = 254;
  return Costmap(n, n, 0.1, 0.0, 0.0, cells);
}

const Costmap kRow(3, 1, 0.5, 0.0, 0.0, {0, 0, 0});
const char* const kInflation = "invalid inflation parameters";

// clang-format off
INSTANTIATE_TEST_SUITE_P(CostFields, Refuses, ::testing::Values(
    Refusal{"inscribed_beyond_inflation", [] { inflateCostmap(oneSeed(3), 0.5, 0.6, 1.0); }, kInflation},
    Refusal{"nan_inscribed", [] { inflateCostmap(oneSeed(3), 0.5, kNaN, 1.0); }, kInflation},
    Refusal{"zero_scaling", [] { inflateCostmap(oneSeed(3), 0.5, 0.2, 0.0); }, kInflation},
    Refusal{"infinite_scaling", [] { inflateCostmap(oneSeed(3), 0.5, 0.2, kInf); }, kInflation},
    Refusal{"negative_penalty", [] { ObstacleHeuristic(kRow, {0, 0}, false, -1e-300); }, "cost_penalty must be finite and non-negative"},
    Refusal{"nan_clearance", [] { ObstacleHeuristic(kRow, {0, 0}, false, 0.0, kNaN); }, "clearance must be finite and non-negative"},
    Refusal{"reach_factor_half", [] { ObstacleHeuristic(kRow, {0, 0}, false, 0.0, 0.0, {1, 0}, 0.5); },
            "reach_factor must be 0 or finite and at least 1"},
    Refusal{"goal_outside", [] { ObstacleHeuristic(kRow, {3, 0}, false, 0.0); }, "out_of_range: heuristic goal outside map"},
    Refusal{"start_outside", [] { ObstacleHeuristic(kRow, {0, 0}, false, 0.0, 0.0, {0, 1}, 1.0); },
            "out_of_range: heuristic start outside map"},
    Refusal{"index_outside", [] { ObstacleHeuristic(kRow, {0, 0}, false, 0.0).distance(0, 1); },
            "out_of_range: heuristic index outside map"}),
    refusalName);
// clang-format on

// One seed in the middle of a 13 x 13 grid at 0.1 m; radii 0.5 and 0.2.
TEST(InflationProfile, CostAtOffsetFromASingleSeed) {
  const struct {
    int dx, dy;
    double factor;
    int cost;
  } cases[] = {{2, 0, 10.0, 253}, {3, 0, 10.0, 93},  {0, -4, 10.0, 34}, {5, 0, 10.0, 13},
               {6, 0, 10.0, 0},   {2, 1, 10.0, 199}, {4, 3, 10.0, 13},  {4, 4, 10.0, 0},
               {5, 0, 30.0, 1},   {0, 0, 10.0, 254}};
  for (const auto& c : cases) {
    const Costmap inflated = inflateCostmap(oneSeed(13), 0.5, 0.2, c.factor);
    EXPECT_EQ(inflated.getCost(6 + c.dx, 6 + c.dy), c.cost) << c.dx << ", " << c.dy;
  }
}

struct InflationCase {
  const char* name;
  detail::CellDistanceFunction distance;
  std::uint64_t max_side;
  int maps;
};

class InflationMatchesDirectScan : public ::testing::TestWithParam<InflationCase> {};

TEST_P(InflationMatchesDirectScan, RandomMaps) {
  const InflationCase p = GetParam();
  std::mt19937_64 rng(20261206);
  const double resolutions[] = {0.05, 0.1, 0.3, 1.0};
  const double lethal_shares[] = {0.0, 0.002, 0.02, 0.1, 0.5, 0.95};
  const std::uint8_t others[] = {1, 13, 93, 200, 252, 253, 255};
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int changed_maps = 0;
  for (int map = 0; map < p.maps; ++map) {
    const std::uint64_t width = 1 + rng() % p.max_side;
    const std::uint64_t height = 1 + rng() % p.max_side;
    const double resolution = resolutions[rng() % 4];
    const double lethal_share = lethal_shares[rng() % 6];
    std::vector<std::uint8_t> cells(width * height, 0);
    for (std::uint8_t& cell : cells) {
      const double draw = unit(rng);
      cell = draw < lethal_share ? 254 : (draw < lethal_share + 0.1 ? others[rng() % 7] : 0);
    }
    // Radii on whole cells put many centres exactly on the inflation and inscribed edges.
    const double reach = static_cast<double>(rng() % (p.max_side + 2));
    const double inflation = rng() % 2 == 0 ? reach * resolution : unit(rng) * reach * resolution;
    const double inscribed =
        rng() % 2 == 0 ? std::floor(unit(rng) * reach) * resolution : unit(rng) * inflation;
    const double factor = 0.1 + unit(rng) * 20.0;
    const Costmap source(width, height, resolution, 1.5, -2.0, cells);
    if (!(inscribed <= inflation)) {
      continue;
    }
    const Costmap fast =
        detail::inflateCostmapWith(source, inflation, inscribed, factor, p.distance);
    ASSERT_EQ(
        fast.cells(),
        oracles::inflateByDirectScan(source, inflation, inscribed, factor, p.distance).cells())
        << p.name << " map " << map << ": " << width << " x " << height << " at " << resolution
        << ", radii " << inflation << " / " << inscribed << ", factor " << factor;
    changed_maps += fast.cells() != source.cells() ? 1 : 0;
  }
  EXPECT_GT(changed_maps, p.maps / 4);
}

INSTANTIATE_TEST_SUITE_P(Inflation, InflationMatchesDirectScan,
                         ::testing::Values(InflationCase{"hypot", &plainHypot, 40, 400},
                                           InflationCase{"right", &fartherToTheRight, 30, 300},
                                           InflationCase{"odd rows", &nearerOnOddRows, 30, 300}),
                         [](const auto& info) { return std::to_string(info.index); });

// Three cells of 0.5 m, penalty 2: each step pays the cost of the cell it enters.
TEST(ObstacleHeuristicLine, StepsPayTheCostOfTheCellEntered) {
  const struct {
    std::uint8_t middle;
    double second, third;
  } cases[] = {{0, 0.5, 1.0},   {126, 1.0, 1.5},   {253, 1.503968253968254, 2.003968253968254},
               {252, 1.5, 2.0}, {254, kInf, kInf}, {255, kInf, kInf}};
  for (const auto& c : cases) {
    const ObstacleHeuristic h(Costmap(3, 1, 0.5, 0.0, 0.0, {0, c.middle, 0}), {0, 0}, false, 2.0);
    EXPECT_EQ(h.distance(0, 0), 0.0);
    EXPECT_EQ(h.distance(1, 0), c.second) << int{c.middle};
    EXPECT_EQ(h.distance(2, 0), c.third) << int{c.middle};
  }
}

// Free space, graded costs, lethal walls and unknown cells, with penalties that exercise the
// bucket ring (small spread) and the heap fallback (huge spread).
TEST(ObstacleHeuristicDifferential, SameDoublesAsThePlainDijkstra) {
  const struct {
    std::uint32_t seed;
    double cost_penalty, resolution;
    bool allow_unknown;
  } cases[] = {{1, 2.0, 0.05, false},   {2, 2.0, 0.05, true}, {3, 0.0, 0.1, false},
               {4, 7.3, 0.037, true},   {5, 0.5, 1.0, false}, {6, 1e6, 0.05, true},
               {7, 1e-12, 0.05, false}, {8, 3e4, 0.25, true}, {9, 2.0, 1e-3, true},
               {10, 1e200, 1e100, true}};
  for (const auto& c : cases) {
    std::mt19937 rng(c.seed);
    for (int trial = 0; trial < 12; ++trial) {
      const std::uint64_t width = 1 + rng() % 70;
      const std::uint64_t height = 1 + rng() % 70;
      std::vector<std::uint8_t> cells(width * height);
      const unsigned lethal_percent = rng() % 35;
      for (auto& cell : cells) {
        const unsigned roll = rng() % 100;
        cell = roll < lethal_percent       ? 254
               : roll < lethal_percent + 5 ? 255
               : roll < 60                 ? static_cast<std::uint8_t>(rng() % 254)
                                           : 0;
      }
      const Costmap map(width, height, c.resolution, 0.0, 0.0, cells);
      const GridIndex goal{rng() % width, rng() % height};
      const ObstacleHeuristic fast(map, goal, c.allow_unknown, c.cost_penalty);
      const std::vector<double> plain =
          oracles::obstacleHeuristicDistances(map, goal, c.allow_unknown, c.cost_penalty);
      ASSERT_EQ(fast.distances().size(), plain.size());
      ASSERT_EQ(std::memcmp(fast.distances().data(), plain.data(), plain.size() * sizeof(double)),
                0)
          << "seed " << c.seed << " trial " << trial;
    }
  }
}

// With a clearance, the field runs on the map where every cell whose centre lies closer than it
// to a blocking cell's centre is lethal: here marked by a plain scan over all pairs of cells.
TEST(ObstacleHeuristicDifferential, ClearanceBlocksWhatAPlainScanBlocks) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 24; ++trial) {
    const std::uint64_t width = 8 + rng() % 30;
    const std::uint64_t height = 8 + rng() % 30;
    const bool allow_unknown = trial % 2 == 1;
    const double clearance = 0.04 + 0.05 * static_cast<double>(rng() % 8);  // 0.4 to 3.9 cells
    std::vector<std::uint8_t> cells(width * height, 0);
    for (auto& cell : cells) {
      const unsigned roll = rng() % 100;
      cell = roll < 6    ? 254
             : roll < 9  ? 255
             : roll < 30 ? static_cast<std::uint8_t>(rng() % 253)
                         : 0;
    }
    const Costmap map(width, height, 0.1, 0.0, 0.0, cells);
    std::vector<std::uint8_t> marked = cells;
    const double reach = clearance / 0.1;
    for (std::uint64_t b = 0; b < cells.size(); ++b) {
      if (!(cells[b] == 254 || (cells[b] == 255 && !allow_unknown))) {
        continue;
      }
      for (std::uint64_t c = 0; c < cells.size(); ++c) {
        const double dx = static_cast<double>(c % width) - static_cast<double>(b % width);
        const double dy = static_cast<double>(c / width) - static_cast<double>(b / width);
        if (dx * dx + dy * dy < reach * reach) {
          marked[c] = 254;
        }
      }
    }
    const GridIndex goal{rng() % width, rng() % height};
    const ObstacleHeuristic field(map, goal, allow_unknown, 2.0, clearance);
    const std::vector<double> plain = oracles::obstacleHeuristicDistances(
        Costmap(width, height, 0.1, 0.0, 0.0, marked), goal, allow_unknown, 2.0);
    ASSERT_EQ(field.distances().size(), plain.size());
    EXPECT_EQ(std::memcmp(field.distances().data(), plain.data(), plain.size() * sizeof(double)), 0)
        << "trial " << trial << " clearance " << clearance;
  }
}

// The field computed as it is read, through random edits of windows (walls raised and removed,
// costs changed) each repaired in place, between reads of random cells from random aims that
// leave it settled here and there: every value it answers is the plain Dijkstra's on the map of
// the moment, bit for bit.
TEST(LazyObstacleFieldRepair, AnswersAsANewFieldAfterEveryEdit) {
  for (const std::uint32_t seed : {1u, 2u, 3u}) {
    std::mt19937 rng(seed);
    constexpr std::uint64_t kW = 48;
    constexpr std::uint64_t kH = 36;
    std::vector<std::uint8_t> cells(kW * kH, 0);
    for (auto& cell : cells) {
      const unsigned roll = rng() % 100;
      cell = roll < 15 ? 254 : roll < 40 ? static_cast<std::uint8_t>(rng() % 253) : 0;
    }
    const GridIndex goal{rng() % kW, rng() % kH};
    cells[goal.y * kW + goal.x] = 0;
    Costmap map(kW, kH, 0.1, 0.0, 0.0, cells);
    const double penalty = 2.0;
    detail::LazyObstacleField field(kW, kH, detail::makeStepCosts(0.1, false, penalty), goal, false,
                                    0.0);
    field.bind(map);
    const std::uint8_t bytes[] = {254, 254, 0, 0, 0, 60, 200, 255};
    std::size_t compared = 0;
    for (int batch = 0; batch < 40; ++batch) {
      field.aim({rng() % kW, rng() % kH});
      const std::vector<double> want =
          oracles::obstacleHeuristicDistances(map, goal, false, penalty);
      // Now and then every cell, otherwise a few: the field is left settled to varying extents.
      const bool every = batch % 8 == 7;
      for (int read = 0; read < (every ? static_cast<int>(kW * kH) : 6); ++read) {
        const std::uint64_t at = every ? static_cast<std::uint64_t>(read) : rng() % (kW * kH);
        ASSERT_TRUE(sameBits(field.at(at, {}), want[at]))
            << "seed " << seed << " batch " << batch << " cell " << at << ": " << field.at(at, {})
            << " for " << want[at];
        ++compared;
      }
      std::vector<detail::CellWindow> windows;
      for (unsigned edits = 1 + rng() % 3; edits > 0; --edits) {
        const std::uint64_t w = 1 + rng() % 6;
        const std::uint64_t h = 1 + rng() % 6;
        const std::uint64_t x0 = rng() % (kW - w + 1);
        const std::uint64_t y0 = rng() % (kH - h + 1);
        const std::uint8_t byte = bytes[rng() % std::size(bytes)];
        for (std::uint64_t y = y0; y < y0 + h; ++y) {
          for (std::uint64_t x = x0; x < x0 + w; ++x) {
            if (x != goal.x || y != goal.y) {
              detail::CostmapCells::of(map)[y * kW + x] = byte;
            }
          }
        }
        windows.push_back({x0, y0, x0 + w, y0 + h});
      }
      field.repair(windows);
    }
    EXPECT_GT(compared, 5 * kW * kH);
  }
}

// The queue of the field computed as it is read: every front it shows and every entry it hands
// out is the least key held, through runs of pushes at or above the last key taken, pushes below
// it (a repair), and keys rewritten (a re-aimed search), checked against an ordered multiset.
TEST(RadixQueue, AlwaysHandsOutTheLeastKey) {
  struct Entry {
    double key;
    int id;
  };
  std::mt19937_64 rng(20261207);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  detail::RadixQueue<Entry> queue;
  std::multiset<double> held;
  double last = 0.0;
  int pops = 0;
  int below = 0;
  for (int step = 0; step < 200000; ++step) {
    const double r = unit(rng);
    if (r < 0.001) {
      // Every key moved, odd ids dropped.
      held.clear();
      queue.rewrite([&](Entry& e) {
        e.key = e.key * 0.5 + static_cast<double>(e.id % 7);
        if (e.id % 2 == 1) {
          return false;
        }
        held.insert(e.key);
        return true;
      });
    } else if (r < 0.52 || held.empty()) {
      // Mostly just above the last key taken, as a search's children are; now and then below it.
      const bool low = unit(rng) < 0.01;
      const double key = low ? last * unit(rng) : last + (unit(rng) < 0.1 ? 0.0 : unit(rng) * 3.0);
      below += low && key < last ? 1 : 0;
      queue.push(Entry{key, step});
      held.insert(key);
    } else {
      ASSERT_EQ(queue.frontKey(), *held.begin()) << "step " << step;
      const Entry e = queue.pop();
      ASSERT_EQ(e.key, *held.begin()) << "step " << step;
      held.erase(held.begin());
      last = e.key;
      ++pops;
    }
    ASSERT_EQ(queue.empty(), held.empty());
  }
  EXPECT_GT(pops, 50000);
  EXPECT_GT(below, 500);
}

}  // namespace
}  // namespace veltrax::se2
