#include <vector>

#include "bindings.hpp"
#include "veltrax/se2/collision.hpp"

namespace veltrax::se2::python {

void bindCollision(py::module_& m) {
  // Results come only from the checker, so the class has no constructor.
  py::class_<CollisionResult>(m, "CollisionResult")
      .def_readonly("collision", &CollisionResult::collision)
      .def_readonly("outside_map", &CollisionResult::outside_map)
      .def_readonly("max_cost", &CollisionResult::max_cost);

  // The checker refers to the costmap without owning it, so the costmap object must outlive it.
  py::class_<CollisionChecker>(m, "CollisionChecker")
      .def(py::init<const Costmap&, bool>(), py::arg("costmap"), py::arg("allow_unknown") = false,
           py::keep_alive<1, 2>())
      .def("check", &CollisionChecker::check,
           "Whether the footprint at the pose touches a blocking cell (254; 255 "
           "unless\nallow_unknown) or leaves the map, and the highest cost it touches (254 when "
           "outside).")
      .def("validate_path", &CollisionChecker::validatePath, py::arg("path"), py::arg("footprint"),
           py::arg("interpolation_step"),
           "check() along the path, sampled every `interpolation_step` metres; the first "
           "collision\nfound, or the highest cost along a free path.");
}

}  // namespace veltrax::se2::python
