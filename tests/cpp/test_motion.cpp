// Curves, motion primitives and the path smoother: exact documented values, refusals, and the
// properties of curves between random pairs.
#include <gtest/gtest.h>
#include <ompl/base/ScopedState.h>
#include <ompl/base/spaces/ReedsSheppStateSpace.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "detail/kinematic_bound.hpp"
#include "detail/kinematic_cost.hpp"
#include "detail/primitive_lengths.hpp"
#include "detail/transition_cost.hpp"
#include "detail/valid_footprint.hpp"
#include "test_support.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/kinematics.hpp"
#include "veltrax/se2/planner.hpp"
#include "veltrax/se2/primitives.hpp"
#include "veltrax/se2/smoother.hpp"

namespace veltrax::se2 {
namespace {

using namespace testing_support;

const KinematicStateSpace kReedsShepp(1.0, true);
const KinematicStateSpace kDubins(1.0, false);
const char* const kTooSmall = "spacing is too small for the curve length";
// Beyond a million turning radii the curve formulas have lost their precision (OMPL's
// Reeds-Shepp self-checks abort the process around 1e9), and far beyond they overflow.
const char* const kFar = "poses are too far apart";
const char* const kResampleSpacing = "path spacing must be positive";
const char* const kStep = "interpolation_step must be finite and positive";

// The smoother's refusals are its sweep's: on a free 4 m map, a three-pose path.
void smoothWith(double step, const Footprint& footprint) {
  const Costmap map(40, 40, 0.1, 0.0, 0.0, std::vector<std::uint8_t>(1600, 0));
  PlannerConfig config;
  config.collision_check_step = step;
  PathSmoother::smooth({{1, 1, 0}, {2, 1.5, 0}, {3, 1, 0}}, CollisionChecker(map, false), footprint,
                       config);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Motion, Refuses, ::testing::Values(
    Refusal{"infinite_radius", [] { KinematicStateSpace(kInf, true); }, "minimum turning radius must be positive"},
    Refusal{"zero_spacing", [] { kReedsShepp.interpolate({0, 0, 0}, {1, 0, 0}, 0.0); }, "spacing must be positive"},
    Refusal{"nan_start", [] { kReedsShepp.distance({kNaN, 0, 0}, {1, 1, 0}); }, "pose must be finite"},
    Refusal{"tiny_spacing", [] { kDubins.interpolateWithDirections({0, 0, 0}, {1, 0, 0}, 1e-300); }, kTooSmall},
    // No single segment exceeds the limit, but all of them together do.
    Refusal{"too_many_samples_in_total", [] { kReedsShepp.interpolateWithDirections({0, 0, 0}, {1.5, 0, 0}, 1e-6); }, kTooSmall},
    Refusal{"overflowing_distance", [] { kReedsShepp.distance({-1.0, 0.5, 0.25}, {1.5e308, 0, 0}); }, kFar},
    Refusal{"just_beyond_a_million_radii", [] { KinematicStateSpace(0.4, true).distance({-1.0, 0.5, 0}, {-1.0 + 0.4e6 + 1e-3, 0.5, 0}); }, kFar},
    Refusal{"table_bins_first", [] { PlannerConfig c; c.angle_bins = 0; c.smoother_tolerance = 0.0; MotionPrimitiveTable(0.05, c); }, "angle_bins must be at least 8"},
    Refusal{"table_radius", [] { PlannerConfig c; c.minimum_turning_radius = 0.0; MotionPrimitiveTable(0.05, c); }, "minimum_turning_radius must be finite and positive"},
    Refusal{"table_step", [] { PlannerConfig c; c.collision_check_step = kNaN; MotionPrimitiveTable(0.05, c); }, "collision_check_step must be finite and positive"},
    Refusal{"table_eleven_steering_angles", [] { PlannerConfig c; c.steering_angles = 11; MotionPrimitiveTable(0.05, c); }, "steering_angles must be odd and between 3 and 9"},
    Refusal{"arc_of_a_table_turning_on_the_spot_without_radius", [] { PlannerConfig c; c.allow_in_place_rotation = true; c.minimum_turning_radius = kInf; MotionPrimitiveTable(0.05, c).make({}, Direction::FORWARD, Steering::LEFT); }, "minimum_turning_radius must be finite and positive"},
    Refusal{"index_beyond_full_lock", [] { MotionPrimitiveTable(0.05, PlannerConfig{}).make({}, Direction::FORWARD, std::int8_t{2}); }, "steering_index is not in the primitive set"},
    Refusal{"resample_empty_path_zero_spacing", [] { PathSmoother::resample({}, 0.0); }, kResampleSpacing},
    Refusal{"resample_nan_spacing", [] { PathSmoother::resample({{0, 0, 0}, {1, 0, 0}}, kNaN); }, kResampleSpacing},
    Refusal{"resample_infinite_spacing", [] { PathSmoother::resample({{0, 0, 0}}, kInf); }, kResampleSpacing},
    Refusal{"resample_nan_position", [] { PathSmoother::resample({{kNaN, 0, 0}}, 0.1); }, "path positions must be finite"},
    Refusal{"resample_tiny_spacing", [] { PathSmoother::resample({{0, 0, 0}, {1, 0, 0}}, 1e-300); }, "path spacing is too small for the path length"},
    Refusal{"resample_overflowing_length", [] { PathSmoother::resample({{-1e308, 0, 0}, {1e308, 0, 0}}, 1.0); }, "path spacing is too small for the path length"},
    Refusal{"resample_nan_yaw", [] { PathSmoother::resample({{0, 0, 0}, {1, 0, kNaN}}, 0.1); }, "yaw must be finite"},
    Refusal{"smooth_nan_step", [] { smoothWith(kNaN, CircleFootprint{0.1}); }, kStep},
    Refusal{"smooth_step_before_footprint", [] { smoothWith(0.0, CircleFootprint{-1.0}); }, kStep},
    Refusal{"smooth_bad_footprint", [] { smoothWith(0.025, CircleFootprint{kInf}); }, "circle radius must be finite and positive"},
    Refusal{"smooth_step_too_small", [] { smoothWith(1e-9, CircleFootprint{0.1}); }, "interpolation_step is too small for the path length"}),
    refusalName);
// clang-format on

// Random pairs: the forward-only curve is never shorter than the Reeds-Shepp one, nor that one than
// the straight line; walks end at the goal, keep their steps within the spacing and label reverse
// motion by the sign of the step.
TEST(KinematicCurves, DistancesAndWalksOnRandomPairs) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> coordinate(-2.5, 2.5);
  std::uniform_real_distribution<double> angle(-kPi, kPi);
  const double radii[] = {0.4, 1.0, 0.05, 2.5};
  int reversing = 0;
  for (int i = 0; i < 1500; ++i) {
    const double radius = radii[i % 4];
    const Pose2D from{coordinate(rng), coordinate(rng), angle(rng)};
    const Pose2D to{coordinate(rng), coordinate(rng), angle(rng)};
    const KinematicStateSpace rs(radius, true);
    const KinematicStateSpace dubins(radius, false);
    const double d_rs = rs.distance(from, to);
    ASSERT_GE(dubins.distance(from, to), d_rs * (1 - 1e-12)) << i;
    ASSERT_GE(d_rs, std::hypot(to.x - from.x, to.y - from.y) * (1 - 1e-12)) << i;
    if (i % 10 != 0) {
      continue;
    }
    for (const KinematicStateSpace* space : {&rs, &dubins}) {
      const double spacing = radius * 0.15;
      const auto walk = space->interpolateWithDirections(from, to, spacing);
      ASSERT_GE(walk.size(), 1u);
      EXPECT_EQ(walk.back().pose.x, to.x);
      EXPECT_EQ(walk.back().pose.y, to.y);
      EXPECT_EQ(walk.back().pose.yaw, normalizeYaw(to.yaw));
      Pose2D p = from;
      double chords = 0.0;
      for (std::size_t k = 0; k < walk.size(); ++k) {
        const Pose2D& q = walk[k].pose;
        const double step = std::hypot(q.x - p.x, q.y - p.y);
        ASSERT_LE(step, spacing * (1 + 1e-9)) << i << " " << k;
        chords += step;
        const double along = (q.x - p.x) * std::cos(q.yaw) + (q.y - p.y) * std::sin(q.yaw);
        if (std::fabs(along) > 0.5 * step && step > 1e-3 * spacing) {
          ASSERT_EQ(walk[k].direction == Direction::REVERSE, along < 0) << i << " " << k;
          reversing += along < 0 ? 1 : 0;
        }
        p = q;
      }
      EXPECT_LE(chords, space->distance(from, to) * (1 + 1e-9)) << i;
    }
    // The Reeds-Shepp samples are OMPL's own interpolation at the walk's fractions, bit for bit.
    const auto walk = rs.interpolateWithDirections(from, to, radius * 0.15);
    const auto ompl_rs = std::make_shared<ompl::base::ReedsSheppStateSpace>(radius);
    ompl::base::ScopedState<ompl::base::SE2StateSpace> a(ompl_rs), b(ompl_rs), out(ompl_rs);
    a->setXY(from.x, from.y), a->setYaw(from.yaw), b->setXY(to.x, to.y), b->setYaw(to.yaw);
    auto path = ompl_rs->reedsShepp(a.get(), b.get());
    std::size_t k = 0;
    double accumulated = 0.0;
    for (const double signed_length : path.length_) {
      const double length = std::fabs(signed_length);
      const double n =
          length > 1e-12 ? std::max(1.0, std::ceil(length * radius / (radius * 0.15))) : 0.0;
      for (double j = 1; j <= n && k + 1 < walk.size(); ++j, ++k) {
        bool first = false;
        ompl_rs->interpolate(a.get(), b.get(), ((j * length) / n + accumulated) / path.length(),
                             first, path, out.get());
        const Pose2D& p = walk[k].pose;
        ASSERT_TRUE(p.x == out->getX() && p.y == out->getY() &&
                    p.yaw == normalizeYaw(out->getYaw()))
            << i << " " << k;
      }
      accumulated += length;
    }
  }
  EXPECT_GT(reversing, 100);
}

// The Reeds-Shepp length is OMPL's distance bit for bit: random pairs near and far for several
// radii, and the awkward ones, goals straight ahead or behind, yaws a hair apart, a pose with
// itself.
TEST(KinematicCurves, ReedsSheppLengthIsOmplsBitForBit) {
  std::mt19937_64 rng(41);
  const auto uniform = [&](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
  };
  for (const double radius : {1.0, 0.4, 3.5, 0.05}) {
    const KinematicStateSpace ours(radius, true);
    const auto ompl_rs = std::make_shared<ompl::base::ReedsSheppStateSpace>(radius);
    ompl::base::ScopedState<ompl::base::SE2StateSpace> a(ompl_rs), b(ompl_rs);
    for (int i = 0; i < 20000; ++i) {
      const double reach = radius * std::array<double, 4>{0.1, 2.0, 10.0, 100.0}[i % 4];
      const Pose2D from{uniform(-reach, reach), uniform(-reach, reach), uniform(-3.2, 3.2)};
      Pose2D to{uniform(-reach, reach), uniform(-reach, reach), uniform(-3.2, 3.2)};
      if (i % 5 == 1) {
        const double along = uniform(-reach, reach);
        to = {from.x + along * std::cos(from.yaw), from.y + along * std::sin(from.yaw),
              from.yaw + uniform(-1e-9, 1e-9)};
      } else if (i % 5 == 2) {
        to = {from.x + uniform(-1e-10, 1e-10), from.y, from.yaw};
      }
      a->setXY(from.x, from.y), a->setYaw(from.yaw), b->setXY(to.x, to.y), b->setYaw(to.yaw);
      const double expected = ompl_rs->distance(a.get(), b.get());
      ASSERT_EQ(ours.distance(from, to), expected) << radius << " " << i;
    }
  }
}

// The bounds the search chains from a node's Reeds-Shepp distance to its children's hold for
// the lattice's own primitives, from random poses and from poses just behind, beside or facing
// away from the goal, and the lower one is close for a child that heads for the goal.
TEST(KinematicBound, BracketsEveryChildsDistance) {
  std::mt19937_64 rng(31);
  const auto uniform = [&](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
  };
  int tight = 0;
  for (const double radius : {0.4, 1.0, 4.0}) {
    PlannerConfig config;
    config.minimum_turning_radius = radius;
    config.steering_angles = 5;
    const MotionPrimitiveTable table(0.05, config);
    const KinematicStateSpace rs(radius, true);
    const detail::KinematicBound bound(radius, 60.0);
    for (int i = 0; i < 600; ++i) {
      const Pose2D goal{uniform(-50, 50), uniform(-50, 50), uniform(-kPi, kPi)};
      // Every third pose lies within a few centimetres of the goal's line, ahead or behind.
      const double along = uniform(-3, 3) * radius;
      const double aside = i % 3 == 0 ? uniform(-0.02, 0.02) : uniform(-3, 3) * radius;
      const Pose2D from{goal.x + along * std::cos(goal.yaw) - aside * std::sin(goal.yaw),
                        goal.y + along * std::sin(goal.yaw) + aside * std::cos(goal.yaw),
                        i % 3 == 0 ? goal.yaw + uniform(-0.01, 0.01) : uniform(-kPi, kPi)};
      const double d = rs.distance(from, goal);
      for (const MotionPrimitive& p : table.generate(from)) {
        const double child = rs.distance(p.samples.back(), goal);
        ASSERT_LE(bound.lowerAfterStep(d, p.length), child) << radius << " " << i;
        ASSERT_GE(bound.afterStep(d, p.length), child) << radius << " " << i;
        tight += bound.lowerAfterStep(d, p.length) > child - 1e-3 * p.length ? 1 : 0;
      }
    }
  }
  // Of the 9,000 children, about one in five loses the whole step: it heads for the goal.
  EXPECT_GT(tight, 1500);
}

// The priced kinematic term never exceeds what a walk of the lattice's own primitives costs on a
// free map, from the walk's start and, given the motion that reached it, from its second pose:
// random walks of up to 40 primitives that mostly keep their motion (so they hold cusps, long
// reverses and tight turns), car-like with several prices, and turning on the spot.
TEST(PricedKinematics, NeverAboveTheCostOfALatticeWalk) {
  std::mt19937_64 rng(23);
  const auto uniform = [&](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
  };
  struct Prices {
    bool in_place;
    double radius;
    double reverse;
    double cusp;
    std::uint32_t steering_angles;
  };
  // Seven angles: the gentler arcs are longer than a cell, so they reverse more cheaply per metre.
  const Prices cases[] = {{false, 4.0, 0.1, 2.0, 3},
                          {false, 0.4, 2.0, 2.0, 3},
                          {false, 0.4, 2.0, 0.5, 7},
                          {false, 1.0, 5.0, 0.5, 3},
                          {true, 0.4, 0.3, 0.05, 3}};
  const double resolution = 0.1;
  int close = 0;
  for (const Prices& c : cases) {
    PlannerConfig config;
    config.allow_in_place_rotation = c.in_place;
    config.angle_bins = c.in_place ? 16 : 72;
    config.minimum_turning_radius = c.radius;
    config.reverse_penalty = c.reverse;
    config.direction_switch_penalty = c.cusp;
    config.non_straight_penalty = 0.01;
    config.steering_change_penalty = 0.0;
    config.steering_angles = c.steering_angles;
    const MotionPrimitiveTable table(resolution, config);
    // The planner's price per metre of reversing.
    const double length = detail::longestPrimitiveLength(resolution, config);
    const detail::PricedKinematics priced{c.radius, c.reverse / length, c.cusp,
                                          resolution / (kTwoPi / config.angle_bins)};
    const KinematicStateSpace rs(c.radius, true);
    const auto bound = [&](const Pose2D& from, const Pose2D& to, Direction arrival) {
      return c.in_place ? priced.inPlaceCost(from, to)
                        : priced.carCost(from, to, rs.distance(from, to), arrival);
    };
    for (int walk = 0; walk < 400; ++walk) {
      const Pose2D start{uniform(-5, 5), uniform(-5, 5), uniform(-kPi, kPi)};
      Pose2D pose = start;
      Pose2D second = start;
      double g = 0.0;
      double g_first = 0.0;
      Direction first_direction = Direction::ROTATION;
      detail::Arrival arrival{Direction::FORWARD, 0};
      std::size_t choice = 0;
      const auto steps = std::uniform_int_distribution<int>(2, 40)(rng);
      for (int k = 0; k < steps; ++k) {
        const std::vector<MotionPrimitive> primitives = table.generate(pose);
        if (k == 0 || uniform(0, 1) < 0.25) {
          choice = std::uniform_int_distribution<std::size_t>(0, primitives.size() - 1)(rng);
        }
        const MotionPrimitive& p = primitives[choice];
        g = detail::childCost(config, p, 0, k == 0 ? nullptr : &arrival, g);
        arrival = {p.direction, p.steering_index};
        pose = p.samples.back();
        if (k == 0) {
          second = pose;
          g_first = g;
          first_direction = p.direction;
        }
      }
      const double h = bound(start, pose, Direction::ROTATION);
      ASSERT_LE(h, g * (1 + 1e-9) + 1e-9) << walk;
      ASSERT_LE(bound(second, pose, first_direction), (g - g_first) * (1 + 1e-9) + 1e-9) << walk;
      close += h > 0.9 * g ? 1 : 0;
    }
  }
  // Many walks are priced nearly in full, so the bound is no trivial one.
  EXPECT_GT(close, 150);
}

// The default table from (0, 0, 0): one 5 cm cell per primitive (0.4 * 2 pi / 72 is about 35 mm),
// the two samples of each arc on the circle of radius 0.4 through the origin.
TEST(PrimitiveTable, DefaultArcSamples) {
  const MotionPrimitiveTable table(0.05, PlannerConfig{});
  EXPECT_EQ(table.primitive_length(), 0.05);
  for (const Direction direction : {Direction::FORWARD, Direction::REVERSE}) {
    for (const Steering steering : {Steering::LEFT, Steering::RIGHT}) {
      const MotionPrimitive primitive = table.make({0, 0, 0}, direction, steering);
      EXPECT_EQ(primitive.length, 0.05);
      ASSERT_EQ(primitive.samples.size(), 2u);
      const double side = steering == Steering::LEFT ? 1.0 : -1.0;
      for (int k = 0; k < 2; ++k) {
        const double theta = (k + 1) * (direction == Direction::FORWARD ? 0.025 : -0.025) / 0.4;
        const Pose2D& sample = primitive.samples[static_cast<std::size_t>(k)];
        EXPECT_DOUBLE_EQ(sample.x, 0.4 * std::sin(theta)) << k;
        EXPECT_DOUBLE_EQ(sample.y, side * 0.4 * (1.0 - std::cos(theta))) << k;
        EXPECT_DOUBLE_EQ(sample.yaw, side * theta) << k;
      }
    }
  }
  // The set, in its fixed order, is make() of each direction and steering, bit for bit.
  const Pose2D pose{0.3, -0.2, 1.0};
  const std::vector<MotionPrimitive> set = table.generate(pose);
  ASSERT_EQ(set.size(), 6u);
  for (std::size_t i = 0; i < set.size(); ++i) {
    const Direction direction = i < 3 ? Direction::FORWARD : Direction::REVERSE;
    const Steering steering =
        std::array{Steering::STRAIGHT, Steering::LEFT, Steering::RIGHT}[i % 3];
    const MotionPrimitive made = table.make(pose, direction, steering);
    EXPECT_EQ(
        std::make_tuple(set[i].direction, set[i].steering, set[i].steering_index, set[i].curvature),
        std::make_tuple(direction, steering, static_cast<std::int8_t>(steering),
                        static_cast<double>(steering) / 0.4))
        << i;
    ASSERT_EQ(set[i].samples.size(), made.samples.size());
    EXPECT_EQ(std::memcmp(set[i].samples.data(), made.samples.data(),
                          made.samples.size() * sizeof(Pose2D)),
              0)
        << i;
  }
}

void expectPose(const Pose2D& actual, double x, double y, double yaw);

// Turning on the spot, the radius is not used and any value passes: the set is straight moves
// and rotations of one cell and one bin, and a plan is the same whatever the radius.
TEST(PrimitiveTable, TurningOnTheSpotAnyRadiusGivesTheSameSetAndPlan) {
  const Costmap map(30, 30, 0.1, 0.0, 0.0, std::vector<std::uint8_t>(900, 0));
  PlanRequest request;
  request.start = {0.55, 0.55, 0.0};
  request.goal = {2.25, 1.75, 2.0};
  request.footprint = CircleFootprint{0.1};
  PlannerConfig config;
  config.allow_in_place_rotation = true;
  std::vector<Pose2D> first_path;
  for (const double radius : {0.4, -1.0, 0.0, kNaN, kInf, 1e300}) {
    config.minimum_turning_radius = radius;
    const MotionPrimitiveTable table(0.1, config);
    const std::vector<MotionPrimitive> set = table.generate({1.0, 2.0, 0.5});
    ASSERT_EQ(set.size(), 4u) << radius;
    expectPose(set[0].samples.back(), 1.0 + 0.1 * std::cos(0.5), 2.0 + 0.1 * std::sin(0.5), 0.5);
    expectPose(set[1].samples.back(), 1.0 - 0.1 * std::cos(0.5), 2.0 - 0.1 * std::sin(0.5), 0.5);
    expectPose(set[2].samples.back(), 1.0, 2.0, 0.5 + kTwoPi / 72);
    expectPose(set[3].samples.back(), 1.0, 2.0, 0.5 - kTwoPi / 72);
    const PlannerResult result = HybridAStar(map).plan(request, config);
    ASSERT_EQ(result.status, PlannerStatus::SUCCESS) << radius << result.message;
    if (first_path.empty()) {
      first_path = result.path;
    }
    EXPECT_TRUE(samePoses(result.path, first_path)) << radius;
  }
}

// Cells so coarse against the radius that a cell-long arc would turn more than a quarter turn
// (5 m at 0.4 m: 12.5 rad): straight moves still span the cell, arcs turn one yaw bin. At 0.6 m a
// cell-long arc turns 1.5 rad and stays.
TEST(PrimitiveTable, CoarseCellsArcsTurnOneBin) {
  const MotionPrimitiveTable coarse(5.0, PlannerConfig{});
  EXPECT_EQ(coarse.primitive_length(), 5.0);
  const MotionPrimitive straight = coarse.make({1, 2, 0.5}, Direction::REVERSE, Steering::STRAIGHT);
  EXPECT_EQ(straight.samples.size(), 200u);
  expectPose(straight.samples.back(), 1 - 5 * std::cos(0.5), 2 - 5 * std::sin(0.5), 0.5);
  const double bin_arc = 0.4 * kTwoPi / 72;
  const MotionPrimitive arc = coarse.make({1, 2, 0.5}, Direction::FORWARD, Steering::RIGHT);
  EXPECT_EQ(arc.length, bin_arc);
  EXPECT_EQ(arc.samples.size(), 2u);
  expectPose(arc.samples.back(), 1 + 0.4 * (std::sin(0.5) - std::sin(0.5 - kTwoPi / 72)),
             2 - 0.4 * (std::cos(0.5) - std::cos(0.5 - kTwoPi / 72)), 0.5 - kTwoPi / 72);
  EXPECT_EQ(MotionPrimitiveTable(0.6, PlannerConfig{})
                .make({}, Direction::FORWARD, Steering::LEFT)
                .length,
            0.6);
}

// More steering angles, from the rules alone: n = (angles - 1) / 2 curvatures a side, j / n / R;
// full lock as with three angles; a gentler arc turns the fewest whole bins (>= 1) that make it
// at least the primitive long, one bin when a primitive-long arc would turn over a quarter turn.
// End poses by rotation about the arc's centre; yaw changes in whole bins.
TEST(PrimitiveTable, MoreSteeringAnglesTurnWholeBinsAndEndOnTheirCircles) {
  struct Case {
    std::uint32_t angles;
    double resolution;
    std::vector<double> gentle_lengths;  // j = n - 1 down to 1
  };
  const double bin = kTwoPi / 72;
  const Case cases[] = {
      {5, 0.05, {bin / 1.25}},     // 0.0625 rad over a cell: one bin, 7 cm
      {5, 0.2, {3 * bin / 1.25}},  // 0.25 rad: three bins
      {7, 0.2, {4 * bin / (2 / 1.2), 2 * bin / (1 / 1.2)}},
      {5, 5.0, {bin / 1.25}},  // 6.25 rad would loop: one bin
  };
  const Pose2D start{1.0, -2.0, 0.7};
  for (const Case& c : cases) {
    PlannerConfig config;
    config.steering_angles = c.angles;
    const MotionPrimitiveTable table(c.resolution, config);
    const auto n = static_cast<int>((c.angles - 1) / 2);
    const double full = c.resolution > 0.4 * 1.5707963267948966 ? 0.4 * bin : c.resolution;
    // Per direction: straight, then +-j for j = n down to 1.
    std::vector<std::pair<int, double>> arcs{{0, c.resolution}};
    for (int j = n; j >= 1; --j) {
      const double length = j == n ? full : c.gentle_lengths[static_cast<std::size_t>(n - 1 - j)];
      arcs.insert(arcs.end(), {{j, length}, {-j, length}});
    }
    const std::vector<MotionPrimitive> primitives = table.generate(start);
    ASSERT_EQ(primitives.size(), 2 * arcs.size()) << c.angles;
    for (std::size_t i = 0; i < primitives.size(); ++i) {
      const MotionPrimitive& p = primitives[i];
      const auto& [index, length] = arcs[i % arcs.size()];
      const double sign = i < arcs.size() ? 1.0 : -1.0;
      const double kappa = index / (n * 0.4);
      SCOPED_TRACE(std::to_string(c.angles) + " angles, primitive " + std::to_string(i));
      EXPECT_EQ(p.direction, i < arcs.size() ? Direction::FORWARD : Direction::REVERSE);
      EXPECT_EQ(p.steering_index, index);
      EXPECT_EQ(static_cast<int>(p.steering), (index > 0) - (index < 0));
      EXPECT_NEAR(p.curvature, kappa, 1e-15);
      EXPECT_NEAR(p.length, length, 1e-15);
      EXPECT_EQ(p.samples.size(), static_cast<std::size_t>(std::ceil(length / 0.025)));
      const double turn = sign * length * kappa;
      const Pose2D& end = p.samples.back();
      EXPECT_NEAR(normalizeYaw(end.yaw - start.yaw), turn, 1e-12);
      if (index != 0 && std::abs(index) != n) {
        EXPECT_NEAR(std::fabs(turn) / bin, std::round(std::fabs(turn) / bin), 1e-9);
        EXPECT_GE(std::round(std::fabs(turn) / bin), 1.0);
      }
      if (index == 0) {
        expectPose(end, start.x + sign * length * std::cos(0.7),
                   start.y + sign * length * std::sin(0.7), 0.7);
        continue;
      }
      const double cx = start.x - std::sin(0.7) / kappa;
      const double cy = start.y + std::cos(0.7) / kappa;
      expectPose(end, cx + std::sin(0.7 + turn) / kappa, cy - std::cos(0.7 + turn) / kappa,
                 normalizeYaw(0.7 + turn));
      // make() of the index is the generated primitive, bit for bit.
      const MotionPrimitive made = table.make(start, p.direction, p.steering_index);
      EXPECT_EQ(
          std::memcmp(made.samples.data(), p.samples.data(), p.samples.size() * sizeof(Pose2D)), 0);
    }
  }
  // Scaled penalty: half lock pays half of non_straight_penalty; a change between the two left
  // curvatures is a change of steering.
  PlannerConfig config;
  config.steering_angles = 5;
  config.scale_steering_penalty_with_curvature = true;
  const MotionPrimitive half =
      MotionPrimitiveTable(0.05, config).make(start, Direction::FORWARD, std::int8_t{1});
  const detail::Arrival full_left{Direction::FORWARD, 2};
  EXPECT_EQ(detail::childCost(config, half, 0, &full_left, 0.0),
            half.length + 1.05 / 2 + config.steering_change_penalty);
}

void expectPose(const Pose2D& actual, double x, double y, double yaw) {
  EXPECT_NEAR(actual.x, x, 1e-12);
  EXPECT_NEAR(actual.y, y, 1e-12);
  EXPECT_NEAR(actual.yaw, yaw, 1e-12);
}

TEST(Resample, EqualStepsInterpolatedHeadingTheShortWayRound) {
  const auto out = PathSmoother::resample({{0, 0, 0}, {1, 0, kPi / 2}}, 0.3);
  ASSERT_EQ(out.size(), 5u);
  for (int j = 0; j <= 4; ++j) {
    expectPose(out[j], 0.25 * j, 0.0, kPi / 8 * j);
  }
  const auto wrap = PathSmoother::resample({{0, 0, 3.0}, {1, 0, -3.0}}, 0.5);
  ASSERT_EQ(wrap.size(), 3u);
  expectPose(wrap[1], 0.5, 0.0, -kPi);
  expectPose(wrap[2], 1.0, 0.0, -3.0);
}

TEST(TurningRadius, Verdicts) {
  const struct {
    std::vector<Pose2D> path;
    double radius;
    bool respected;
  } cases[] = {
      {{{0, 0, 0}, {1, 0, kPi / 2}}, 0.7, true},
      {{{0, 0, 0}, {1, 0, kPi / 2}}, 0.72, false},
      {{{0, 0, 0}, {0, 0, 0.5}}, 1e-9, false},
      {{{0, 0, 3.1}, {1, 0, -3.1}}, 12.2, false},
      // A heading change below 1e-10 counts as straight, even on the spot.
      {{{0, 0, 0}, {0, 0, 5e-11}}, 5.0, true},
      // Negative or NaN radius: every step with a turn passes unless it turns on the spot.
      {{{0, 0, 0}, {0.01, 0, 1.0}}, kNaN, true},
      {{{0, 0, 0}, {0, 0, 0.5}}, -1.0, false},
      // The violation is found after a valid step.
      {{{0, 0, 0}, {1, 0, 0}, {1.1, 0, 1.0}}, 1.0, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PathSmoother::respectsTurningRadius(c.path, c.radius), c.respected)
        << c.path.size() << " poses, radius " << c.radius;
  }
}

class Smoother : public ::testing::Test {
 protected:
  // 6 m x 6 m at 0.1 m, origin (-2, -2); optionally a lethal cell under (1.0, 0.4).
  static std::vector<Pose2D> smooth(const std::vector<Pose2D>& path, double radius,
                                    bool lethal = false) {
    std::vector<std::uint8_t> cells(60 * 60, 0);
    cells[23 * 60 + 30] = lethal ? 254 : 0;
    PlannerConfig config;
    config.minimum_turning_radius = radius;
    const Costmap map(60, 60, 0.1, -2.0, -2.0, cells);
    return PathSmoother::smooth(path, CollisionChecker(map, false), CircleFootprint{0.05}, config);
  }
  static bool same(const std::vector<Pose2D>& a, const std::vector<Pose2D>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Pose2D)) == 0);
  }
  const std::vector<Pose2D> vee_{{0, 0, 0}, {1, 1, 0.7}, {2, 0, 0}};
};

