#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bindings.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2::python {

namespace {

py::array_t<double> pathArray(const PlannerResult& result) {
  const auto rows = static_cast<py::ssize_t>(result.path.size());
  py::array_t<double> array({rows, static_cast<py::ssize_t>(3)});
  auto view = array.mutable_unchecked<2>();
  for (py::ssize_t i = 0; i < rows; ++i) {
    const Pose2D& pose = result.path[static_cast<std::size_t>(i)];
    view(i, 0) = pose.x;
    view(i, 1) = pose.y;
    view(i, 2) = pose.yaw;
  }
  return array;
}

py::array_t<std::int8_t> directionsArray(const PlannerResult& result) {
  const auto count = static_cast<py::ssize_t>(result.directions.size());
  py::array_t<std::int8_t> array(count);
  auto view = array.mutable_unchecked<1>();
  for (py::ssize_t i = 0; i < count; ++i) {
    view(i) = static_cast<std::int8_t>(result.directions[static_cast<std::size_t>(i)]);
  }
  return array;
}

std::vector<std::int8_t> directionValues(const PlannerResult& result) {
  std::vector<std::int8_t> values;
  values.reserve(result.directions.size());
  for (Direction direction : result.directions) {
    values.push_back(static_cast<std::int8_t>(direction));
  }
  return values;
}

void setDirectionValues(PlannerResult& result, const std::vector<std::int8_t>& values) {
  std::vector<Direction> directions;
  directions.reserve(values.size());
  for (std::int8_t value : values) {
    directions.push_back(static_cast<Direction>(value));
  }
  result.directions = std::move(directions);
}

}  // namespace

