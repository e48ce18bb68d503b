#include <vector>

#include "bindings.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/footprint.hpp"
#include "veltrax/se2/smoother.hpp"

namespace veltrax::se2::python {

void bindSmoother(py::module_& m) {
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
          py::pos_only(),
          "The path relaxed towards straight lines and back towards the input while every "
          "iterate\nstays collision-free and within the turning radius; endpoints never move. "
          "Paths of up to\ntwo poses, and smoother_max_iterations 0, come back unchanged without "
          "any check; otherwise\nValueError carries validate_path's messages (naming "
          "interpolation_step). Runs without the\ninterpreter lock.")
      .def_static("resample", &PathSmoother::resample, py::arg("path"), py::arg("spacing"),
                  py::pos_only(),
                  "Consecutive poses at most `spacing` metres apart; headings turn the short way, "
                  "turns on\nthe spot kept, repeated poses dropped.")
      .def_static("respects_turning_radius", &PathSmoother::respectsTurningRadius, py::arg("path"),
                  py::arg("minimum_turning_radius"), py::pos_only(),
                  "False when any step turns more tightly than the radius (1 % slack) or turns on "
                  "the spot.");
}

}  // namespace veltrax::se2::python
