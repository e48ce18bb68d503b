#include <functional>
#include <vector>

#include "bindings.hpp"
#include "veltrax/se2/kinematics.hpp"
#include "veltrax/se2/primitives.hpp"

namespace veltrax::se2::python {

void bindKinematics(py::module_& m) {
  // Both classes are registered before the space's methods are defined, so that their
  // signatures name the sample class rather than its C++ type.
  py::class_<KinematicStateSpace> space(m, "KinematicStateSpace");
  py::class_<KinematicSample> sample(m, "KinematicSample");

  space.def(py::init<double, bool>(), py::arg("minimum_turning_radius"), py::arg("allow_reverse"))
      .def("distance", &KinematicStateSpace::distance,
           "Metres along the shortest Reeds-Shepp (or, without reverse, Dubins: not symmetric) "
           "curve\nbetween the poses. ValueError \"pose must be finite\" or \"poses are too far "
           "apart\".")
      .def("interpolate", &KinematicStateSpace::interpolate,
           "Poses along the shortest curve, excluding `from`, ending exactly at `to`, at "
           "most\n`spacing` metres apart.")
      .def("interpolate_with_directions", &KinematicStateSpace::interpolateWithDirections,
           "As interpolate, each sample tagged with the direction (1 forward, -1 reverse) of "
           "its\nsegment.")
      // (finished, kept samples): `keep` sees each sample as it is computed and may stop the walk.
      .def(
          "interpolate_while",
          [](const KinematicStateSpace& self, const Pose2D& from, const Pose2D& to, double spacing,
             const std::function<bool(const KinematicSample&)>& keep) {
            std::vector<KinematicSample> kept;
            const bool finished = self.interpolateWhile(from, to, spacing, kept, keep);
            return py::make_tuple(finished, kept);
          },
          "The samples of interpolate_with_directions, handed one at a time to the callback; "
          "stops\nat the first it refuses. Returns (whether every sample was kept, the kept "
          "samples).");

  // The direction reads as a plain int, not as a Direction member.
  sample.def_readonly("pose", &KinematicSample::pose)
      .def_property_readonly(
          "direction", [](const KinematicSample& s) { return static_cast<int>(s.direction); });

  py::enum_<Direction>(m, "Direction")
      .value("REVERSE", Direction::REVERSE)
      .value("ROTATION", Direction::ROTATION)
      .value("FORWARD", Direction::FORWARD);

  py::enum_<Steering>(m, "Steering")
      .value("RIGHT", Steering::RIGHT)
      .value("STRAIGHT", Steering::STRAIGHT)
      .value("LEFT", Steering::LEFT);

  py::class_<MotionPrimitive>(m, "MotionPrimitive")
      .def_property_readonly("direction",
                             [](const MotionPrimitive& primitive) { return primitive.direction; })
      .def_property_readonly("steering",
                             [](const MotionPrimitive& primitive) { return primitive.steering; })
      .def_readonly("length", &MotionPrimitive::length)
      .def_property_readonly("samples",
                             [](const MotionPrimitive& primitive) { return primitive.samples; })
      .def_readonly("curvature", &MotionPrimitive::curvature,
                    "1/m, positive to the left; 0 for straight moves and turns on the spot.")
      .def_property_readonly(
          "steering_index",
          [](const MotionPrimitive& primitive) {
            return static_cast<int>(primitive.steering_index);
          },
          "Which of the table's curvatures: -n..n with n = (steering_angles - 1) // 2, n at full "
          "lock\nleft; turns on the spot +-1.");

  py::class_<MotionPrimitiveTable>(m, "MotionPrimitiveTable")
      .def(py::init<double, const PlannerConfig&>(), py::arg("resolution"), py::arg("config"))
      .def("generate",
           py::overload_cast<const Pose2D&>(&MotionPrimitiveTable::generate, py::const_),
           "The motion primitives from the pose: straight and arcs forwards, and backwards or "
           "turns\non the spot as the configuration allows.")
      .def_property_readonly("primitive_length", &MotionPrimitiveTable::primitive_length);
}

}  // namespace veltrax::se2::python
