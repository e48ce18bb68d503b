#include "veltrax/se2/primitives.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "detail/errors.hpp"

namespace veltrax::se2 {

namespace {

double factor(Direction direction) noexcept { return static_cast<double>(direction); }
double factor(Steering steering) noexcept { return static_cast<double>(steering); }

constexpr Steering kCarLikeSteering[] = {Steering::STRAIGHT, Steering::LEFT, Steering::RIGHT};
constexpr Steering kInPlaceSteering[] = {Steering::STRAIGHT};

}  // namespace

MotionPrimitiveTable::MotionPrimitiveTable(double resolution, const PlannerConfig& config)
    : turning_radius_(config.minimum_turning_radius),
      primitive_length_(0.0),
      sample_step_(config.collision_check_step),
      allow_reverse_(config.allow_reverse),
      allow_in_place_rotation_(config.allow_in_place_rotation),
      angular_step_(kTwoPi / static_cast<double>(config.angle_bins)),
      arc_length_(0.0),
      samples_per_primitive_(1),
      samples_per_arc_(1) {
  const std::vector<std::string> problems = config.validate();
  if (!problems.empty()) {
    detail::throwInvalidArgument(problems.front());
  }
  // A zero, negative or non-finite cell size would give primitives of no (or no usable) length.
  if (!(std::isfinite(resolution) && resolution > 0.0)) {
    detail::throwInvalidArgument("resolution must be finite and positive");
  }
  // An arc turns by at least one yaw bin and every primitive spans at least one cell.
  const double bin_arc = (kTwoPi * turning_radius_) / static_cast<double>(config.angle_bins);
  primitive_length_ = allow_in_place_rotation_ ? resolution : std::max(bin_arc, resolution);
  // Unless the cells are so large against the radius that a cell-long arc would turn more than a
  // quarter turn: it cannot leave its cell then, and a longer one loops round to about where it
  // began, turning by an amount that depends on the cell size alone (5 m cells and a 0.4 m radius:
  // two turns less 0.07 rad, no yaw bin at all). There an arc turns exactly one yaw bin, and only
  // straight moves span the cell.
  arc_length_ = primitive_length_ > kMaxArcTurn * turning_radius_ ? bin_arc : primitive_length_;
  const double count = std::ceil(primitive_length_ / sample_step_);
  if (!(count <= static_cast<double>(kMaxSamplesPerPrimitive))) {
    // Name the setting that made the primitive long when it was the turning radius.
    detail::throwLimitExceeded(
        primitive_length_ > resolution
            ? "minimum_turning_radius is too large for angle_bins and collision_check_step"
            : "collision_check_step is too small for the primitive length");
  }
  samples_per_primitive_ = std::max<std::uint64_t>(static_cast<std::uint64_t>(count), 1);
  // No longer than the primitive, so within the limit just checked.
  samples_per_arc_ =
      std::max<std::uint64_t>(static_cast<std::uint64_t>(std::ceil(arc_length_ / sample_step_)), 1);
}

void MotionPrimitiveTable::checkPose(const Pose2D& pose, bool arcs, bool rotations) const {
  if (!std::isfinite(pose.yaw)) {
    detail::throwInvalidArgument("yaw must be finite");
  }
  if (!(std::isfinite(pose.x) && std::isfinite(pose.y))) {
    detail::throwInvalidArgument("pose must be finite");
  }
  // The yaws along an arc lie between the start yaw and the end yaw (s grows monotonically with
  // k), so checking the two extreme end yaws covers every sample before anything is written.
  if (arcs) {
    const auto n = static_cast<double>(samples_per_arc_);
    const double turn = ((n * arc_length_) / n) * (1.0 / turning_radius_);
    if (!(std::isfinite(turn + pose.yaw) && std::isfinite(-turn + pose.yaw))) {
      detail::throwInvalidArgument("yaw must be finite");
    }
  }
  if (rotations) {
    if (!(std::isfinite(angular_step_ + pose.yaw) && std::isfinite(-angular_step_ + pose.yaw))) {
      detail::throwInvalidArgument("yaw must be finite");
    }
  }
}

void MotionPrimitiveTable::fill(const Pose2D& pose, double cos_yaw, double sin_yaw,
                                Direction direction, Steering steering,
                                MotionPrimitive& out) const {
  out.direction = direction;
  out.steering = steering;
  out.length = primitive_length_;
  const double x0 = pose.x;
  const double y0 = pose.y;
  const double yaw0 = pose.yaw;

  if (direction == Direction::ROTATION) {
    out.samples.resize(1);
    out.samples[0] = Pose2D{x0, y0, normalizeYaw(factor(steering) * angular_step_ + yaw0)};
    return;
  }

  const bool arc = steering != Steering::STRAIGHT;
  out.length = arc ? arc_length_ : primitive_length_;
  const std::uint64_t n = arc ? samples_per_arc_ : samples_per_primitive_;
  const auto n_double = static_cast<double>(n);
  const double signed_length = factor(direction) * out.length;
  out.samples.resize(n);
  Pose2D* samples = out.samples.data();
  if (!arc) {
    for (std::uint64_t k = 1; k <= n; ++k) {
      const double s = (static_cast<double>(k) * signed_length) / n_double;
      // The start yaw is kept bit for bit: a straight move does not touch the heading.
      samples[k - 1] = Pose2D{x0 + cos_yaw * s, y0 + sin_yaw * s, yaw0};
    }
    return;
  }
  const double curvature = factor(steering) / turning_radius_;
  for (std::uint64_t k = 1; k <= n; ++k) {
    const double s = (static_cast<double>(k) * signed_length) / n_double;
    const double yaw = s * curvature + yaw0;
    samples[k - 1] = Pose2D{x0 + (std::sin(yaw) - sin_yaw) / curvature,
                            y0 - (std::cos(yaw) - cos_yaw) / curvature, normalizeYaw(yaw)};
  }
}

// The same operations as fill() for (FORWARD, steering) and (REVERSE, -steering). Their arc
// lengths and curvatures are exact negatives of each other (IEEE negation, products and
// quotients are sign-symmetric), so s * curvature, and with it every yaw, sine and cosine, is
// bit for bit the same for both.
void MotionPrimitiveTable::fillMirroredArcs(const Pose2D& pose, double cos_yaw, double sin_yaw,
                                            Steering steering, MotionPrimitive& forward,
                                            MotionPrimitive& reverse) const {
  const Steering opposite = steering == Steering::LEFT ? Steering::RIGHT : Steering::LEFT;
  forward.direction = Direction::FORWARD;
  forward.steering = steering;
  forward.length = arc_length_;
  reverse.direction = Direction::REVERSE;
  reverse.steering = opposite;
  reverse.length = arc_length_;
  const double x0 = pose.x;
  const double y0 = pose.y;
  const double yaw0 = pose.yaw;
  const std::uint64_t n = samples_per_arc_;
  const auto n_double = static_cast<double>(n);
  const double forward_length = factor(Direction::FORWARD) * arc_length_;
  const double forward_curvature = factor(steering) / turning_radius_;
  const double reverse_curvature = factor(opposite) / turning_radius_;
  forward.samples.resize(n);
  reverse.samples.resize(n);
  Pose2D* f = forward.samples.data();
  Pose2D* r = reverse.samples.data();
  for (std::uint64_t k = 1; k <= n; ++k) {
    // The reverse arc's s is exactly -s and its curvature exactly -forward_curvature.
    const double s = (static_cast<double>(k) * forward_length) / n_double;
    const double yaw = s * forward_curvature + yaw0;
    const double sin_k = std::sin(yaw);
    const double cos_k = std::cos(yaw);
    const double normalized = normalizeYaw(yaw);
    f[k - 1] = Pose2D{x0 + (sin_k - sin_yaw) / forward_curvature,
                      y0 - (cos_k - cos_yaw) / forward_curvature, normalized};
    r[k - 1] = Pose2D{x0 + (sin_k - sin_yaw) / reverse_curvature,
                      y0 - (cos_k - cos_yaw) / reverse_curvature, normalized};
  }
}

MotionPrimitive MotionPrimitiveTable::make(const Pose2D& pose, Direction direction,
                                           Steering steering) const {
  const bool rotation = direction == Direction::ROTATION;
  checkPose(pose, !rotation && steering != Steering::STRAIGHT, rotation);
  MotionPrimitive primitive;
  fill(pose, std::cos(pose.yaw), std::sin(pose.yaw), direction, steering, primitive);
  return primitive;
}

std::vector<MotionPrimitive> MotionPrimitiveTable::generate(const Pose2D& pose) const {
  std::vector<MotionPrimitive> primitives;
  generate(pose, primitives);
  return primitives;
}

void MotionPrimitiveTable::generate(const Pose2D& pose, std::vector<MotionPrimitive>& out) const {
  checkPose(pose, !allow_in_place_rotation_, allow_in_place_rotation_);

  const Steering* steerings = allow_in_place_rotation_ ? kInPlaceSteering : kCarLikeSteering;
  const std::size_t steering_count = allow_in_place_rotation_ ? 1 : 3;
  const std::size_t count =
      steering_count * (allow_reverse_ ? 2 : 1) + (allow_in_place_rotation_ ? 2 : 0);
  out.resize(count);

  const double cos_yaw = std::cos(pose.yaw);
  const double sin_yaw = std::sin(pose.yaw);
  if (!allow_in_place_rotation_ && allow_reverse_) {
    // Order: forward straight, left, right; then reverse straight, left, right.
    fill(pose, cos_yaw, sin_yaw, Direction::FORWARD, Steering::STRAIGHT, out[0]);
    fill(pose, cos_yaw, sin_yaw, Direction::REVERSE, Steering::STRAIGHT, out[3]);
    fillMirroredArcs(pose, cos_yaw, sin_yaw, Steering::LEFT, out[1], out[5]);
    fillMirroredArcs(pose, cos_yaw, sin_yaw, Steering::RIGHT, out[2], out[4]);
    return;
  }
  std::size_t next = 0;
  for (std::size_t i = 0; i < steering_count; ++i) {
    fill(pose, cos_yaw, sin_yaw, Direction::FORWARD, steerings[i], out[next++]);
  }
  if (allow_reverse_) {
    for (std::size_t i = 0; i < steering_count; ++i) {
      fill(pose, cos_yaw, sin_yaw, Direction::REVERSE, steerings[i], out[next++]);
    }
  }
  if (allow_in_place_rotation_) {
    fill(pose, cos_yaw, sin_yaw, Direction::ROTATION, Steering::LEFT, out[next++]);
    fill(pose, cos_yaw, sin_yaw, Direction::ROTATION, Steering::RIGHT, out[next++]);
  }
}

}  // namespace veltrax::se2
