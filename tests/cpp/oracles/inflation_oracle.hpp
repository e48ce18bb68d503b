#pragma once

#include "detail/inflation.hpp"
#include "veltrax/se2/costmap.hpp"

namespace veltrax::se2::oracles {

// The plain definition: every non-lethal, known cell against every seed, one distance each.
// Parameters are assumed valid.
Costmap inflateByDirectScan(const Costmap& source, double inflation_radius, double inscribed_radius,
                            double cost_scaling_factor, detail::CellDistanceFunction distance);

}  // namespace veltrax::se2::oracles
