#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "detail/inflation.hpp"
#include "oracles/inflation_oracle.hpp"
#include "test_support.hpp"
#include "veltrax/se2/costmap.hpp"

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

Costmap filled(std::uint64_t width, std::uint64_t height, double resolution, std::uint8_t cost) {
  return Costmap(width, height, resolution, 0.0, 0.0,
                 std::vector<std::uint8_t>(width * height, cost));
}

Costmap withCells(const Costmap& base, const std::vector<GridIndex>& where, std::uint8_t cost) {
  std::vector<std::uint8_t> cells = base.cells();
  for (const GridIndex& cell : where) {
    cells[cell.y * base.width() + cell.x] = cost;
  }
  return Costmap(base.width(), base.height(), base.resolution(), base.originX(), base.originY(),
                 cells);
}

struct BadParameters {
  double inflation_radius;
  double inscribed_radius;
  double cost_scaling_factor;
};

class InflationRejects : public ::testing::TestWithParam<BadParameters> {};

TEST_P(InflationRejects, InvalidParameters) {
  const Costmap source = withCells(filled(3, 3, 0.1, 0), {{1, 1}}, 254);
  const BadParameters p = GetParam();
  try {
    inflateCostmap(source, p.inflation_radius, p.inscribed_radius, p.cost_scaling_factor);
    FAIL() << "accepted";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "invalid inflation parameters");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Inflation, InflationRejects,
    ::testing::Values(BadParameters{0.5, 0.6, 1.0}, BadParameters{-0.1, 0.0, 1.0},
                      BadParameters{0.5, -0.1, 1.0}, BadParameters{kNaN, 0.0, 1.0},
                      BadParameters{kInf, 0.0, 1.0}, BadParameters{0.5, kNaN, 1.0},
                      BadParameters{kInf, kInf, 1.0}, BadParameters{0.5, 0.2, 0.0},
                      BadParameters{0.5, 0.2, -1.0}, BadParameters{0.5, 0.2, kNaN},
                      BadParameters{0.5, 0.2, kInf}, BadParameters{0.5, 0.2, -kInf}));

struct OffsetCost {
  int dx;
  int dy;
  double cost_scaling_factor;
  int expected;
};

class InflationProfile : public ::testing::TestWithParam<OffsetCost> {};

// One seed in the middle of a 13 x 13 grid at 0.1 m; radii 0.2 and 0.5.
TEST_P(InflationProfile, CostAtOffsetFromASingleSeed) {
  const OffsetCost p = GetParam();
  const Costmap source = withCells(filled(13, 13, 0.1, 0), {{6, 6}}, 254);
  const Costmap result = inflateCostmap(source, 0.5, 0.2, p.cost_scaling_factor);
  EXPECT_EQ(result.getCost(6 + p.dx, 6 + p.dy), p.expected);
  EXPECT_EQ(result.getCost(6, 6), 254);
}

INSTANTIATE_TEST_SUITE_P(Inflation, InflationProfile,
                         ::testing::Values(OffsetCost{2, 0, 10.0, 253}, OffsetCost{3, 0, 10.0, 93},
                                           OffsetCost{0, -4, 10.0, 34}, OffsetCost{5, 0, 10.0, 13},
                                           OffsetCost{6, 0, 10.0, 0}, OffsetCost{2, 1, 10.0, 199},
                                           OffsetCost{4, 3, 10.0, 13}, OffsetCost{4, 4, 10.0, 0},
                                           OffsetCost{5, 0, 30.0, 1}));

struct RandomCase {
  const char* name;
  detail::CellDistanceFunction distance;
  std::uint64_t max_side;
  int maps;
};

class InflationMatchesDirectScan : public ::testing::TestWithParam<RandomCase> {};

TEST_P(InflationMatchesDirectScan, RandomMaps) {
  const RandomCase p = GetParam();
  std::mt19937_64 rng(20261206);
  const double resolutions[] = {0.05, 0.1, 0.3, 1.0};
  const double lethal_shares[] = {0.0, 0.002, 0.02, 0.1, 0.5, 0.95};
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int differing_maps = 0;
  for (int map = 0; map < p.maps; ++map) {
    const std::uint64_t width = 1 + rng() % p.max_side;
    const std::uint64_t height = 1 + rng() % p.max_side;
    const double resolution = resolutions[rng() % 4];
    const double lethal_share = lethal_shares[rng() % 6];
    std::vector<std::uint8_t> cells(width * height, 0);
    for (std::uint8_t& cell : cells) {
      const double draw = unit(rng);
      if (draw < lethal_share) {
        cell = 254;
      } else if (draw < lethal_share + 0.1) {
        const std::uint8_t others[] = {1, 13, 93, 200, 252, 253, 255};
        cell = others[rng() % 7];
      }
    }
    // Radii on whole cells put many centres exactly on the inflation and inscribed edges.
    const double reach = static_cast<double>(rng() % (p.max_side + 2));
    const double inflation_radius =
        rng() % 2 == 0 ? reach * resolution : unit(rng) * reach * resolution;
    const double inscribed_radius =
        rng() % 2 == 0 ? std::floor(unit(rng) * reach) * resolution : unit(rng) * inflation_radius;
    const double factor = 0.1 + unit(rng) * 20.0;
    const Costmap source(width, height, resolution, 1.5, -2.0, cells);
    if (!(inscribed_radius <= inflation_radius)) {
      continue;
    }
    const Costmap fast =
        detail::inflateCostmapWith(source, inflation_radius, inscribed_radius, factor, p.distance);
    const Costmap slow = oracles::inflateByDirectScan(source, inflation_radius, inscribed_radius,
                                                      factor, p.distance);
    ASSERT_EQ(fast.cells(), slow.cells())
        << p.name << " map " << map << ": " << width << " x " << height << " at " << resolution
        << ", radii " << inflation_radius << " / " << inscribed_radius << ", factor " << factor;
    differing_maps += fast.cells() != source.cells() ? 1 : 0;
  }
  // Guards against a generator that never exercises inflation.
  EXPECT_GT(differing_maps, p.maps / 4);
}

INSTANTIATE_TEST_SUITE_P(Inflation, InflationMatchesDirectScan,
                         ::testing::Values(RandomCase{"hypot", &plainHypot, 40, 400},
                                           RandomCase{"right", &fartherToTheRight, 30, 300},
                                           RandomCase{"odd rows", &nearerOnOddRows, 30, 300}),
                         [](const auto& info) { return std::to_string(info.index); });

}  // namespace
}  // namespace veltrax::se2