TEST_F(Smoother, ConvergesGeometricallyAndStopsBelowTolerance) {
  const auto out = smooth(vee_, 0.01);
  ASSERT_EQ(out.size(), 3u);
  // Fifteen accepted iterations: the middle point has moved 0.75 * (1 - 0.2^15) towards y = 0.25.
  EXPECT_NEAR(out[1].x, 1.0, 1e-15);
  EXPECT_NEAR(out[1].y, 0.25 + 0.75 * std::pow(0.2, 15), 1e-15);
  EXPECT_EQ(out[1].yaw, 0.0);
  EXPECT_TRUE(same({out[0], out[2]}, {vee_[0], vee_[2]}));
  // Off-centre: the fixed point of both pulls, (w_s (p + q) + w_d o) / (2 w_s + w_d) per axis.
  const auto skew = smooth({{0, 0, 0}, {1.6, 1, 0.7}, {2, 0, 0}}, 0.01);
  EXPECT_NEAR(skew[1].x, (0.3 * 2.0 + 0.2 * 1.6) / 0.8, 1e-9);
  EXPECT_NEAR(skew[1].y, 0.25, 1e-9);
}

TEST_F(Smoother, AnIterateOnALethalCellOrTurningTooTightlyIsRejected) {
  EXPECT_TRUE(same(smooth(vee_, 0.01, true), vee_));
  // The first iterate turns its heading by about 0.46 rad over about 1.1 m (radius ~2.4 m).
  const std::vector<Pose2D> hump{{0, 0, 0}, {1, 1, 0.3}, {2, 1, -0.3}, {3, 0, 0}};
  EXPECT_TRUE(same(smooth(hump, 100.0), hump));
  const auto smoothed = smooth(hump, 1.0);
  EXPECT_LT(smoothed[1].y, 0.9);
  EXPECT_TRUE(PathSmoother::respectsTurningRadius(smoothed, 1.0));
}

