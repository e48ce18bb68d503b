#pragma once

#include <string>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/planner.hpp"

namespace veltrax::se2 {

// An 8-bit PGM image (P2 or P5) as a costmap: cost = round(grey * 255 / maxval), no inversion;
// the first image row is the far edge of the map (largest y). Throws std::runtime_error for file
// and format problems, std::invalid_argument / std::out_of_range "stoull" for header numbers
// without digits or beyond 64 bits, and the Costmap constructor's errors for the geometry.
Costmap loadCostmapPgm(const std::string& path, double resolution, double origin_x,
                       double origin_y);

// A table of costs 0..255, separated by commas and/or whitespace, one grid row per line with the
// first data line as row 0 (at origin_y). Blank lines and lines starting with '#' are skipped.
// Throws std::runtime_error for file and format problems and the Costmap constructor's errors.
Costmap loadCostmapCsv(const std::string& path, double resolution, double origin_x,
                       double origin_y);

// Writes "x,y,yaw,direction" and one line per pose, doubles with 17 significant digits.
// Throws std::runtime_error "cannot open output file: <path>" or "failed to write path CSV:
// <path>"; an existing file is replaced only when the whole new one has been written.
void savePathCsv(const PlannerResult& result, const std::string& path);

// Writes the whole result as one JSON document (non-finite numbers as null). Throws
// std::runtime_error "cannot open output file: <path>" or "failed to write result JSON: <path>";
// an existing file is replaced only when the whole new one has been written.
void saveResultJson(const PlannerResult& result, const std::string& path);

}  // namespace veltrax::se2
