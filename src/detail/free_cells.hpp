#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/footprint.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2::detail {

struct SweptStencil;

// Counts of non-zero cells over any rectangle of a costmap in a few loads (summed-area tables of
// 128 x 128-cell tiles), so that a footprint placed over nothing but zero-cost cells is answered
// without walking them. A walk over zero cells can only yield {no collision, inside, max cost
// 0}, whatever the shape touches, so the shortcut is exact; anything else goes to the checker's
// exact walk. Tiles are built when first read and rebuilt when their cells change, so a large
// map pays for the tiles its plans reach, and an update for the tiles it touches.
class ZeroCostRegions {
 public:
  // At most this many tiles are kept (about 35 KiB each): past it, all are dropped and built
  // again as they are read, so a planner that roams a huge map keeps a bounded table.
  static constexpr std::size_t kMostTiles = 4096;
  explicit ZeroCostRegions(std::size_t most_tiles = kMostTiles) : most_tiles_(most_tiles) {}
  ZeroCostRegions(const ZeroCostRegions&) = delete;
  ZeroCostRegions& operator=(const ZeroCostRegions&) = delete;

  bool built() const noexcept { return width_ != 0; }
  // Not built any more; the tiles' memory is kept for the next build.
  void invalidate() noexcept { width_ = 0; }

  // For `costmap`, no tile built yet.
  void build(const Costmap& costmap);
  // The costmap the tiles are read from, set before every use: the planner's map may be another
  // object with the same cells.
  void bind(const Costmap& costmap) noexcept { costmap_ = &costmap; }
  // After cells changed in columns [x0, x1) of rows [y0, y1) only: the tiles they lie in are
  // built again when next read.
  void repair(const Costmap& costmap, std::uint64_t x0, std::uint64_t y0, std::uint64_t x1,
              std::uint64_t y1);

  // Whether a cell of cost 254 or 255 (the only ones that can block) lies in columns [x0, x1]
  // and rows [y0, y1], inclusive, all on the grid: each tile row's such cells are kept as bits,
  // so a few words per row tell.
  bool mayBlock(std::uint64_t x0, std::uint64_t y0, std::uint64_t x1, std::uint64_t y1) const;

  // Non-zero cells in columns [x0, x1] and rows [y0, y1], inclusive, all on the grid.
  std::uint64_t nonZero(std::uint64_t x0, std::uint64_t y0, std::uint64_t x1,
                        std::uint64_t y1) const;

 private:
  static constexpr std::uint64_t kSide = 128;
  static constexpr std::uint64_t kStride = kSide + 1;
  struct Tile {
    std::uint32_t total;  // non-zero cells in the tile
    // (kSide + 1)^2 counts of the cells below and left of each corner, first row and column 0.
    std::uint16_t sums[kStride * kStride];
    // Per row, two words: bit x of the row's cells of cost >= 254.
    std::uint64_t blocking[2 * kSide];
  };

  const Tile& tile(std::uint64_t tx, std::uint64_t ty) const;

  std::size_t most_tiles_;
  std::uint64_t width_ = 0;
  std::uint64_t height_ = 0;
  std::uint64_t tiles_x_ = 0;
  const Costmap* costmap_ = nullptr;
  // Built when first read, by queries that are otherwise const.
  mutable std::vector<std::uint32_t> slot_;  // per tile: 0 while unbuilt, else 1 + its index
  mutable std::vector<std::unique_ptr<Tile>> pool_;
  mutable std::vector<std::uint32_t> spare_;  // pool entries no tile uses
};

// CollisionChecker::checkPolygon's answer, bit for bit, found row by row: the run of squares
// with a corner inside the outline is folded in one sweep, and only the squares at its ends
// that could change the answer get the exact test. Costs little more for a large outline than
// for a small one. Why it agrees with the walk: docs/collision_prefilter.md. Unless `complete`,
// it returns at the first blocking cell it finds, and the max_cost of a collision is then only
// a lower bound.
CollisionResult checkPolygonByRows(const CollisionChecker& checker, const Pose2D& pose,
                                   const PolygonFootprint& polygon, bool complete);

