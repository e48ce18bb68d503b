#pragma once

#include <cmath>
#include <cstdint>

#include "veltrax/se2/costs.hpp"
#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/primitives.hpp"
#include "veltrax/se2/records.hpp"

namespace veltrax::se2::detail {

// The motion that reached a search node, which the next motion pays for changing: its direction
// and its MotionPrimitive::steering_index (so a change between two left curvatures counts).
struct Arrival {
  Direction direction;
  std::int8_t steering_index;
};

// The cost g of the node that `primitive` reaches from a node of cost `parent_g`: the length,
// raised by the largest cell cost under its samples (0..252 mapped onto 0..cost_penalty), plus
// the penalties for steering and reversing, for changing direction or steering since `arrival`
// (nullptr for the start node, which no motion reached), and the retrospective share of
// parent_g. The sums run in this order: the planner's results depend on it bit for bit.
inline double childCost(const PlannerConfig& config, const MotionPrimitive& primitive,
                        std::uint8_t max_cost, const Arrival* arrival, double parent_g) {
  const double length = primitive.length;
  double step = length + (static_cast<double>(max_cost) / static_cast<double>(kMaxGradedCost)) *
                             config.cost_penalty * length;
  if (primitive.direction != Direction::ROTATION) {
    if (primitive.steering != Steering::STRAIGHT) {
      // Scaled: the curvature as a fraction of full lock, |index| / n, exactly 1 at full lock
      // (steering_angles is odd, so n is whole).
      const std::uint32_t full_lock = (config.steering_angles - 1u) / 2u;
      step += config.scale_steering_penalty_with_curvature
                  ? config.non_straight_penalty *
                        (std::fabs(static_cast<double>(primitive.steering_index)) /
                         static_cast<double>(full_lock))
                  : config.non_straight_penalty;
    }
    if (primitive.direction == Direction::REVERSE) {
      step += config.reverse_penalty;
    }
  }
  if (arrival != nullptr) {
    if (primitive.direction != arrival->direction) {
      step += config.direction_switch_penalty;
    }
    if (primitive.direction != Direction::ROTATION &&
        primitive.steering_index != arrival->steering_index) {
      step += config.steering_change_penalty;
    }
  }
  return step + config.retrospective_penalty * parent_g + parent_g;
}

}  // namespace veltrax::se2::detail
