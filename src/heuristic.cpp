#include "veltrax/se2/heuristic.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <functional>
#include <limits>
#include <queue>
#include <tuple>
#include <utility>
#include <vector>

#include "detail/clearance.hpp"
#include "detail/errors.hpp"
#include "detail/step_costs.hpp"
#include "veltrax/se2/costs.hpp"

namespace veltrax::se2 {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Beyond this many buckets in the ring (a very large cost_penalty spreads the step costs over many
// bucket widths) the binary heap is cheaper than sweeping mostly empty buckets.
constexpr std::size_t kMaxBuckets = std::size_t{1} << 16;

using detail::StepCosts;

// Neighbour offsets in the fixed order (1,0), (-1,0), (0,1), (0,-1), (1,1), (1,-1), (-1,1),
// (-1,-1).
constexpr std::array<int, 8> kDx = {1, -1, 0, 0, 1, 1, -1, -1};
constexpr std::array<int, 8> kDy = {0, 0, 1, -1, 1, -1, 1, -1};

// Calls relax(neighbour_offset, step_cost) for every neighbour of cell (x, y) that lies on the
// grid. Interior cells skip the bounds tests.
template <typename Relax>
inline void forEachNeighbour(std::size_t cell, std::size_t x, std::size_t y, std::size_t width,
                             std::size_t height, const std::uint8_t* cells, const StepCosts& costs,
                             Relax&& relax) {
  if (x > 0 && y > 0 && x + 1 < width && y + 1 < height) {
    const std::size_t up = cell + width;
    const std::size_t down = cell - width;
    relax(cell + 1, costs.orthogonal[cells[cell + 1]]);
    relax(cell - 1, costs.orthogonal[cells[cell - 1]]);
    relax(up, costs.orthogonal[cells[up]]);
    relax(down, costs.orthogonal[cells[down]]);
    relax(up + 1, costs.diagonal[cells[up + 1]]);
    relax(down + 1, costs.diagonal[cells[down + 1]]);
    relax(up - 1, costs.diagonal[cells[up - 1]]);
    relax(down - 1, costs.diagonal[cells[down - 1]]);
    return;
  }
  for (int k = 0; k < 8; ++k) {
    const bool x_ok = kDx[k] >= 0 ? (kDx[k] == 0 || x + 1 < width) : x > 0;
    const bool y_ok = kDy[k] >= 0 ? (kDy[k] == 0 || y + 1 < height) : y > 0;
    if (!x_ok || !y_ok) {
      continue;
    }
    const std::size_t neighbour = static_cast<std::size_t>(
        static_cast<std::ptrdiff_t>(cell) + kDx[k] + kDy[k] * static_cast<std::ptrdiff_t>(width));
    const double step = (kDx[k] != 0 && kDy[k] != 0) ? costs.diagonal[cells[neighbour]]
                                                     : costs.orthogonal[cells[neighbour]];
    relax(neighbour, step);
  }
}

// Where a field may stop early: once the start cell's value is final and every value below
// factor x that value + margin is final too. No stop when factor is 0. Also where the caller's
// poll is called from.
struct Stop {
  std::size_t start = 0;
  double factor = 0.0;
  double margin = 0.0;
  const std::function<void()>* poll = nullptr;
  mutable std::size_t until_poll = kPollInterval;

  static constexpr std::size_t kPollInterval = 4096;

  // Counts a settled cell; calls the poll every kPollInterval of them.
  void count() const {
    if (--until_poll == 0) {
      until_poll = kPollInterval;
      if (poll != nullptr && *poll) {
        (*poll)();
      }
    }
  }

  // `settled`: every value below it is final. Returns whether the search may stop there.
  bool reached(const double* dist, double settled) const {
    return factor > 0.0 && dist[start] < settled && settled >= factor * dist[start] + margin;
  }
};

// The plain lazy-deletion Dijkstra, used when the step costs are too spread for the bucket ring.
// Returns the distance below which every value is final: +inf unless it stopped early.
double fillWithHeap(std::vector<double>& distances, std::size_t goal, std::size_t width,
                    std::size_t height, const std::uint8_t* cells, const StepCosts& costs,
                    const Stop& stop) {
  using Entry = std::pair<double, std::size_t>;  // row-major order equals (row, column) order
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> open;
  open.emplace(0.0, goal);
  double* const dist = distances.data();
  while (!open.empty()) {
    // Plain variables: C++17 does not let a lambda capture structured bindings (Clang refuses).
    const double d = open.top().first;
    const std::size_t cell = open.top().second;
    if (stop.reached(dist, d)) {
      return d;
    }
    open.pop();
    if (d != dist[cell]) {
      continue;
    }
    stop.count();
    forEachNeighbour(cell, cell % width, cell / width, width, height, cells, costs,
                     [&](std::size_t neighbour, double step) {
                       const double candidate = step + d;
                       if (dist[neighbour] > candidate) {
                         dist[neighbour] = candidate;
                         open.emplace(candidate, neighbour);
                       }
                     });
  }
  return kInfinity;
}

// Label-correcting search over a ring of buckets, each one smallest step wide. Every step leaves
// its bucket, so a bucket's labels are final when it is swept; a value that rounding keeps in the
// current bucket is appended to it and swept too. The labels are the least fixed point of
// d(v) = min(step + d(u)), which is exactly what the heap version settles, whatever the order
// among equal or near-equal keys.
double fillWithBuckets(std::vector<double>& distances, std::size_t goal, std::size_t width,
                       std::size_t height, const std::uint8_t* cells, const StepCosts& costs,
                       double bucket_width, std::size_t ring_size, const Stop& stop) {
  struct Entry {
    double distance;
    std::size_t cell;
  };
  // A power-of-two ring indexes with a mask, and a bucket number comes from a product: which
  // bucket a label lands in only decides when it is swept, never the labels themselves.
  std::size_t ring_buckets = 1;
  while (ring_buckets < ring_size) {
    ring_buckets *= 2;
  }
  const std::uint64_t mask = ring_buckets - 1;
  const double per_width = 1.0 / bucket_width;
  std::vector<std::vector<Entry>> ring(ring_buckets);
  double* const dist = distances.data();
  ring[0].push_back(Entry{0.0, goal});
  std::size_t pending = 1;
  std::uint64_t current = 0;  // absolute bucket number being swept
  const double last_offset = static_cast<double>(ring_size - 1);
  while (pending > 0) {
    std::vector<Entry>& bucket = ring[current & mask];
    const double current_as_double = static_cast<double>(current);
    for (std::size_t i = 0; i < bucket.size(); ++i) {
      const Entry entry = bucket[i];
      if (entry.distance != dist[entry.cell]) {
        continue;
      }
      const double d = entry.distance;
      stop.count();
      forEachNeighbour(entry.cell, entry.cell % width, entry.cell / width, width, height, cells,
                       costs, [&](std::size_t neighbour, double step) {
                         const double candidate = step + d;
                         if (dist[neighbour] > candidate) {
                           dist[neighbour] = candidate;
                           double offset = candidate * per_width - current_as_double;
                           // Never behind the sweep, never past the ring; either clamp only costs a
                           // re-sweep. The conversion truncates, which is the floor for the
                           // non-negative offset.
                           offset =
                               offset < 0.0 ? 0.0 : (offset > last_offset ? last_offset : offset);
                           ring[(current + static_cast<std::uint64_t>(offset)) & mask].push_back(
                               Entry{candidate, neighbour});
                           ++pending;
                         }
                       });
    }
    pending -= bucket.size();
    bucket.clear();
    ++current;
    // Values are placed by the floor of value / width, so every value below the next bucket's
    // lower edge has been swept; the product is rounded, hence one bucket of slack.
    const double settled = (static_cast<double>(current) - 1.0) * bucket_width;
    if (pending > 0 && stop.reached(dist, settled)) {
      return settled;
    }
  }
  return kInfinity;
}

}  // namespace

namespace detail {

// The nearest blocking cell of any other cell borders a passable one (from a blocking cell with
// only blocking neighbours, the neighbour towards the other cell is nearer still), so only those
// border cells stamp their disc.
void blockNearObstaclesIn(const Costmap& costmap, bool allow_unknown, double clearance,
                          std::uint64_t x0, std::uint64_t y0, std::uint64_t x1, std::uint64_t y1,
                          std::uint8_t* out, std::uint64_t out_stride,
                          const std::function<void()>& poll) {
  const std::vector<std::uint8_t>& source = costmap.cells();
  const auto width = static_cast<std::ptrdiff_t>(costmap.width());
  const auto height = static_cast<std::ptrdiff_t>(costmap.height());
  for (std::uint64_t y = y0; y < y1; ++y) {
    std::copy(source.begin() + static_cast<std::ptrdiff_t>(y * costmap.width() + x0),
              source.begin() + static_cast<std::ptrdiff_t>(y * costmap.width() + x1),
              out + (y - y0) * out_stride);
  }
  const double reach = clearance / costmap.resolution();
  if (!(reach > 0.0)) {
    return;
  }
  const double reach_squared = reach * reach;
  const auto extent = static_cast<std::ptrdiff_t>(std::ceil(reach));
  // The disc as one run of columns per row offset dy, [-half, half] (none when half < 0): the
  // test only grows with |dx|.
  std::vector<std::ptrdiff_t> halves(static_cast<std::size_t>(2 * extent + 1), -1);
  for (std::ptrdiff_t dy = -extent; dy <= extent; ++dy) {
    for (std::ptrdiff_t dx = 0; dx <= extent; ++dx) {
      if (static_cast<double>(dx * dx + dy * dy) < reach_squared) {
        halves[static_cast<std::size_t>(dy + extent)] = dx;
      }
    }
  }
  const auto blocks = [&](std::ptrdiff_t x, std::ptrdiff_t y) {
    const std::uint8_t c = source[static_cast<std::size_t>(y * width + x)];
    return costBlocks(c, allow_unknown);
  };
  // Only blocking cells within the disc's extent of the window can mark a cell in it.
  const auto left = static_cast<std::ptrdiff_t>(x0);
  const auto right = static_cast<std::ptrdiff_t>(x1);
  const auto bottom = static_cast<std::ptrdiff_t>(y0);
  const auto top = static_cast<std::ptrdiff_t>(y1);
  const std::ptrdiff_t scan_y1 = std::min(top + extent, height);
  const std::ptrdiff_t scan_x1 = std::min(right + extent, width);
  for (std::ptrdiff_t y = std::max<std::ptrdiff_t>(bottom - extent, 0); y < scan_y1; ++y) {
    if (poll && y % 16 == 0) {
      poll();
    }
    for (std::ptrdiff_t x = std::max<std::ptrdiff_t>(left - extent, 0); x < scan_x1; ++x) {
      if (!blocks(x, y)) {
        continue;
      }
      bool border = false;
      for (std::ptrdiff_t ny = std::max<std::ptrdiff_t>(y - 1, 0);
           !border && ny <= std::min(y + 1, height - 1); ++ny) {
        for (std::ptrdiff_t nx = std::max<std::ptrdiff_t>(x - 1, 0);
             nx <= std::min(x + 1, width - 1); ++nx) {
          if (!blocks(nx, ny)) {
            border = true;
            break;
          }
        }
      }
      if (!border) {
        continue;
      }
      for (std::ptrdiff_t dy = -extent; dy <= extent; ++dy) {
        const std::ptrdiff_t half = halves[static_cast<std::size_t>(dy + extent)];
        const std::ptrdiff_t ny = y + dy;
        const std::ptrdiff_t from = std::max(x - half, left);
        const std::ptrdiff_t to = std::min(x + half + 1, right);
        if (half >= 0 && ny >= bottom && ny < top && from < to) {
          std::memset(out + static_cast<std::size_t>(ny - bottom) * out_stride +
                          static_cast<std::size_t>(from - left),
                      kLethalCost, static_cast<std::size_t>(to - from));
        }
      }
    }
  }
}

std::vector<std::uint8_t> blockNearObstacles(const Costmap& costmap, bool allow_unknown,
                                             double clearance, const std::function<void()>& poll) {
  std::vector<std::uint8_t> cells(costmap.cells().size());
  blockNearObstaclesIn(costmap, allow_unknown, clearance, 0, 0, costmap.width(), costmap.height(),
                       cells.data(), costmap.width(), poll);
  return cells;
}

}  // namespace detail

ObstacleHeuristic::ObstacleHeuristic(const Costmap& costmap, GridIndex goal, bool allow_unknown,
                                     double cost_penalty)
    : ObstacleHeuristic(costmap, goal, allow_unknown, cost_penalty, std::vector<double>()) {}

ObstacleHeuristic::ObstacleHeuristic(const Costmap& costmap, GridIndex goal, bool allow_unknown,
                                     double cost_penalty, std::vector<double> storage)
    : ObstacleHeuristic(costmap, goal, allow_unknown, cost_penalty, 0.0, std::move(storage)) {}

std::vector<double> ObstacleHeuristic::releaseStorage() noexcept {
  width_ = 0;
  height_ = 0;
  return std::move(distances_);
}

ObstacleHeuristic::ObstacleHeuristic(const Costmap& costmap, GridIndex goal, bool allow_unknown,
                                     double cost_penalty, double clearance,
                                     std::vector<double> storage)
    : ObstacleHeuristic(costmap, goal, allow_unknown, cost_penalty, clearance, goal, 0.0,
                        std::move(storage)) {}

ObstacleHeuristic::ObstacleHeuristic(const Costmap& costmap, GridIndex goal, bool allow_unknown,
                                     double cost_penalty, double clearance, GridIndex start,
                                     double reach_factor, std::vector<double> storage,
                                     const std::function<void()>& poll)
    : width_(costmap.width()), height_(costmap.height()), distances_(std::move(storage)) {
  if (!costmap.isInside(goal.x, goal.y)) {
    detail::throwOutOfRange("heuristic goal outside map");
  }
  if (!(std::isfinite(cost_penalty) && cost_penalty >= 0.0)) {
    detail::throwInvalidArgument("cost_penalty must be finite and non-negative");
  }
  if (!(std::isfinite(clearance) && clearance >= 0.0)) {
    detail::throwInvalidArgument("clearance must be finite and non-negative");
  }
  if (!(reach_factor == 0.0 || (std::isfinite(reach_factor) && reach_factor >= 1.0))) {
    detail::throwInvalidArgument("reach_factor must be 0 or finite and at least 1");
  }
  if (!costmap.isInside(start.x, start.y)) {
    detail::throwOutOfRange("heuristic start outside map");
  }
  // Without a clearance the costmap's own cells are read; no copy is made.
  std::vector<std::uint8_t> blocked_near;
  if (clearance > 0.0) {
    blocked_near = detail::blockNearObstacles(costmap, allow_unknown, clearance, poll);
  }
  const std::uint8_t* cells = clearance > 0.0 ? blocked_near.data() : costmap.cells().data();
  const std::size_t width = static_cast<std::size_t>(width_);
  const std::size_t height = static_cast<std::size_t>(height_);
  // A million cells at a time, with the budget polled between: on a map of tens of millions of
  // cells the fill alone takes tens of milliseconds.
  constexpr std::size_t kFillChunk = std::size_t{1} << 20;
  distances_.clear();
  distances_.reserve(width * height);
  while (distances_.size() < width * height) {
    if (poll) {
      poll();
    }
    distances_.insert(distances_.end(), std::min(kFillChunk, width * height - distances_.size()),
                      kInfinity);
  }
  const std::size_t goal_cell = static_cast<std::size_t>(goal.y) * width + goal.x;
  // A metre beyond the factor keeps short queries from stopping at once.
  const Stop stop{static_cast<std::size_t>(start.y) * width + start.x, reach_factor, 1.0, &poll};
  // The goal's own cost is never consulted: a goal on a lethal cell still spreads values.
  distances_[goal_cell] = 0.0;

  const StepCosts costs = detail::makeStepCosts(costmap.resolution(), allow_unknown, cost_penalty);
  if (!(costs.largest_finite > 0.0)) {
    return;  // every neighbour byte blocks: only the goal is reachable
  }
  const double bucket_width = costs.smallest_finite;
  const double spread = costs.largest_finite / bucket_width;
  if (spread + 2.0 < static_cast<double>(kMaxBuckets)) {
    const auto ring_size = static_cast<std::size_t>(std::ceil(spread)) + 2;
    reach_ = fillWithBuckets(distances_, goal_cell, width, height, cells, costs, bucket_width,
                             ring_size, stop);
  } else {
    reach_ = fillWithHeap(distances_, goal_cell, width, height, cells, costs, stop);
  }
}

double ObstacleHeuristic::distance(std::uint64_t x, std::uint64_t y) const {
  if (x >= width_ || y >= height_) {
    detail::throwOutOfRange("heuristic index outside map");
  }
  return std::min(distances_[y * width_ + x], reach_);
}

}  // namespace veltrax::se2
