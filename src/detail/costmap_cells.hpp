#pragma once

#include <cstdint>
#include <vector>

#include "veltrax/se2/costmap.hpp"

namespace veltrax::se2::detail {

// Write access to a costmap's cells, for the planner's own copies that are changed in place.
struct CostmapCells {
  static std::vector<std::uint8_t>& of(Costmap& costmap) noexcept { return costmap.cells_; }
};

}  // namespace veltrax::se2::detail
