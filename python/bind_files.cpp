#include "bindings.hpp"

namespace veltrax::se2::python {

void bindFileFunctions(py::module_& /*m*/) {}

}  // namespace veltrax::se2::python
