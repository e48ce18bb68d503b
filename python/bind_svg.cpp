#include "bindings.hpp"

namespace veltrax::se2::python {

void bindSvgOptions(py::module_& /*m*/) {}

void bindSvgFunctions(py::module_& /*m*/) {}

}  // namespace veltrax::se2::python
