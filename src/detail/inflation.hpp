#pragma once

#include "veltrax/se2/costmap.hpp"

namespace veltrax::se2::detail {

// Distance in cells between two cell centres given the signed index differences. The library
// uses std::hypot; tests substitute functions that are not symmetric in sign or order, to prove
// that ties in squared distance are resolved exactly as a direct scan would.
using CellDistanceFunction = double (*)(double dx, double dy);

// The library's distance: std::hypot.
double hypotDistance(double dx, double dy);

// inflateCostmap (costmap.hpp) with this distance.
Costmap inflateCostmapWith(const Costmap& source, double inflation_radius, double inscribed_radius,
                           double cost_scaling_factor, CellDistanceFunction distance);

}  // namespace veltrax::se2::detail
