#include "bindings.hpp"

namespace veltrax::se2::python {

void bindCollision(py::module_& /*m*/) {}

}  // namespace veltrax::se2::python
