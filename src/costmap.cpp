#include "veltrax/se2/costmap.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "detail/errors.hpp"
#include "detail/inflation.hpp"

namespace veltrax::se2 {

Costmap::Costmap(std::uint64_t width, std::uint64_t height, double resolution, double origin_x,
                 double origin_y, std::vector<std::uint8_t> cells)
    : width_(width),
      height_(height),
      resolution_(resolution),
      origin_x_(origin_x),
      origin_y_(origin_y),
      cells_(std::move(cells)) {
  if (width == 0 || height == 0) {
    detail::throwInvalidArgument("costmap width and height must be positive");
  }
  // Written so that NaN fails every test.
  if (!(std::isfinite(resolution) && resolution > 0.0 && std::isfinite(origin_x) &&
        std::isfinite(origin_y))) {
    detail::throwInvalidArgument(
        "costmap resolution/origin must be finite and resolution positive");
  }
  if (width > std::numeric_limits<std::uint64_t>::max() / height ||
      width * height != cells_.size()) {
    detail::throwInvalidArgument("costmap cells size does not match width*height");
  }
  // Far from the origin the doubles are too coarse to tell a point's cell, or even its
  // neighbourhood, apart: every corner must resolve a millionth of a cell.
  const double far_x =
      std::max(std::fabs(origin_x), std::fabs(origin_x + static_cast<double>(width) * resolution));
  const double far_y =
      std::max(std::fabs(origin_y), std::fabs(origin_y + static_cast<double>(height) * resolution));
  const double farthest = std::max(far_x, far_y);
  if (!(std::isfinite(farthest) &&
        std::nextafter(farthest, std::numeric_limits<double>::infinity()) - farthest <=
            kCornerPrecision * resolution)) {
    detail::throwInvalidArgument("costmap corners are too far from the origin for its resolution");
  }
}

bool Costmap::worldToMap(double x, double y, GridIndex& out) const noexcept {
  if (!std::isfinite(x) || !std::isfinite(y)) {
    return false;
  }
  if (origin_x_ > x || origin_y_ > y) {
    return false;
  }
  const double mx = std::floor((x - origin_x_) / resolution_);
  const double my = std::floor((y - origin_y_) / resolution_);
  if (mx >= static_cast<double>(width_) || my >= static_cast<double>(height_)) {
    return false;
  }
  out = GridIndex{static_cast<std::uint64_t>(mx), static_cast<std::uint64_t>(my)};
  return true;
}

Pose2D Costmap::mapToWorld(std::uint64_t mx, std::uint64_t my) const {
  if (!isInside(mx, my)) {
    detail::throwOutOfRange("costmap index is outside the grid");
  }
  return Pose2D{(static_cast<double>(mx) + 0.5) * resolution_ + origin_x_,
                (static_cast<double>(my) + 0.5) * resolution_ + origin_y_, 0.0};
}

std::uint64_t Costmap::offset(std::uint64_t mx, std::uint64_t my) const {
  if (!isInside(mx, my)) {
    detail::throwOutOfRange("costmap index is outside the grid");
  }
  return my * width_ + mx;
}

std::uint8_t Costmap::getCost(std::uint64_t mx, std::uint64_t my) const {
  return cells_[offset(mx, my)];
}

Costmap inflateCostmap(const Costmap& source, double inflation_radius, double inscribed_radius,
                       double cost_scaling_factor) {
  return detail::inflateCostmapWith(source, inflation_radius, inscribed_radius, cost_scaling_factor,
                                    &detail::hypotDistance);
}

std::vector<std::uint8_t> inflateCostmapWindow(const Costmap& source, std::uint64_t x0,
                                               std::uint64_t y0, std::uint64_t width,
                                               std::uint64_t height, double inflation_radius,
                                               double inscribed_radius,
                                               double cost_scaling_factor) {
  if (!(x0 <= source.width() && width <= source.width() - x0 && y0 <= source.height() &&
        height <= source.height() - y0)) {
    detail::throwOutOfRange("inflation window is outside the costmap");
  }
  if (!(std::isfinite(inflation_radius) && inflation_radius >= 0.0)) {
    detail::throwInvalidArgument("invalid inflation parameters");
  }
  if (width == 0 || height == 0) {
    return {};
  }
  // A cell's inflated cost depends on the lethal cells within a couple of cells beyond the
  // radius only (see inflateCostmap): a crop that wide around the window inflates it exactly.
  const double reach_cells = inflation_radius / source.resolution() + 3.0;
  const double largest = static_cast<double>(std::max(source.width(), source.height()));
  const auto margin = static_cast<std::uint64_t>(std::min(reach_cells, largest));
  const std::uint64_t cx0 = x0 > margin ? x0 - margin : 0;
  const std::uint64_t cy0 = y0 > margin ? y0 - margin : 0;
  const std::uint64_t cx1 = std::min(source.width(), x0 + width + std::min(margin, source.width()));
  const std::uint64_t cy1 =
      std::min(source.height(), y0 + height + std::min(margin, source.height()));
  const std::uint64_t crop_width = cx1 - cx0;
  std::vector<std::uint8_t> crop_cells;
  crop_cells.reserve(crop_width * (cy1 - cy0));
  const std::vector<std::uint8_t>& cells = source.cells();
  for (std::uint64_t y = cy0; y < cy1; ++y) {
    const auto row = cells.begin() + static_cast<std::ptrdiff_t>(y * source.width());
    crop_cells.insert(crop_cells.end(), row + static_cast<std::ptrdiff_t>(cx0),
                      row + static_cast<std::ptrdiff_t>(cx1));
  }
  const Costmap crop(crop_width, cy1 - cy0, source.resolution(),
                     source.originX() + static_cast<double>(cx0) * source.resolution(),
                     source.originY() + static_cast<double>(cy0) * source.resolution(),
                     std::move(crop_cells));
  const Costmap inflated = detail::inflateCostmapWith(crop, inflation_radius, inscribed_radius,
                                                      cost_scaling_factor, &detail::hypotDistance);
  std::vector<std::uint8_t> out;
  out.reserve(width * height);
  for (std::uint64_t y = y0; y < y0 + height; ++y) {
    const auto row = inflated.cells().begin() + static_cast<std::ptrdiff_t>((y - cy0) * crop_width);
    out.insert(out.end(), row + static_cast<std::ptrdiff_t>(x0 - cx0),
               row + static_cast<std::ptrdiff_t>(x0 - cx0 + width));
  }
  return out;
}

}  // namespace veltrax::se2
