#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "bindings.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/footprint.hpp"
#include "veltrax/se2/heuristic.hpp"
#include "veltrax/se2/planner.hpp"
#include "veltrax/se2/smoother.hpp"

namespace veltrax::se2::python {

void bindPlanner(py::module_& m) {
  py::class_<HybridAStar>(m, "HybridAStar")
      .def(py::init<Costmap>(), py::arg("costmap"))
      .def(
          py::init([](const py::array& cells, double resolution, double origin_x, double origin_y) {
            return std::make_unique<HybridAStar>(
                costmapFromArray(cells, resolution, origin_x, origin_y));
          }),
          py::arg("cells").noconvert(), py::arg("resolution"), py::arg("origin_x"),
          py::arg("origin_y"))
      // The search runs without the interpreter lock so that other threads (one of them perhaps
      // cancelling this call) keep running. The request and configuration are Python objects that
      // those threads may change meanwhile, so the search gets copies made under the lock; the
      // result is converted after the lock is back.
      .def(
          "plan",
          [](const HybridAStar& planner, const PlanRequest& request, const PlannerConfig& config,
             const CancellationToken* cancellation) {
            const PlanRequest own_request = request;
            const PlannerConfig own_config = config;
            const py::gil_scoped_release unlocked;
            return planner.plan(own_request, own_config, cancellation);
          },
          py::arg("request"), py::arg("config"), py::arg("cancellation") = py::none())
      .def(
          "set_costmap",
          [](HybridAStar& planner, Costmap costmap) {
            const py::gil_scoped_release unlocked;
            planner.setCostmap(std::move(costmap));
          },
          py::arg("costmap"))
      // `cells` as for Costmap: a 2-D uint8 array, its row 0 being map row y0.
      .def(
          "update_costmap",
          [](HybridAStar& planner, std::uint64_t x0, std::uint64_t y0, const py::array& cells) {
            if (!cells.dtype().equal(py::dtype::of<std::uint8_t>())) {
              throw py::type_error("costmap cells dtype must be uint8");
            }
            const auto contiguous = py::array_t<std::uint8_t, py::array::c_style>::ensure(cells);
            if (!contiguous) {
              throw py::error_already_set();
            }
            if (contiguous.ndim() != 2) {
              throw py::value_error("costmap cells must be a 2D array");
            }
            const auto height = static_cast<std::uint64_t>(contiguous.shape(0));
            const auto width = static_cast<std::uint64_t>(contiguous.shape(1));
            std::vector<std::uint8_t> data(contiguous.data(),
                                           contiguous.data() + contiguous.size());
            const py::gil_scoped_release unlocked;
            planner.updateCostmap(x0, y0, width, height, data);
          },
          py::arg("x0"), py::arg("y0"), py::arg("cells").noconvert());
}

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
      .def("distance", &ObstacleHeuristic::distance, py::arg("x"), py::arg("y"), py::pos_only());

  py::class_<PathSmoother>(m, "PathSmoother")
      // Up to smoother_max_iterations sweeps: run without the interpreter lock, so a long call
      // blocks only its own thread. The path and footprint arrive as copies; the configuration,
      // which other threads may change meanwhile, is copied under the lock. The checker and its
      // costmap are immutable, and the arguments keep them alive.
      .def_static(
          "smooth",
          [](const std::vector<Pose2D>& path, const CollisionChecker& checker,
             const Footprint& footprint, const PlannerConfig& config) {
            const PlannerConfig own_config = config;
            const py::gil_scoped_release unlocked;
            return PathSmoother::smooth(path, checker, footprint, own_config);
          },
          py::arg("path"), py::arg("checker"), py::arg("footprint"), py::arg("config"),
          py::pos_only())
      .def_static("resample", &PathSmoother::resample, py::arg("path"), py::arg("spacing"),
                  py::pos_only())
      .def_static("respects_turning_radius", &PathSmoother::respectsTurningRadius, py::arg("path"),
                  py::arg("minimum_turning_radius"), py::pos_only());
}

}  // namespace veltrax::se2::python
