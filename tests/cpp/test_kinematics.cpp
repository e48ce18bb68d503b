#include <gtest/gtest.h>
#include <ompl/base/ScopedState.h>
#include <ompl/base/spaces/ReedsSheppStateSpace.h>

#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "test_support.hpp"
#include "veltrax/se2/kinematics.hpp"

namespace veltrax::se2 {
namespace {

using namespace testing_support;

// ---------------------------------------------------------------------------------------------
// Construction and argument checks

struct RefusalCase {
  const char* name;
  std::function<void()> call;
  const char* message;
};

class KinematicsRefuses : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(KinematicsRefuses, WithTheDocumentedMessage) {
  EXPECT_EQ(invalidArgumentMessage(GetParam().call), GetParam().message);
}

const KinematicStateSpace kReedsShepp(1.0, true);
const KinematicStateSpace kDubins(1.0, false);
const char* const kRadius = "minimum turning radius must be positive";
const char* const kSpacing = "spacing must be positive";
const char* const kPose = "pose must be finite";
const char* const kTooSmall = "spacing is too small for the curve length";
// Beyond a million turning radii the curve formulas have lost their precision (OMPL's
// Reeds-Shepp self-checks abort the process around 1e9), and far beyond they overflow.
const char* const kFar = "poses are too far apart";

INSTANTIATE_TEST_SUITE_P(
    Arguments, KinematicsRefuses,
    ::testing::Values(
        RefusalCase{"zero_radius", [] { KinematicStateSpace(0.0, true); }, kRadius},
        RefusalCase{"negative_zero_radius", [] { KinematicStateSpace(-0.0, false); }, kRadius},
        RefusalCase{"nan_radius", [] { KinematicStateSpace(kNaN, false); }, kRadius},
        RefusalCase{"infinite_radius", [] { KinematicStateSpace(kInf, true); }, kRadius},
        RefusalCase{"zero_spacing",
                    [] {
                      kReedsShepp.interpolate({0, 0, 0}, {1, 0, 0}, 0.0);
                    },
                    kSpacing},
        RefusalCase{"nan_spacing",
                    [] {
                      kDubins.interpolateWithDirections({0, 0, 0}, {1, 0, 0}, kNaN);
                    },
                    kSpacing},
        RefusalCase{"infinite_spacing",
                    [] {
                      kReedsShepp.interpolateWithDirections({0, 0, 0}, {1, 0, 0}, kInf);
                    },
                    kSpacing},
        RefusalCase{"nan_start",
                    [] {
                      kReedsShepp.distance({kNaN, 0, 0}, {1, 1, 0});
                    },
                    kPose},
        RefusalCase{"infinite_goal_yaw",
                    [] {
                      kDubins.interpolate({0, 0, 0}, {1, 1, -kInf}, 0.1);
                    },
                    kPose},
        RefusalCase{"tiny_spacing",
                    [] {
                      kDubins.interpolateWithDirections({0, 0, 0}, {1, 0, 0}, 1e-300);
                    },
                    kTooSmall},
        // No single segment exceeds the limit, but all of them together do.
        RefusalCase{"too_many_samples_in_total",
                    [] {
                      kReedsShepp.interpolateWithDirections({0, 0, 0}, {1.5, 0, 0}, 1e-6);
                    },
                    kTooSmall},
        RefusalCase{"overflowing_distance",
                    [] {
                      kReedsShepp.distance({-1.0, 0.5, 0.25}, {1.5e308, 0, 0});
                    },
                    kFar},
        RefusalCase{"dubins_far",
                    [] {
                      kDubins.interpolateWithDirections({-1.0, 0.5, 0.25}, {1e10, 3, 1}, 0.1);
                    },
                    kFar},
        RefusalCase{"just_beyond_a_million_radii",
                    [] {
                      KinematicStateSpace(0.4, true).distance({-1.0, 0.5, 0},
                                                              {-1.0 + 0.4e6 + 1e-3, 0.5, 0});
                    },
                    kFar}),
    [](const auto& info) { return std::string(info.param.name); });

// OMPL's own Reeds-Shepp distance, asked the way an OMPL user would.
double omplReedsShepp(double radius, const Pose2D& from, const Pose2D& to) {
  namespace ob = ompl::base;
  auto space = std::make_shared<ob::ReedsSheppStateSpace>(radius);
  ob::ScopedState<ob::SE2StateSpace> a(space), b(space);
  a->setXY(from.x, from.y);
  a->setYaw(from.yaw);
  b->setXY(to.x, to.y);
  b->setYaw(to.yaw);
  return space->distance(a.get(), b.get());
}

// Random pairs: the Reeds-Shepp distance is OMPL's bit for bit; the forward-only curve is never
// shorter than it nor shorter than the straight line; walks start at the start, end at the goal,
// keep their steps within the spacing and label reverse motion by the sign of the step.
TEST(KinematicsOmpl, DistancesAndWalksOnRandomPairs) {
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
    ASSERT_TRUE(sameBits(d_rs, omplReedsShepp(radius, from, to))) << i;
    const double line = std::hypot(to.x - from.x, to.y - from.y);
    ASSERT_GE(dubins.distance(from, to), d_rs * (1 - 1e-12)) << i;
    ASSERT_GE(d_rs, line * (1 - 1e-12)) << i;
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
  }
  EXPECT_GT(reversing, 100);
}

}  // namespace
}  // namespace veltrax::se2
