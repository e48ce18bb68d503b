#include "veltrax/se2/records.hpp"

#include <cmath>
#include <string>
#include <vector>

namespace veltrax::se2 {

namespace {

void checkPositive(std::vector<std::string>& problems, const char* field, double value) {
  if (!(std::isfinite(value) && value > 0.0)) {
    problems.push_back(std::string(field) + " must be finite and positive");
  }
}

void checkNonNegative(std::vector<std::string>& problems, const char* field, double value) {
  // -0.0 passes: it compares equal to zero.
  if (!(std::isfinite(value) && value >= 0.0)) {
    problems.push_back(std::string(field) + " must be finite and non-negative");
  }
}

}  // namespace

std::vector<std::string> PlannerConfig::validate() const {
  std::vector<std::string> problems;
  if (!allow_in_place_rotation) {
    checkPositive(problems, "minimum_turning_radius", minimum_turning_radius);
  }
  if (angle_bins < 8) {
    problems.emplace_back("angle_bins must be at least 8");
  }
  checkNonNegative(problems, "position_tolerance", position_tolerance);
  checkNonNegative(problems, "yaw_tolerance", yaw_tolerance);
  checkPositive(problems, "collision_check_step", collision_check_step);
  checkPositive(problems, "path_output_spacing", path_output_spacing);
  checkNonNegative(problems, "cost_penalty", cost_penalty);
  checkNonNegative(problems, "non_straight_penalty", non_straight_penalty);
  checkNonNegative(problems, "reverse_penalty", reverse_penalty);
  checkNonNegative(problems, "direction_switch_penalty", direction_switch_penalty);
  checkNonNegative(problems, "steering_change_penalty", steering_change_penalty);
  checkNonNegative(problems, "retrospective_penalty", retrospective_penalty);
  if (max_expanded_nodes == 0) {
    problems.emplace_back("max_expanded_nodes must be positive");
  }
  checkPositive(problems, "max_planning_time_seconds", max_planning_time_seconds);
  if (terminal_check_interval == 0) {
    problems.emplace_back("terminal_check_interval must be positive");
  }
  checkPositive(problems, "analytic_expansion_ratio", analytic_expansion_ratio);
  checkPositive(problems, "analytic_expansion_max_length", analytic_expansion_max_length);
  if (smoother_max_iterations == 0) {
    problems.emplace_back("smoother_max_iterations must be positive");
  }
  checkNonNegative(problems, "smoother_weight_data", smoother_weight_data);
  checkNonNegative(problems, "smoother_weight_smooth", smoother_weight_smooth);
  checkPositive(problems, "smoother_tolerance", smoother_tolerance);
  if (!(std::isfinite(heuristic_weight) && heuristic_weight >= 1.0)) {
    problems.emplace_back("heuristic_weight must be finite and at least 1");
  }
  if (!(heuristic_reach_factor == 0.0 ||
        (std::isfinite(heuristic_reach_factor) && heuristic_reach_factor >= 1.0))) {
    problems.emplace_back("heuristic_reach_factor must be 0 or finite and at least 1");
  }
  if (!(steering_angles >= 3 && steering_angles <= 9 && steering_angles % 2 == 1)) {
    problems.emplace_back("steering_angles must be odd and between 3 and 9");
  }
  checkNonNegative(problems, "analytic_expansion_min_reverse_length",
                   analytic_expansion_min_reverse_length);
  checkNonNegative(problems, "lattice_cell_size", lattice_cell_size);
  if (!(std::isfinite(stall_heuristic_weight) && stall_heuristic_weight >= 1.0)) {
    problems.emplace_back("stall_heuristic_weight must be finite and at least 1");
  }
  if (stall_weight_expansions == 0) {
    problems.emplace_back("stall_weight_expansions must be positive");
  }
  checkNonNegative(problems, "stall_expansions_per_metre", stall_expansions_per_metre);
  return problems;
}

const char* plannerStatusName(PlannerStatus status) noexcept {
  switch (status) {
    case PlannerStatus::SUCCESS: return "SUCCESS";
    case PlannerStatus::NO_PATH: return "NO_PATH";
    case PlannerStatus::TIMEOUT: return "TIMEOUT";
    case PlannerStatus::CANCELLED: return "CANCELLED";
    case PlannerStatus::INVALID_REQUEST: return "INVALID_REQUEST";
    case PlannerStatus::START_OUT_OF_BOUNDS: return "START_OUT_OF_BOUNDS";
    case PlannerStatus::GOAL_OUT_OF_BOUNDS: return "GOAL_OUT_OF_BOUNDS";
    case PlannerStatus::START_IN_COLLISION: return "START_IN_COLLISION";
    case PlannerStatus::GOAL_IN_COLLISION: return "GOAL_IN_COLLISION";
    case PlannerStatus::MAX_NODES_EXCEEDED: return "MAX_NODES_EXCEEDED";
    default: return "INTERNAL_ERROR";
  }
}

}  // namespace veltrax::se2
