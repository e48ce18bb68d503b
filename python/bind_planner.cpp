#include "bindings.hpp"

namespace veltrax::se2::python {

void bindPlanner(py::module_& /*m*/) {}

void bindHeuristic(py::module_& /*m*/) {}

}  // namespace veltrax::se2::python
