#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "test_support.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2 {
namespace {

using namespace testing_support;

TEST(PlannerConfigValidate, EveryFaultInTheFixedOrder) {
  PlannerConfig config;
  config.smoother_tolerance = 0.0;
  config.smoother_weight_smooth = -1.0;
  config.smoother_weight_data = kNaN;
  config.smoother_max_iterations = 0;
  config.analytic_expansion_max_length = kInf;
  config.analytic_expansion_ratio = -2.0;
  config.terminal_check_interval = 0;
  config.max_planning_time_seconds = 0.0;
  config.max_expanded_nodes = 0;
  config.retrospective_penalty = -0.5;
  config.steering_change_penalty = kNaN;
  config.direction_switch_penalty = -1.0;
  config.reverse_penalty = kInf;
  config.non_straight_penalty = -kInf;
  config.cost_penalty = -3.0;
  config.path_output_spacing = 0.0;
  config.collision_check_step = -0.025;
  config.yaw_tolerance = kNaN;
  config.position_tolerance = -0.1;
  config.angle_bins = 7;
  config.minimum_turning_radius = kNaN;
  const std::vector<std::string> expected = {
      "minimum_turning_radius must be finite and positive",
      "angle_bins must be at least 8",
      "position_tolerance must be finite and non-negative",
      "yaw_tolerance must be finite and non-negative",
      "collision_check_step must be finite and positive",
      "path_output_spacing must be finite and positive",
      "cost_penalty must be finite and non-negative",
      "non_straight_penalty must be finite and non-negative",
      "reverse_penalty must be finite and non-negative",
      "direction_switch_penalty must be finite and non-negative",
      "steering_change_penalty must be finite and non-negative",
      "retrospective_penalty must be finite and non-negative",
      "max_expanded_nodes must be positive",
      "max_planning_time_seconds must be finite and positive",
      "terminal_check_interval must be positive",
      "analytic_expansion_ratio must be finite and positive",
      "analytic_expansion_max_length must be finite and positive",
      "smoother_max_iterations must be positive",
      "smoother_weight_data must be finite and non-negative",
      "smoother_weight_smooth must be finite and non-negative",
      "smoother_tolerance must be finite and positive",
  };
  EXPECT_EQ(config.validate(), expected);
}

}  // namespace
}  // namespace veltrax::se2
