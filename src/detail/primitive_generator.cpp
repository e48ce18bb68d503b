#include "detail/primitive_generator.hpp"

#include <cmath>
#include <cstddef>

#include "detail/errors.hpp"

namespace veltrax::se2::detail {

PrimitiveGenerator::PrimitiveGenerator(double primitive_length, const PlannerConfig& config)
    : turning_radius_(config.minimum_turning_radius),
      primitive_length_(primitive_length),
      angular_step_(kTwoPi / static_cast<double>(config.angle_bins)),
      allow_reverse_(config.allow_reverse),
      allow_in_place_rotation_(config.allow_in_place_rotation),
      sample_count_(0) {
  const double count = std::ceil(primitive_length / config.collision_check_step);
  if (count <= kMaxSamplesPerPrimitive) {
    sample_count_ = count < 1.0 ? 1 : static_cast<std::uint64_t>(count);
  }
}

void PrimitiveGenerator::fill(const Pose2D& pose, double cos0, double sin0, Direction direction,
                              Steering steering, MotionPrimitive& out) const {
  out.direction = direction;
  out.steering = steering;
  out.length = primitive_length_;
  const double x0 = pose.x;
  const double y0 = pose.y;
  const double yaw0 = pose.yaw;
  if (direction == Direction::ROTATION) {
    const double yaw = static_cast<double>(steering) * angular_step_ + yaw0;
    if (!std::isfinite(yaw)) {
      throwInvalidArgument("yaw must be finite");
    }
    out.samples.resize(1);
    out.samples[0] = Pose2D{x0, y0, normalizeYaw(yaw)};
    return;
  }
  const double signed_length = static_cast<double>(direction) * primitive_length_;
  const std::uint64_t n = sample_count_;
  const double count = static_cast<double>(n);
  out.samples.resize(static_cast<std::size_t>(n));
  Pose2D* samples = out.samples.data();
  if (steering == Steering::STRAIGHT) {
    for (std::uint64_t k = 1; k <= n; ++k) {
      const double s = (static_cast<double>(k) * signed_length) / count;
      samples[k - 1] = Pose2D{x0 + cos0 * s, y0 + sin0 * s, yaw0};
    }
    return;
  }
  const double curvature = static_cast<double>(steering) / turning_radius_;
  for (std::uint64_t k = 1; k <= n; ++k) {
    const double s = (static_cast<double>(k) * signed_length) / count;
    const double yaw = s * curvature + yaw0;
    if (!std::isfinite(yaw)) {
      throwInvalidArgument("yaw must be finite");
    }
    samples[k - 1] = Pose2D{x0 + (std::sin(yaw) - sin0) / curvature,
                            y0 - (std::cos(yaw) - cos0) / curvature, normalizeYaw(yaw)};
  }
}

void PrimitiveGenerator::generate(const Pose2D& pose, std::vector<MotionPrimitive>& out) const {
  const std::size_t steerings = allow_in_place_rotation_ ? 1 : 3;
  const std::size_t count =
      steerings * (allow_reverse_ ? 2 : 1) + (allow_in_place_rotation_ ? 2 : 0);
  out.resize(count);
  const double cos0 = std::cos(pose.yaw);
  const double sin0 = std::sin(pose.yaw);
  static constexpr Steering kSteerings[3] = {Steering::STRAIGHT, Steering::LEFT, Steering::RIGHT};
  std::size_t next = 0;
  for (std::size_t s = 0; s < steerings; ++s) {
    fill(pose, cos0, sin0, Direction::FORWARD, kSteerings[s], out[next++]);
  }
  if (allow_reverse_) {
    for (std::size_t s = 0; s < steerings; ++s) {
      fill(pose, cos0, sin0, Direction::REVERSE, kSteerings[s], out[next++]);
    }
  }
  if (allow_in_place_rotation_) {
    fill(pose, cos0, sin0, Direction::ROTATION, Steering::LEFT, out[next++]);
    fill(pose, cos0, sin0, Direction::ROTATION, Steering::RIGHT, out[next++]);
  }
}

}  // namespace veltrax::se2::detail
