#include "bindings.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/io.hpp"

namespace veltrax::se2::python {

void bindFileFunctions(py::module_& m) {
  m.def("inflate_costmap", &inflateCostmap, py::arg("source"), py::arg("inflation_radius"),
        py::arg("inscribed_radius"), py::arg("cost_scaling_factor"));
  m.def("load_costmap_csv", &loadCostmapCsv, py::arg("path"), py::arg("resolution"),
        py::arg("origin_x") = 0.0, py::arg("origin_y") = 0.0);
  m.def("load_costmap_pgm", &loadCostmapPgm, py::arg("path"), py::arg("resolution"),
        py::arg("origin_x") = 0.0, py::arg("origin_y") = 0.0);
  m.def("save_path_csv", &savePathCsv, py::arg("result"), py::arg("path"));
  m.def("save_result_json", &saveResultJson, py::arg("result"), py::arg("path"));
}

}  // namespace veltrax::se2::python
