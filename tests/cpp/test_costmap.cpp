#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "test_support.hpp"
#include "veltrax/se2/costmap.hpp"

namespace veltrax::se2 {
namespace {

using namespace testing_support;

std::vector<std::uint8_t> iota(std::size_t n) {
  std::vector<std::uint8_t> cells(n);
  std::iota(cells.begin(), cells.end(), std::uint8_t{0});
  return cells;
}

struct BadGeometry {
  const char* name;
  std::uint64_t width;
  std::uint64_t height;
  double resolution;
  double origin_x;
  double origin_y;
  std::size_t cells;
  const char* message;
};

class CostmapRejects : public ::testing::TestWithParam<BadGeometry> {};

TEST_P(CostmapRejects, WithFirstFailingCheck) {
  const BadGeometry c = GetParam();
  try {
    Costmap(c.width, c.height, c.resolution, c.origin_x, c.origin_y,
            std::vector<std::uint8_t>(c.cells));
    FAIL() << "expected std::invalid_argument";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), c.message);
  }
}

constexpr const char* kSizeMessage = "costmap width and height must be positive";
constexpr const char* kGeometryMessage =
    "costmap resolution/origin must be finite and resolution positive";
constexpr const char* kCellsMessage = "costmap cells size does not match width*height";

INSTANTIATE_TEST_SUITE_P(
    Checks, CostmapRejects,
    ::testing::Values(BadGeometry{"zero_width_before_nan", 0, 5, kNaN, 0, 0, 0, kSizeMessage},
                      BadGeometry{"zero_height", 4, 0, 1.0, 0, 0, 0, kSizeMessage},
                      BadGeometry{"nan_resolution", 2, 2, kNaN, 0, 0, 4, kGeometryMessage},
                      BadGeometry{"infinite_origin_x", 2, 2, 1.0, kInf, 0, 4, kGeometryMessage},
                      BadGeometry{"nan_origin_y", 2, 2, 1.0, 0, kNaN, 4, kGeometryMessage},
                      BadGeometry{"geometry_before_cells", 2, 2, kNaN, 0, 0, 3, kGeometryMessage},
                      BadGeometry{"too_few_cells", 3, 2, 1.0, 0, 0, 5, kCellsMessage},
                      BadGeometry{"product_overflows", std::uint64_t{1} << 32,
                                  (std::uint64_t{1} << 32) + 1, 1.0, 0, 0, 0, kCellsMessage},
                      BadGeometry{"product_wraps_to_cell_count", std::uint64_t{1} << 32,
                                  (std::uint64_t{1} << 32), 1.0, 0, 0, 0, kCellsMessage}),
    [](const ::testing::TestParamInfo<BadGeometry>& info) { return info.param.name; });

struct WorldPoint {
  double x;
  double y;
  bool inside;
  std::uint64_t mx;
  std::uint64_t my;
};

class WorldToMapTest : public ::testing::TestWithParam<WorldPoint> {};

TEST_P(WorldToMapTest, OriginMinusOneTwoHalfMetre) {
  // 4 x 3 cells of 0.5 m from (-1, 2): x in [-1, 1), y in [2, 3.5).
  const Costmap map(4, 3, 0.5, -1.0, 2.0, iota(12));
  const WorldPoint p = GetParam();
  GridIndex out{99, 99};
  EXPECT_EQ(map.worldToMap(p.x, p.y, out), p.inside);
  if (p.inside) {
    EXPECT_EQ(out.x, p.mx);
    EXPECT_EQ(out.y, p.my);
  } else {
    EXPECT_EQ(out.x, 99u) << "out must stay untouched";
    EXPECT_EQ(out.y, 99u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Points, WorldToMapTest,
    ::testing::Values(WorldPoint{-1.0, 2.0, true, 0, 0},
                      WorldPoint{std::nextafter(-1.0, -2.0), 2.0, false, 0, 0},
                      WorldPoint{-1.0, std::nextafter(2.0, 0.0), false, 0, 0},
                      WorldPoint{-1.0 + 0.5 * 4, 2.0, false, 0, 0},  // far x edge
                      WorldPoint{0.0, 2.0 + 0.5 * 3, false, 0, 0},   // far y edge
                      WorldPoint{-0.75, 2.25, true, 0, 0}, WorldPoint{-0.5, 2.5, true, 1, 1},
                      WorldPoint{0.999, 3.499, true, 3, 2}, WorldPoint{kNaN, 2.5, false, 0, 0},
                      WorldPoint{0.0, -kInf, false, 0, 0}, WorldPoint{1e308, 2.5, false, 0, 0}));

}  // namespace
}  // namespace veltrax::se2
