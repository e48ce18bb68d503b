#include "bindings.hpp"

namespace veltrax::se2::python {

void bindRecords(py::module_& /*m*/) {}

void bindRecordFunctions(py::module_& /*m*/) {}

}  // namespace veltrax::se2::python
