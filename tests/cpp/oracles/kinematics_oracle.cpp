#include "oracles/kinematics_oracle.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>

#include <ompl/base/spaces/DubinsStateSpace.h>
#include <ompl/base/spaces/ReedsSheppStateSpace.h>

namespace veltrax::se2::testing {

namespace {

namespace ob = ompl::base;

std::shared_ptr<ob::SE2StateSpace> makeSpace(double radius, bool allow_reverse) {
  if (allow_reverse) {
    return std::make_shared<ob::ReedsSheppStateSpace>(radius);
  }
  return std::make_shared<ob::DubinsStateSpace>(radius, false);
}

ob::State* allocate(const ob::SE2StateSpace& space, const Pose2D& pose) {
  ob::State* state = space.allocState();
  auto* se2 = state->as<ob::SE2StateSpace::StateType>();
  se2->setX(pose.x);
  se2->setY(pose.y);
  se2->setYaw(pose.yaw);
  return state;
}

Pose2D read(const ob::State* state) {
  const auto* se2 = state->as<ob::SE2StateSpace::StateType>();
  return Pose2D{se2->getX(), se2->getY(), se2->getYaw()};
}

}  // namespace

double referenceDistance(double radius, bool allow_reverse, const Pose2D& from, const Pose2D& to) {
  const auto space = makeSpace(radius, allow_reverse);
  ob::State* a = allocate(*space, from);
  ob::State* b = allocate(*space, to);
  const double distance = space->distance(a, b);
  space->freeState(a);
  space->freeState(b);
  return distance;
}

std::vector<KinematicSample> referenceInterpolateWithDirections(double radius, bool allow_reverse,
                                                                const Pose2D& from,
                                                                const Pose2D& to, double spacing) {
  const auto space = makeSpace(radius, allow_reverse);
  ob::State* a = allocate(*space, from);
  ob::State* b = allocate(*space, to);
  ob::State* scratch = space->allocState();

  std::vector<double> lengths;
  std::vector<Direction> directions;
  double total = 0.0;
  if (allow_reverse) {
    const auto path = std::static_pointer_cast<ob::ReedsSheppStateSpace>(space)->reedsShepp(a, b);
    total = path.length();
    for (double length : path.length_) {
      lengths.push_back(std::fabs(length));
      directions.push_back(length < 0.0 ? Direction::REVERSE : Direction::FORWARD);
    }
  } else {
    const auto path = std::static_pointer_cast<ob::DubinsStateSpace>(space)->dubins(a, b);
    total = path.length_[0] + path.length_[1] + path.length_[2];
    for (double length : path.length_) {
      lengths.push_back(length);
      directions.push_back(Direction::FORWARD);
    }
  }

  std::vector<std::pair<double, Direction>> fractions;
  double accumulated = 0.0;
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    const double length = lengths[i];
    if (!(length <= 1e-12 || total <= 1e-12)) {
      auto n = static_cast<std::uint64_t>(std::ceil(length * radius / spacing));
      if (n == 0) {
        n = 1;
      }
      for (std::uint64_t k = 1; k <= n; ++k) {
        fractions.emplace_back(
            std::min(
                ((static_cast<double>(k) * length) / static_cast<double>(n) + accumulated) / total,
                1.0),
            directions[i]);
      }
    }
    accumulated = accumulated + length;
  }
  if (fractions.empty()) {
    fractions.emplace_back(1.0, Direction::FORWARD);
  }
  // The last sample is the goal itself, even where the summed fraction rounds below 1.
  fractions.back().first = 1.0;

  std::vector<KinematicSample> samples;
  for (const auto& [t, direction] : fractions) {
    space->interpolate(a, b, t, scratch);
    Pose2D pose = read(scratch);
    pose.yaw = normalizeYaw(pose.yaw);
    samples.push_back({pose, direction});
  }
  space->freeState(a);
  space->freeState(b);
  space->freeState(scratch);
  return samples;
}

ReferenceDubins referenceDubins(double radius, const Pose2D& from, const Pose2D& to) {
  ob::DubinsStateSpace space(radius, false);
  ob::State* a = allocate(space, from);
  ob::State* b = allocate(space, to);
  const auto path = space.dubins(a, b);
  ReferenceDubins result{{path.length_[0], path.length_[1], path.length_[2]}, -1};
  for (int family = 0; family < 6; ++family) {
    if (path.type_ == ob::DubinsStateSpace::dubinsPathType[family]) {
      result.family = family;
    }
  }
  space.freeState(a);
  space.freeState(b);
  return result;
}

Pose2D referenceDubinsAt(double radius, const Pose2D& from, const Pose2D& to, double t) {
  ob::DubinsStateSpace space(radius, false);
  ob::State* a = allocate(space, from);
  ob::State* b = allocate(space, to);
  ob::State* scratch = space.allocState();
  space.interpolate(a, b, t, scratch);
  const Pose2D pose = read(scratch);
  space.freeState(a);
  space.freeState(b);
  space.freeState(scratch);
  return pose;
}

}  // namespace veltrax::se2::testing
