#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
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

// Values at the edge of each rule: the smallest refused and the largest accepted change.
struct EdgeCase {
  const char* name;
  std::function<void(PlannerConfig&)> change;
  std::vector<std::string> expected;
};

class ConfigEdges : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(ConfigEdges, GiveExactlyTheseProblems) {
  PlannerConfig config;
  GetParam().change(config);
  EXPECT_EQ(config.validate(), GetParam().expected);
}

const double kTiny = std::numeric_limits<double>::min();

INSTANTIATE_TEST_SUITE_P(
    Rules, ConfigEdges,
    ::testing::Values(
        EdgeCase{"negative_zero_radius",
                 [](PlannerConfig& c) { c.minimum_turning_radius = -0.0; },
                 {"minimum_turning_radius must be finite and positive"}},
        EdgeCase{"tiny_step", [](PlannerConfig& c) { c.collision_check_step = kTiny; }, {}},
        EdgeCase{"negative_tiny_spacing",
                 [](PlannerConfig& c) { c.path_output_spacing = -kTiny; },
                 {"path_output_spacing must be finite and positive"}},
        EdgeCase{"zero_penalties",
                 [](PlannerConfig& c) {
                   c.cost_penalty = -0.0;
                   c.retrospective_penalty = 0.0;
                   c.smoother_weight_smooth = std::numeric_limits<double>::max();
                 },
                 {}},
        EdgeCase{"negative_tiny_tolerance",
                 [](PlannerConfig& c) { c.yaw_tolerance = -1e-300; },
                 {"yaw_tolerance must be finite and non-negative"}},
        EdgeCase{"seven_bins",
                 [](PlannerConfig& c) { c.angle_bins = 7; },
                 {"angle_bins must be at least 8"}},
        EdgeCase{"eight_bins", [](PlannerConfig& c) { c.angle_bins = 8; }, {}},
        EdgeCase{"radius_ignored_in_place",
                 [](PlannerConfig& c) {
                   c.minimum_turning_radius = kNaN;
                   c.allow_in_place_rotation = true;
                 },
                 {}},
        EdgeCase{"counts_of_one",
                 [](PlannerConfig& c) {
                   c.max_expanded_nodes = 1;
                   c.terminal_check_interval = 1;
                   c.smoother_max_iterations = 1;
                   c.analytic_expansion_max_cost = 0;  // not validated
                 },
                 {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace veltrax::se2
