#pragma once

#include <string>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/export.hpp"
#include "veltrax/se2/records.hpp"

namespace veltrax::se2 {

// An 8-bit PGM image (P2 or P5) as a costmap: cost = round(grey * 255 / maxval), no inversion;
// the first image row is the far edge of the map (largest y). Throws std::runtime_error for file
// and format problems ("input file is not a regular file: <path>" for devices and pipes, "PGM
// pixel data is truncated" also for a header claiming 2^63 pixels or more, "invalid PGM width" and
// the like for a header number that is zero or negative), std::invalid_argument /
// std::out_of_range "stoull" for numbers without digits after an optional sign or beyond 64 bits,
// std::invalid_argument "file path must not contain a NUL character", and the Costmap
// constructor's errors for the geometry.
VELTRAX_SE2_EXPORT Costmap loadCostmapPgm(const std::string& path, double resolution,
                                          double origin_x, double origin_y);

// A table of costs 0..255, separated by commas and/or whitespace, one grid row per line with the
// first data line as row 0 (at origin_y). Blank lines, lines of separators only and lines
// starting with '#' are skipped; separators may repeat, and an empty field between two commas is
// no value ("1,,2,,3" and ",1,2,3" are both the row 1, 2, 3). Messages quote at most 40 bytes of
// the line, non-printable ones as \xNN. Throws std::runtime_error for file and format problems,
// std::invalid_argument for a path holding a NUL character, and the Costmap constructor's errors.
VELTRAX_SE2_EXPORT Costmap loadCostmapCsv(const std::string& path, double resolution,
                                          double origin_x, double origin_y);

// Writes "x,y,yaw,direction" and one line per pose, doubles with 17 significant digits.
// Throws std::runtime_error "cannot open output file: <path>" or "failed to write path CSV:
// <path>" (see savePlanSvg in svg.hpp for the other file errors); an existing file is replaced
// only when the whole new one has been written.
VELTRAX_SE2_EXPORT void savePathCsv(const PlannerResult& result, const std::string& path);

// Writes the whole result as one JSON document (non-finite numbers as null). Throws
// std::runtime_error "cannot open output file: <path>" or "failed to write result JSON: <path>"
// (see savePlanSvg in svg.hpp for the other file errors); an existing file is replaced only when
// the whole new one has been written.
VELTRAX_SE2_EXPORT void saveResultJson(const PlannerResult& result, const std::string& path);

}  // namespace veltrax::se2
