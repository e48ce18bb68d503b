#include "veltrax/se2/primitives.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "detail/errors.hpp"
#include "detail/primitive_lengths.hpp"

namespace veltrax::se2 {

namespace {

double factor(Direction direction) noexcept { return static_cast<double>(direction); }
double factor(Steering steering) noexcept { return static_cast<double>(steering); }

std::uint64_t sampleCount(double length, double step) {
  // Checked here too: a gentler arc's length is formed apart from the limit checked up front,
  // and a count out of 64 bits (too many, or a negative length) would overflow the conversion.
  const double count = std::ceil(length / step);
  if (!(count >= 0.0)) {
    detail::throwLimitExceeded("primitive length is not positive for this configuration");
  }
  if (!(count <= static_cast<double>(MotionPrimitiveTable::kMaxSamplesPerPrimitive))) {
    detail::throwLimitExceeded("collision_check_step is too small for the primitive length");
  }
  return std::max<std::uint64_t>(static_cast<std::uint64_t>(count), 1);
}

void label(const MotionPrimitiveTable::Motion& motion, MotionPrimitive& out) noexcept {
  out.direction = motion.direction;
  out.steering = motion.steering;
  out.length = motion.length;
  out.curvature = motion.curvature;
  out.steering_index = motion.steering_index;
}

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
      samples_per_arc_(1),
      max_index_(1),
      max_arc_turn_(0.0) {
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
  primitive_length_ = detail::basePrimitiveLength(resolution, config);
  // Unless the cells are so large against the radius that a cell-long arc would turn more than a
  // quarter turn: it cannot leave its cell then, and a longer one loops round to about where it
  // began, turning by an amount that depends on the cell size alone (5 m cells and a 0.4 m radius:
  // two turns less 0.07 rad, no yaw bin at all). There an arc turns exactly one yaw bin, and only
  // straight moves span the cell.
  // Turning on the spot, the set has no arcs and any radius passes: one that is not finite and
  // positive makes no arc (make() refuses them), so it decides no length.
  arc_length_ = arcsHaveRadius() && primitive_length_ > kMaxArcTurn * turning_radius_
                    ? bin_arc
                    : primitive_length_;
  // The gentler arcs are at least primitive_length_ long, so the longest primitive decides.
  const double longest = detail::longestPrimitiveLength(resolution, config);
  const double count = std::ceil(longest / sample_step_);
  if (!(count <= static_cast<double>(kMaxSamplesPerPrimitive))) {
    // Name the setting that made the primitive long when it was the turning radius.
    detail::throwLimitExceeded(
        primitive_length_ > resolution
            ? "minimum_turning_radius is too large for angle_bins and collision_check_step"
            : "collision_check_step is too small for the primitive length");
  }
  samples_per_primitive_ = sampleCount(primitive_length_, sample_step_);
  // No longer than the primitive, so within the limit just checked.
  samples_per_arc_ = sampleCount(arc_length_, sample_step_);
  // The extreme yaw of an arc as fill() computes it, s = (n * length) / n; infinite for a zero
  // radius (turning on the spot), which only make() of an arc reaches.
  const auto arc_count = static_cast<double>(samples_per_arc_);
  max_arc_turn_ =
      arcsHaveRadius() ? ((arc_count * arc_length_) / arc_count) * (1.0 / turning_radius_) : 0.0;

  // The set, per direction: straight, full lock left and right, then each gentler curvature.
  const std::uint32_t n = detail::curvaturesPerSide(config);
  max_index_ = static_cast<std::int8_t>(n);
  std::vector<Motion> arcs;
  if (!allow_in_place_rotation_) {
    for (std::uint32_t j = n; j >= 1; --j) {
      const double k = detail::levelCurvature(j, n, turning_radius_);
      const double length =
          j == n ? arc_length_ : detail::gentleArcLength(primitive_length_, k, angular_step_);
      const auto index = static_cast<std::int8_t>(j);
      const std::uint64_t samples = sampleCount(length, sample_step_);
      arcs.push_back({Direction::FORWARD, Steering::LEFT, index, k, length, samples});
      arcs.push_back({Direction::FORWARD, Steering::RIGHT, static_cast<std::int8_t>(-index), -k,
                      length, samples});
      const auto count_double = static_cast<double>(samples);
      max_arc_turn_ = std::max(max_arc_turn_, ((count_double * length) / count_double) * k);
    }
  }
  const Motion straight{Direction::FORWARD, Steering::STRAIGHT,    0, 0.0,
                        primitive_length_,  samples_per_primitive_};
  for (const Direction direction : {Direction::FORWARD, Direction::REVERSE}) {
    if (direction == Direction::REVERSE && !allow_reverse_) {
      break;
    }
    const std::size_t first = motions_.size();
    motions_.push_back(straight);
    motions_.back().direction = direction;
    for (const Motion& arc : arcs) {
      motions_.push_back(arc);
      motions_.back().direction = direction;
    }
    if (direction == Direction::REVERSE) {
      // Each forward arc with the reverse arc of the opposite curvature (its neighbour in the
      // list).
      for (std::size_t i = 1; i < arcs.size() + 1; ++i) {
        mirrored_.emplace_back(i, first + (i % 2 == 1 ? i + 1 : i - 1));
      }
    }
  }
  if (allow_in_place_rotation_) {
    motions_.push_back({Direction::ROTATION, Steering::LEFT, 1, 0.0, primitive_length_, 1});
    motions_.push_back({Direction::ROTATION, Steering::RIGHT, -1, 0.0, primitive_length_, 1});
  }
  for (std::size_t i = 0; i < motions_.size(); ++i) {
    const bool paired = std::any_of(mirrored_.begin(), mirrored_.end(), [i](const auto& pair) {
      return pair.first == i || pair.second == i;
    });
    if (!paired) {
      single_.push_back(i);
    }
  }
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
    if (!(std::isfinite(max_arc_turn_ + pose.yaw) && std::isfinite(-max_arc_turn_ + pose.yaw))) {
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
                                const Motion& motion, MotionPrimitive& out) const {
  label(motion, out);
  const double x0 = pose.x;
  const double y0 = pose.y;
  const double yaw0 = pose.yaw;

  if (motion.direction == Direction::ROTATION) {
    out.samples.resize(1);
    out.samples[0] = Pose2D{x0, y0, normalizeYaw(factor(motion.steering) * angular_step_ + yaw0)};
    return;
  }

  const std::uint64_t n = motion.samples;
  const auto n_double = static_cast<double>(n);
  const double signed_length = factor(motion.direction) * motion.length;
  out.samples.resize(n);
  Pose2D* samples = out.samples.data();
  if (motion.steering == Steering::STRAIGHT) {
    for (std::uint64_t k = 1; k <= n; ++k) {
      const double s = (static_cast<double>(k) * signed_length) / n_double;
      // The start yaw is kept bit for bit: a straight move does not touch the heading.
      samples[k - 1] = Pose2D{x0 + cos_yaw * s, y0 + sin_yaw * s, yaw0};
    }
    return;
  }
  const double curvature = motion.curvature;
  for (std::uint64_t k = 1; k <= n; ++k) {
    const double s = (static_cast<double>(k) * signed_length) / n_double;
    const double yaw = s * curvature + yaw0;
    samples[k - 1] = Pose2D{x0 + (std::sin(yaw) - sin_yaw) / curvature,
                            y0 - (std::cos(yaw) - cos_yaw) / curvature, normalizeYaw(yaw)};
  }
}

// The same operations as fill() for a forward arc and the reverse arc of the opposite curvature.
// Their arc lengths and curvatures are exact negatives of each other (IEEE negation, products and
// quotients are sign-symmetric), so s * curvature, and with it every yaw, sine and cosine, is
// bit for bit the same for both.
void MotionPrimitiveTable::fillMirroredArcs(const Pose2D& pose, double cos_yaw, double sin_yaw,
                                            const Motion& forward, const Motion& reverse,
                                            MotionPrimitive& forward_out,
                                            MotionPrimitive& reverse_out) const {
  label(forward, forward_out);
  label(reverse, reverse_out);
  const double x0 = pose.x;
  const double y0 = pose.y;
  const double yaw0 = pose.yaw;
  const std::uint64_t n = forward.samples;
  const auto n_double = static_cast<double>(n);
  const double forward_length = factor(Direction::FORWARD) * forward.length;
  const double forward_curvature = forward.curvature;
  const double reverse_curvature = reverse.curvature;
  forward_out.samples.resize(n);
  reverse_out.samples.resize(n);
  Pose2D* f = forward_out.samples.data();
  Pose2D* r = reverse_out.samples.data();
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
  // Any steering in any direction, in the set or not (a table that turns on the spot still makes
  // arcs, of the turning radius): LEFT and RIGHT at full lock.
  const bool rotation = direction == Direction::ROTATION;
  const bool arc = !rotation && steering != Steering::STRAIGHT;
  if (arc && !arcsHaveRadius()) {
    detail::throwInvalidArgument("minimum_turning_radius must be finite and positive");
  }
  const auto index =
      static_cast<std::int8_t>(arc ? factor(steering) * max_index_ : factor(steering));
  const Motion motion{direction,
                      steering,
                      index,
                      arc ? factor(steering) / turning_radius_ : 0.0,
                      arc ? arc_length_ : primitive_length_,
                      rotation ? 1 : (arc ? samples_per_arc_ : samples_per_primitive_)};
  checkPose(pose, arc, rotation);
  MotionPrimitive primitive;
  fill(pose, std::cos(pose.yaw), std::sin(pose.yaw), motion, primitive);
  return primitive;
}

MotionPrimitive MotionPrimitiveTable::make(const Pose2D& pose, Direction direction,
                                           std::int8_t steering_index) const {
  const auto motion = std::find_if(motions_.begin(), motions_.end(), [&](const Motion& s) {
    return s.direction == direction && s.steering_index == steering_index;
  });
  if (motion == motions_.end()) {
    detail::throwInvalidArgument("steering_index is not in the primitive set");
  }
  const bool rotation = direction == Direction::ROTATION;
  checkPose(pose, !rotation && motion->steering != Steering::STRAIGHT, rotation);
  MotionPrimitive primitive;
  fill(pose, std::cos(pose.yaw), std::sin(pose.yaw), *motion, primitive);
  return primitive;
}

std::vector<MotionPrimitive> MotionPrimitiveTable::generate(const Pose2D& pose) const {
  std::vector<MotionPrimitive> primitives;
  generate(pose, primitives);
  return primitives;
}

void MotionPrimitiveTable::generate(const Pose2D& pose, std::vector<MotionPrimitive>& out) const {
  checkPose(pose, !allow_in_place_rotation_, allow_in_place_rotation_);
  out.resize(motions_.size());
  const double cos_yaw = std::cos(pose.yaw);
  const double sin_yaw = std::sin(pose.yaw);
  for (const std::size_t i : single_) {
    fill(pose, cos_yaw, sin_yaw, motions_[i], out[i]);
  }
  for (const auto& [forward, reverse] : mirrored_) {
    fillMirroredArcs(pose, cos_yaw, sin_yaw, motions_[forward], motions_[reverse], out[forward],
                     out[reverse]);
  }
}

}  // namespace veltrax::se2
