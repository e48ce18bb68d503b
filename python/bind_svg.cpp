#include "bindings.hpp"
#include "veltrax/se2/svg.hpp"

namespace veltrax::se2::python {

void bindSvgOptions(py::module_& m) {
  py::class_<SvgRenderOptions>(m, "SvgRenderOptions")
      .def(py::init<>())
      .def_readwrite("pixels_per_cell", &SvgRenderOptions::pixels_per_cell)
      .def_readwrite("draw_grid", &SvgRenderOptions::draw_grid)
      .def_readwrite("draw_footprints", &SvgRenderOptions::draw_footprints)
      .def_readwrite("footprint_stride", &SvgRenderOptions::footprint_stride)
      .def_readwrite("path_color", &SvgRenderOptions::path_color)
      .def_readwrite("forward_color", &SvgRenderOptions::forward_color)
      .def_readwrite("reverse_color", &SvgRenderOptions::reverse_color)
      .def_readwrite("rotation_color", &SvgRenderOptions::rotation_color);
}

void bindSvgFunctions(py::module_& m) {
  // One default options object, built here and shared by every call that omits it; the
  // signature shows how to build it rather than its address.
  const py::object defaults = py::cast(SvgRenderOptions());
  m.def("render_plan_svg", &renderPlanSvg, py::arg("costmap"), py::arg("request"),
        py::arg("result"), py::arg_v("options", defaults, "SvgRenderOptions()"),
        "The plan drawn as an SVG document (map, path coloured by direction, footprints, start "
        "and\ngoal) as a string.");
  m.def("save_plan_svg", &savePlanSvg, py::arg("costmap"), py::arg("request"), py::arg("result"),
        py::arg("path"), py::arg_v("options", defaults, "SvgRenderOptions()"),
        "Writes render_plan_svg's document to `path`, replacing the file only once the whole new "
        "one\nis written. RuntimeError for file problems.");
}

}  // namespace veltrax::se2::python
