#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/errors.hpp"
#include "veltrax/se2/export.hpp"
#include "veltrax/se2/records.hpp"

namespace veltrax::se2 {

// An 8-bit PGM image (P2 or P5) as a costmap: cost = round(grey * 255 / maxval), no inversion;
// the first image row is the far edge of the map (largest y). Throws FileError for a file that
// cannot be read ("cannot open input file: <path>", "input file is not a regular file: <path>"
// for devices and pipes), MapFormatError for its contents ("PGM pixel data is truncated" also for
// a header claiming 2^63 pixels or more, "invalid PGM width" and the like for a header number
// that is no positive size, "invalid PGM pixel" for a pixel without digits), std::invalid_argument
// "file path must not contain a NUL character", and the Costmap constructor's errors for the
// geometry.
VELTRAX_SE2_EXPORT Costmap loadCostmapPgm(const std::string& path, double resolution,
                                          double origin_x, double origin_y);

// A table of costs 0..255, separated by commas and/or whitespace, one grid row per line with the
// first data line as row 0 (at origin_y). Blank lines, lines of separators only and lines
// starting with '#' are skipped; separators may repeat, and an empty field between two commas is
// no value ("1,,2,,3" and ",1,2,3" are both the row 1, 2, 3). Messages quote at most 40 bytes of
// the line, non-printable ones as \xNN. Throws FileError and MapFormatError as loadCostmapPgm
// does, std::invalid_argument for a path holding a NUL character, and the Costmap constructor's
// errors.
VELTRAX_SE2_EXPORT Costmap loadCostmapCsv(const std::string& path, double resolution,
                                          double origin_x, double origin_y);

// The map file formats loadMap reads.
enum class MapFormat : std::uint8_t {
  Yaml,      // a map-server description (.yaml, .yml) with a PGM or PNG image (occupancy_map.hpp)
  MovingAi,  // a MovingAI benchmark grid (.map)
  Pgm,       // costs as grey levels (.pgm), or an occupancy image
  Csv,       // costs as a table (.csv)
};

// The format of a map file: by its extension (case aside) when it has one of those above,
// otherwise by its first bytes (a PGM's "P2"/"P5" magic, a MovingAI grid's "type", "height" or
// "width" line). Throws MapFormatError "<path>: unknown map format (expected .yaml, .yml, .map,
// .pgm or .csv)" for anything else, a file that cannot be read included.
VELTRAX_SE2_EXPORT MapFormat mapFormat(const std::string& path);

// What loadMap needs beyond the file. A YAML description carries its own resolution and origin;
// the other formats need the cell size in metres and place cell (0, 0)'s corner at the origin.
struct MapLoadOptions {
  std::optional<double> resolution;
  double origin_x = 0.0;
  double origin_y = 0.0;
  // A PGM read as an occupancy image with the description's default thresholds (dark occupied,
  // light free, in between unknown) instead of as costs.
  bool occupancy = false;
};

// Any map file as a costmap, its format chosen by mapFormat: loadOccupancyMap, loadMovingAiMap,
// loadCostmapPgm (with occupancyImageToCosts under a default OccupancyMapInfo when
// options.occupancy) or loadCostmapCsv. Throws what mapFormat and those throw, a PGM's and a CSV's
// errors with "<path>: " before them as they say nothing of the file, and std::invalid_argument
// "<path>: a YAML map carries its own resolution and origin", "<path>: a resolution (cell size in
// metres) is required for .map maps" (.pgm, .csv) and "<path>: only PGM images can be read as
// occupancy" for options that do not suit the format.
VELTRAX_SE2_EXPORT Costmap loadMap(const std::string& path, const MapLoadOptions& options = {});

// Writes "x,y,yaw,direction" and one line per pose, doubles with 17 significant digits.
// Throws FileError "cannot open output file: <path>" or "failed to write path CSV:
// <path>" (see savePlanSvg in svg.hpp for the other file errors); an existing file is replaced
// only when the whole new one has been written.
VELTRAX_SE2_EXPORT void savePathCsv(const PlannerResult& result, const std::string& path);

// Writes the whole result as one JSON document (non-finite numbers as null). Throws FileError
// "cannot open output file: <path>" or "failed to write result JSON: <path>"
// (see savePlanSvg in svg.hpp for the other file errors); an existing file is replaced only when
// the whole new one has been written.
VELTRAX_SE2_EXPORT void saveResultJson(const PlannerResult& result, const std::string& path);

}  // namespace veltrax::se2
