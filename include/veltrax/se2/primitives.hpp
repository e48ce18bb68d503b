#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "veltrax/se2/export.hpp"
#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/records.hpp"

namespace veltrax::se2 {

struct VELTRAX_SE2_EXPORT MotionPrimitive {
  Direction direction = Direction::FORWARD;
  Steering steering = Steering::STRAIGHT;  // the side an arc or rotation turns to
  double length = 0.0;          // metres: the table's primitive length, or its arc length
  std::vector<Pose2D> samples;  // poses along the motion, excluding the start; last = reached
  // 1/m, positive to the left: +-1 / minimum_turning_radius at full lock, a fraction of it for
  // the gentler arcs of PlannerConfig::steering_angles, 0 for straight moves and rotations.
  double curvature = 0.0;
  // Which of the table's curvatures: curvature = steering_index / n / minimum_turning_radius with
  // n = (steering_angles - 1) / 2, so +-n is full lock and 0 straight; rotations carry their
  // Steering (+-1). With three steering angles it equals `steering`.
  std::int8_t steering_index = 0;
};

// The successor motions of a search node: straight and arcs (car-like) or straight moves and
// in-place rotations, forwards and, if allowed, backwards, in a fixed order.
//
// The set is a list of motions built once from the configuration, which generate() walks.
// Car-like, it holds the straight move and PlannerConfig::steering_angles - 1 arcs: n =
// (steering_angles - 1) / 2 curvatures a side, j / n / minimum_turning_radius for j = n (full
// lock) down to 1. Per direction the order is straight, left and right at full lock, then left
// and right of each gentler curvature, forwards first; the default three angles give straight,
// left, right. Every arc keeps the lattice's rules:
// - the full-lock arcs are arc_length() long (below);
// - a gentler arc of curvature k turns the fewest whole yaw bins m >= 1 that make it at least
//   primitive_length() long: m = ceil(primitive_length() * k / bin), length m * bin / k; should
//   an arc of primitive_length() turn more than kMaxArcTurn, it turns one bin (m = 1).
// So a gentler arc ends on the yaw of a bin boundary whenever it starts on one.
class VELTRAX_SE2_EXPORT MotionPrimitiveTable {
 public:
  // One entry of the set.
  struct Motion {
    Direction direction;
    Steering steering;
    std::int8_t steering_index;
    double curvature;       // 1/m; 0 for straight moves and rotations
    double length;          // metres
    std::uint64_t samples;  // ceil(length / sample step), at least 1; 1 for rotations
  };

  // Upper bound on the samples of one primitive; a configuration needing more is refused
  // ("collision_check_step is too small for the primitive length").
  static constexpr std::uint64_t kMaxSamplesPerPrimitive = 100000;

  // Throws std::invalid_argument with the configuration's first problem, then
  // "resolution must be finite and positive", then the sample-count limit above.
  MotionPrimitiveTable(double resolution, const PlannerConfig& config);

  // Arcs whose cell-long version would turn more than this (radians) turn one yaw bin instead.
  static constexpr double kMaxArcTurn = 1.5707963267948966;

  // The length of straight moves and rotations: one cell, or the arc of one yaw bin when that is
  // longer (not with in-place rotation). Arcs have this length too, unless the cells are so large
  // against the turning radius that such an arc would turn more than kMaxArcTurn: then an arc is
  // the arc of one yaw bin (arc_length()).
  double primitive_length() const noexcept { return primitive_length_; }
  double arc_length() const noexcept { return arc_length_; }

  // The set generate() produces, in its order.
  const std::vector<Motion>& motions() const noexcept { return motions_; }

  // Throws std::invalid_argument "yaw must be finite" (non-finite yaw, or an arc or rotation
  // whose yaw overflows) and "pose must be finite" (non-finite x or y). LEFT and RIGHT drive at
  // full lock; a table that turns on the spot with a radius that is not finite and positive
  // refuses them first with "minimum_turning_radius must be finite and positive".
  MotionPrimitive make(const Pose2D& pose, Direction direction, Steering steering) const;
  // The primitive of `steering_index` (see MotionPrimitive; rotations: +-1). Throws
  // std::invalid_argument "steering_index is not in the primitive set" for any other, then as
  // make() above.
  MotionPrimitive make(const Pose2D& pose, Direction direction, std::int8_t steering_index) const;
  // Every primitive from the pose; throws as make() does.
  std::vector<MotionPrimitive> generate(const Pose2D& pose) const;
  // The same primitives written into `out`, reusing its storage (primitive list and sample
  // lists) from call to call. All checks run before `out` is touched, so on an exception `out`
  // is unchanged.
  void generate(const Pose2D& pose, std::vector<MotionPrimitive>& out) const;

 private:
  void checkPose(const Pose2D& pose, bool arcs, bool rotations) const;
  bool arcsHaveRadius() const noexcept {
    return std::isfinite(turning_radius_) && turning_radius_ > 0.0;
  }
  void fill(const Pose2D& pose, double cos_yaw, double sin_yaw, const Motion& motion,
            MotionPrimitive& out) const;
  // The forward arc `forward` and the reverse arc of the opposite curvature and same length,
  // which pass through the same yaws: written together, each sine and cosine is computed once.
  void fillMirroredArcs(const Pose2D& pose, double cos_yaw, double sin_yaw, const Motion& forward,
                        const Motion& reverse, MotionPrimitive& forward_out,
                        MotionPrimitive& reverse_out) const;

  double turning_radius_;
  double primitive_length_;
  double sample_step_;
  bool allow_reverse_;
  bool allow_in_place_rotation_;
  double angular_step_;
  double arc_length_;
  std::uint64_t samples_per_primitive_;  // ceil(primitive length / sample step), at least 1
  std::uint64_t samples_per_arc_;        // ceil(arc length / sample step), at least 1
  std::vector<Motion> motions_;
  // Pairs of motion positions (forward arc, reverse arc of the opposite curvature) written
  // together; the other motions are written one by one.
  std::vector<std::pair<std::size_t, std::size_t>> mirrored_;
  std::vector<std::size_t> single_;
  std::int8_t max_index_;  // n: the full-lock steering index
  double max_arc_turn_;    // radians: the largest turn of an arc, as fill() computes its last yaw
};

}  // namespace veltrax::se2
