// Yaw normalisation, costmap geometry and footprint validation: exact answers at the edges, and
// the shared refusal-table test that every component's table instantiates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "test_support.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/footprint.hpp"

namespace veltrax::se2 {
namespace {

using namespace testing_support;

TEST_P(Refuses, WithTheirMessage) { EXPECT_EQ(thrownMessage(GetParam().call), GetParam().message); }

TEST(NormalizeYaw, MapsIntoMinusPiToPiWithoutNegativeZero) {
  const double cases[][2] = {{kPi, -kPi},         {-kPi, -kPi},   {3 * kPi, -kPi},
                             {-0.0, 0.0},         {-kTwoPi, 0.0}, {7 * kPi / 2, -kPi / 2},
                             {5.0, 5.0 - kTwoPi}, {1.0, 1.0}};
  for (const auto& c : cases) {
    EXPECT_TRUE(sameBits(normalizeYaw(c[0]), c[1])) << c[0] << " -> " << normalizeYaw(c[0]);
  }
}

Costmap square(std::uint64_t n, double resolution, double origin) {
  return Costmap(n, n, resolution, origin, origin, std::vector<std::uint8_t>(n * n, 0));
}

PolygonFootprint unitSquare() { return PolygonFootprint{{{0, 0}, {1, 0}, {1, 1}, {0, 1}}}; }
PolygonFootprint bowTie() { return PolygonFootprint{{{0, 0}, {1, 1}, {1, 0}, {0, 1}}}; }

const char* const kGeometry = "costmap resolution/origin must be finite and resolution positive";
const char* const kCellCount = "costmap cells size does not match width*height";
const char* const kFar = "costmap corners are too far from the origin for its resolution";
const std::uint64_t k2p32 = std::uint64_t{1} << 32;

// Doubles in [2^27, 2^28) are 2^-25 (3.0e-8) apart, from 2^28 on 2^-24 (6.0e-8): a millionth of
// a 5 cm cell (5e-8) lies between the two. The first three far origins once crashed, found no path
// on free space or failed inside the planner.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Costmap, Refuses, ::testing::Values(
    Refusal{"zero_width_before_nan", [] { Costmap(0, 5, kNaN, 0, 0, {}); }, "costmap width and height must be positive"},
    Refusal{"nan_resolution", [] { Costmap(2, 2, kNaN, 0, 0, std::vector<std::uint8_t>(4)); }, kGeometry},
    Refusal{"geometry_before_cells", [] { Costmap(2, 2, -1.0, 0, 0, std::vector<std::uint8_t>(3)); }, kGeometry},
    Refusal{"too_few_cells", [] { Costmap(3, 2, 1.0, 0, 0, std::vector<std::uint8_t>(5)); }, kCellCount},
    Refusal{"product_overflows", [] { Costmap(k2p32, k2p32 + 1, 1.0, 0, 0, {}); }, kCellCount},
    Refusal{"product_wraps_to_zero", [] { Costmap(k2p32, k2p32, 1.0, 0, 0, {}); }, kCellCount},
    Refusal{"origin_2_pow_60_segfaulted", [] { square(430, 0.3, 0x1p60); }, kFar},
    Refusal{"origin_1e15_no_path", [] { square(64, 0.05, 1e15); }, kFar},
    Refusal{"far_corner_2_pow_28", [] { square(1, 0.05, -0x1p28); }, kFar},
    Refusal{"far_corner_just_inside", [] { square(1, 0.05, -(0x1p28 - 1.0)); throw std::invalid_argument("accepted"); }, "accepted"},
    Refusal{"corner_overflows", [] { square(4, 1e308, 0.0); }, kFar},
    Refusal{"tiny_cells_near_zero", [] { square(3, 1e-300, 0.0); throw std::invalid_argument("accepted"); }, "accepted"},
    Refusal{"get_cost_outside", [] { square(2, 1.0, 0.0).getCost(2, 0); }, "out_of_range: costmap index is outside the grid"},
    Refusal{"yaw_bin_beyond", [] { const YawBinFootprintTemplates t(CircleFootprint{1}, 8); t.at(8); }, "out_of_range: yaw bin is out of range"},
    Refusal{"bins_too_few", [] { YawBinFootprintTemplates(CircleFootprint{1}, 7); }, "angle_bins must be at least 8"},
    Refusal{"bins_too_many", [] { YawBinFootprintTemplates(CircleFootprint{1}, 65537); }, "angle_bins must be at most 65536"},
    Refusal{"bad_template_footprint", [] { YawBinFootprintTemplates(bowTie(), 8); }, "polygon footprint must not self-intersect"},
    Refusal{"nan_yaw", [] { normalizeYaw(kNaN); }, "yaw must be finite"},
    Refusal{"nan_yaw_to_bin", [] { YawBinFootprintTemplates(CircleFootprint{1}, 8).yawToBin(-kInf); }, "yaw must be finite"}),
    refusalName);
