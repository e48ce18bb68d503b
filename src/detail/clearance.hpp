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

// The same for the cells of columns [x0, x1) and rows [y0, y1) only: cell (x, y) is written to
// out[(y - y0) * out_stride + x - x0].
void blockNearObstaclesIn(const Costmap& costmap, bool allow_unknown, double clearance,
                          std::uint64_t x0, std::uint64_t y0, std::uint64_t x1, std::uint64_t y1,
                          std::uint8_t* out, std::uint64_t out_stride,
                          const std::function<void()>& poll = {});

}  // namespace veltrax::se2::detail
