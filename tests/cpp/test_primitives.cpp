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

TEST(PrimitiveTable, LargeRadiusTurnsOneBinPerPrimitive) {
  PlannerConfig config;
  config.minimum_turning_radius = 2.0;
  const MotionPrimitiveTable table(0.05, config);
  EXPECT_EQ(table.primitive_length(), (kTwoPi * 2.0) / 72.0);
  EXPECT_NEAR(table.primitive_length(), kPi / 18.0, 1e-15);
  const MotionPrimitive left = table.make({0, 0, 0}, Direction::FORWARD, Steering::LEFT);
  ASSERT_EQ(left.samples.size(), 7u);
  // The heading change of a full arc is one bin.
  EXPECT_NEAR(left.samples.back().yaw, kDefaultAngularStep, 1e-15);
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

class PrimitiveTableBadResolution : public ::testing::TestWithParam<double> {};

TEST_P(PrimitiveTableBadResolution, IsRefused) {
  for (bool in_place : {false, true}) {
    PlannerConfig config;
    config.allow_in_place_rotation = in_place;
    EXPECT_EQ(invalidArgumentMessage([&] { MotionPrimitiveTable table(GetParam(), config); }),
              "resolution must be finite and positive");
  }
}

INSTANTIATE_TEST_SUITE_P(Resolutions, PrimitiveTableBadResolution,
                         ::testing::Values(0.0, -0.0, -0.05, kInf, -kInf, kNaN));

TEST(PrimitiveTable, SampleCountIsBoundedBeforeAnythingIsAllocated) {
  PlannerConfig config;
  config.collision_check_step = 1e-300;
  EXPECT_EQ(invalidArgumentMessage([&] { MotionPrimitiveTable table(0.05, config); }),
            "collision_check_step is too small for the primitive length");
  // A radius so large that 2 pi r overflows.
  config.collision_check_step = 0.025;
  config.minimum_turning_radius = 1e308;
  EXPECT_EQ(invalidArgumentMessage([&] { MotionPrimitiveTable table(0.05, config); }),
            "minimum_turning_radius is too large for angle_bins and collision_check_step");
  // Exactly at the limit (powers of two keep the quotient exact).
  config.minimum_turning_radius = 0.4;
  config.collision_check_step = std::ldexp(1.0, -20);
  const double cell =
      static_cast<double>(MotionPrimitiveTable::kMaxSamplesPerPrimitive) * std::ldexp(1.0, -20);
  const MotionPrimitiveTable table(cell, config);
  EXPECT_EQ(table.make({0, 0, 0}, Direction::FORWARD, Steering::STRAIGHT).samples.size(),
            MotionPrimitiveTable::kMaxSamplesPerPrimitive);
}

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

TEST(PrimitiveSamples, ForwardLeftNumbers) {
  const MotionPrimitiveTable table(0.05, PlannerConfig{});
  const auto samples = table.make({0, 0, 0}, Direction::FORWARD, Steering::LEFT).samples;
  EXPECT_DOUBLE_EQ(samples[0].yaw, 0.0625);
  EXPECT_DOUBLE_EQ(samples[1].yaw, 0.125);
  EXPECT_NEAR(samples[1].x, 0.049870, 1e-6);
  EXPECT_NEAR(samples[1].y, 0.003120, 1e-6);
  // Reverse left: backwards (negative x) while the car still ends up left of its line.
  const auto reverse = table.make({0, 0, 0}, Direction::REVERSE, Steering::LEFT).samples;
  EXPECT_LT(reverse[1].x, 0.0);
  EXPECT_GT(reverse[1].y, 0.0);
  EXPECT_DOUBLE_EQ(reverse[1].yaw, -0.125);
}

// ---------------------------------------------------------------------------------------------
// generate

struct OrderCase {
  bool in_place;
  bool reverse;
  std::vector<std::pair<Direction, Steering>> expected;
};

class PrimitiveOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(PrimitiveOrder, GenerateUsesTheFixedOrder) {
  const OrderCase& c = GetParam();
  PlannerConfig config;
  config.allow_in_place_rotation = c.in_place;
  config.allow_reverse = c.reverse;
  const MotionPrimitiveTable table(0.05, config);
  const Pose2D start{0.1, 0.2, 0.3};
  const auto primitives = table.generate(start);
  ASSERT_EQ(primitives.size(), c.expected.size());
  for (std::size_t i = 0; i < primitives.size(); ++i) {
    EXPECT_EQ(primitives[i].direction, c.expected[i].first) << i;
    EXPECT_EQ(primitives[i].steering, c.expected[i].second) << i;
    // Each entry is exactly what make gives for it.
    const MotionPrimitive made = table.make(start, c.expected[i].first, c.expected[i].second);
    ASSERT_EQ(primitives[i].samples.size(), made.samples.size());
    for (std::size_t k = 0; k < made.samples.size(); ++k) {
      EXPECT_TRUE(sameBits(primitives[i].samples[k].x, made.samples[k].x));
      EXPECT_TRUE(sameBits(primitives[i].samples[k].y, made.samples[k].y));
      EXPECT_TRUE(sameBits(primitives[i].samples[k].yaw, made.samples[k].yaw));
    }
  }
}

constexpr auto F = Direction::FORWARD;
constexpr auto R = Direction::REVERSE;
constexpr auto ROT = Direction::ROTATION;
constexpr auto S = Steering::STRAIGHT;
constexpr auto L = Steering::LEFT;
constexpr auto RI = Steering::RIGHT;

INSTANTIATE_TEST_SUITE_P(
    Modes, PrimitiveOrder,
    ::testing::Values(OrderCase{false, true, {{F, S}, {F, L}, {F, RI}, {R, S}, {R, L}, {R, RI}}},
                      OrderCase{false, false, {{F, S}, {F, L}, {F, RI}}},
                      OrderCase{true, true, {{F, S}, {R, S}, {ROT, L}, {ROT, RI}}},
                      OrderCase{true, false, {{F, S}, {ROT, L}, {ROT, RI}}}));

// generate() writes the mirrored arcs (forward left / reverse right, forward right / reverse
// left) together; each must still be exactly what make() gives for it alone.
struct MirrorCase {
  double resolution;
  double radius;
  double step;
};

class PrimitiveGenerateMatchesMake : public ::testing::TestWithParam<MirrorCase> {};

TEST_P(PrimitiveGenerateMatchesMake, OnRandomPoses) {
  PlannerConfig config;
  config.minimum_turning_radius = GetParam().radius;
  config.collision_check_step = GetParam().step;
  const MotionPrimitiveTable table(GetParam().resolution, config);
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> position(-1000.0, 1000.0);
  std::uniform_real_distribution<double> yaw(-40.0, 40.0);
  std::vector<MotionPrimitive> primitives;
  for (int trial = 0; trial < 400; ++trial) {
    const Pose2D pose{position(rng), position(rng), trial % 4 == 0 ? kPi : yaw(rng)};
    table.generate(pose, primitives);
    ASSERT_EQ(primitives.size(), 6u);
    for (const MotionPrimitive& primitive : primitives) {
      const MotionPrimitive made = table.make(pose, primitive.direction, primitive.steering);
      ASSERT_EQ(primitive.samples.size(), made.samples.size());
      for (std::size_t k = 0; k < made.samples.size(); ++k) {
        ASSERT_TRUE(sameBits(primitive.samples[k].x, made.samples[k].x)) << trial << " " << k;
        ASSERT_TRUE(sameBits(primitive.samples[k].y, made.samples[k].y)) << trial << " " << k;
        ASSERT_TRUE(sameBits(primitive.samples[k].yaw, made.samples[k].yaw)) << trial << " " << k;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, PrimitiveGenerateMatchesMake,
                         ::testing::Values(MirrorCase{0.05, 0.4, 0.025},
                                           MirrorCase{0.05, 1.7, 0.01}, MirrorCase{0.1, 0.05, 0.3},
                                           MirrorCase{0.03, 3.0, 0.007}));

struct BadPoseCase {
  Pose2D pose;
  bool in_place;
  double radius;
  const char* message;
};

class PrimitiveBadPose : public ::testing::TestWithParam<BadPoseCase> {};

TEST_P(PrimitiveBadPose, GenerateRefusesAndLeavesTheBufferAlone) {
  const BadPoseCase& c = GetParam();
  PlannerConfig config;
  config.allow_in_place_rotation = c.in_place;
  config.minimum_turning_radius = c.radius;
  const MotionPrimitiveTable table(0.05, config);
  EXPECT_EQ(invalidArgumentMessage([&] { table.generate(c.pose); }), c.message);
  std::vector<MotionPrimitive> buffer =
      MotionPrimitiveTable(0.05, PlannerConfig{}).generate({0, 0, 0});
  const std::vector<MotionPrimitive> before = buffer;
  EXPECT_EQ(invalidArgumentMessage([&] { table.generate(c.pose, buffer); }), c.message);
  ASSERT_EQ(buffer.size(), before.size());
  for (std::size_t i = 0; i < buffer.size(); ++i) {
    EXPECT_EQ(buffer[i].samples.back().x, before[i].samples.back().x);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Poses, PrimitiveBadPose,
    ::testing::Values(BadPoseCase{{0, 0, kNaN}, false, 0.4, "yaw must be finite"},
                      BadPoseCase{{0, 0, kInf}, true, 0.4, "yaw must be finite"},
                      BadPoseCase{{kNaN, 0, 0}, false, 0.4, "pose must be finite"},
                      BadPoseCase{{0, -kInf, 0}, true, 0.4, "pose must be finite"},
                      BadPoseCase{{kNaN, 0, kNaN}, false, 0.4, "yaw must be finite"},
                      // A subnormal radius passes validation, but its curvature overflows:
                      // the arcs' yaws are infinite, caught before anything is written.
                      BadPoseCase{{0, 0, 0}, false, 1e-310, "yaw must be finite"}));

}  // namespace
}  // namespace veltrax::se2
