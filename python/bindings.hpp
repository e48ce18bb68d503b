#pragma once

// Every binding source includes this header, so all of them see the same type casters
// (mixing translation units with and without pybind11/stl.h would break the one-definition rule).
#include <pybind11/functional.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <vector>

#include "veltrax/se2/costmap.hpp"

namespace veltrax::se2::python {

namespace py = pybind11;

// The numpy uint8 array -> Costmap conversion shared by Costmap(...) and HybridAStar(cells, ...).
// A 2-D uint8 array's cells, row 0 first, copied: TypeError "costmap cells dtype must be uint8"
// (no casting) and ValueError "costmap cells must be a 2D array".
struct Grid {
  std::uint64_t width;
  std::uint64_t height;
  std::vector<std::uint8_t> cells;
};
Grid gridFromArray(const py::array& cells);

Costmap costmapFromArray(const py::array& cells, double resolution, double origin_x,
                         double origin_y);

// Classes, in registration order.
void bindGeometry(py::module_& m);    // Pose2D, Point2D, GridIndex
void bindFootprint(py::module_& m);   // footprint shapes, YawBinFootprintTemplates
void bindCostmap(py::module_& m);     // Costmap, the cost constants and cost_blocks
void bindCollision(py::module_& m);   // CollisionResult, CollisionChecker
void bindRecords(py::module_& m);     // PlannerConfig ... CancellationToken
void bindPlanner(py::module_& m);     // HybridAStar
void bindKinematics(py::module_& m);  // KinematicStateSpace ... MotionPrimitiveTable
void bindHeuristic(py::module_& m);   // ObstacleHeuristic
void bindSmoother(py::module_& m);    // PathSmoother
void bindSvgOptions(py::module_& m);  // SvgRenderOptions
void bindOccupancy(py::module_& m);   // OccupancyMode, OccupancyMapInfo
void bindIo(py::module_& m);          // MapFormat, MapLoadOptions

// Module-level functions, in registration order.
void bindGeometryFunctions(py::module_& m);   // normalize_yaw
void bindFootprintFunctions(py::module_& m);  // validate_footprint
void bindCostmapFunctions(py::module_& m);    // inflate_costmap
void bindIoFunctions(py::module_& m);         // loaders, writers, map_format, load_map
void bindRecordFunctions(py::module_& m);     // planner_status_name
void bindSvgFunctions(py::module_& m);        // render_plan_svg, save_plan_svg
void bindOccupancyFunctions(py::module_& m);  // map descriptions, occupancy to costs
void bindBatchFunctions(py::module_& m);      // plan_many

}  // namespace veltrax::se2::python
