#include <cstdint>
#include <vector>

#include "bindings.hpp"
#include "veltrax/se2/occupancy_map.hpp"

namespace veltrax::se2::python {

namespace {

template <typename Cell>
py::array_t<std::uint8_t> costsLike(const py::array_t<Cell>& cells,
                                    const std::vector<std::uint8_t>& costs) {
  py::array_t<std::uint8_t> out(
      std::vector<py::ssize_t>(cells.shape(), cells.shape() + cells.ndim()));
  std::copy(costs.begin(), costs.end(), out.mutable_data());
  return out;
}

template <typename Cell>
std::vector<Cell> flatCells(const py::array& cells, const char* what) {
  // Exact dtype only: a silent cast would turn 255 into -1 or 300 into 44.
  if (!py::isinstance<py::array_t<Cell>>(cells)) {
    throw py::type_error(what);
  }
  const auto contiguous = py::array_t<Cell, py::array::c_style>::ensure(cells);
  return std::vector<Cell>(contiguous.data(), contiguous.data() + contiguous.size());
}

}  // namespace

void bindOccupancy(py::module_& m) {
  py::enum_<OccupancyMode>(m, "OccupancyMode")
      .value("TRINARY", OccupancyMode::Trinary)
      .value("SCALE", OccupancyMode::Scale)
      .value("RAW", OccupancyMode::Raw);
  py::class_<OccupancyMapInfo>(m, "OccupancyMapInfo")
      .def(py::init<>())
      .def_readwrite("image", &OccupancyMapInfo::image)
      .def_readwrite("resolution", &OccupancyMapInfo::resolution)
      .def_readwrite("origin_x", &OccupancyMapInfo::origin_x)
      .def_readwrite("origin_y", &OccupancyMapInfo::origin_y)
      .def_readwrite("negate", &OccupancyMapInfo::negate)
      .def_readwrite("occupied_thresh", &OccupancyMapInfo::occupied_thresh)
      .def_readwrite("free_thresh", &OccupancyMapInfo::free_thresh)
      .def_readwrite("mode", &OccupancyMapInfo::mode);
  py::class_<InflationParameters>(m, "InflationParameters")
      .def(py::init<>())
      .def_readwrite("inflation_radius", &InflationParameters::inflation_radius)
      .def_readwrite("inscribed_radius", &InflationParameters::inscribed_radius)
      .def_readwrite("cost_scaling_factor", &InflationParameters::cost_scaling_factor);
}

void bindOccupancyFunctions(py::module_& m) {
  m.def("read_occupancy_map_info", &readOccupancyMapInfo, py::arg("yaml_path"),
        "The checked fields of a map YAML file; a relative image name is resolved against "
        "the\nYAML file's folder. RuntimeError \"<path>: <what is wrong>\".");
  m.def(
      "occupancy_image_to_costs",
      [](const py::array& grey, const OccupancyMapInfo& info) {
        const auto cells = flatCells<std::uint8_t>(grey, "grey levels must be a uint8 array");
        return costsLike(py::array_t<std::uint8_t>::ensure(grey),
                         occupancyImageToCosts(cells, info));
      },
      py::arg("grey"), py::arg("info"),
      "Costs of 8-bit grey levels (uint8 array of any shape) under the info's mode, negate "
      "flag\nand thresholds; the result has the same shape.");
  m.def(
      "occupancy_percent_to_costs",
      [](const py::array& occupancy, double occupied_thresh, double free_thresh, bool scaled) {
        const auto cells = flatCells<std::int8_t>(occupancy, "occupancy must be an int8 array");
        return costsLike(py::array_t<std::int8_t>::ensure(occupancy),
                         occupancyPercentToCosts(cells, occupied_thresh, free_thresh, scaled));
      },
      py::arg("occupancy"), py::arg("occupied_thresh") = 0.65, py::arg("free_thresh") = 0.196,
      py::arg("scaled") = false,
      "Costs of occupancy percentages (int8 array: -1 unknown, 0..100): above "
      "occupied_thresh\n254, below free_thresh 0, in between 255 or, when scaled, graded 0..252. "
      "ValueError names a\nvalue outside -1..100.");
  m.def("load_occupancy_map", &loadOccupancyMap, py::arg("yaml_path"),
        "A map YAML file with a PGM image as a costmap (mode, negate and thresholds "
        "applied).\nRuntimeError naming the file and the problem; ValueError for a geometry the "
        "costmap refuses.");
  m.def("load_movingai_map", &loadMovingAiMap, py::arg("path"), py::arg("resolution"),
        py::arg("origin_x") = 0.0, py::arg("origin_y") = 0.0,
        "A MovingAI grid (.map) as a costmap, one character per cell of `resolution` metres: '.', "
        "'G'\nand 'S' free, '@', 'O', 'T' (trees) and 'W' (water) lethal; the first row is the top "
        "of the map.\nAlso the variant whose header names its characters (\"free .\", \"obstacle "
        "@\") with no type and\nno map line. RuntimeError \"<path>: <what is wrong>\"; ValueError "
        "for a geometry the costmap refuses.");
  m.def("default_inflation", &defaultInflation, py::arg("footprint"), py::arg("resolution"),
        "How occupancy maps are inflated for this footprint on cells of `resolution` metres: out "
        "to\nthe footprint's circumscribed radius (at least two cells), costs falling from 252 "
        "next to a\nlethal cell to about 10 there, no inscribed band. ValueError \"resolution must "
        "be finite and\npositive\" or the footprint's first problem.");
  m.def("inflate_for_footprint", &inflateForFootprint, py::arg("costmap"), py::arg("footprint"),
        "The occupancy map prepared for planning with this footprint: inflate_costmap "
        "with\ndefault_inflation(footprint, costmap.resolution). veltrax_se2.plan, plan_many and "
        "veltrax-plan\nprepare occupancy maps with it.");
}

}  // namespace veltrax::se2::python
