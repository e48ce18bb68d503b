#include "detail/free_cells.hpp"

#include <algorithm>
#include <cmath>
#include <variant>

#include "detail/path_sweep.hpp"

namespace veltrax::se2::detail {

void ZeroCostRegions::build(const Costmap& costmap) {
  const std::uint64_t width = costmap.width();
  const std::uint64_t height = costmap.height();
  const std::uint8_t* const cells = costmap.cells().data();
  sums_.assign((width + 1) * (height + 1), 0);
  for (std::uint64_t y = 0; y < height; ++y) {
    std::uint32_t row = 0;
    const std::uint32_t* const below = sums_.data() + y * (width + 1);
    std::uint32_t* const here = sums_.data() + (y + 1) * (width + 1);
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

void ZeroCostRegions::repair(const Costmap& costmap, std::uint64_t x0, std::uint64_t y0,
                             std::uint64_t x1, std::uint64_t y1) {
  const std::uint64_t width = costmap.width();
  const std::uint64_t height = costmap.height();
  x1 = std::min(x1, width);
  y1 = std::min(y1, height);
  if (!(x0 < x1 && y0 < y1)) {
    return;
  }
  const std::uint64_t stride = width + 1;
  const std::uint8_t* const cells = costmap.cells().data();
  std::uint32_t* const sums = sums_.data();
  // Sums left of the window keep their values, so each row starts from its count there.
  change_.assign(sums + y1 * stride + x0 + 1, sums + y1 * stride + stride);
  for (std::uint64_t y = y0; y < y1; ++y) {
    const std::uint32_t* const below = sums + y * stride;
    std::uint32_t* const here = sums + (y + 1) * stride;
    std::uint32_t row = here[x0] - below[x0];
    for (std::uint64_t x = x0; x < width; ++x) {
      row += cells[y * width + x] != 0 ? 1u : 0u;
      here[x + 1] = below[x + 1] + row;
    }
  }
  // Every later row moves by what the window's last one moved (modulo 2^32, exactly).
  const std::uint32_t* const last = sums + y1 * stride + x0 + 1;
  bool moved = false;
  for (std::size_t i = 0; i < change_.size(); ++i) {
    change_[i] = last[i] - change_[i];
    moved = moved || change_[i] != 0;
  }
  if (moved) {
    const std::size_t n = change_.size();
    const std::uint32_t* const delta = change_.data();
    for (std::uint64_t r = y1 + 1; r <= height; ++r) {
      std::uint32_t* const row = sums + r * stride + x0 + 1;
      for (std::size_t i = 0; i < n; ++i) {
        row[i] += delta[i];
      }
    }
  }
  for (std::uint64_t by = y0 / 8; by <= (y1 - 1) / 8; ++by) {
    std::uint8_t* const blocks = lethal_blocks_.data() + by * block_stride_;
    for (std::uint64_t bx = x0 / 8; bx <= (x1 - 1) / 8; ++bx) {
      std::uint8_t any = 0;
      for (std::uint64_t y = by * 8; y < std::min(by * 8 + 8, height); ++y) {
        for (std::uint64_t x = bx * 8; x < std::min(bx * 8 + 8, width); ++x) {
          any |= cells[y * width + x] >= kLethalCost ? 1 : 0;
        }
      }
      blocks[bx] = any;
    }
  }
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

bool sweepCollides(const FastCollisionCheck& check, const std::vector<Pose2D>& path,
                   double interpolation_step, const char* too_many_samples) {
  bool collides = false;
  sweepPath(
      path, interpolation_step,
      [&](const Pose2D& sample) {
        collides = !check.belowLethal(sample) && check(sample).collision;
        return collides;
      },
      too_many_samples);
  return collides;
}

}  // namespace veltrax::se2::detail