// clang-format on

TEST(WorldToMap, HalfOpenCellsAndUntouchedOutputOutside) {
  // 4 x 3 cells of 0.5 m from (-1, 2): x in [-1, 1), y in [2, 3.5).
  const Costmap map(4, 3, 0.5, -1.0, 2.0, std::vector<std::uint8_t>(12, 0));
  // clang-format off
  const struct {
    double x, y;
    bool inside;
    std::uint64_t mx, my;
  } points[] = {{-1.0, 2.0, true, 0, 0}, {std::nextafter(-1.0, -2.0), 2.0, false, 0, 0},
                {-1.0, std::nextafter(2.0, 0.0), false, 0, 0}, {1.0, 2.0, false, 0, 0}, {0.0, 3.5, false, 0, 0},
                {-0.5, 2.5, true, 1, 1}, {0.999, 3.499, true, 3, 2}, {kNaN, 2.5, false, 0, 0}, {1e308, 2.5, false, 0, 0}};
  // clang-format on
  for (const auto& p : points) {
    GridIndex out{99, 99};
    EXPECT_EQ(map.worldToMap(p.x, p.y, out), p.inside) << p.x << ", " << p.y;
    EXPECT_EQ(out.x, p.inside ? p.mx : 99u);
    EXPECT_EQ(out.y, p.inside ? p.my : 99u);
  }
}

using Messages = std::vector<std::string>;
const char* const kThreePoints = "polygon footprint requires at least three points";
const char* const kFinite = "polygon footprint points must be finite";
const char* const kDuplicates = "polygon footprint must not contain duplicate points";
const char* const kCrossing = "polygon footprint must not self-intersect";
const char* const kZeroArea = "polygon footprint must have non-zero area";
const char* const kCircle = "circle radius must be finite and positive";

