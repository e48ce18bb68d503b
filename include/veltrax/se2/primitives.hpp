#pragma once

#include <cstdint>
#include <vector>

#include "veltrax/se2/export.hpp"
#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/records.hpp"

namespace veltrax::se2 {

struct VELTRAX_SE2_EXPORT MotionPrimitive {
  Direction direction = Direction::FORWARD;
  Steering steering = Steering::STRAIGHT;
  double length = 0.0;          // metres: the table's primitive length, or its arc length
  std::vector<Pose2D> samples;  // poses along the motion, excluding the start; last = reached
};

// The successor motions of a search node: straight and arcs (car-like) or straight moves and
// in-place rotations, forwards and, if allowed, backwards, in a fixed order.
class VELTRAX_SE2_EXPORT MotionPrimitiveTable {
 public:
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

  // Throws std::invalid_argument "yaw must be finite" (non-finite yaw, or an arc or rotation
  // whose yaw overflows) and "pose must be finite" (non-finite x or y).
  MotionPrimitive make(const Pose2D& pose, Direction direction, Steering steering) const;
  // Every primitive from the pose; throws as make() does.
  std::vector<MotionPrimitive> generate(const Pose2D& pose) const;
  // The same primitives written into `out`, reusing its storage (primitive list and sample
  // lists) from call to call. All checks run before `out` is touched, so on an exception `out`
  // is unchanged.
  void generate(const Pose2D& pose, std::vector<MotionPrimitive>& out) const;

 private:
  void checkPose(const Pose2D& pose, bool arcs, bool rotations) const;
  void fill(const Pose2D& pose, double cos_yaw, double sin_yaw, Direction direction,
            Steering steering, MotionPrimitive& out) const;
  // The forward arc of `steering` and the reverse arc of the opposite steering, which pass
  // through the same yaws: written together, each sine and cosine is computed once.
  void fillMirroredArcs(const Pose2D& pose, double cos_yaw, double sin_yaw, Steering steering,
                        MotionPrimitive& forward, MotionPrimitive& reverse) const;

  double turning_radius_;
  double primitive_length_;
  double sample_step_;
  bool allow_reverse_;
  bool allow_in_place_rotation_;
  double angular_step_;
  double arc_length_;
  std::uint64_t samples_per_primitive_;  // ceil(primitive length / sample step), at least 1
  std::uint64_t samples_per_arc_;        // ceil(arc length / sample step), at least 1
};

}  // namespace veltrax::se2
