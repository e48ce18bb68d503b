#include <optional>

#include "bindings.hpp"
#include "veltrax/se2/heuristic.hpp"

namespace veltrax::se2::python {

void bindHeuristic(py::module_& m) {
  py::class_<ObstacleHeuristic>(m, "ObstacleHeuristic")
      .def(py::init([](const Costmap& costmap, GridIndex goal, bool allow_unknown,
                       double cost_penalty, double clearance, std::optional<GridIndex> start,
                       double reach_factor) {
             return ObstacleHeuristic(costmap, goal, allow_unknown, cost_penalty, clearance,
                                      start.value_or(goal), reach_factor);
           }),
           py::arg("costmap"), py::arg("goal"), py::arg("allow_unknown"), py::arg("cost_penalty"),
           py::arg("clearance") = 0.0, py::arg("start") = py::none(), py::arg("reach_factor") = 0.0)
      .def_property_readonly("reach", &ObstacleHeuristic::reach)
      .def("distance", &ObstacleHeuristic::distance, py::arg("x"), py::arg("y"), py::pos_only(),
           "The heuristic's cost-weighted distance from cell (x, y) to the goal; values at or "
           "above\nreach stand for reach. IndexError \"heuristic index outside map\".");
}

}  // namespace veltrax::se2::python
