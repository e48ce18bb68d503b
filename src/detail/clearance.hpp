#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "veltrax/se2/costmap.hpp"

namespace veltrax::se2::detail {

// The costmap's cells with every cell whose centre lies closer than `clearance` metres to the
// centre of a blocking cell (lethal, and unknown unless allowed) marked lethal. `poll`, when set,
// is called every few rows; an exception it throws ends the work.
std::vector<std::uint8_t> blockNearObstacles(const Costmap& costmap, bool allow_unknown,
                                             double clearance,
                                             const std::function<void()>& poll = {});

}  // namespace veltrax::se2::detail
