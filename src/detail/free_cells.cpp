#include "detail/free_cells.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
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

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The part of `polygon` (its points in order) with low <= x <= high: the polygon clipped by the
// two lines. For any outline the clipped points hold every extreme of the part, so their box
// is the part's box.
std::vector<Point2D> clipToStrip(const std::vector<Point2D>& polygon, double low, double high) {
  const auto clip = [](const std::vector<Point2D>& in, double bound, double side) {
    std::vector<Point2D> out;
    for (std::size_t i = 0; i < in.size(); ++i) {
      const Point2D& a = in[i];
      const Point2D& b = in[(i + 1) % in.size()];
      const bool a_in = side * (a.x - bound) >= 0.0;
      const bool b_in = side * (b.x - bound) >= 0.0;
      if (a_in) {
        out.push_back(a);
      }
      if (a_in != b_in) {
        const double t = (bound - a.x) / (b.x - a.x);
        out.push_back(Point2D{bound, a.y + t * (b.y - a.y)});
      }
    }
    return out;
  };
  return clip(clip(polygon, low, 1.0), high, -1.0);
}

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
  if (polygon_ != nullptr && regions_ != nullptr) {
    double low = kInfinity;
    double high = -kInfinity;
    double y_low = kInfinity;
    double y_high = -kInfinity;
    for (const Point2D& p : polygon_->points) {
      low = std::min(low, p.x);
      high = std::max(high, p.x);
      y_low = std::min(y_low, p.y);
      y_high = std::max(y_high, p.y);
    }
    const double pieces = std::ceil(2.0 * (high - low) / (y_high - y_low));
    if (pieces >= 2.0 && pieces <= 8.0) {
      const double length = (high - low) / pieces;
      for (int k = 0; k < static_cast<int>(pieces); ++k) {
        const double from = low + k * length;
        const double to = k + 1 == static_cast<int>(pieces) ? high : low + (k + 1) * length;
        slices_.push_back(clipToStrip(polygon_->points, from, to));
      }
    }
  }
}

bool FastCollisionCheck::slicesBelowLethal(const Pose2D& pose) const {
  const double c = std::cos(pose.yaw);
  const double s = std::sin(pose.yaw);
  for (const std::vector<Point2D>& slice : slices_) {
    double x_min = kInfinity;
    double y_min = kInfinity;
    double x_max = -kInfinity;
    double y_max = -kInfinity;
    for (const Point2D& p : slice) {
      const double x = pose.x + p.x * c - p.y * s;
      const double y = pose.y + p.x * s + p.y * c;
      x_min = std::min(x_min, x);
      x_max = std::max(x_max, x);
      y_min = std::min(y_min, y);
      y_max = std::max(y_max, y);
    }
    // The cell more on every side than the box covers the rounding of the turned corners.
    std::uint64_t x0 = 0;
    std::uint64_t y0 = 0;
    std::uint64_t x1 = 0;
    std::uint64_t y1 = 0;
    if (!cellsAround(x_min, y_min, x_max, y_max, 0.0, x0, y0, x1, y1) ||
        regions_->mayBlock(x0, y0, x1, y1)) {
      return false;
    }
  }
  return true;
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
