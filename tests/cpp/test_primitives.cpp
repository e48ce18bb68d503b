#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "test_support.hpp"
#include "veltrax/se2/primitives.hpp"

namespace veltrax::se2 {
namespace {

using namespace testing_support;

constexpr double kDefaultAngularStep = 0.08726646259971647;

// ---------------------------------------------------------------------------------------------
// Construction

TEST(PrimitiveTable, DefaultConfigurationUsesTheCellSize) {
  const MotionPrimitiveTable table(0.05, PlannerConfig{});
  // 0.4 * 2 pi / 72 is about 35 mm, below the 50 mm cell.
  EXPECT_EQ(table.primitive_length(), 0.05);
  for (const MotionPrimitive& primitive : table.generate({0, 0, 0})) {
    EXPECT_EQ(primitive.samples.size(), 2u);
    EXPECT_EQ(primitive.length, 0.05);
  }
}

struct BadConfigCase {
  void (*mutate)(PlannerConfig&);
  const char* message;
};

class PrimitiveTableBadConfig : public ::testing::TestWithParam<BadConfigCase> {};

TEST_P(PrimitiveTableBadConfig, ConstructorThrowsTheFirstProblem) {
  PlannerConfig config;
  GetParam().mutate(config);
  EXPECT_EQ(invalidArgumentMessage([&] { MotionPrimitiveTable table(0.05, config); }),
            GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Configs, PrimitiveTableBadConfig,
    ::testing::Values(BadConfigCase{[](PlannerConfig& c) { c.angle_bins = 4; },
                                    "angle_bins must be at least 8"},
                      BadConfigCase{[](PlannerConfig& c) { c.minimum_turning_radius = 0.0; },
                                    "minimum_turning_radius must be finite and positive"},
                      BadConfigCase{[](PlannerConfig& c) { c.collision_check_step = kNaN; },
                                    "collision_check_step must be finite and positive"},
                      BadConfigCase{[](PlannerConfig& c) {
                                      c.smoother_tolerance = 0.0;
                                      c.angle_bins = 0;
                                    },
                                    "angle_bins must be at least 8"}));

// ---------------------------------------------------------------------------------------------
// Sample formulas

struct ArcCase {
  Direction direction;
  Steering steering;
  double s1;  // arc length of the first sample (the second is twice it)
};

class PrimitiveArcs : public ::testing::TestWithParam<ArcCase> {};

// Default table from (0, 0, 0): samples on the circle of radius 0.4 through the origin.
TEST_P(PrimitiveArcs, DefaultTableSamples) {
  const ArcCase& c = GetParam();
  const MotionPrimitiveTable table(0.05, PlannerConfig{});
  const MotionPrimitive primitive = table.make({0, 0, 0}, c.direction, c.steering);
  EXPECT_EQ(primitive.direction, c.direction);
  EXPECT_EQ(primitive.steering, c.steering);
  EXPECT_EQ(primitive.length, 0.05);
  ASSERT_EQ(primitive.samples.size(), 2u);
  const double side = c.steering == Steering::LEFT ? 1.0 : -1.0;
  for (int k = 0; k < 2; ++k) {
    const double theta = (k + 1) * c.s1 / 0.4;  // +-1/16, +-1/8
    const Pose2D& sample = primitive.samples[static_cast<std::size_t>(k)];
    EXPECT_DOUBLE_EQ(sample.x, 0.4 * std::sin(theta)) << k;
    EXPECT_DOUBLE_EQ(sample.y, side * 0.4 * (1.0 - std::cos(theta))) << k;
    EXPECT_DOUBLE_EQ(sample.yaw, side * theta) << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Arcs, PrimitiveArcs,
                         ::testing::Values(ArcCase{Direction::FORWARD, Steering::LEFT, 0.025},
                                           ArcCase{Direction::FORWARD, Steering::RIGHT, 0.025},
                                           ArcCase{Direction::REVERSE, Steering::LEFT, -0.025},
                                           ArcCase{Direction::REVERSE, Steering::RIGHT, -0.025}));

}  // namespace
}  // namespace veltrax::se2
