#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "test_support.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/smoother.hpp"

namespace veltrax::se2 {
namespace {

using namespace testing_support;

void expectPose(const Pose2D& actual, double x, double y, double yaw) {
  EXPECT_NEAR(actual.x, x, 1e-12);
  EXPECT_NEAR(actual.y, y, 1e-12);
  EXPECT_NEAR(actual.yaw, yaw, 1e-12);
}

void expectSamePoses(const std::vector<Pose2D>& actual, const std::vector<Pose2D>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_TRUE(sameBits(actual[i].x, expected[i].x) && sameBits(actual[i].y, expected[i].y) &&
                sameBits(actual[i].yaw, expected[i].yaw))
        << "pose " << i;
  }
}

// ---- resample

class ResampleSpacingTest : public ::testing::TestWithParam<double> {};

TEST_P(ResampleSpacingTest, NonPositiveOrNonFiniteSpacingIsRefusedEvenForEmptyPaths) {
  for (const std::vector<Pose2D>& path :
       {std::vector<Pose2D>{}, std::vector<Pose2D>{{0, 0, 0}, {1, 0, 0}}}) {
    EXPECT_EQ(invalidArgumentMessage([&] { PathSmoother::resample(path, GetParam()); }),
              "path spacing must be positive");
  }
}

INSTANTIATE_TEST_SUITE_P(Spacings, ResampleSpacingTest,
                         ::testing::Values(0.0, -0.0, -1.0, kNaN, kInf, -kInf));

TEST(ResampleTest, SegmentSplitIntoEqualStepsWithInterpolatedHeading) {
  const auto out = PathSmoother::resample({{0, 0, 0}, {1, 0, kPi / 2}}, 0.3);
  ASSERT_EQ(out.size(), 5u);
  for (int j = 0; j <= 4; ++j) {
    expectPose(out[j], 0.25 * j, 0.0, kPi / 8 * j);
  }
}

TEST(ResampleTest, HeadingTurnsTheShortWayThroughMinusPi) {
  const auto out = PathSmoother::resample({{0, 0, 3.0}, {1, 0, -3.0}}, 0.5);
  ASSERT_EQ(out.size(), 3u);
  expectPose(out[1], 0.5, 0.0, -kPi);
  expectPose(out[2], 1.0, 0.0, -3.0);
}

struct BadPathCase {
  std::vector<Pose2D> path;
  double spacing;
  std::string message;
};

class ResampleBadPathTest : public ::testing::TestWithParam<BadPathCase> {};

TEST_P(ResampleBadPathTest, RefusedWithClearMessage) {
  EXPECT_EQ(
      invalidArgumentMessage([&] { PathSmoother::resample(GetParam().path, GetParam().spacing); }),
      GetParam().message);
}

const char* const kSpacingTooSmall = "path spacing is too small for the path length";

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Paths, ResampleBadPathTest,
    ::testing::Values(
        BadPathCase{{{kNaN, 0, 0}}, 0.1, "path positions must be finite"},
        BadPathCase{{{0, 0, 0}, {1, kInf, 0}}, 0.1, "path positions must be finite"},
        BadPathCase{{{0, 0, 0}, {1, 0, 0}, {-kInf, 0, 0}}, 0.1, "path positions must be finite"},
        BadPathCase{{{0, 0, 0}, {1, 0, 0}}, 1e-300, kSpacingTooSmall},
        BadPathCase{{{-1e308, 0, 0}, {1e308, 0, 0}}, 1.0, kSpacingTooSmall},
        BadPathCase{{{0, 0, 0}, {1, 0, kNaN}}, 0.1, "yaw must be finite"},
        BadPathCase{{{0, 0, kInf}, {0, 0, 0}}, 0.1, "yaw must be finite"}));
// clang-format on

TEST(ResampleTest, RandomPathsKeepSpacingAndEndpoints) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> coordinate(-5.0, 5.0);
  std::uniform_real_distribution<double> yaw(-10.0, 10.0);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<Pose2D> path(2 + rng() % 6);
    for (auto& pose : path) {
      pose = Pose2D{coordinate(rng), coordinate(rng), yaw(rng)};
    }
    const double spacing = 0.01 + 0.5 * (rng() % 100) / 100.0;
    const auto out = PathSmoother::resample(path, spacing);
    ASSERT_GE(out.size(), path.size());
    EXPECT_EQ(out.front().yaw, path.front().yaw);
    expectPose(out.back(), path.back().x, path.back().y, normalizeYaw(path.back().yaw));
    for (std::size_t i = 1; i < out.size(); ++i) {
      ASSERT_LE(std::hypot(out[i].x - out[i - 1].x, out[i].y - out[i - 1].y),
                spacing * (1 + 1e-12));
    }
  }
}

// ---- respectsTurningRadius

struct RadiusCase {
  std::vector<Pose2D> path;
  double radius;
  bool expected;
};

class TurningRadiusTest : public ::testing::TestWithParam<RadiusCase> {};

