#include <exception>
#include <new>
#include <stdexcept>

#include "bindings.hpp"

namespace py = pybind11;
using namespace veltrax::se2::python;

namespace {

// Library exceptions arrive in Python with their text unchanged. The binding layer's own
// exceptions pass through to its default handling.
void translateLibraryException(std::exception_ptr thrown) {
  try {
    if (thrown) {
      std::rethrow_exception(thrown);
    }
  } catch (const py::builtin_exception&) {
    throw;
  } catch (const py::error_already_set&) {
    throw;
  } catch (const std::invalid_argument& e) {
    py::set_error(PyExc_ValueError, e.what());
  } catch (const std::domain_error& e) {
    py::set_error(PyExc_ValueError, e.what());
  } catch (const std::length_error& e) {
    py::set_error(PyExc_ValueError, e.what());
  } catch (const std::out_of_range& e) {
    py::set_error(PyExc_IndexError, e.what());
  } catch (const std::overflow_error& e) {
    py::set_error(PyExc_OverflowError, e.what());
  } catch (const std::bad_alloc&) {
    py::set_error(PyExc_MemoryError, "std::bad_alloc");
  } catch (const std::exception& e) {
    py::set_error(PyExc_RuntimeError, e.what());
  }
}

}  // namespace

// The macro supplies the multi-phase initialisation and the guard against an interpreter of
// another minor version than the one the module is built for.
PYBIND11_MODULE(_se2_planner, m, py::multiple_interpreters::not_supported()) {
  m.doc() = "Veltrax simulator-independent SE(2) planner primitives";
  py::register_local_exception_translator(translateLibraryException);

  bindGeometry(m);
  bindFootprint(m);
  bindCostmap(m);
  bindCollision(m);
  bindRecords(m);
  bindPlanner(m);
  bindKinematics(m);
  bindHeuristic(m);
  bindSmoother(m);
  bindSvgOptions(m);
  bindOccupancy(m);

  bindGeometryFunctions(m);
  bindFootprintFunctions(m);
  bindFileFunctions(m);
  bindRecordFunctions(m);
  bindSvgFunctions(m);
  bindOccupancyFunctions(m);
  bindBatchFunctions(m);
}
