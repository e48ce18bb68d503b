#include <cstdint>
#include <utility>
#include <vector>

#include "bindings.hpp"
#include "veltrax/se2/footprint.hpp"

namespace veltrax::se2::python {

void bindFootprint(py::module_& m) {
  py::class_<CircleFootprint>(m, "CircleFootprint")
      .def(py::init([](double radius) { return CircleFootprint{radius}; }), py::arg("radius"))
      .def_readwrite("radius", &CircleFootprint::radius);

  // List attributes are returned by value: a fresh list of copies on every read, so no Python
  // object ever points into a vector that a later assignment may free.
  py::class_<PolygonFootprint>(m, "PolygonFootprint")
      .def(
          py::init([](std::vector<Point2D> points) { return PolygonFootprint{std::move(points)}; }),
          py::arg("points"))
      .def_property(
          "points", [](const PolygonFootprint& polygon) { return polygon.points; },
          [](PolygonFootprint& polygon, std::vector<Point2D> points) {
            polygon.points = std::move(points);
          });

  py::class_<MultiPolygonFootprint>(m, "MultiPolygonFootprint")
      .def(py::init([](std::vector<PolygonFootprint> polygons) {
             return MultiPolygonFootprint{std::move(polygons)};
           }),
           py::arg("polygons"))
      .def_property(
          "polygons", [](const MultiPolygonFootprint& multi) { return multi.polygons; },
          [](MultiPolygonFootprint& multi, std::vector<PolygonFootprint> polygons) {
            multi.polygons = std::move(polygons);
          });

  py::class_<YawBinFootprintTemplates>(m, "YawBinFootprintTemplates")
      .def(py::init<Footprint, std::uint32_t>(), py::arg("footprint"), py::arg("angle_bins"))
      .def_property_readonly("angle_bins", &YawBinFootprintTemplates::angleBins)
      .def("yaw_to_bin", &YawBinFootprintTemplates::yawToBin,
           "The bin of a yaw (floor binning from yaw 0); ValueError \"yaw must be finite\".")
      .def(
          "at",
          [](const YawBinFootprintTemplates& templates, std::uint32_t bin) -> Footprint {
            return templates.at(bin);
          },
          "The footprint rotated for this yaw bin; IndexError \"yaw bin is out of range\".");
}

void bindFootprintFunctions(py::module_& m) {
  m.def("validate_footprint", &validateFootprint,
        "The footprint's problems in a fixed order; empty when usable.");
  m.def("inscribed_radius", &inscribedRadius, py::arg("footprint"),
        "Metres: the radius of the largest disc about the robot's origin inside the footprint "
        "(a\ncircle's radius; 0 when the origin lies outside or on the outline).");
}

}  // namespace veltrax::se2::python
