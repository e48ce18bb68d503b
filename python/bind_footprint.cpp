#include "bindings.hpp"

namespace veltrax::se2::python {

void bindFootprint(py::module_& /*m*/) {}

void bindFootprintFunctions(py::module_& /*m*/) {}

}  // namespace veltrax::se2::python
