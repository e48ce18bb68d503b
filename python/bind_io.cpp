#include <optional>

#include "bindings.hpp"
#include "veltrax/se2/io.hpp"

namespace veltrax::se2::python {

void bindIo(py::module_& m) {
  py::enum_<MapFormat>(m, "MapFormat", "The map file formats load_map reads.")
      .value("YAML", MapFormat::Yaml)
      .value("MOVINGAI", MapFormat::MovingAi)
      .value("PGM", MapFormat::Pgm)
      .value("CSV", MapFormat::Csv);
  py::class_<MapLoadOptions>(m, "MapLoadOptions",
                             "What load_map needs beyond the file: the cell size in metres and "
                             "the origin for\nall but YAML maps, and whether a PGM is an "
                             "occupancy image.")
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
        py::arg("origin_x") = 0.0, py::arg("origin_y") = 0.0,
        "Loads a costmap from a CSV file of integer costs 0..255, one row per line, the first line "
        "at\nthe largest y. `resolution` is the cell size in metres, (origin_x, origin_y) the "
        "lower-left\ncorner. FileError (a RuntimeError) for file problems, MapFormatError for bad "
        "contents,\nValueError for bad arguments.");
  m.def("load_costmap_pgm", &loadCostmapPgm, py::arg("path"), py::arg("resolution"),
        py::arg("origin_x") = 0.0, py::arg("origin_y") = 0.0,
        "Loads a costmap from a binary or ASCII PGM whose grey levels are costs (0 free, 254 "
        "lethal,\n255 unknown), the image's top row at the largest y. For occupancy images use\n"
        "veltrax_se2.load_map(..., occupancy=True). FileError (a RuntimeError) for file problems,"
        "\nMapFormatError for bad contents, ValueError for bad arguments.");
  m.def("save_path_csv", &savePathCsv, py::arg("result"), py::arg("path"),
        "Writes the path as CSV (x, y, yaw, direction per pose) to `path`, replacing the file "
        "only\nonce the whole new one is written. FileError (a RuntimeError) for file problems.");
  m.def("save_result_json", &saveResultJson, py::arg("result"), py::arg("path"),
        "Writes the result (status, message, path, directions, diagnostics, revisions) as JSON "
        "to\n`path`, replacing the file only once the whole new one is written. FileError (a\n"
        "RuntimeError) for file problems.");
  m.def("map_format", &mapFormat, py::arg("path"),
        "The format of a map file, by its extension (.yaml/.yml, .map, .pgm, .csv, any case), "
        "else by\nits first bytes (a PGM magic number, a MovingAI header). MapFormatError "
        "naming the formats\nfor anything else.");
  const py::object defaults = py::cast(MapLoadOptions());
  m.def("load_map", &loadMap, py::arg("path"), py::arg_v("options", defaults, "MapLoadOptions()"),
        "Loads a map file of any format map_format knows as a costmap: a map-server YAML file "
        "with\nits image, or a MovingAI grid, a PGM or a CSV of costs, which need "
        "options.resolution (with\noptions.occupancy a PGM is read as an occupancy image). "
        "FileError and MapFormatError\n(RuntimeErrors) for file problems and bad contents, "
        "ValueError for options that do not suit\nthe format.");
}

}  // namespace veltrax::se2::python
