#pragma once

// The maps under data/ in the repository, read with the library's own PGM loader, for tests and
// benchmarks.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/io.hpp"

namespace veltrax::se2::testing {

inline std::string dataPath(const std::string& relative) {
  return std::string(VELTRAX_DATA_DIR) + "/" + relative;
}

// Grey level = cost (the benchmark maps), 0.05 m cells, first image row = largest y.
inline Costmap loadGreyCostmap(const std::string& relative, double origin_x = 0.0,
                               double origin_y = 0.0) {
  return loadCostmapPgm(dataPath(relative), 0.05, origin_x, origin_y);
}

// The occupancy convention of the maps' YAML files: occupancy = (255 - grey) / 255, occupied
// above 0.65, free below 0.196, unknown in between.
inline Costmap loadOccupancyMap(const std::string& relative, double origin_x, double origin_y) {
  const Costmap grey = loadGreyCostmap(relative, origin_x, origin_y);
  std::vector<std::uint8_t> cells(grey.cells().size());
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const double occupancy = (255.0 - grey.cells()[i]) / 255.0;
    cells[i] = occupancy > 0.65 ? kLethalCost : (occupancy < 0.196 ? 0 : kUnknownCost);
  }
  return Costmap(grey.width(), grey.height(), grey.resolution(), origin_x, origin_y,
                 std::move(cells));
}

}  // namespace veltrax::se2::testing
