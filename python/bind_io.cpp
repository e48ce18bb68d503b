#include <optional>

#include "bindings.hpp"
#include "veltrax/se2/io.hpp"

namespace veltrax::se2::python {

void bindIo(py::module_& m) {
  py::enum_<MapFormat>(m, "MapFormat")
      .value("YAML", MapFormat::Yaml)
      .value("MOVINGAI", MapFormat::MovingAi)
      .value("PGM", MapFormat::Pgm)
      .value("CSV", MapFormat::Csv);
  py::class_<MapLoadOptions>(m, "MapLoadOptions")
      .def(py::init([](std::optional<double> resolution, double origin_x, double origin_y,
                       bool occupancy) {
             return MapLoadOptions{resolution, origin_x, origin_y, occupancy};
           }),
           py::arg("resolution") = py::none(), py::arg("origin_x") = 0.0, py::arg("origin_y") = 0.0,
           py::arg("occupancy") = false)
      .def_readwrite("resolution", &MapLoadOptions::resolution)
      .def_readwrite("origin_x", &MapLoadOptions::origin_x)
      .def_readwrite("origin_y", &MapLoadOptions::origin_y)
      .def_readwrite("occupancy", &MapLoadOptions::occupancy);
}

void bindIoFunctions(py::module_& m) {
  m.def("load_costmap_csv", &loadCostmapCsv, py::arg("path"), py::arg("resolution"),
        py::arg("origin_x") = 0.0, py::arg("origin_y") = 0.0);
  m.def("load_costmap_pgm", &loadCostmapPgm, py::arg("path"), py::arg("resolution"),
        py::arg("origin_x") = 0.0, py::arg("origin_y") = 0.0);
  m.def("save_path_csv", &savePathCsv, py::arg("result"), py::arg("path"));
  m.def("save_result_json", &saveResultJson, py::arg("result"), py::arg("path"));
  m.def("map_format", &mapFormat, py::arg("path"));
  const py::object defaults = py::cast(MapLoadOptions());
  m.def("load_map", &loadMap, py::arg("path"), py::arg_v("options", defaults, "MapLoadOptions()"));
}

}  // namespace veltrax::se2::python
