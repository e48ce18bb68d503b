#include <memory>
#include <utility>
#include <vector>

#include "bindings.hpp"
#include "veltrax/se2/planner.hpp"

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
          py::arg("request"), py::arg("config"), py::arg("cancellation") = py::none(),
          "Plans one path. Outcomes are statuses in the result, never exceptions; releases "
          "the\ninterpreter lock while it searches. Calls on one planner run one after another; "
          "use one\nplanner per thread for parallel plans.")
      .def(
          "set_costmap",
          [](HybridAStar& planner, Costmap costmap) {
            const py::gil_scoped_release unlocked;
            planner.setCostmap(std::move(costmap));
          },
          py::arg("costmap"),
          "Replaces the planner's map for the next plan (a running plan keeps the map it "
          "started\nwith), keeping its reused memory; the next plan equals a new planner's on this "
          "map,\nwhatever its map_revision.")
      // `cells` as for Costmap: a 2-D uint8 array, its row 0 being map row y0.
      .def(
          "update_costmap",
          [](HybridAStar& planner, std::uint64_t x0, std::uint64_t y0, const py::array& cells) {
            const Grid grid = gridFromArray(cells);
            const py::gil_scoped_release unlocked;
            planner.updateCostmap(x0, y0, grid.width, grid.height, grid.cells);
          },
          py::arg("x0"), py::arg("y0"), py::arg("cells").noconvert(),
          "Replace the cells of a window of the map for the next plan (cells: 2-D uint8, row 0 "
          "is\nmap row y0), without waiting for a running plan. The next plan repairs what the "
          "change\ntouched and gives a new planner's results on the changed map.");
}

}  // namespace veltrax::se2::python
