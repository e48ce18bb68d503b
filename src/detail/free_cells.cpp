#include "detail/free_cells.hpp"

#include <algorithm>
#include <cmath>
#include <variant>

namespace veltrax::se2::detail {

void ZeroCostRegions::build(const Costmap& costmap) {
  sums_.assign((costmap.width() + 1) * (costmap.height() + 1), 0);
  rebuildFrom(costmap, 0);
}

void ZeroCostRegions::rebuildFrom(const Costmap& costmap, std::uint64_t first_row) {
  const std::uint64_t width = costmap.width();
  const std::uint64_t height = costmap.height();
  const std::uint64_t stride = width + 1;
  const std::uint8_t* const cells = costmap.cells().data();
  for (std::uint64_t y = first_row; y < height; ++y) {
    std::uint32_t row = 0;
    const std::uint32_t* const below = sums_.data() + y * stride;
    std::uint32_t* const here = sums_.data() + (y + 1) * stride;
    for (std::uint64_t x = 0; x < width; ++x) {
      row += cells[y * width + x] != 0 ? 1u : 0u;
      here[x + 1] = below[x + 1] + row;
    }
  }
  block_stride_ = (width + 7) / 8;
  lethal_blocks_.assign(block_stride_ * ((height + 7) / 8), 0);
  for (std::uint64_t y = 0; y < height; ++y) {
    std::uint8_t* const blocks = lethal_blocks_.data() + (y / 8) * block_stride_;
    for (std::uint64_t x = 0; x < width; ++x) {
      blocks[x / 8] |= cells[y * width + x] >= kLethalCost ? 1 : 0;
    }
  }
  width_ = width;
}

namespace {

double polygonReach(const PolygonFootprint& polygon) {
  double reach = 0.0;
  for (const Point2D& p : polygon.points) {
    reach = std::max(reach, std::hypot(p.x, p.y));
  }
  return reach;
}

}  // namespace

FastCollisionCheck::FastCollisionCheck(const CollisionChecker& checker, const Footprint& footprint,
                                       const ZeroCostRegions* regions)
    : checker_(checker), footprint_(footprint), regions_(regions) {
  double reach = 0.0;
  if (const auto* circle = std::get_if<CircleFootprint>(&footprint)) {
    reach = circle->radius;
  } else if (const auto* polygon = std::get_if<PolygonFootprint>(&footprint)) {
    reach = polygonReach(*polygon);
    // Rows pay off once they are long: a few cells across, the walk's cell-by-cell skip is
    // cheaper than setting up each row.
    if (reach >= kRowsFromCells * checker.costmap().resolution()) {
      polygon_ = polygon;
    }
  } else {
    for (const PolygonFootprint& part : std::get<MultiPolygonFootprint>(footprint).polygons) {
      reach = std::max(reach, polygonReach(part));
    }
  }
  const Costmap& costmap = checker.costmap();
  // The rotated vertices can exceed the reach by a few ulps; the extra cell covers far more.
  reach_ = reach * (1.0 + 1e-9);
  origin_x_ = costmap.originX();
  origin_y_ = costmap.originY();
  resolution_ = costmap.resolution();
  x_end_ = static_cast<double>(costmap.width()) - 1.0;
  y_end_ = static_cast<double>(costmap.height()) - 1.0;
  if (!(std::isfinite(reach_) && x_end_ > 1.0 && y_end_ > 1.0 && regions != nullptr &&
        regions->built())) {
    regions_ = nullptr;
  }
}

}  // namespace veltrax::se2::detail
