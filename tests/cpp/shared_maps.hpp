#pragma once

// The maps under data/ in the repository, read with the library's own PGM loader, for tests and
// benchmarks.

#include <string>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/io.hpp"
#include "veltrax/se2/occupancy_map.hpp"

namespace veltrax::se2::testing {

// Grey level = cost (the benchmark maps), 0.05 m cells, first image row = largest y.
inline Costmap loadGreyCostmap(const std::string& relative, double origin_x = 0.0,
                               double origin_y = 0.0) {
  return loadCostmapPgm(std::string(VELTRAX_DATA_DIR) + "/" + relative, 0.05, origin_x, origin_y);
}

// A PGM image read with the map-server occupancy convention (trinary, default thresholds).
inline Costmap loadOccupancyMap(const std::string& relative, double origin_x, double origin_y) {
  const Costmap grey = loadGreyCostmap(relative, origin_x, origin_y);
  return Costmap(grey.width(), grey.height(), grey.resolution(), origin_x, origin_y,
                 occupancyImageToCosts(grey.cells(), OccupancyMapInfo{}));
}

}  // namespace veltrax::se2::testing