// The largest cost under the footprint placed at every pose of `samples`, as checking them one by
// one would give it, when it can be told for the samples as a whole: every cell touched for
// certain by some sample's walk (a corner inside) is folded once, and every other cell any
// sample's walk could reach must be unable to change the answer or pass each sample's exact
// test. False, with `cost` unspecified, when some sample collides or leaves the grid (the walk
// sample by sample then says which first; `collides` is set when one surely does), or when it
// cannot be told so.
bool sweptPolygonCost(const CollisionChecker& checker, const std::vector<Pose2D>& samples,
                      const PolygonFootprint& polygon, std::uint8_t& cost, bool& collides);

enum class StencilOutcome {
  kCost,       // no sample collides; `cost` is their highest cost
  kCollision,  // sample `first_collision` is the first to collide
  kUndecided,  // the stencil cannot tell (a cell it might touch is off the grid)
};

// What checking `samples`, which start from `start`, one by one would find, told from the stencil
// built for them (SweptStencil::matches holds): its surely touched cells are folded blind, and
// its possibly touched ones given the samples' exact tests only where they could change the
// answer. `scratch` is working storage, kept between calls.
StencilOutcome stencilPolygonCost(const CollisionChecker& checker, const SweptStencil& stencil,
                                  const Pose2D& start, const std::vector<Pose2D>& samples,
                                  const PolygonFootprint& polygon, std::uint8_t& cost,
                                  std::size_t& first_collision,
                                  std::vector<std::uint64_t>& scratch);

// CollisionChecker::checkValidated with the zero-cost shortcut, and polygons checked by rows. The
// max_cost of a collision is only a lower bound: the search needs only the collision then. The
// footprint's reach (largest distance of its outline from the pose) bounds its box; one extra cell
// on every side absorbs the rounding of the rotated vertices and of the cell range.
class FastCollisionCheck {
 public:
  FastCollisionCheck(const CollisionChecker& checker, const Footprint& footprint,
                     const ZeroCostRegions* regions);

  CollisionResult operator()(const Pose2D& pose) const {
    // A yaw that is not finite must still reach the checker's error.
    if (regions_ != nullptr && pose.yaw - pose.yaw == 0.0 &&
        allZero(pose.x, pose.y, pose.x, pose.y)) {
      return CollisionResult{};
    }
    if (polygon_ != nullptr && std::isfinite(pose.x) && std::isfinite(pose.y) &&
        std::isfinite(pose.yaw)) {
      return checkPolygonByRows(checker_, pose, *polygon_, false);
    }
    return checker_.checkValidated(pose, footprint_);
  }

  // True when the footprint at the pose surely touches no cell of cost 254 or 255: it cannot
  // collide, and its max_cost is at most 253. False when that cannot be told.
  bool belowLethal(const Pose2D& pose) const {
    std::uint64_t x0 = 0;
    std::uint64_t y0 = 0;
    std::uint64_t x1 = 0;
    std::uint64_t y1 = 0;
    if (regions_ == nullptr || pose.yaw - pose.yaw != 0.0) {
      return false;
    }
    if (!slices_.empty()) {
      return slicesBelowLethal(pose);
    }
    return cellsAround(pose.x, pose.y, pose.x, pose.y, reach_, x0, y0, x1, y1) &&
           !regions_->mayBlock(x0, y0, x1, y1);
  }

  // The footprint when it is a single polygon large enough to be checked by rows, else null.
  const PolygonFootprint* polygon() const noexcept { return polygon_; }
  const CollisionChecker& checker() const noexcept { return checker_; }
  const ZeroCostRegions* regions() const noexcept { return regions_; }

