#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "test_support.hpp"
#include "veltrax/se2/footprint.hpp"

namespace veltrax::se2 {
namespace {

using namespace testing_support;

using Messages = std::vector<std::string>;

const char* const kThreePoints = "polygon footprint requires at least three points";
const char* const kFinitePoints = "polygon footprint points must be finite";
const char* const kDuplicates = "polygon footprint must not contain duplicate points";
const char* const kSelfIntersect = "polygon footprint must not self-intersect";
const char* const kZeroArea = "polygon footprint must have non-zero area";
const char* const kCircle = "circle radius must be finite and positive";
const char* const kEmptyMulti = "multi-polygon footprint requires at least one polygon";

PolygonFootprint polygon(std::vector<Point2D> points) {
  return PolygonFootprint{std::move(points)};
}

PolygonFootprint unitSquare() { return polygon({{0, 0}, {1, 0}, {1, 1}, {0, 1}}); }
PolygonFootprint bowTie() { return polygon({{0, 0}, {1, 1}, {1, 0}, {0, 1}}); }

// --- circles --------------------------------------------------------------------------------

class CircleValidation : public ::testing::TestWithParam<std::pair<double, bool>> {};

TEST_P(CircleValidation, ReportsExactlyTheRadiusMessage) {
  const auto [radius, valid] = GetParam();
  const Messages expected = valid ? Messages{} : Messages{kCircle};
  EXPECT_EQ(validateFootprint(CircleFootprint{radius}), expected) << radius;
}

INSTANTIATE_TEST_SUITE_P(Radii, CircleValidation,
                         ::testing::Values(std::make_pair(0.0, false), std::make_pair(-0.0, false),
                                           std::make_pair(-1.0, false), std::make_pair(kNaN, false),
                                           std::make_pair(kInf, false),
                                           std::make_pair(-kInf, false),
                                           std::make_pair(1e-300, true),
                                           std::make_pair(0.25, true)));

// --- polygons -------------------------------------------------------------------------------

struct PolygonCase {
  const char* name;
  std::vector<Point2D> points;
  Messages expected;
};

// Cases print as their names, not as raw bytes.
void PrintTo(const PolygonCase& c, std::ostream* os) { *os << c.name; }

class PolygonValidation : public ::testing::TestWithParam<PolygonCase> {};

TEST_P(PolygonValidation, ReportsItsProblemsInOrder) {
  EXPECT_EQ(validateFootprint(polygon(GetParam().points)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, PolygonValidation,
    ::testing::Values(
        PolygonCase{"Empty", {}, {kThreePoints}},
        PolygonCase{"TwoPointsOneNaN", {{0, 0}, {kNaN, 0}}, {kThreePoints, kFinitePoints}},
        // Finiteness is reported once, however many points are bad.
        PolygonCase{"SeveralInfinite", {{kInf, 0}, {0, -kInf}, {1, kNaN}}, {kFinitePoints}},
        PolygonCase{"TwoFinitePoints", {{0, 0}, {1, 0}}, {kThreePoints}},
        PolygonCase{"ClosingVertexRepeated", {{0, 0}, {1, 0}, {1, 1}, {0, 0}}, {kDuplicates}},
        PolygonCase{"ConsecutiveRepeat", {{0, 0}, {1, 0}, {1, 0}, {1, 1}}, {kDuplicates}},
        PolygonCase{"NearDuplicateWithinTolerance",
                    {{0, 0}, {1, 0}, {1, 1}, {5e-13, 1 + 5e-13}, {0, 1}},
                    {kDuplicates}},
        PolygonCase{
            "NearDuplicateBeyondTolerance", {{0, 0}, {1, 0}, {1, 1}, {2e-12, 1}, {0, 1}}, {}},
        // The bow-tie also has zero area: crossing is judged first.
        PolygonCase{"BowTie", {{0, 0}, {1, 1}, {1, 0}, {0, 1}}, {kSelfIntersect}},
        PolygonCase{"CrossingPentagram",
                    {{0, 2}, {1.2, -1.6}, {-1.9, 0.6}, {1.9, 0.6}, {-1.2, -1.6}},
                    {kSelfIntersect}},
        PolygonCase{"CollinearTriangle", {{0, 0}, {1, 0}, {2, 0}}, {kZeroArea}},
        PolygonCase{"TinyArea", {{0, 0}, {1, 0}, {0.5, 1e-12}}, {kZeroArea}},
        PolygonCase{"SmallButNonZeroArea", {{0, 0}, {1, 0}, {0, 3e-12}}, {}},
        PolygonCase{"VertexTouchingNonAdjacentEdge", {{0, 0}, {4, 0}, {4, 4}, {2, 0}, {0, 4}}, {}},
        PolygonCase{"SquareCounterClockwise", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {}},
        PolygonCase{"SquareClockwise", {{0, 0}, {0, 1}, {1, 1}, {1, 0}}, {}},
        PolygonCase{"ConcaveArrow", {{0, 0}, {2, 1}, {0, 2}, {1, 1}}, {}}),
    [](const ::testing::TestParamInfo<PolygonCase>& info) { return info.param.name; });

// --- multi-polygons -------------------------------------------------------------------------

struct MultiCase {
  const char* name;
  std::vector<PolygonFootprint> polygons;
  Messages expected;
};

// Cases print as their names, not as raw bytes.
void PrintTo(const MultiCase& c, std::ostream* os) { *os << c.name; }

class MultiPolygonValidation : public ::testing::TestWithParam<MultiCase> {};

TEST_P(MultiPolygonValidation, PrefixesComponentMessages) {
  EXPECT_EQ(validateFootprint(MultiPolygonFootprint{GetParam().polygons}), GetParam().expected);
}

std::vector<PolygonFootprint> elevenComponentsLastEmpty() {
  std::vector<PolygonFootprint> components(10, unitSquare());
  components.push_back(polygon({}));
  return components;
}

INSTANTIATE_TEST_SUITE_P(
    Components, MultiPolygonValidation,
    ::testing::Values(
        MultiCase{"Empty", {}, {kEmptyMulti}},
        MultiCase{"SecondIsBowTie",
                  {unitSquare(), bowTie()},
                  {std::string("multi-polygon component 1: ") + kSelfIntersect}},
        MultiCase{"SquareAndTwoPoints",
                  {unitSquare(), polygon({{0, 0}, {1, 1}})},
                  {std::string("multi-polygon component 1: ") + kThreePoints}},
        MultiCase{"EveryComponentInOrder",
                  {polygon({{0, 0}, {kNaN, 0}}), unitSquare(), bowTie()},
                  {std::string("multi-polygon component 0: ") + kThreePoints,
                   std::string("multi-polygon component 0: ") + kFinitePoints,
                   std::string("multi-polygon component 2: ") + kSelfIntersect}},
        MultiCase{"TwoDigitIndex",
                  elevenComponentsLastEmpty(),
                  {std::string("multi-polygon component 10: ") + kThreePoints}},
        MultiCase{"OverlappingSquares",
                  {unitSquare(), polygon({{0.5, 0.5}, {1.5, 0.5}, {1.5, 1.5}, {0.5, 1.5}})},
                  {}},
        MultiCase{
            "DisjointSquares", {unitSquare(), polygon({{5, 5}, {6, 5}, {6, 6}, {5, 6}})}, {}}),
    [](const ::testing::TestParamInfo<MultiCase>& info) { return info.param.name; });

// --- yaw-bin templates ----------------------------------------------------------------------

struct YawBinCase {
  std::uint32_t bins;
  double yaw;
  std::uint32_t expected;
};

void PrintTo(const YawBinCase& c, std::ostream* os) { *os << c.bins << " bins, yaw " << c.yaw; }

class YawToBin : public ::testing::TestWithParam<YawBinCase> {};

TEST_P(YawToBin, UsesFloorBinningFromZero) {
  const YawBinFootprintTemplates templates(CircleFootprint{0.5}, GetParam().bins);
  EXPECT_EQ(templates.yawToBin(GetParam().yaw), GetParam().expected) << GetParam().yaw;
}

INSTANTIATE_TEST_SUITE_P(
    Angles, YawToBin,
    ::testing::Values(YawBinCase{8, 0.0, 0}, YawBinCase{8, -0.0, 0}, YawBinCase{8, kPi, 4},
                      YawBinCase{8, kTwoPi, 0}, YawBinCase{8, -kPi / 2, 6},
                      YawBinCase{8, 3 * kPi / 2 + 0.01, 6}, YawBinCase{8, -0.01, 7},
                      // So small that adding 2 pi rounds to 2 pi: folded back to bin 0.
                      YawBinCase{8, -1e-20, 0}, YawBinCase{8, 0.7853981633974483, 1},
                      YawBinCase{8, 0.785398163397448, 0}, YawBinCase{8, 5 * kTwoPi + 0.1, 0},
                      YawBinCase{8, -5 * kTwoPi - 0.1, 7}, YawBinCase{72, -0.01, 71},
                      YawBinCase{72, 0.09, 1}));

}  // namespace
}  // namespace veltrax::se2
