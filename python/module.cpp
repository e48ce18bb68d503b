#include <exception>
#include <new>
#include <stdexcept>

#include "bindings.hpp"
#include "veltrax/se2/errors.hpp"

namespace py = pybind11;
using namespace veltrax::se2::python;

namespace {

// The Python classes of the library's FileError and MapFormatError, created with the module (which
// supports one interpreter only) and kept for its whole life.
PyObject* g_file_error = nullptr;
PyObject* g_map_format_error = nullptr;

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
  } catch (const veltrax::se2::FileError& e) {
    py::set_error(g_file_error, e.what());
  } catch (const veltrax::se2::MapFormatError& e) {
    py::set_error(g_map_format_error, e.what());
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
  // Subclasses of RuntimeError, which these failures raised before they had types of their own.
  g_file_error =
      py::exception<veltrax::se2::FileError>(m, "FileError", PyExc_RuntimeError).inc_ref().ptr();
  g_map_format_error =
      py::exception<veltrax::se2::MapFormatError>(m, "MapFormatError", PyExc_RuntimeError)
          .inc_ref()
          .ptr();
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
  bindIo(m);

  bindGeometryFunctions(m);
  bindFootprintFunctions(m);
  bindCostmapFunctions(m);
  bindIoFunctions(m);
  bindRecordFunctions(m);
  bindSvgFunctions(m);
  bindOccupancyFunctions(m);
  bindBatchFunctions(m);
}