struct ShapeCase {
  const char* name;
  Footprint footprint;
  Messages expected;
};
void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }
class FootprintValidation : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(FootprintValidation, ReportsItsProblemsInOrder) {
  EXPECT_EQ(validateFootprint(GetParam().footprint), GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Shapes, FootprintValidation, ::testing::Values(
    ShapeCase{"ZeroRadius", CircleFootprint{-0.0}, {kCircle}},
    ShapeCase{"TwoPointsOneNaN", PolygonFootprint{{{0, 0}, {kNaN, 0}}}, {kThreePoints, kFinite}},
    // Finiteness is reported once, however many points are bad.
    ShapeCase{"SeveralInfinite", PolygonFootprint{{{kInf, 0}, {0, -kInf}, {1, kNaN}}}, {kFinite}},
    ShapeCase{"ClosingVertexRepeated", PolygonFootprint{{{0, 0}, {1, 0}, {1, 1}, {0, 0}}}, {kDuplicates}},
    ShapeCase{"NearDuplicateWithinTolerance", PolygonFootprint{{{0, 0}, {1, 0}, {1, 1}, {5e-13, 1 + 5e-13}, {0, 1}}}, {kDuplicates}},
    ShapeCase{"NearDuplicateBeyondTolerance", PolygonFootprint{{{0, 0}, {1, 0}, {1, 1}, {2e-12, 1}, {0, 1}}}, {}},
    // The bow-tie also has zero area: crossing is judged first.
    ShapeCase{"BowTie", bowTie(), {kCrossing}},
    ShapeCase{"CrossingPentagram", PolygonFootprint{{{0, 2}, {1.2, -1.6}, {-1.9, 0.6}, {1.9, 0.6}, {-1.2, -1.6}}}, {kCrossing}},
    ShapeCase{"TinyArea", PolygonFootprint{{{0, 0}, {1, 0}, {0.5, 1e-12}}}, {kZeroArea}},
    ShapeCase{"SmallButNonZeroArea", PolygonFootprint{{{0, 0}, {1, 0}, {0, 3e-12}}}, {}},
    ShapeCase{"VertexTouchingNonAdjacentEdge", PolygonFootprint{{{0, 0}, {4, 0}, {4, 4}, {2, 0}, {0, 4}}}, {}},
    ShapeCase{"ClockwiseConcave", PolygonFootprint{{{0, 0}, {1, 1}, {0, 2}, {2, 1}}}, {}},
    ShapeCase{"Points1025", PolygonFootprint{std::vector<Point2D>(1025)}, {"polygon footprint must have at most 1024 points"}},
    ShapeCase{"MultiEmpty", MultiPolygonFootprint{}, {"multi-polygon footprint requires at least one polygon"}},
    ShapeCase{"MultiEveryComponentInOrder", MultiPolygonFootprint{{PolygonFootprint{{{0, 0}, {kNaN, 0}}}, unitSquare(), bowTie()}},
              {std::string("multi-polygon component 0: ") + kThreePoints, std::string("multi-polygon component 0: ") + kFinite,
               std::string("multi-polygon component 2: ") + kCrossing}},
    ShapeCase{"Multi1025Points", MultiPolygonFootprint{{PolygonFootprint{std::vector<Point2D>(1000)}, unitSquare(), PolygonFootprint{std::vector<Point2D>(21)}}},
              {"multi-polygon footprint must have at most 1024 points in all"}}),
    [](const ::testing::TestParamInfo<ShapeCase>& info) { return info.param.name; });
// clang-format on

// The distance from the robot's origin to the nearest edge, 0 when the origin is outside; the
// largest over the components of a multi-polygon.
TEST(InscribedRadius, NearestEdgeFromTheOrigin) {
  const PolygonFootprint rectangle{{{0.4, 0.25}, {-0.3, 0.25}, {-0.3, -0.25}, {0.4, -0.25}}};
  EXPECT_DOUBLE_EQ(inscribedRadius(rectangle), 0.25);
  EXPECT_EQ(inscribedRadius(CircleFootprint{0.3}), 0.3);
  EXPECT_EQ(inscribedRadius(unitSquare()), 0.0);
  EXPECT_DOUBLE_EQ(inscribedRadius(MultiPolygonFootprint{{unitSquare(), rectangle}}), 0.25);
}

// A yaw so small that adding 2 pi rounds to 2 pi is folded back to bin 0.
TEST(YawToBin, FloorBinningFromZero) {
  // clang-format off
  const struct {
    std::uint32_t bins;
    double yaw;
    std::uint32_t bin;
  } cases[] = {{8, -0.0, 0}, {8, kPi, 4}, {8, kTwoPi, 0}, {8, -kPi / 2, 6}, {8, -0.01, 7}, {8, -1e-20, 0},
               {8, 0.7853981633974483, 1}, {8, 0.785398163397448, 0}, {8, -5 * kTwoPi - 0.1, 7}, {72, 0.09, 1}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(YawBinFootprintTemplates(CircleFootprint{0.5}, c.bins).yawToBin(c.yaw), c.bin)
        << c.bins << " bins, yaw " << c.yaw;
  }
}

}  // namespace
}  // namespace veltrax::se2
