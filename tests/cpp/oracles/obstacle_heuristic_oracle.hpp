#pragma once

#include <vector>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2::oracles {

// The obstacle heuristic written the plain way: a std::priority_queue Dijkstra over
// (distance, row, column) with lazy deletion, bounds-checked cost reads and the penalty arithmetic
// in the loop. The fast version must give the same doubles, bit for bit.
std::vector<double> obstacleHeuristicDistances(const Costmap& costmap, GridIndex goal,
                                               bool allow_unknown, double cost_penalty);

}  // namespace veltrax::se2::oracles