TEST_P(TurningRadiusTest, Verdict) {
  EXPECT_EQ(PathSmoother::respectsTurningRadius(GetParam().path, GetParam().radius),
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, TurningRadiusTest,
    ::testing::Values(
        RadiusCase{{}, 5.0, true}, RadiusCase{{{0, 0, 1}}, 5.0, true},
        RadiusCase{{{0, 0, 1}, {3, 1, 1}, {5, 7, 1}}, 100.0, true},
        RadiusCase{{{0, 0, 0}, {1, 0, kPi / 2}}, 0.7, true},
        RadiusCase{{{0, 0, 0}, {1, 0, kPi / 2}}, 0.72, false},
        RadiusCase{{{0, 0, 0}, {0, 0, 0.5}}, 1e-9, false},
        RadiusCase{{{0, 0, 0}, {0, 0, 0.5}}, -1.0, false},
        RadiusCase{{{0, 0, 3.1}, {1, 0, -3.1}}, 12.0, true},
        RadiusCase{{{0, 0, 3.1}, {1, 0, -3.1}}, 12.2, false},
        // A heading change below 1e-10 counts as straight, even on the spot.
        RadiusCase{{{0, 0, 0}, {0, 0, 5e-11}}, 5.0, true},
        // A cusp without a heading change passes: the test knows geometry only.
        RadiusCase{{{0, 0, 0}, {1, 0, 0}, {0, 0, 0}}, 5.0, true},
        // Negative or NaN radius: every step with a turn passes unless it turns on the spot.
        RadiusCase{{{0, 0, 0}, {0.01, 0, 1.0}}, -1.0, true},
        RadiusCase{{{0, 0, 0}, {0.01, 0, 1.0}}, kNaN, true},
        // The violation is found after a valid step.
        RadiusCase{{{0, 0, 0}, {1, 0, 0}, {1.1, 0, 1.0}}, 1.0, false}));

// ---- smooth

class SmootherTest : public ::testing::Test {
 protected:
  // 6 m x 6 m at 0.1 m, origin (-2, -2); optionally one lethal cell under a world point.
  static Costmap makeMap(const std::vector<Point2D>& lethal = {}) {
    std::vector<std::uint8_t> cells(60 * 60, 0);
    for (const Point2D& p : lethal) {
      const auto x = static_cast<std::size_t>(std::floor((p.x + 2.0) / 0.1));
      const auto y = static_cast<std::size_t>(std::floor((p.y + 2.0) / 0.1));
      cells[y * 60 + x] = 254;
    }
    return Costmap(60, 60, 0.1, -2.0, -2.0, cells);
  }
  static PlannerConfig config() {
    PlannerConfig c;
    c.minimum_turning_radius = 0.01;
    return c;
  }
  const Footprint footprint_ = CircleFootprint{0.05};
  const std::vector<Pose2D> vee_{{0, 0, 0}, {1, 1, 0.7}, {2, 0, 0}};
};

TEST_F(SmootherTest, ConvergesGeometricallyAndStopsBelowTolerance) {
  const Costmap map = makeMap();
  const CollisionChecker checker(map, false);
  const auto out = PathSmoother::smooth(vee_, checker, footprint_, config());
  ASSERT_EQ(out.size(), 3u);
  // Fifteen accepted iterations: the middle point has moved 0.75 * (1 - 0.2^15) towards y = 0.25.
  EXPECT_NEAR(out[1].x, 1.0, 1e-15);
  EXPECT_NEAR(out[1].y, 0.25 + 0.75 * std::pow(0.2, 15), 1e-15);
  EXPECT_EQ(out[1].yaw, 0.0);
  expectSamePoses({out[0], out[2]}, {vee_[0], vee_[2]});
  // Off-centre: the fixed point of both pulls, (w_s (p + q) + w_d o) / (2 w_s + w_d) per axis.
  const auto skew =
      PathSmoother::smooth({{0, 0, 0}, {1.6, 1, 0.7}, {2, 0, 0}}, checker, footprint_, config());
  EXPECT_NEAR(skew[1].x, (0.3 * 2.0 + 0.2 * 1.6) / 0.8, 1e-9);
  EXPECT_NEAR(skew[1].y, 0.25, 1e-9);
}

TEST_F(SmootherTest, FirstIterateOnLethalCellReturnsTheInputExactly) {
  const Costmap map = makeMap({{1.0, 0.4}});
  const CollisionChecker checker(map, false);
  expectSamePoses(PathSmoother::smooth(vee_, checker, footprint_, config()), vee_);
}

TEST_F(SmootherTest, TightTurnRejectsTheIterate) {
  // The first iterate turns its heading by about 0.46 rad over about 1.1 m (radius ~2.4 m).
  const std::vector<Pose2D> hump{{0, 0, 0}, {1, 1, 0.3}, {2, 1, -0.3}, {3, 0, 0}};
  const Costmap map = makeMap();
  const CollisionChecker checker(map, false);
  PlannerConfig c = config();
  c.minimum_turning_radius = 100.0;
  expectSamePoses(PathSmoother::smooth(hump, checker, footprint_, c), hump);
  c.minimum_turning_radius = 1.0;
  const auto smoothed = PathSmoother::smooth(hump, checker, footprint_, c);
  EXPECT_LT(smoothed[1].y, 0.9);
  EXPECT_TRUE(PathSmoother::respectsTurningRadius(smoothed, 1.0));
}

}  // namespace
}  // namespace veltrax::se2
