#pragma once

// An independent, deliberately simple judge of footprint-against-costmap checks: the exact shape
// (disc or polygon, placed with long double trigonometry) against every closed cell square of the
// grid, in long double. Decisions that lie within `band` of a boundary (a vertex near a cell edge,
// a cell corner near a polygon edge, a disc grazing a cell, a bounding box flush with the grid)
// are reported as uncertain instead of being decided.

#include <cstdint>
#include <vector>

#include "veltrax/se2/collision.hpp"

namespace veltrax::se2::oracles {

struct ExactVerdict {
  bool uncertain = false;  // some decision was within the band; `result` is then meaningless
  CollisionResult result;
};

ExactVerdict exactCircleCheck(const Costmap& map, bool allow_unknown, const Pose2D& pose,
                              double radius, long double band);

ExactVerdict exactPolygonCheck(const Costmap& map, bool allow_unknown, const Pose2D& pose,
                               const std::vector<Point2D>& points, long double band);

}  // namespace veltrax::se2::oracles