  // True when every pose of the list would be answered {no collision, inside, max cost 0} by
  // the zero-cost shortcut alone: their positions' box, widened like one pose's, covers only
  // zero cells. False when that cannot be told, or for an empty list.
  bool allZero(const std::vector<Pose2D>& poses) const {
    if (regions_ == nullptr || poses.empty()) {
      return false;
    }
    double x_min = poses.front().x;
    double x_max = x_min;
    double y_min = poses.front().y;
    double y_max = y_min;
    bool finite_yaws = true;
    for (const Pose2D& p : poses) {
      x_min = std::min(x_min, p.x);
      x_max = std::max(x_max, p.x);
      y_min = std::min(y_min, p.y);
      y_max = std::max(y_max, p.y);
      finite_yaws = finite_yaws && p.yaw - p.yaw == 0.0;
    }
    return finite_yaws && allZero(x_min, y_min, x_max, y_max);
  }

 private:
  // The footprint's box around every position of [x_min, x_max] x [y_min, y_max], and a cell
  // more, on the grid and over zero cells only. The range is tested as computed, in cell units,
  // so no rounding can carry it off the grid: from 1 the conversion truncates like floor, and
  // below width - 1 the widened range ends on the grid. NaN fails every comparison.
  bool allZero(double x_min, double y_min, double x_max, double y_max) const {
    std::uint64_t x0 = 0;
    std::uint64_t y0 = 0;
    std::uint64_t x1 = 0;
    std::uint64_t y1 = 0;
    return cellsAround(x_min, y_min, x_max, y_max, reach_, x0, y0, x1, y1) &&
           regions_->nonZero(x0, y0, x1, y1) == 0;
  }

  // belowLethal for a long polygon: each slice's box at the pose's yaw, a cell wider on every
  // side, holds no blocking cell. Far tighter than the reach's box around a car between cars.
  bool slicesBelowLethal(const Pose2D& pose) const;

  // The cells of the box widened by `widen` (the reach, or nothing for a box that already holds
  // the outline) and a cell; false when they are not on the grid.
  bool cellsAround(double x_min, double y_min, double x_max, double y_max, double widen,
                   std::uint64_t& cx0, std::uint64_t& cy0, std::uint64_t& cx1,
                   std::uint64_t& cy1) const {
    const double x0 = (x_min - widen - origin_x_) / resolution_;
    const double y0 = (y_min - widen - origin_y_) / resolution_;
    const double x1 = (x_max + widen - origin_x_) / resolution_;
    const double y1 = (y_max + widen - origin_y_) / resolution_;
    if (!(x0 >= 1.0 && y0 >= 1.0 && x1 < x_end_ && y1 < y_end_)) {
      return false;
    }
    cx0 = static_cast<std::uint64_t>(x0) - 1;
    cy0 = static_cast<std::uint64_t>(y0) - 1;
    cx1 = static_cast<std::uint64_t>(x1) + 1;
    cy1 = static_cast<std::uint64_t>(y1) + 1;
    return true;
  }

  const CollisionChecker& checker_;
  const Footprint& footprint_;
  // A polygon reaching this many cells from its pose or more is checked by rows.
  static constexpr double kRowsFromCells = 8.0;

  const ZeroCostRegions* regions_;
  // The footprint when it is a single polygon checked by rows.
  const PolygonFootprint* polygon_ = nullptr;
  double reach_ = 0.0;
  // A long single polygon cut across its length into pieces about half as long as it is wide,
  // each piece's corners: together they hold the polygon. Empty for other footprints.
  std::vector<std::vector<Point2D>> slices_;
  double origin_x_ = 0.0;
  double origin_y_ = 0.0;
  double resolution_ = 1.0;
  // width - 1 and height - 1: the last column and row the widened range may reach.
  double x_end_ = 0.0;
  double y_end_ = 0.0;
};

// Whether the footprint swept along `path` at `interpolation_step` collides, as
// sweepFootprint(...).collision answers: poses whose cells hold no blocking one are passed on
// the table's blocks alone. `too_many_samples` as for sweepFootprint.
bool sweepCollides(const FastCollisionCheck& check, const std::vector<Pose2D>& path,
                   double interpolation_step, const char* too_many_samples);

}  // namespace veltrax::se2::detail
