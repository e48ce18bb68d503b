#include "detail/inflation.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "detail/errors.hpp"
#include "veltrax/se2/costs.hpp"

namespace veltrax::se2 {
namespace detail {
namespace {

// Parabola intersections are compared by cross-multiplication, which needs more than 64 bits.
__extension__ typedef __int128 Wide;

constexpr std::uint32_t kNoSeedInReach = std::numeric_limits<std::uint32_t>::max();
// Reach is kept below 2^32 so that column distances fit 32 bits and squared reaches 64 bits.
constexpr std::uint64_t kMaxReachCells = (std::uint64_t{1} << 32) - 2;
// Besides the costs 1..253 a squared distance can map to these two codes.
constexpr std::uint16_t kLeaveUnchanged = 256;
constexpr std::uint16_t kTiedDistances = 257;
// Squared distances get an O(1) lookup table (2 bytes each) while it stays below this size or
// four bytes per cell; beyond (long, thin maps with a far reach), binary search.
constexpr std::uint64_t kDenseLookupMinimum = std::uint64_t{1} << 20;

// Calls visit(dx, dy, dx^2 + dy^2) for every offset up to the given sides and squared length.
template <typename Visit>
void forEachOffsetWithin(std::uint64_t max_dx, std::uint64_t max_dy, std::uint64_t limit,
                         const Visit& visit) {
  for (std::uint64_t dy = 0; dy <= max_dy && dy * dy <= limit; ++dy) {
    const std::uint64_t dy_squared = dy * dy;
    for (std::uint64_t dx = 0; dx <= max_dx && dx * dx <= limit - dy_squared; ++dx) {
      visit(dx, dy, dx * dx + dy_squared);
    }
  }
}

struct InflationCurve {
  double inflation_radius;
  double inscribed_radius;
  double cost_scaling_factor;

  std::uint16_t code(double distance) const {
    if (distance > inflation_radius) {
      return kLeaveUnchanged;
    }
    if (distance <= inscribed_radius) {
      return kInscribedCost;
    }
    constexpr long kTop = kMaxGradedCost;
    const long cost = std::lround(std::exp((distance - inscribed_radius) * (-cost_scaling_factor)) *
                                  static_cast<double>(kTop));
    return static_cast<std::uint16_t>(std::clamp(cost, 1L, kTop));
  }
};

// The cost code of every squared cell distance a nearest seed can have. Offsets with the same
// squared distance usually have the same rounded distance, so the exponential is evaluated once
// per squared distance; std::hypot is not correctly rounded, though, and a few squared distances
// (the first is 2993 = 28^2 + 47^2 = 17^2 + 52^2) are reached by offsets whose distances differ
// in the last bit. Those are marked tied and settled per cell by looking at the actual seeds.
class SquaredDistanceCosts {
 public:
  SquaredDistanceCosts(std::uint64_t max_dx, std::uint64_t max_dy, std::uint64_t limit,
                       std::uint64_t cell_count, double resolution, const InflationCurve& curve,
                       CellDistanceFunction distance) {
    struct Reach {
      std::uint64_t squared;
      double nearest;
      double farthest;
    };
    std::vector<Reach> reaches;
    reaches.reserve(static_cast<std::size_t>(std::min((max_dx + 1) * (max_dy + 1), limit + 1)));
    forEachOffsetWithin(
        max_dx, max_dy, limit, [&](std::uint64_t dx, std::uint64_t dy, std::uint64_t squared) {
          const auto x = static_cast<double>(dx);
          const auto y = static_cast<double>(dy);
          // 0.0 - 0 is +0, the difference a direct scan forms for equal indices.
          const double variants[4] = {distance(x, y), distance(0.0 - x, y), distance(x, 0.0 - y),
                                      distance(0.0 - x, 0.0 - y)};
          const auto [lo, hi] = std::minmax_element(std::begin(variants), std::end(variants));
          reaches.push_back({squared, *lo, *hi});
        });
    std::sort(reaches.begin(), reaches.end(),
              [](const Reach& a, const Reach& b) { return a.squared < b.squared; });
    bool any_tie = false;
    for (std::size_t i = 0; i < reaches.size();) {
      double nearest = reaches[i].nearest;
      double farthest = reaches[i].farthest;
      std::size_t j = i + 1;
      for (; j < reaches.size() && reaches[j].squared == reaches[i].squared; ++j) {
        nearest = std::min(nearest, reaches[j].nearest);
        farthest = std::max(farthest, reaches[j].farthest);
      }
      keys_.push_back(reaches[i].squared);
      codes_.push_back(nearest == farthest ? curve.code(nearest * resolution) : kTiedDistances);
      any_tie = any_tie || nearest != farthest;
      i = j;
    }
    reaches = {};
    if (limit < std::max(kDenseLookupMinimum, 2 * cell_count)) {
      dense_codes_.assign(limit + 1, kLeaveUnchanged);
      for (std::size_t k = 0; k < keys_.size(); ++k) {
        dense_codes_[keys_[k]] = codes_[k];
      }
    }
    if (any_tie) {
      forEachOffsetWithin(max_dx, max_dy, limit,
                          [&](std::uint64_t dx, std::uint64_t dy, std::uint64_t squared) {
                            if (code(squared) == kTiedDistances) {
                              tied_offsets_.push_back({squared, dx, dy});
                            }
                          });
      std::sort(tied_offsets_.begin(), tied_offsets_.end(),
                [](const Offset& a, const Offset& b) { return a.squared < b.squared; });
    }
  }

