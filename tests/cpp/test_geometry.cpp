#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <type_traits>

#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2 {
namespace {

struct YawCase {
  double input;
  double expected;
};

class NormalizeYawTest : public ::testing::TestWithParam<YawCase> {};

TEST_P(NormalizeYawTest, MapsIntoHalfOpenInterval) {
  const YawCase c = GetParam();
  const double r = normalizeYaw(c.input);
  EXPECT_EQ(r, c.expected);
  EXPECT_FALSE(std::signbit(r) && r == 0.0) << "negative zero leaked";
  EXPECT_GE(r, -kPi);
  EXPECT_LT(r, kPi);
}

INSTANTIATE_TEST_SUITE_P(KnownAngles, NormalizeYawTest,
                         ::testing::Values(YawCase{kPi, -kPi}, YawCase{-kPi, -kPi},
                                           YawCase{3 * kPi, -kPi}, YawCase{-3 * kPi, -kPi},
                                           YawCase{0.0, 0.0}, YawCase{-0.0, 0.0},
                                           YawCase{kTwoPi, 0.0}, YawCase{-kPi / 2, -kPi / 2},
                                           YawCase{7 * kPi / 2, -kPi / 2},
                                           YawCase{5.0, 5.0 - kTwoPi}, YawCase{1.0, 1.0},
                                           YawCase{-kTwoPi, 0.0}));

TEST(NormalizeYaw, NegativeZeroNeverLeaves) {
  // -0.0, -2 pi and 2 pi all produce a computed zero; its sign bit must be clear.
  for (const double yaw : {-0.0, 0.0, kTwoPi, -kTwoPi, 4 * kTwoPi}) {
    EXPECT_FALSE(std::signbit(normalizeYaw(yaw))) << yaw;
  }
}

TEST(NormalizeYaw, IsIdempotentOnItsRange) {
  for (double yaw = -20.0; yaw < 20.0; yaw += 0.173) {
    const double once = normalizeYaw(yaw);
    EXPECT_NEAR(normalizeYaw(once), once, 1e-15) << yaw;
  }
}

class NormalizeYawRejects : public ::testing::TestWithParam<double> {};

TEST_P(NormalizeYawRejects, NonFinite) {
  try {
    normalizeYaw(GetParam());
    FAIL() << "expected std::invalid_argument";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "yaw must be finite");
  }
}

INSTANTIATE_TEST_SUITE_P(Values, NormalizeYawRejects,
                         ::testing::Values(std::numeric_limits<double>::infinity(),
                                           -std::numeric_limits<double>::infinity(),
                                           std::numeric_limits<double>::quiet_NaN()));

TEST(Records, DefaultsAndWidths) {
  const GridIndex index;
  EXPECT_EQ(index.x, 0u);
  EXPECT_EQ(index.y, 0u);
  const Pose2D pose;
  EXPECT_EQ(pose.x, 0.0);
  EXPECT_EQ(pose.y, 0.0);
  EXPECT_EQ(pose.yaw, 0.0);
  const Point2D point;
  EXPECT_EQ(point.x, 0.0);
  EXPECT_EQ(point.y, 0.0);
  static_assert(sizeof(Direction) == 1 && std::is_signed_v<std::underlying_type_t<Direction>>);
  static_assert(sizeof(Steering) == 1 && std::is_signed_v<std::underlying_type_t<Steering>>);
  static_assert(std::is_same_v<decltype(GridIndex::x), std::uint64_t>);
  EXPECT_EQ(static_cast<int>(Direction::REVERSE), -1);
  EXPECT_EQ(static_cast<int>(Direction::ROTATION), 0);
  EXPECT_EQ(static_cast<int>(Direction::FORWARD), 1);
  EXPECT_EQ(static_cast<int>(Steering::RIGHT), -1);
  EXPECT_EQ(static_cast<int>(Steering::STRAIGHT), 0);
  EXPECT_EQ(static_cast<int>(Steering::LEFT), 1);
}

TEST(Records, PoseKeepsYawUnnormalised) {
  const Pose2D pose{1.0, 2.0, 7.0};
  EXPECT_EQ(pose.yaw, 7.0);
}

}  // namespace
}  // namespace veltrax::se2
