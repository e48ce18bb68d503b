#include "bindings.hpp"

namespace veltrax::se2::python {

void bindKinematics(py::module_& /*m*/) {}

}  // namespace veltrax::se2::python
