#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "bindings.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/costs.hpp"

namespace veltrax::se2::python {

Grid gridFromArray(const py::array& cells) {
  // No casting: a caller handing us int64 or float costs has a bug we should not hide.
  if (!cells.dtype().equal(py::dtype::of<std::uint8_t>())) {
    throw py::type_error("costmap cells dtype must be uint8");
  }
  // Copies only when the array is sliced, transposed or Fortran-ordered.
  const auto contiguous = py::array_t<std::uint8_t, py::array::c_style>::ensure(cells);
  if (!contiguous) {
    throw py::error_already_set();
  }
  if (contiguous.ndim() != 2) {
    throw py::value_error("costmap cells must be a 2D array");
  }
  Grid grid{static_cast<std::uint64_t>(contiguous.shape(1)),
            static_cast<std::uint64_t>(contiguous.shape(0)),
            std::vector<std::uint8_t>(static_cast<std::size_t>(contiguous.size()))};
  if (!grid.cells.empty()) {
    std::memcpy(grid.cells.data(), contiguous.data(), grid.cells.size());
  }
  return grid;
}

Costmap costmapFromArray(const py::array& cells, double resolution, double origin_x,
                         double origin_y) {
  Grid grid = gridFromArray(cells);
  return Costmap(grid.width, grid.height, resolution, origin_x, origin_y, std::move(grid.cells));
}

void bindCostmap(py::module_& m) {
  py::class_<Costmap>(m, "Costmap")
      .def(py::init(&costmapFromArray), py::arg("cells").noconvert(), py::arg("resolution"),
           py::arg("origin_x"), py::arg("origin_y"))
      .def_property_readonly("width", &Costmap::width)
      .def_property_readonly("height", &Costmap::height)
      .def_property_readonly("resolution", &Costmap::resolution)
      .def_property_readonly("origin_x", &Costmap::originX)
      .def_property_readonly("origin_y", &Costmap::originY)
      .def_property_readonly(
          "cells_array",
          [](const Costmap& costmap) {
            py::array_t<std::uint8_t> out({static_cast<py::ssize_t>(costmap.height()),
                                           static_cast<py::ssize_t>(costmap.width())});
            std::memcpy(out.mutable_data(), costmap.cells().data(), costmap.cells().size());
            return out;
          })
      .def(
          "world_to_map",
          [](const Costmap& costmap, double x, double y) -> py::object {
            GridIndex index;
            if (!costmap.worldToMap(x, y, index)) {
              return py::none();
            }
            return py::make_tuple(index.x, index.y);
          },
          "The cell (x, y) holding the world point, or None outside the map.")
      .def(
          "map_to_world",
          [](const Costmap& costmap, std::uint64_t mx, std::uint64_t my) {
            const Pose2D centre = costmap.mapToWorld(mx, my);
            return py::make_tuple(centre.x, centre.y);
          },
          "The world position (metres) of cell (x, y)'s centre.")
      .def("get_cost", &Costmap::getCost, "The cost of cell (x, y); IndexError off the grid.");

  // The meaning of cost bytes, from the library's own definitions.
  m.attr("FREE_COST") = kFreeCost;
  m.attr("MAX_GRADED_COST") = kMaxGradedCost;
  m.attr("INSCRIBED_COST") = kInscribedCost;
  m.attr("LETHAL_COST") = kLethalCost;
  m.attr("UNKNOWN_COST") = kUnknownCost;
  m.def("cost_blocks", &costBlocks, py::arg("cost"), py::arg("allow_unknown"),
        "Whether a cell of this cost blocks the robot: lethal always, unknown unless allowed.");
}

void bindCostmapFunctions(py::module_& m) {
  m.def(
      "inflate_costmap_window",
      [](const Costmap& source, std::uint64_t x0, std::uint64_t y0, std::uint64_t width,
         std::uint64_t height, double inflation_radius, double inscribed_radius,
         double cost_scaling_factor) {
        std::vector<std::uint8_t> cells;
        {
          py::gil_scoped_release release;
          cells = inflateCostmapWindow(source, x0, y0, width, height, inflation_radius,
                                       inscribed_radius, cost_scaling_factor);
        }
        py::array_t<std::uint8_t> out(
            {static_cast<py::ssize_t>(height), static_cast<py::ssize_t>(width)});
        std::copy(cells.begin(), cells.end(), out.mutable_data());
        return out;
      },
      py::arg("source"), py::arg("x0"), py::arg("y0"), py::arg("width"), py::arg("height"),
      py::arg("inflation_radius"), py::arg("inscribed_radius"), py::arg("cost_scaling_factor"),
      "The cells of columns x0 .. x0 + width - 1 and rows y0 .. y0 + height - 1 of\n"
      "inflate_costmap(source, ...), as a (height, width) uint8 array, computed around the "
      "window\nonly: after a local change of the source, inflate the window the change reaches "
      "(grown by\nthe inflation radius) and hand it to HybridAStar.update_costmap. IndexError "
      "\"inflation window\nis outside the costmap\", ValueError \"invalid inflation "
      "parameters\".");
  m.def("inflate_costmap", &inflateCostmap, py::arg("source"), py::arg("inflation_radius"),
        py::arg("inscribed_radius"), py::arg("cost_scaling_factor"),
        "A new costmap in which every cell within `inscribed_radius` metres of a lethal cell "
        "(centre\nto centre) costs at least 253 and every cell out to `inflation_radius` at least "
        "252 *\nexp(-cost_scaling_factor * (d - inscribed_radius)), rounded and clamped to "
        "1..252. Lethal\nand unknown cells are kept; no cost is lowered. ValueError \"invalid "
        "inflation parameters\".");
}

}  // namespace veltrax::se2::python
