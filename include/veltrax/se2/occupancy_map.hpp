#pragma once

// Occupancy maps as robots keep them: a YAML description beside an image (the map-server
// convention), grids of occupancy percentages (-1 unknown, 0..100), and MovingAI benchmark grids.

#include <cstdint>
#include <string>
#include <vector>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/errors.hpp"
#include "veltrax/se2/export.hpp"
#include "veltrax/se2/footprint.hpp"

namespace veltrax::se2 {

// How grey levels become costs. Trinary: occupied 254, free 0, in between unknown 255. Scale: the
// in-between occupancies graded from 0 (at free_thresh) to 252 (at occupied_thresh). Raw: the
// pixel values are occupancy percentages 0..100 (255 unknown), thresholded as in trinary.
enum class OccupancyMode : std::uint8_t { Trinary, Scale, Raw };

// The checked fields of a map YAML file.
struct OccupancyMapInfo {
  std::string image;  // relative names are resolved against the YAML file's folder
  double resolution = 0.0;
  double origin_x = 0.0;
  double origin_y = 0.0;
  bool negate = false;  // grey/255 is the occupancy instead of (255 - grey)/255; not in raw mode
  double occupied_thresh = 0.65;
  double free_thresh = 0.196;
  OccupancyMode mode = OccupancyMode::Trinary;
};

// Reads and checks a map YAML file (image, resolution, origin [x, y, 0]; optional negate 0/1,
// occupied_thresh, free_thresh, mode). Throws MapFormatError "<yaml path>: <what is wrong>",
// e.g. "<path>: missing key 'resolution'", and FileError "cannot read map file <path>: <reason>"
// or "<path>: not a regular file".
VELTRAX_SE2_EXPORT OccupancyMapInfo readOccupancyMapInfo(const std::string& yaml_path);

// Costs of an image's 8-bit grey levels (any order of cells; the result keeps it) under the
// info's mode, negate flag and thresholds. Throws MapFormatError for a raw-mode pixel that is
// neither 0..100 nor 255, std::invalid_argument for thresholds outside 0 <= free <= occupied <= 1.
VELTRAX_SE2_EXPORT std::vector<std::uint8_t> occupancyImageToCosts(
    const std::vector<std::uint8_t>& grey, const OccupancyMapInfo& info);

// Costs of occupancy percentages as robots publish them (-1 unknown, 0..100): above
// occupied_thresh lethal, below free_thresh free, in between unknown or, when scaled, graded
// 0..252. Throws std::invalid_argument "occupancy value <v> is outside -1..100" and for
// thresholds outside 0 <= free <= occupied <= 1.
VELTRAX_SE2_EXPORT std::vector<std::uint8_t> occupancyPercentToCosts(
    const std::vector<std::int8_t>& occupancy, double occupied_thresh = 0.65,
    double free_thresh = 0.196, bool scaled = false);

// A map YAML file with a PGM or PNG image as a costmap. A PNG is read at 8 bits per channel (16-bit
// grey refused) with grey = (r + g + b) / 3 rounded down, and its fully transparent pixels (alpha
// or tRNS) are unknown. Throws what readOccupancyMapInfo and occupancyImageToCosts throw,
// "<image>: <reason>" for the image as the type its reader threw (other image formats:
// MapFormatError "<image>: only PGM and PNG images are read here") and std::invalid_argument
// "<image>: " and the Costmap constructor's message for a geometry it refuses.
VELTRAX_SE2_EXPORT Costmap loadOccupancyMap(const std::string& yaml_path);

// A MovingAI benchmark grid ("type octile", "height H", "width W", "map", then H rows of W
// characters, the first row the top of the map), one character per cell of `resolution` metres:
// '.', 'G' and 'S' (swamp) free, '@', 'O' (out of bounds), 'T' (trees) and 'W' (water) lethal,
// as a ground robot crosses neither trees nor water. Also read: the variant that names its
// characters, "height H", "width W", "free C", "obstacle C" (each repeatable, no type and no map
// line), whose cells are those characters only. Throws MapFormatError "<path>: <what is wrong>"
// (e.g. "unknown terrain 'X' in row 3 (expected one of . G S @ O T W)"), FileError "cannot read
// map file <path>: <reason>", std::invalid_argument "<path>: " and the Costmap constructor's
// message for a geometry it refuses.
VELTRAX_SE2_EXPORT Costmap loadMovingAiMap(const std::string& path, double resolution,
                                           double origin_x = 0.0, double origin_y = 0.0);

// How lethal cells of an occupancy map are inflated before planning (see inflateCostmap).
struct InflationParameters {
  double inflation_radius = 0.0;
  double inscribed_radius = 0.0;
  double cost_scaling_factor = 0.0;
};

// The inflation for a robot of this footprint on cells of `resolution` metres. The planner charges
// each motion the highest cost its footprint touches, so a cell's cost should say how close the
// robot's outline may come to a wall, not where its centre may be: costs fall from 252 next to a
// lethal cell to about 10 at the inflation radius, which is the footprint's circumscribed radius
// (at least two cells), with no inscribed band. Paths then keep up to one robot radius of
// clearance where the map leaves room and pass narrower gaps at a price. Throws
// std::invalid_argument "resolution must be finite and positive" and the footprint's first
// problem.
VELTRAX_SE2_EXPORT InflationParameters defaultInflation(const Footprint& footprint,
                                                        double resolution);

// An occupancy map prepared for planning with a robot of this footprint: inflateCostmap with
// defaultInflation(footprint, costmap.resolution()). The Python package, its command line and its
// batch planner prepare occupancy maps with it, so a query plans the same on all of them.
VELTRAX_SE2_EXPORT Costmap inflateForFootprint(const Costmap& costmap, const Footprint& footprint);

}  // namespace veltrax::se2