  std::uint16_t code(std::uint64_t squared) const {
    if (!dense_codes_.empty()) {
      return dense_codes_[squared];
    }
    const auto it = std::lower_bound(keys_.begin(), keys_.end(), squared);
    return it != keys_.end() && *it == squared ? codes_[it - keys_.begin()] : kLeaveUnchanged;
  }

  // The smallest distance, in cells, from (mx, my) to a seed at exactly this squared distance.
  double nearestTiedDistance(const Costmap& source, std::uint64_t mx, std::uint64_t my,
                             std::uint64_t squared, CellDistanceFunction distance) const {
    const std::uint64_t width = source.width();
    const std::uint64_t height = source.height();
    const std::vector<std::uint8_t>& cells = source.cells();
    double nearest = std::numeric_limits<double>::infinity();
    auto consider = [&](std::uint64_t sx, std::uint64_t sy) {
      if (cells[sy * width + sx] == kLethalCost) {
        nearest = std::min(nearest, distance(static_cast<double>(mx) - static_cast<double>(sx),
                                             static_cast<double>(my) - static_cast<double>(sy)));
      }
    };
    const auto [first, last] =
        std::equal_range(tied_offsets_.begin(), tied_offsets_.end(), Offset{squared, 0, 0},
                         [](const Offset& a, const Offset& b) { return a.squared < b.squared; });
    for (auto offset = first; offset != last; ++offset) {
      const std::uint64_t dx = offset->dx;
      const std::uint64_t dy = offset->dy;
      for (int x_side = 0; x_side < 2; ++x_side) {
        if ((x_side == 0 && dx > mx) || (x_side == 1 && (dx == 0 || dx >= width - mx))) {
          continue;
        }
        const std::uint64_t sx = x_side == 0 ? mx - dx : mx + dx;
        if (dy <= my) {
          consider(sx, my - dy);
        }
        if (dy != 0 && dy < height - my) {
          consider(sx, my + dy);
        }
      }
    }
    return nearest;
  }

 private:
  struct Offset {
    std::uint64_t squared;
    std::uint64_t dx;
    std::uint64_t dy;
  };

