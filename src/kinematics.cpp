#include "veltrax/se2/kinematics.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <ompl/base/spaces/ReedsSheppStateSpace.h>

#include "detail/dubins.hpp"
#include "detail/errors.hpp"
#include "detail/reeds_shepp.hpp"

namespace veltrax::se2 {

namespace {

namespace ob = ompl::base;

// Segments shorter than this (radius units), and curves shorter overall, produce no samples.
constexpr double kEmptySegment = 1e-12;

// An SE(2) state laid out on the stack: OMPL's Reeds-Shepp routines only read and write the
// components, so there is no need for the heap traffic of allocState, and the state is released
// on every way out of its scope, exceptions included.
class ScopedSe2State {
 public:
  explicit ScopedSe2State(const Pose2D& pose) : xy_{pose.x, pose.y} {
    position_.values = xy_.data();
    rotation_.value = pose.yaw;
    components_ = {&position_, &rotation_};
    state_.components = components_.data();
  }
  ScopedSe2State(const ScopedSe2State&) = delete;
  ScopedSe2State& operator=(const ScopedSe2State&) = delete;

  ob::SE2StateSpace::StateType* get() noexcept { return &state_; }

 private:
  std::array<double, 2> xy_;
  ob::RealVectorStateSpace::StateType position_;
  ob::SO2StateSpace::StateType rotation_;
  std::array<ob::State*, 2> components_{};
  ob::SE2StateSpace::StateType state_;
};

void requireFinitePose(const Pose2D& pose) {
  if (!(std::isfinite(pose.x) && std::isfinite(pose.y) && std::isfinite(pose.yaw))) {
    detail::throwInvalidArgument("pose must be finite");
  }
}

// The pose as the curve routines see it. OMPL's Reeds-Shepp routines check their own results
// with absolute tolerances and abort the process when rounding grows with the magnitude of the
// yaw (a yaw of 1e10 is enough); a yaw that large carries no usable precision anyway, so it is
// wrapped first. Everyday yaws, also those outside [-pi, pi), reach the formulas unchanged.
Pose2D curveInput(const Pose2D& pose) {
  requireFinitePose(pose);
  if (std::fabs(pose.yaw) > KinematicStateSpace::kMaxUnwrappedYaw) {
    return Pose2D{pose.x, pose.y, normalizeYaw(pose.yaw)};
  }
  return pose;
}

// The same self-checks fail once the positions are around 1e9 turning radii apart, and the
// formulas overflow further out; both are refused well before that.
void requireWithinReach(const Pose2D& from, const Pose2D& to, double radius) {
  const double reach = KinematicStateSpace::kMaxReachInRadii * radius;
  const double dx = to.x - from.x;
  const double dy = to.y - from.y;
  if (!(std::isfinite(dx) && std::isfinite(dy) && std::fabs(dx) <= reach &&
        std::fabs(dy) <= reach)) {
    detail::throwInvalidArgument("poses are too far apart");
  }
}

// Sample count of one segment, range-checked before it becomes an integer.
std::uint64_t segmentSampleCount(double segment_metres, double spacing) {
  const double count = std::ceil(segment_metres / spacing);
  if (!(count <= static_cast<double>(KinematicStateSpace::kMaxSamples))) {
    detail::throwLimitExceeded("spacing is too small for the curve length");
  }
  const auto n = static_cast<std::uint64_t>(count);
  return n == 0 ? 1 : n;
}

struct Segment {
  double length;  // radius units, >= 0
  Direction direction;
};

// The pose at fraction t in (0, 1) of a Reeds-Shepp path from `from`, with every operation and
// rounding of OMPL's own interpolation (walk the unit-radius path from the origin, scale and
// translate, wrap the yaw as its SO(2) bounds do), so the poses agree with it bit for bit; but
// computed on the stack, where OMPL allocates a state for every sample.
Pose2D reedsSheppPoseAt(const Pose2D& from, const ob::ReedsSheppStateSpace::ReedsSheppPath& path,
                        double t, double turning_radius) {
  double x = 0.0;
  double y = 0.0;
  double yaw = from.yaw;
  double seg = t * path.length();
  for (std::size_t i = 0; i < 5 && seg > 0; ++i) {
    double v = 0.0;
    if (path.length_[i] < 0) {
      v = std::max(-seg, path.length_[i]);
      seg += v;
    } else {
      v = std::min(seg, path.length_[i]);
      seg -= v;
    }
    const double phi = yaw;
    switch (path.type_[i]) {
      case ob::ReedsSheppStateSpace::RS_LEFT:
        x = x + std::sin(phi + v) - std::sin(phi);
        y = y - std::cos(phi + v) + std::cos(phi);
        yaw = phi + v;
        break;
      case ob::ReedsSheppStateSpace::RS_RIGHT:
        x = x - std::sin(phi - v) + std::sin(phi);
        y = y + std::cos(phi - v) - std::cos(phi);
        yaw = phi - v;
        break;
      case ob::ReedsSheppStateSpace::RS_STRAIGHT:
        x = x + v * std::cos(phi);
        y = y + v * std::sin(phi);
        break;
      case ob::ReedsSheppStateSpace::RS_NOP: break;
    }
  }
  double wrapped = std::fmod(yaw, kTwoPi);
  if (wrapped < -kPi) {
    wrapped += kTwoPi;
  } else if (wrapped >= kPi) {
    wrapped -= kTwoPi;
  }
  return Pose2D{x * turning_radius + from.x, y * turning_radius + from.y, wrapped};
}

}  // namespace

struct KinematicStateSpace::Impl {
  // Null for the forward-only space: its curves come from our own Dubins routines, which never
  // abort (see detail/dubins.hpp).
  std::shared_ptr<ob::ReedsSheppStateSpace> reeds_shepp;
  double turning_radius;
};

KinematicStateSpace::KinematicStateSpace(double minimum_turning_radius, bool allow_reverse) {
  if (!(std::isfinite(minimum_turning_radius) && minimum_turning_radius > 0.0)) {
    detail::throwInvalidArgument("minimum turning radius must be positive");
  }
  auto impl = std::make_unique<Impl>();
  if (allow_reverse) {
    impl->reeds_shepp = std::make_shared<ob::ReedsSheppStateSpace>(minimum_turning_radius);
  }
  impl->turning_radius = minimum_turning_radius;
  impl_ = std::move(impl);
}

KinematicStateSpace::~KinematicStateSpace() = default;
KinematicStateSpace::KinematicStateSpace(KinematicStateSpace&& other) noexcept = default;
KinematicStateSpace& KinematicStateSpace::operator=(KinematicStateSpace&& other) noexcept = default;

double KinematicStateSpace::distance(const Pose2D& from, const Pose2D& to) const {
  const Pose2D start = curveInput(from);
  const Pose2D goal = curveInput(to);
  requireWithinReach(start, goal, impl_->turning_radius);
  if (impl_->reeds_shepp) {
    // OMPL's distance bit for bit, in about a third of its time.
    return detail::reedsSheppLength(start, goal, impl_->turning_radius);
  }
  // As OMPL's Dubins space: radius times the curve length in radius units.
  return impl_->turning_radius *
         detail::shortestDubinsCurve(start, goal, impl_->turning_radius).length();
}

// Walks the samples of the shortest curve: `begin(count)` once the sample count is known (every
// check of the curve as a whole has passed by then), then `visit(sample)` for each in order
// until it returns false. Returns whether every sample was visited.
template <class Begin, class Visit>
bool KinematicStateSpace::walkSamples(const Pose2D& from, const Pose2D& to, double spacing,
                                      Begin&& begin, Visit&& visit) const {
  if (!(std::isfinite(spacing) && spacing > 0.0)) {
    detail::throwInvalidArgument("spacing must be positive");
  }
  const Pose2D start = curveInput(from);
  const Pose2D goal = curveInput(to);
  const double radius = impl_->turning_radius;
  requireWithinReach(start, goal, radius);

  std::array<Segment, 5> segments{};
  std::size_t segment_count = 0;
  double total = 0.0;

  ScopedSe2State from_state(start);
  ScopedSe2State to_state(goal);
  ob::ReedsSheppStateSpace::ReedsSheppPath reeds_shepp_path;
  detail::DubinsCurve dubins_curve;
  if (impl_->reeds_shepp) {
    reeds_shepp_path = impl_->reeds_shepp->reedsShepp(from_state.get(), to_state.get());
    total = reeds_shepp_path.length();
    for (std::size_t i = 0; i < 5; ++i) {
      const double signed_length = reeds_shepp_path.length_[i];
      segments[i] = {std::fabs(signed_length),
                     signed_length < 0.0 ? Direction::REVERSE : Direction::FORWARD};
    }
    segment_count = 5;
  } else {
    dubins_curve = detail::shortestDubinsCurve(start, goal, radius);
    total = dubins_curve.lengths[0] + dubins_curve.lengths[1] + dubins_curve.lengths[2];
    for (std::size_t i = 0; i < 3; ++i) {
      segments[i] = {dubins_curve.lengths[i], Direction::FORWARD};
    }
    segment_count = 3;
  }

  // Count first (every count range-checked), so the result is reserved once and a curve that
  // would need an absurd number of samples is refused before anything is allocated.
  std::array<std::uint64_t, 5> counts{};
  std::uint64_t sample_total = 0;
  for (std::size_t i = 0; i < segment_count; ++i) {
    if (segments[i].length <= kEmptySegment || total <= kEmptySegment) {
      continue;
    }
    counts[i] = segmentSampleCount(segments[i].length * radius, spacing);
    sample_total += counts[i];
    if (sample_total > kMaxSamples) {
      detail::throwLimitExceeded("spacing is too small for the curve length");
    }
  }

  if (sample_total == 0) {
    // Nothing to travel (from equals to): the goal alone.
    begin(std::uint64_t{1});
    return visit(KinematicSample{Pose2D{to.x, to.y, normalizeYaw(to.yaw)}, Direction::FORWARD});
  }
  begin(sample_total);
  std::uint64_t visited = 0;

  // Fraction 1 is the goal itself, as OMPL's plain interpolation yields it, rather than the end
  // of the walked curve.
  double accumulated = 0.0;
  for (std::size_t i = 0; i < segment_count; ++i) {
    const double segment = segments[i].length;
    const std::uint64_t n = counts[i];
    for (std::uint64_t k = 1; k <= n; ++k) {
      const double t = std::min(
          ((static_cast<double>(k) * segment) / static_cast<double>(n) + accumulated) / total, 1.0);
      // The walk's last fraction can round to just below 1; the curve ends at `to` all the same,
      // and callers (the planner's analytic expansion) rely on reaching it exactly.
      const bool last = visited + 1 == sample_total;
      Pose2D pose;
      if (last || t >= 1.0) {
        pose = to;
      } else if (impl_->reeds_shepp) {
        pose = reedsSheppPoseAt(start, reeds_shepp_path, t, radius);
      } else {
        pose = detail::dubinsPoseAt(start, dubins_curve, t, radius);
      }
      if (!std::isfinite(pose.yaw)) {
        detail::throwInvalidArgument("yaw must be finite");
      }
      pose.yaw = normalizeYaw(pose.yaw);
      ++visited;
      if (!visit(KinematicSample{pose, segments[i].direction})) {
        return false;
      }
    }
    accumulated = accumulated + segment;
  }
  return true;
}

std::vector<KinematicSample> KinematicStateSpace::interpolateWithDirections(const Pose2D& from,
                                                                            const Pose2D& to,
                                                                            double spacing) const {
  std::vector<KinematicSample> samples;
  walkSamples(
      from, to, spacing, [&](std::uint64_t count) { samples.reserve(count); },
      [&](const KinematicSample& sample) {
        samples.push_back(sample);
        return true;
      });
  return samples;
}

bool KinematicStateSpace::interpolateWhile(
    const Pose2D& from, const Pose2D& to, double spacing, std::vector<KinematicSample>& out,
    const std::function<bool(const KinematicSample&)>& keep) const {
  return walkSamples(
      from, to, spacing, [&](std::uint64_t) { out.clear(); },
      [&](const KinematicSample& sample) {
        if (!keep(sample)) {
          return false;
        }
        out.push_back(sample);
        return true;
      });
}

std::vector<Pose2D> KinematicStateSpace::interpolate(const Pose2D& from, const Pose2D& to,
                                                     double spacing) const {
  const std::vector<KinematicSample> samples = interpolateWithDirections(from, to, spacing);
  std::vector<Pose2D> poses;
  poses.reserve(samples.size());
  for (const KinematicSample& sample : samples) {
    poses.push_back(sample.pose);
  }
  return poses;
}

}  // namespace veltrax::se2
