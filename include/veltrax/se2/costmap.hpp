#pragma once

#include <cstdint>
#include <vector>

#include "veltrax/se2/costs.hpp"
#include "veltrax/se2/export.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2 {

namespace detail {
struct CostmapCells;
}  // namespace detail

// The finest fraction of a cell that coordinates anywhere on a costmap must still resolve.
inline constexpr double kCornerPrecision = 1e-6;

// An immutable grid of 8-bit costs, row-major with row 0 at origin_y (smallest world y).
// Cell (mx, my) covers [origin_x + mx*resolution, origin_x + (mx+1)*resolution) and likewise in y.
class VELTRAX_SE2_EXPORT Costmap {
 public:
  // Throws std::invalid_argument when the geometry is invalid or cells.size() != width*height,
  // and "costmap corners are too far from the origin for its resolution" when the spacing of
  // doubles at a corner (the larger of |origin| and |origin + size * resolution| on either axis)
  // exceeds kCornerPrecision * resolution: about 225,000 km from the origin for 5 cm cells.
  Costmap(std::uint64_t width, std::uint64_t height, double resolution, double origin_x,
          double origin_y, std::vector<std::uint8_t> cells);

  std::uint64_t width() const noexcept { return width_; }
  std::uint64_t height() const noexcept { return height_; }
  double resolution() const noexcept { return resolution_; }
  double originX() const noexcept { return origin_x_; }
  double originY() const noexcept { return origin_y_; }
  const std::vector<std::uint8_t>& cells() const noexcept { return cells_; }

  // The cell holding a world point; false (out untouched) for non-finite or off-grid points.
  bool worldToMap(double x, double y, GridIndex& out) const noexcept;
  // Centre of a cell, yaw 0. Throws std::out_of_range off the grid.
  Pose2D mapToWorld(std::uint64_t mx, std::uint64_t my) const;
  bool isInside(std::uint64_t mx, std::uint64_t my) const noexcept {
    return mx < width_ && my < height_;
  }
  // Index into cells(). Throws std::out_of_range off the grid.
  std::uint64_t offset(std::uint64_t mx, std::uint64_t my) const;
  std::uint8_t getCost(std::uint64_t mx, std::uint64_t my) const;

 private:
  // A planner's own copy is changed in place by HybridAStar::updateCostmap.
  friend struct detail::CostmapCells;

  std::uint64_t width_;
  std::uint64_t height_;
  double resolution_;
  double origin_x_;
  double origin_y_;
  std::vector<std::uint8_t> cells_;
};

}  // namespace veltrax::se2

namespace veltrax::se2 {

// A new costmap of the same geometry in which every cell within inscribed_radius of a lethal cell
// (centre to centre) is at least inscribed, and every cell out to inflation_radius at least the
// exponentially decaying cost kMaxGradedCost * exp(-cost_scaling_factor * (d - inscribed_radius)),
// rounded and clamped to 1..kMaxGradedCost. Lethal and unknown cells are kept; no cost is lowered.
// Runs in time linear in the number of cells (plus sorting the cell offsets within the inflation
// radius). Throws std::invalid_argument "invalid inflation parameters".
VELTRAX_SE2_EXPORT Costmap inflateCostmap(const Costmap& source, double inflation_radius,
                                          double inscribed_radius, double cost_scaling_factor);

// The cells inflateCostmap gives in the window of columns x0 .. x0 + width - 1 and rows y0 ..
// y0 + height - 1, row-major, computed from the source around the window only (out to the
// inflation radius and a few cells), in time that grows with the window. After a local change of
// the source, the window it reaches (the changed cells grown by the inflation radius), inflated
// so and handed to HybridAStar::updateCostmap, keeps a planner's map equal to the whole map's
// inflation. Throws std::out_of_range "inflation window is outside the costmap" and
// std::invalid_argument "invalid inflation parameters".
VELTRAX_SE2_EXPORT std::vector<std::uint8_t> inflateCostmapWindow(
    const Costmap& source, std::uint64_t x0, std::uint64_t y0, std::uint64_t width,
    std::uint64_t height, double inflation_radius, double inscribed_radius,
    double cost_scaling_factor);

}  // namespace veltrax::se2
