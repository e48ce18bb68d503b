#include <gtest/gtest.h>

#include <cmath>

#include "test_support.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2 {
namespace {

using namespace testing_support;

struct YawCase {
  double input;
  double expected;
};

class NormalizeYawTest : public ::testing::TestWithParam<YawCase> {};

TEST_P(NormalizeYawTest, MapsIntoHalfOpenIntervalWithoutNegativeZero) {
  const double r = normalizeYaw(GetParam().input);
  EXPECT_TRUE(sameBits(r, GetParam().expected)) << GetParam().input << " -> " << r;
}

INSTANTIATE_TEST_SUITE_P(KnownAngles, NormalizeYawTest,
                         ::testing::Values(YawCase{kPi, -kPi}, YawCase{-kPi, -kPi},
                                           YawCase{3 * kPi, -kPi}, YawCase{-3 * kPi, -kPi},
                                           YawCase{-0.0, 0.0}, YawCase{kTwoPi, 0.0},
                                           YawCase{-kTwoPi, 0.0}, YawCase{7 * kPi / 2, -kPi / 2},
                                           YawCase{5.0, 5.0 - kTwoPi}, YawCase{1.0, 1.0}));

TEST(NormalizeYaw, IsIdempotentOnItsRangeAndRefusesNonFinite) {
  for (double yaw = -20.0; yaw < 20.0; yaw += 0.173) {
    const double once = normalizeYaw(yaw);
    EXPECT_NEAR(normalizeYaw(once), once, 1e-15) << yaw;
  }
  for (const double yaw : {kInf, -kInf, kNaN}) {
    EXPECT_EQ(invalidArgumentMessage([&] { normalizeYaw(yaw); }), "yaw must be finite");
  }
}

}  // namespace
}  // namespace veltrax::se2
