#pragma once

#include <vector>

#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2 {

struct MotionPrimitive {
  Direction direction = Direction::FORWARD;
  Steering steering = Steering::STRAIGHT;
  double length = 0.0;          // the table's primitive length, metres
  std::vector<Pose2D> samples;  // poses along the motion, excluding the start; last = reached
};

// The successor motions of a search node: straight and arcs (car-like) or straight moves and
// in-place rotations, forwards and, if allowed, backwards, in a fixed order.
class MotionPrimitiveTable {
 public:
  // Throws std::invalid_argument with the configuration's first problem.
  MotionPrimitiveTable(double resolution, const PlannerConfig& config);

  double primitive_length() const noexcept { return primitive_length_; }

  MotionPrimitive make(const Pose2D& pose, Direction direction, Steering steering) const;
  std::vector<MotionPrimitive> generate(const Pose2D& pose) const;

 private:
  double turning_radius_;
  double primitive_length_;
  double sample_step_;
  bool allow_reverse_;
  bool allow_in_place_rotation_;
  double angular_step_;
};

}  // namespace veltrax::se2