// Up to two poses, or no iteration allowed: the input itself, with no check at all.
TEST_F(Smoother, ChecksOnlyWhatItUses) {
  const Costmap lethal(4, 4, 1.0, 0.0, 0.0, std::vector<std::uint8_t>(16, 254));
  const CollisionChecker checker(lethal, false);
  PlannerConfig broken;
  broken.collision_check_step = kNaN;
  broken.smoother_tolerance = -1.0;
  for (const std::vector<Pose2D>& path :
       {std::vector<Pose2D>{}, {{kNaN, 0, 0}}, {{0, 0, 0}, {9, 9, kInf}}}) {
    EXPECT_TRUE(same(PathSmoother::smooth(path, checker, CircleFootprint{-1.0}, broken), path));
  }
  broken.smoother_max_iterations = 0;
  EXPECT_TRUE(same(PathSmoother::smooth(vee_, checker, CircleFootprint{-1.0}, broken), vee_));
}

// The planner's smoothing asks its budget before every iteration and keeps what it accepted.
TEST_F(Smoother, StopsAtTheLastAcceptedIterateWhenOutOfTime) {
  const Costmap free(60, 60, 0.1, -2.0, -2.0, std::vector<std::uint8_t>(3600, 0));
  const CircleFootprint footprint{0.05};
  PlannerConfig config;
  config.minimum_turning_radius = 0.01;
  int asked = 0;
  const auto out = detail::smoothPath(vee_, CollisionChecker(free, false),
                                      detail::ValidFootprint::require(footprint), config, "refused",
                                      [&] { return ++asked > 2; });
  EXPECT_EQ(asked, 3);
  EXPECT_NEAR(out[1].y, 0.28, 1e-15);  // two iterations: 1 -> 0.4 -> 0.28
}

}  // namespace
}  // namespace veltrax::se2