  std::vector<std::uint64_t> keys_;  // ascending
  std::vector<std::uint16_t> codes_;
  std::vector<Offset> tied_offsets_;  // by squared length; only those of tied keys
  std::vector<std::uint16_t> dense_codes_;
};

// For every cell, the row distance to the nearest seed in its column, or kNoSeedInReach when
// that is beyond reach (such a seed cannot be within the inflation radius).
std::vector<std::uint32_t> columnSeedDistances(const Costmap& source, std::uint64_t reach) {
  const std::uint64_t width = source.width();
  const std::uint64_t height = source.height();
  const std::uint8_t* cells = source.cells().data();
  std::vector<std::uint32_t> rows(source.cells().size(), kNoSeedInReach);
  auto step = [reach](std::uint32_t from) {
    return from != kNoSeedInReach && from < reach ? from + 1 : kNoSeedInReach;
  };
  for (std::uint64_t x = 0; x < width; ++x) {
    rows[x] = cells[x] == kLethalCost ? 0 : kNoSeedInReach;
  }
  for (std::uint64_t y = 1; y < height; ++y) {
    const std::uint64_t row = y * width;
    for (std::uint64_t x = 0; x < width; ++x) {
      rows[row + x] = cells[row + x] == kLethalCost ? 0 : step(rows[row - width + x]);
    }
  }
  for (std::uint64_t y = height - 1; y-- > 0;) {
    const std::uint64_t row = y * width;
    for (std::uint64_t x = 0; x < width; ++x) {
      rows[row + x] = std::min(rows[row + x], step(rows[row + width + x]));
    }
  }
  return rows;
}

}  // namespace

double hypotDistance(double dx, double dy) { return std::hypot(dx, dy); }

Costmap inflateCostmapWith(const Costmap& source, double inflation_radius, double inscribed_radius,
                           double cost_scaling_factor, CellDistanceFunction distance) {
  // Written so that NaN fails every test.
  if (!(std::isfinite(inflation_radius) && inflation_radius >= 0.0 &&
        std::isfinite(inscribed_radius) && inscribed_radius >= 0.0 &&
        inscribed_radius <= inflation_radius && std::isfinite(cost_scaling_factor) &&
        cost_scaling_factor > 0.0)) {
    throwInvalidArgument("invalid inflation parameters");
  }
  const std::uint64_t width = source.width();
  const std::uint64_t height = source.height();
  std::vector<std::uint8_t> out = source.cells();
  if (std::find(out.begin(), out.end(), kLethalCost) == out.end()) {
    return Costmap(width, height, source.resolution(), source.originX(), source.originY(),
                   std::move(out));
  }

  // Beyond reach cells, sqrt(squared) * resolution exceeds the inflation radius by at least one
  // cell, far more than std::hypot's rounding, so such cells keep their cost.
  const double reach_cells = inflation_radius / source.resolution();
  const std::uint64_t reach = reach_cells < static_cast<double>(kMaxReachCells - 2)
                                  ? static_cast<std::uint64_t>(reach_cells) + 2
                                  : kMaxReachCells;
  const std::uint64_t max_dx = std::min(reach, width - 1);
  const std::uint64_t max_dy = std::min(reach, height - 1);
  const auto limit = static_cast<std::uint64_t>(
      std::min(Wide{reach} * reach, Wide{max_dx} * max_dx + Wide{max_dy} * max_dy));
  const InflationCurve curve{inflation_radius, inscribed_radius, cost_scaling_factor};
  const SquaredDistanceCosts costs(max_dx, max_dy, limit, out.size(), source.resolution(), curve,
                                   distance);
  const std::vector<std::uint32_t> column_rows = columnSeedDistances(source, reach);

  // Per row, the lower envelope of the parabolas (x - column)^2 + rows(column)^2 gives the exact
  // squared distance to the nearest seed (Felzenszwalb and Huttenlocher), in integers throughout.
  std::vector<std::int64_t> hull_column(width);
  std::vector<Wide> hull_height(width);
  std::vector<Wide> start_numerator(width);  // parabola k leads from start_numerator/denominator
  std::vector<Wide> start_denominator(width);
  for (std::uint64_t y = 0; y < height; ++y) {
    const std::uint32_t* rows = column_rows.data() + y * width;
    std::size_t count = 0;
    for (std::uint64_t x = 0; x < width; ++x) {
      if (rows[x] == kNoSeedInReach) {
        continue;
      }
      const auto column = static_cast<std::int64_t>(x);
      const Wide height_here = Wide{rows[x]} * rows[x];
      Wide numerator = 0;
      Wide denominator = 1;
      while (count > 0) {
        const std::int64_t last = hull_column[count - 1];
        numerator =
            (height_here + Wide{column} * column) - (hull_height[count - 1] + Wide{last} * last);
        denominator = 2 * Wide{column - last};
        if (count > 1 &&
            numerator * start_denominator[count - 1] <= start_numerator[count - 1] * denominator) {
          --count;
          continue;
        }
        break;
      }
      hull_column[count] = column;
      hull_height[count] = height_here;
      start_numerator[count] = numerator;
      start_denominator[count] = denominator;
      ++count;
    }
    if (count == 0) {
      continue;
    }
    std::uint8_t* out_row = out.data() + y * width;
    std::size_t k = 0;
    for (std::uint64_t x = 0; x < width; ++x) {
      const Wide column = static_cast<std::int64_t>(x);
      while (k + 1 < count && start_numerator[k + 1] < column * start_denominator[k + 1]) {
        ++k;
      }
      const std::uint8_t old_cost = out_row[x];
      if (old_cost > kInscribedCost) {
        continue;
      }
      const Wide dx = column - hull_column[k];
      const Wide squared = dx * dx + hull_height[k];
      if (squared > Wide{limit}) {
        continue;
      }
      std::uint16_t code = costs.code(static_cast<std::uint64_t>(squared));
      if (code == kTiedDistances) {
        code = curve.code(
            costs.nearestTiedDistance(source, x, y, static_cast<std::uint64_t>(squared), distance) *
            source.resolution());
      }
      if (code != kLeaveUnchanged && code > old_cost) {
        out_row[x] = static_cast<std::uint8_t>(code);
      }
    }
  }
  return Costmap(width, height, source.resolution(), source.originX(), source.originY(),
                 std::move(out));
}

}  // namespace detail

}  // namespace veltrax::se2
