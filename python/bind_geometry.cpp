#include "bindings.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2::python {

void bindGeometry(py::module_& m) {
  py::class_<Pose2D>(m, "Pose2D")
      .def(py::init([](double x, double y, double yaw) {
             return Pose2D{x, y, yaw};
           }),
           py::arg("x") = 0.0, py::arg("y") = 0.0, py::arg("yaw") = 0.0)
      .def_readwrite("x", &Pose2D::x)
      .def_readwrite("y", &Pose2D::y)
      .def_readwrite("yaw", &Pose2D::yaw);

  py::class_<Point2D>(m, "Point2D")
      .def(py::init([](double x, double y) {
             return Point2D{x, y};
           }),
           py::arg("x") = 0.0, py::arg("y") = 0.0)
      .def_readwrite("x", &Point2D::x)
      .def_readwrite("y", &Point2D::y);

  py::class_<GridIndex>(m, "GridIndex")
      .def(py::init([](std::uint64_t x, std::uint64_t y) {
             return GridIndex{x, y};
           }),
           py::arg("x") = 0, py::arg("y") = 0)
      .def_readwrite("x", &GridIndex::x)
      .def_readwrite("y", &GridIndex::y);
}

void bindGeometryFunctions(py::module_& m) {
  m.def("normalize_yaw", &normalizeYaw, "The angle wrapped into [-pi, pi) radians.");
}

}  // namespace veltrax::se2::python
