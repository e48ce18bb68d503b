#include "detail/free_cells.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <variant>

#include "detail/path_sweep.hpp"

namespace veltrax::se2::detail {

void ZeroCostRegions::build(const Costmap& costmap) {
  costmap_ = &costmap;
  width_ = costmap.width();
  height_ = costmap.height();
  tiles_x_ = (width_ + kSide - 1) / kSide;
  const std::uint64_t tiles = tiles_x_ * ((height_ + kSide - 1) / kSide);
  // Every tile of the pool is spare again; they stay allocated for the new map's reads.
  spare_.clear();
  for (std::size_t i = pool_.size(); i > 0; --i) {
    spare_.push_back(static_cast<std::uint32_t>(i - 1));
  }
  slot_.assign(static_cast<std::size_t>(tiles), 0);
}

void ZeroCostRegions::repair(const Costmap& costmap, std::uint64_t x0, std::uint64_t y0,
                             std::uint64_t x1, std::uint64_t y1) {
  costmap_ = &costmap;
  x1 = std::min(x1, width_);
  y1 = std::min(y1, height_);
  if (!(x0 < x1 && y0 < y1)) {
    return;
  }
  for (std::uint64_t ty = y0 / kSide; ty <= (y1 - 1) / kSide; ++ty) {
    for (std::uint64_t tx = x0 / kSide; tx <= (x1 - 1) / kSide; ++tx) {
      std::uint32_t& slot = slot_[ty * tiles_x_ + tx];
      if (slot != 0) {
        spare_.push_back(slot - 1);
        slot = 0;
      }
    }
  }
}

const ZeroCostRegions::Tile& ZeroCostRegions::tile(std::uint64_t tx, std::uint64_t ty) const {
  std::uint32_t& slot = slot_[ty * tiles_x_ + tx];
  if (slot != 0) {
    return *pool_[slot - 1];
  }
  if (spare_.empty() && pool_.size() >= most_tiles_) {
    // At the budget: every tile is dropped and built again when next read. Queries hold no tile
    // across this call, so none is pulled from under a reader.
    std::fill(slot_.begin(), slot_.end(), 0u);
    for (std::size_t i = pool_.size(); i > 0; --i) {
      spare_.push_back(static_cast<std::uint32_t>(i - 1));
    }
  }
  if (spare_.empty()) {
    pool_.push_back(std::make_unique<Tile>());
    spare_.push_back(static_cast<std::uint32_t>(pool_.size() - 1));
  }
  const std::uint32_t index = spare_.back();
  Tile& t = *pool_[index];
  const std::uint64_t x0 = tx * kSide;
  const std::uint64_t y0 = ty * kSide;
  const std::uint64_t w = std::min(kSide, width_ - x0);
  const std::uint64_t h = std::min(kSide, height_ - y0);
  const std::uint8_t* const cells = costmap_->cells().data();
  std::fill(std::begin(t.sums), std::begin(t.sums) + kStride, std::uint16_t{0});
  std::fill(std::begin(t.blocking), std::end(t.blocking), std::uint64_t{0});
  for (std::uint64_t y = 0; y < h; ++y) {
    const std::uint8_t* const row_cells = cells + (y0 + y) * width_ + x0;
    const std::uint16_t* const below = t.sums + y * kStride;
    std::uint16_t* const here = t.sums + (y + 1) * kStride;
    std::uint64_t* const bits = t.blocking + 2 * y;
    here[0] = 0;
    std::uint16_t row = 0;
    for (std::uint64_t x = 0; x < w; ++x) {
      row = static_cast<std::uint16_t>(row + (row_cells[x] != 0 ? 1 : 0));
      here[x + 1] = static_cast<std::uint16_t>(below[x + 1] + row);
      bits[x / 64] |= std::uint64_t{row_cells[x] >= kLethalCost ? 1u : 0u} << (x % 64);
    }
  }
  t.total = t.sums[h * kStride + w];
  spare_.pop_back();
  slot = index + 1;
  return t;
}

bool ZeroCostRegions::mayBlock(std::uint64_t x0, std::uint64_t y0, std::uint64_t x1,
                               std::uint64_t y1) const {
  // The bits of columns [from, to] of one word, 0 <= from <= to < 64.
  const auto span = [](std::uint64_t from, std::uint64_t to) {
    return (~std::uint64_t{0} >> (63 - to)) & (~std::uint64_t{0} << from);
  };
  for (std::uint64_t ty = y0 / kSide; ty <= y1 / kSide; ++ty) {
    for (std::uint64_t tx = x0 / kSide; tx <= x1 / kSide; ++tx) {
      const Tile& t = tile(tx, ty);
      // The range within the tile, inclusive.
      const std::uint64_t lx0 = std::max(x0, tx * kSide) - tx * kSide;
      const std::uint64_t lx1 = std::min(x1, tx * kSide + kSide - 1) - tx * kSide;
      const std::uint64_t ly0 = std::max(y0, ty * kSide) - ty * kSide;
      const std::uint64_t ly1 = std::min(y1, ty * kSide + kSide - 1) - ty * kSide;
      const std::uint64_t low = lx0 < 64 ? span(lx0, std::min<std::uint64_t>(lx1, 63)) : 0;
      const std::uint64_t high =
          lx1 >= 64 ? span(std::max<std::uint64_t>(lx0, 64) - 64, lx1 - 64) : 0;
      for (std::uint64_t y = ly0; y <= ly1; ++y) {
        if (((t.blocking[2 * y] & low) | (t.blocking[2 * y + 1] & high)) != 0) {
          return true;
        }
      }
    }
  }
  return false;
}

std::uint64_t ZeroCostRegions::nonZero(std::uint64_t x0, std::uint64_t y0, std::uint64_t x1,
                                       std::uint64_t y1) const {
  std::uint64_t count = 0;
  for (std::uint64_t ty = y0 / kSide; ty <= y1 / kSide; ++ty) {
    for (std::uint64_t tx = x0 / kSide; tx <= x1 / kSide; ++tx) {
      const Tile& t = tile(tx, ty);
      if (t.total == 0) {
        continue;
      }
      // The range within the tile, as corners of its table: [lx0, lx1) x [ly0, ly1).
      const std::uint64_t lx0 = std::max(x0, tx * kSide) - tx * kSide;
      const std::uint64_t lx1 = std::min(x1, tx * kSide + kSide - 1) - tx * kSide + 1;
      const std::uint64_t ly0 = std::max(y0, ty * kSide) - ty * kSide;
      const std::uint64_t ly1 = std::min(y1, ty * kSide + kSide - 1) - ty * kSide + 1;
      const std::uint16_t* const s = t.sums;
      count += static_cast<std::uint64_t>(s[ly1 * kStride + lx1]) + s[ly0 * kStride + lx0] -
               s[ly0 * kStride + lx1] - s[ly1 * kStride + lx0];
    }
  }
  return count;
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
