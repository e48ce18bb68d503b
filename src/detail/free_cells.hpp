#pragma once

#include <cstdint>
#include <vector>

#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/footprint.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2::detail {

// Counts of non-zero cells over any rectangle of a costmap in four loads (a summed-area table),
// so that a footprint placed over nothing but zero-cost cells is answered without walking them.
// A walk over zero cells can only yield {no collision, inside, max cost 0}, whatever the shape
// touches, so the shortcut is exact; anything else goes to the checker's exact walk.
class ZeroCostRegions {
 public:
  bool built() const noexcept { return width_ != 0; }
  // Not built any more; the table's memory is kept for the next build.
  void invalidate() noexcept { width_ = 0; }

  // The caller guarantees width x height fits 32-bit counts.
  void build(const Costmap& costmap);
  // After cells changed in rows from `first_row` on only: the sums of those rows again.
  void rebuildFrom(const Costmap& costmap, std::uint64_t first_row);

  // Non-zero cells in columns [x0, x1] and rows [y0, y1], inclusive, all on the grid.
  std::uint32_t nonZero(std::uint64_t x0, std::uint64_t y0, std::uint64_t x1,
                        std::uint64_t y1) const noexcept {
    const std::uint64_t stride = width_ + 1;
    const std::uint32_t* const s = sums_.data();
    return s[(y1 + 1) * stride + x1 + 1] - s[y0 * stride + x1 + 1] - s[(y1 + 1) * stride + x0] +
           s[y0 * stride + x0];
  }

 private:
  std::uint64_t width_ = 0;
  std::vector<std::uint32_t> sums_;  // (width + 1) x (height + 1), first row and column zero
};

// CollisionChecker::checkValidated with the zero-cost shortcut. The footprint's reach (largest
// distance of its outline from the pose) bounds its box; one extra cell on every side absorbs
// the rounding of the rotated vertices and of the cell range.
class FastCollisionCheck {
 public:
  FastCollisionCheck(const CollisionChecker& checker, const Footprint& footprint,
                     const ZeroCostRegions* regions);

  CollisionResult operator()(const Pose2D& pose) const {
    // A yaw that is not finite must still reach the checker's error.
    if (regions_ != nullptr && pose.yaw - pose.yaw == 0.0) {
      // The range is tested as computed, in cell units, so no rounding can carry it off the grid:
      // from 1 the conversion truncates like floor, and below width - 1 the widened range ends on
      // the grid. NaN fails every comparison and goes to the exact walk.
      const double x0 = (pose.x - reach_ - origin_x_) / resolution_;
      const double y0 = (pose.y - reach_ - origin_y_) / resolution_;
      const double x1 = (pose.x + reach_ - origin_x_) / resolution_;
      const double y1 = (pose.y + reach_ - origin_y_) / resolution_;
      if (x0 >= 1.0 && y0 >= 1.0 && x1 < x_end_ && y1 < y_end_ &&
          regions_->nonZero(static_cast<std::uint64_t>(x0) - 1, static_cast<std::uint64_t>(y0) - 1,
                            static_cast<std::uint64_t>(x1) + 1,
                            static_cast<std::uint64_t>(y1) + 1) == 0) {
        return CollisionResult{};
      }
    }
    return checker_.checkValidated(pose, footprint_);
  }

 private:
  const CollisionChecker& checker_;
  const Footprint& footprint_;
  const ZeroCostRegions* regions_;
  double reach_ = 0.0;
  double origin_x_ = 0.0;
  double origin_y_ = 0.0;
  double resolution_ = 1.0;
  // width - 1 and height - 1: the last column and row the widened range may reach.
  double x_end_ = 0.0;
  double y_end_ = 0.0;
};

}  // namespace veltrax::se2::detail
