#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "test_support.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2 {
namespace {

using namespace testing_support;

TEST(PlannerConfigRecord, DefaultsAreTheDocumentedOnes) {
  const PlannerConfig c;
  EXPECT_EQ(c.minimum_turning_radius, 0.4);
  EXPECT_FALSE(c.allow_in_place_rotation);
  EXPECT_TRUE(c.allow_reverse);
  EXPECT_EQ(c.angle_bins, 72u);
  EXPECT_EQ(c.position_tolerance, 0.1);
  EXPECT_EQ(c.yaw_tolerance, 0.1);
  EXPECT_EQ(c.collision_check_step, 0.025);
  EXPECT_EQ(c.path_output_spacing, 0.05);
  EXPECT_EQ(c.cost_penalty, 2.0);
  EXPECT_EQ(c.non_straight_penalty, 1.05);
  EXPECT_EQ(c.reverse_penalty, 2.0);
  EXPECT_EQ(c.direction_switch_penalty, 2.0);
  EXPECT_EQ(c.steering_change_penalty, 0.05);
  EXPECT_EQ(c.retrospective_penalty, 0.0);
  EXPECT_EQ(c.max_expanded_nodes, 1000000u);
  EXPECT_EQ(c.max_planning_time_seconds, 5.0);
  EXPECT_EQ(c.terminal_check_interval, 256u);
  EXPECT_FALSE(c.allow_unknown);
  EXPECT_TRUE(c.cache_obstacle_heuristic);
  EXPECT_EQ(c.analytic_expansion_ratio, 3.5);
  EXPECT_EQ(c.analytic_expansion_max_length, 3.0);
  EXPECT_EQ(c.analytic_expansion_max_cost, 200u);
  EXPECT_TRUE(c.smooth_path);
  EXPECT_EQ(c.smoother_max_iterations, 1000u);
  EXPECT_EQ(c.smoother_weight_data, 0.2);
  EXPECT_EQ(c.smoother_weight_smooth, 0.3);
  EXPECT_EQ(c.smoother_tolerance, 1e-10);
  EXPECT_TRUE(c.validate().empty());
}

struct DoubleField {
  const char* name;
  double PlannerConfig::*member;
};

// Fields that must be finite and positive.
const DoubleField kPositiveFields[] = {
    {"minimum_turning_radius", &PlannerConfig::minimum_turning_radius},
    {"collision_check_step", &PlannerConfig::collision_check_step},
    {"path_output_spacing", &PlannerConfig::path_output_spacing},
    {"max_planning_time_seconds", &PlannerConfig::max_planning_time_seconds},
    {"analytic_expansion_ratio", &PlannerConfig::analytic_expansion_ratio},
    {"analytic_expansion_max_length", &PlannerConfig::analytic_expansion_max_length},
    {"smoother_tolerance", &PlannerConfig::smoother_tolerance},
};

// Fields that must be finite and non-negative.
const DoubleField kNonNegativeFields[] = {
    {"position_tolerance", &PlannerConfig::position_tolerance},
    {"yaw_tolerance", &PlannerConfig::yaw_tolerance},
    {"cost_penalty", &PlannerConfig::cost_penalty},
    {"non_straight_penalty", &PlannerConfig::non_straight_penalty},
    {"reverse_penalty", &PlannerConfig::reverse_penalty},
    {"direction_switch_penalty", &PlannerConfig::direction_switch_penalty},
    {"steering_change_penalty", &PlannerConfig::steering_change_penalty},
    {"retrospective_penalty", &PlannerConfig::retrospective_penalty},
    {"smoother_weight_data", &PlannerConfig::smoother_weight_data},
    {"smoother_weight_smooth", &PlannerConfig::smoother_weight_smooth},
};

class ConfigPositiveField : public ::testing::TestWithParam<std::tuple<DoubleField, double>> {};

TEST_P(ConfigPositiveField, RefusesValue) {
  const auto [field, value] = GetParam();
  PlannerConfig config;
  config.*field.member = value;
  EXPECT_EQ(config.validate(),
            std::vector<std::string>{std::string(field.name) + " must be finite and positive"});
}

INSTANTIATE_TEST_SUITE_P(
    Values, ConfigPositiveField,
    ::testing::Combine(::testing::ValuesIn(kPositiveFields),
                       ::testing::Values(0.0, -0.0, -1.0, kInf, -kInf, kNaN,
                                         -std::numeric_limits<double>::min())));

class ConfigNonNegativeField : public ::testing::TestWithParam<std::tuple<DoubleField, double>> {};

TEST_P(ConfigNonNegativeField, RefusesValue) {
  const auto [field, value] = GetParam();
  PlannerConfig config;
  config.*field.member = value;
  EXPECT_EQ(config.validate(),
            std::vector<std::string>{std::string(field.name) + " must be finite and non-negative"});
}

INSTANTIATE_TEST_SUITE_P(Values, ConfigNonNegativeField,
                         ::testing::Combine(::testing::ValuesIn(kNonNegativeFields),
                                            ::testing::Values(-1.0, -1e-300, kInf, -kInf, kNaN)));

class ConfigNonNegativeAccepts : public ::testing::TestWithParam<std::tuple<DoubleField, double>> {
};

TEST_P(ConfigNonNegativeAccepts, ZeroAndLargeValues) {
  const auto [field, value] = GetParam();
  PlannerConfig config;
  config.*field.member = value;
  EXPECT_TRUE(config.validate().empty());
}

INSTANTIATE_TEST_SUITE_P(Values, ConfigNonNegativeAccepts,
                         ::testing::Combine(::testing::ValuesIn(kNonNegativeFields),
                                            ::testing::Values(0.0, -0.0,
                                                              std::numeric_limits<double>::max())));

TEST(PlannerConfigValidate, RadiusIsIgnoredForInPlaceRotation) {
  PlannerConfig config;
  config.minimum_turning_radius = 0.0;
  config.allow_in_place_rotation = true;
  EXPECT_TRUE(config.validate().empty());
  config.allow_in_place_rotation = false;
  EXPECT_EQ(config.validate(),
            std::vector<std::string>{"minimum_turning_radius must be finite and positive"});
}

class ConfigAngleBins : public ::testing::TestWithParam<std::pair<std::uint32_t, bool>> {};

TEST_P(ConfigAngleBins, AtLeastEight) {
  PlannerConfig config;
  config.angle_bins = GetParam().first;
  const auto problems = config.validate();
  if (GetParam().second) {
    EXPECT_TRUE(problems.empty());
  } else {
    EXPECT_EQ(problems, std::vector<std::string>{"angle_bins must be at least 8"});
  }
}

INSTANTIATE_TEST_SUITE_P(Bins, ConfigAngleBins,
                         ::testing::Values(std::pair{0u, false}, std::pair{4u, false},
                                           std::pair{7u, false}, std::pair{8u, true},
                                           std::pair{4294967295u, true}));

TEST(PlannerConfigValidate, CountsMustBePositive) {
  PlannerConfig config;
  config.max_expanded_nodes = 0;
  EXPECT_EQ(config.validate(), std::vector<std::string>{"max_expanded_nodes must be positive"});
  config = PlannerConfig{};
  config.terminal_check_interval = 0;
  EXPECT_EQ(config.validate(),
            std::vector<std::string>{"terminal_check_interval must be positive"});
  config = PlannerConfig{};
  config.smoother_max_iterations = 0;
  EXPECT_EQ(config.validate(),
            std::vector<std::string>{"smoother_max_iterations must be positive"});
  config = PlannerConfig{};
  config.analytic_expansion_max_cost = 0;  // not validated
  config.max_expanded_nodes = 1;
  config.terminal_check_interval = 1;
  config.smoother_max_iterations = 1;
  EXPECT_TRUE(config.validate().empty());
}

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

class StatusName : public ::testing::TestWithParam<std::pair<std::int32_t, std::string>> {};

TEST_P(StatusName, IsTheEnumeratorName) {
  EXPECT_EQ(std::string(plannerStatusName(static_cast<PlannerStatus>(GetParam().first))),
            GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, StatusName,
    ::testing::Values(std::pair{0, "SUCCESS"}, std::pair{1, "NO_PATH"}, std::pair{2, "TIMEOUT"},
                      std::pair{3, "CANCELLED"}, std::pair{4, "INVALID_REQUEST"},
                      std::pair{5, "START_OUT_OF_BOUNDS"}, std::pair{6, "GOAL_OUT_OF_BOUNDS"},
                      std::pair{7, "START_IN_COLLISION"}, std::pair{8, "GOAL_IN_COLLISION"},
                      std::pair{9, "MAX_NODES_EXCEEDED"}, std::pair{10, "INTERNAL_ERROR"},
                      std::pair{99, "INTERNAL_ERROR"}, std::pair{-1, "INTERNAL_ERROR"}));

TEST(PlannerResultRecord, FreshResultIsAnInternalErrorWithNothingInIt) {
  const PlannerResult result;
  EXPECT_EQ(result.status, PlannerStatus::INTERNAL_ERROR);
  EXPECT_EQ(result.message, "");
  EXPECT_TRUE(result.path.empty());
  EXPECT_TRUE(result.directions.empty());
  const PlannerDiagnostics& d = result.diagnostics;
  EXPECT_FALSE(d.obstacle_heuristic_cache_hit);
  for (double value : {d.total_time_ms, d.search_time_ms, d.obstacle_heuristic_time_ms,
                       d.kinematic_heuristic_time_ms, d.collision_check_time_ms,
                       d.analytic_expansion_time_ms, d.smoothing_time_ms, d.path_length}) {
    EXPECT_EQ(value, 0.0);
  }
  for (std::uint64_t value : {d.expanded_nodes, d.generated_nodes, d.collision_checks}) {
    EXPECT_EQ(value, 0u);
  }
  for (std::uint32_t value :
       {d.reverse_count, d.direction_switch_count, d.in_place_rotation_count}) {
    EXPECT_EQ(value, 0u);
  }
  EXPECT_EQ(result.map_revision, 0u);
  EXPECT_EQ(result.goal_revision, 0u);
  EXPECT_EQ(result.robot_revision, 0u);
}

class MatchesRevisions : public ::testing::TestWithParam<
                             std::tuple<std::uint64_t, std::uint64_t, std::uint64_t, bool>> {};

TEST_P(MatchesRevisions, AllThreeMustMatch) {
  PlannerResult result;
  result.map_revision = 7;
  result.goal_revision = 18446744073709551615u;
  result.robot_revision = 0;
  const auto [map, goal, robot, expected] = GetParam();
  EXPECT_EQ(result.matchesRevisions(map, goal, robot), expected);
}

INSTANTIATE_TEST_SUITE_P(Revisions, MatchesRevisions,
                         ::testing::Values(std::tuple{7u, 18446744073709551615u, 0u, true},
                                           std::tuple{8u, 18446744073709551615u, 0u, false},
                                           std::tuple{7u, 18446744073709551614u, 0u, false},
                                           std::tuple{7u, 18446744073709551615u, 1u, false},
                                           std::tuple{0u, 0u, 0u, false}));

TEST(PlanRequestRecord, Defaults) {
  const PlanRequest request;
  EXPECT_EQ(request.start.x, 0.0);
  EXPECT_EQ(request.start.yaw, 0.0);
  EXPECT_EQ(request.goal.y, 0.0);
  ASSERT_TRUE(std::holds_alternative<CircleFootprint>(request.footprint));
  EXPECT_EQ(std::get<CircleFootprint>(request.footprint).radius, 0.25);
  EXPECT_EQ(request.map_revision, 0u);
  EXPECT_EQ(request.goal_revision, 0u);
  EXPECT_EQ(request.robot_revision, 0u);
}

TEST(CancellationTokenRecord, CancelAndReset) {
  CancellationToken token;
  EXPECT_FALSE(token.cancelled());
  token.cancel();
  EXPECT_TRUE(token.cancelled());
  token.cancel();
  EXPECT_TRUE(token.cancelled());
  token.reset();
  EXPECT_FALSE(token.cancelled());
}

TEST(CancellationTokenRecord, SetOnAnotherThreadIsSeenHere) {
  CancellationToken token;
  std::thread canceller([&token] { token.cancel(); });
  canceller.join();
  EXPECT_TRUE(token.cancelled());
  std::thread resetter([&token] { token.reset(); });
  resetter.join();
  EXPECT_FALSE(token.cancelled());
}

}  // namespace
}  // namespace veltrax::se2