void bindRecords(py::module_& m) {
  py::class_<PlannerConfig>(m, "PlannerConfig")
      .def(py::init<>())
      .def_readwrite("minimum_turning_radius", &PlannerConfig::minimum_turning_radius)
      .def_readwrite("allow_in_place_rotation", &PlannerConfig::allow_in_place_rotation)
      .def_readwrite("allow_reverse", &PlannerConfig::allow_reverse)
      .def_readwrite("angle_bins", &PlannerConfig::angle_bins)
      .def_readwrite("position_tolerance", &PlannerConfig::position_tolerance)
      .def_readwrite("yaw_tolerance", &PlannerConfig::yaw_tolerance)
      .def_readwrite("collision_check_step", &PlannerConfig::collision_check_step)
      .def_readwrite("path_output_spacing", &PlannerConfig::path_output_spacing)
      .def_readwrite("cost_penalty", &PlannerConfig::cost_penalty)
      .def_readwrite("non_straight_penalty", &PlannerConfig::non_straight_penalty)
      .def_readwrite("reverse_penalty", &PlannerConfig::reverse_penalty)
      .def_readwrite("direction_switch_penalty", &PlannerConfig::direction_switch_penalty)
      .def_readwrite("steering_change_penalty", &PlannerConfig::steering_change_penalty)
      .def_readwrite("retrospective_penalty", &PlannerConfig::retrospective_penalty)
      .def_readwrite("max_expanded_nodes", &PlannerConfig::max_expanded_nodes)
      .def_readwrite("max_planning_time_seconds", &PlannerConfig::max_planning_time_seconds)
      .def_readwrite("terminal_check_interval", &PlannerConfig::terminal_check_interval)
      .def_readwrite("allow_unknown", &PlannerConfig::allow_unknown)
      .def_readwrite("cache_obstacle_heuristic", &PlannerConfig::cache_obstacle_heuristic)
      .def_readwrite("analytic_expansion_ratio", &PlannerConfig::analytic_expansion_ratio)
      .def_readwrite("analytic_expansion_max_length", &PlannerConfig::analytic_expansion_max_length)
      .def_readwrite("analytic_expansion_max_cost", &PlannerConfig::analytic_expansion_max_cost)
      .def_readwrite("smooth_path", &PlannerConfig::smooth_path)
      .def_readwrite("smoother_max_iterations", &PlannerConfig::smoother_max_iterations)
      .def_readwrite("smoother_weight_data", &PlannerConfig::smoother_weight_data)
      .def_readwrite("smoother_weight_smooth", &PlannerConfig::smoother_weight_smooth)
      .def_readwrite("smoother_tolerance", &PlannerConfig::smoother_tolerance)
      .def_readwrite("heuristic_weight", &PlannerConfig::heuristic_weight)
      .def_readwrite("footprint_aware_heuristic", &PlannerConfig::footprint_aware_heuristic)
      .def_readwrite("heuristic_reach_factor", &PlannerConfig::heuristic_reach_factor)
      .def_readwrite("analytic_expansion_max_cusps", &PlannerConfig::analytic_expansion_max_cusps)
      .def_readwrite("return_partial_path", &PlannerConfig::return_partial_path)
      .def_readwrite("resample_along_arcs", &PlannerConfig::resample_along_arcs)
      .def_readwrite("wide_node_keys", &PlannerConfig::wide_node_keys)
      .def_readwrite("lazy_obstacle_heuristic", &PlannerConfig::lazy_obstacle_heuristic)
      .def_readwrite("penalized_kinematic_heuristic", &PlannerConfig::penalized_kinematic_heuristic)
      .def("validate", &PlannerConfig::validate);
  m.def(
      "recommended_config",
      [](double resolution, const Footprint& footprint, bool allow_in_place_rotation,
         std::optional<double> minimum_turning_radius) {
        return minimum_turning_radius
                   ? recommendedConfig(resolution, footprint, allow_in_place_rotation,
                                       *minimum_turning_radius)
                   : recommendedConfig(resolution, footprint, allow_in_place_rotation);
      },
      py::arg("resolution"), py::arg("footprint"), py::arg("allow_in_place_rotation") = false,
      py::arg("minimum_turning_radius") = py::none());

  // Record-typed attributes read as views into the request (reference_internal).
  py::class_<PlanRequest>(m, "PlanRequest")
      .def(py::init<>())
      .def_readwrite("start", &PlanRequest::start)
      .def_readwrite("goal", &PlanRequest::goal)
      .def_readwrite("footprint", &PlanRequest::footprint)
      .def_readwrite("map_revision", &PlanRequest::map_revision)
      .def_readwrite("goal_revision", &PlanRequest::goal_revision)
      .def_readwrite("robot_revision", &PlanRequest::robot_revision);

  py::enum_<PlannerStatus>(m, "PlannerStatus")
      .value("SUCCESS", PlannerStatus::SUCCESS)
      .value("NO_PATH", PlannerStatus::NO_PATH)
      .value("TIMEOUT", PlannerStatus::TIMEOUT)
      .value("CANCELLED", PlannerStatus::CANCELLED)
      .value("INVALID_REQUEST", PlannerStatus::INVALID_REQUEST)
      .value("START_OUT_OF_BOUNDS", PlannerStatus::START_OUT_OF_BOUNDS)
      .value("GOAL_OUT_OF_BOUNDS", PlannerStatus::GOAL_OUT_OF_BOUNDS)
      .value("START_IN_COLLISION", PlannerStatus::START_IN_COLLISION)
      .value("GOAL_IN_COLLISION", PlannerStatus::GOAL_IN_COLLISION)
      .value("MAX_NODES_EXCEEDED", PlannerStatus::MAX_NODES_EXCEEDED)
      .value("INTERNAL_ERROR", PlannerStatus::INTERNAL_ERROR);

  py::class_<PlannerDiagnostics>(m, "PlannerDiagnostics")
      .def(py::init<>())
      .def_readwrite("obstacle_heuristic_cache_hit",
                     &PlannerDiagnostics::obstacle_heuristic_cache_hit)
      .def_readwrite("total_time_ms", &PlannerDiagnostics::total_time_ms)
      .def_readwrite("search_time_ms", &PlannerDiagnostics::search_time_ms)
      .def_readwrite("obstacle_heuristic_time_ms", &PlannerDiagnostics::obstacle_heuristic_time_ms)
      .def_readwrite("kinematic_heuristic_time_ms",
                     &PlannerDiagnostics::kinematic_heuristic_time_ms)
      .def_readwrite("collision_check_time_ms", &PlannerDiagnostics::collision_check_time_ms)
      .def_readwrite("analytic_expansion_time_ms", &PlannerDiagnostics::analytic_expansion_time_ms)
      .def_readwrite("smoothing_time_ms", &PlannerDiagnostics::smoothing_time_ms)
      .def_readwrite("expanded_nodes", &PlannerDiagnostics::expanded_nodes)
      .def_readwrite("generated_nodes", &PlannerDiagnostics::generated_nodes)
      .def_readwrite("collision_checks", &PlannerDiagnostics::collision_checks)
      .def_readwrite("path_length", &PlannerDiagnostics::path_length)
      .def_readwrite("reverse_count", &PlannerDiagnostics::reverse_count)
      .def_readwrite("direction_switch_count", &PlannerDiagnostics::direction_switch_count)
      .def_readwrite("in_place_rotation_count", &PlannerDiagnostics::in_place_rotation_count)
      .def_readwrite("wait_time_ms", &PlannerDiagnostics::wait_time_ms);

  // List attributes are copies both ways: a read builds a new list of new poses (a plain
  // def_readwrite would hand out poses that are views into the result).
  py::class_<PlannerResult>(m, "PlannerResult")
      .def(py::init<>())
      .def_readwrite("status", &PlannerResult::status)
      .def_readwrite("message", &PlannerResult::message)
      .def_property(
          "path", [](const PlannerResult& result) { return result.path; },
          [](PlannerResult& result, std::vector<Pose2D> path) { result.path = std::move(path); })
      .def_property("directions", &directionValues, &setDirectionValues)
      .def_property_readonly("path_array", &pathArray)
      .def_property_readonly("directions_array", &directionsArray)
      .def_readwrite("diagnostics", &PlannerResult::diagnostics)
      .def_readwrite("map_revision", &PlannerResult::map_revision)
      .def_readwrite("goal_revision", &PlannerResult::goal_revision)
      .def_readwrite("robot_revision", &PlannerResult::robot_revision)
      .def_readwrite("partial", &PlannerResult::partial)
      .def("matches_revisions", &PlannerResult::matchesRevisions);

  py::class_<CancellationToken>(m, "CancellationToken")
      .def(py::init<>())
      .def("cancel", &CancellationToken::cancel)
      .def("reset", &CancellationToken::reset)
      .def_property_readonly("cancelled", &CancellationToken::cancelled);
}

void bindRecordFunctions(py::module_& m) {
  m.def("planner_status_name", [](PlannerStatus status) { return plannerStatusName(status); });
}

}  // namespace veltrax::se2::python
