#include "detail/manoeuvre_field.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>
#include <variant>

#include "detail/clearance.hpp"
#include "detail/free_cells.hpp"
#include "detail/radix_queue.hpp"
#include "veltrax/se2/costs.hpp"

namespace veltrax::se2::detail {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Centres, in the robot's frame, of discs of `radius` inside the footprint: the origin (the
// radius is the inscribed one about it) and, for a polygon, points of its x axis as deep inside.
std::vector<Point2D> discCentres(const Footprint& footprint, double radius) {
  std::vector<Point2D> centres{{0.0, 0.0}};
  const auto* polygon = std::get_if<PolygonFootprint>(&footprint);
  if (polygon == nullptr || !(radius > 0.0)) {
    return centres;
  }
  const std::vector<Point2D>& v = polygon->points;
  double x_min = 0.0;
  double x_max = 0.0;
  for (const Point2D& p : v) {
    x_min = std::min(x_min, p.x);
    x_max = std::max(x_max, p.x);
  }
  const double step = radius / 2.0;
  for (double x = x_min; x <= x_max; x += step) {
    bool inside = false;
    double nearest = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0, j = v.size() - 1; i < v.size(); j = i++) {
      const Point2D& a = v[j];
      const Point2D& b = v[i];
      if ((a.y > 0.0) != (b.y > 0.0) && x < a.x + (0.0 - a.y) * (b.x - a.x) / (b.y - a.y)) {
        inside = !inside;
      }
      const double dx = b.x - a.x;
      const double dy = b.y - a.y;
      const double length2 = dx * dx + dy * dy;
      const double t =
          length2 > 0.0 ? std::clamp(((x - a.x) * dx - a.y * dy) / length2, 0.0, 1.0) : 0.0;
      nearest = std::min(nearest, std::hypot(a.x + t * dx - x, a.y + t * dy));
    }
    if (inside && nearest >= radius) {
      centres.push_back({x, 0.0});
    }
  }
  return centres;
}

// Points of the footprint's outline in the robot's frame, no farther apart than `spacing`.
std::vector<Point2D> outlinePoints(const Footprint& footprint, double spacing) {
  std::vector<Point2D> points;
  const auto add = [&](const std::vector<Point2D>& v) {
    for (std::size_t i = 0; i < v.size(); ++i) {
      const Point2D& a = v[i];
      const Point2D& b = v[(i + 1) % v.size()];
      const double n = std::max(1.0, std::ceil(std::hypot(b.x - a.x, b.y - a.y) / spacing));
      for (double k = 0; k < n; ++k) {
        points.push_back({a.x + (b.x - a.x) * k / n, a.y + (b.y - a.y) * k / n});
      }
    }
  };
  if (const auto* circle = std::get_if<CircleFootprint>(&footprint)) {
    const double n = std::max(8.0, std::ceil(kTwoPi * circle->radius / spacing));
    for (double k = 0; k < n; ++k) {
      points.push_back(
          {circle->radius * std::cos(kTwoPi * k / n), circle->radius * std::sin(kTwoPi * k / n)});
    }
  } else if (const auto* polygon = std::get_if<PolygonFootprint>(&footprint)) {
    add(polygon->points);
  } else if (const auto* multi = std::get_if<MultiPolygonFootprint>(&footprint)) {
    for (const PolygonFootprint& polygon : multi->polygons) {
      add(polygon.points);
    }
  }
  return points;
}

// std::floor of a finite value well within 64 bits, without a library call.
std::int64_t floorToInt(double v) {
  const auto i = static_cast<std::int64_t>(v);
  return static_cast<double>(i) > v ? i - 1 : i;
}

double footprintReach(const Footprint& footprint) {
  if (const auto* circle = std::get_if<CircleFootprint>(&footprint)) {
    return circle->radius;
  }
  double reach = 0.0;
  const auto add = [&](const PolygonFootprint& polygon) {
    for (const Point2D& p : polygon.points) {
      reach = std::max(reach, std::hypot(p.x, p.y));
    }
  };
  if (const auto* polygon = std::get_if<PolygonFootprint>(&footprint)) {
    add(*polygon);
  } else if (const auto* multi = std::get_if<MultiPolygonFootprint>(&footprint)) {
    for (const PolygonFootprint& polygon : multi->polygons) {
      add(polygon);
    }
  }
  return reach;
}

}  // namespace

void ManoeuvreField::build(const Costmap& costmap, bool allow_unknown, const Footprint& footprint,
                           double disc_radius, const Pose2D& start, const Pose2D& goal,
                           const Prices& prices, std::uint64_t most_states,
                           const ZeroCostRegions* zero, const std::function<void()>& poll,
                           bool aimed) {
  values_.clear();
  open_.clear();
  over_ = true;
  aims_.clear();
  beyond_ = false;
  cusp_ = prices.cusp;
  const double bin = kTwoPi / kBins;
  const double length = prices.radius * bin;  // an arc of one bin, and the straight move
  // The start's and the goal's box and their neighbourhood, on the map.
  const double margin = 3.0 * prices.radius + footprintReach(footprint);
  const double map_x1 =
      costmap.originX() + static_cast<double>(costmap.width()) * costmap.resolution();
  const double map_y1 =
      costmap.originY() + static_cast<double>(costmap.height()) * costmap.resolution();
  const double x0 = std::max(costmap.originX(), std::min(start.x, goal.x) - margin);
  const double y0 = std::max(costmap.originY(), std::min(start.y, goal.y) - margin);
  const double x1 = std::min(map_x1, std::max(start.x, goal.x) + margin);
  const double y1 = std::min(map_y1, std::max(start.y, goal.y) + margin);
  if (!(x1 > x0 && y1 > y0 && length > 0.0 && std::isfinite(margin))) {
    return;
  }
  // Cells a move wide: states keep the place they were reached at, so a cell only decides which
  // ways are merged, and one a move wide merges ways no more than a move apart. Neither a coarser
  // cell (a move could not leave it) nor one finer than the costmap's is of use.
  const double cell = length;
  const double per_cell = static_cast<double>(kBins) * 2.0;
  const double wanted = (x1 - x0) / cell * ((y1 - y0) / cell) * per_cell;
  // Places are kept in float, which must hold every one a move off the field.
  if (!(costmap.resolution() <= cell && wanted <= static_cast<double>(most_states) &&
        x1 - x0 + cell < 1e30 && y1 - y0 + cell < 1e30)) {
    return;
  }
  x0_ = x0;
  y0_ = y0;
  cell_ = cell;
  inverse_cell_ = 1.0 / cell;
  nx_ = static_cast<std::int64_t>(std::ceil((x1 - x0) / cell));
  ny_ = static_cast<std::int64_t>(std::ceil((y1 - y0) / cell));
  extent_x_ = static_cast<double>(nx_) * cell;
  extent_y_ = static_cast<double>(ny_) * cell;
  const auto states = static_cast<std::uint64_t>(nx_ * ny_) * kBins * 2;
  if (states > std::numeric_limits<std::uint32_t>::max()) {
    return;  // queued states are numbered in 32 bits
  }
  const auto gi = static_cast<std::int64_t>(std::floor((goal.x - x0_) / cell_));
  const auto gj = static_cast<std::int64_t>(std::floor((goal.y - y0_) / cell_));
  if (gi < 0 || gj < 0 || gi >= nx_ || gj >= ny_) {
    return;
  }
  costmap_ = &costmap;
  zero_ = zero;
  allow_unknown_ = allow_unknown;
  seen_.assign(states / 2, 0);
  const std::vector<Point2D> centres = discCentres(footprint, disc_radius);
  const std::vector<Point2D> outline = outlinePoints(footprint, 2.0 * cell);
  // A state stands for every pose within half a cell and half a yaw bin of its own, so it is
  // blocked only when the discs, shrunk by as far as that moves their centres, collide.
  double farthest = 0.0;
  for (const Point2D& p : centres) {
    farthest = std::max(farthest, std::hypot(p.x, p.y));
  }
  const double resolution = costmap.resolution();
  const double clearance = disc_radius - resolution * 0.70710678118654757 -
                           cell * 0.70710678118654757 - farthest * std::sin(bin / 2.0);
  // The discs' cells over the field, blocking ones marked lethal.
  const double ox = costmap.originX();
  const double oy = costmap.originY();
  first_x_ = static_cast<std::uint64_t>(std::floor((x0 - ox) / resolution));
  first_y_ = static_cast<std::uint64_t>(std::floor((y0 - oy) / resolution));
  last_x_ = std::min<std::uint64_t>(costmap.width(),
                                    static_cast<std::uint64_t>(std::ceil((x1 - ox) / resolution)));
  last_y_ = std::min<std::uint64_t>(costmap.height(),
                                    static_cast<std::uint64_t>(std::ceil((y1 - oy) / resolution)));
  const std::uint64_t local_width = last_x_ - first_x_;
  marked_.assign(local_width * (last_y_ - first_y_), 0);
  blockNearObstaclesIn(costmap, allow_unknown, std::max(0.0, clearance), first_x_, first_y_,
                       last_x_, last_y_, marked_.data(), local_width, poll);
  // Blocked when an inscribed disc surely collides; the cost is the highest under the discs'
  // centres and points of the outline (at most the highest graded cost).
  // The discs' centres and the outline's points turned to each yaw bin, in cells.
  centres_ = centres.size();
  points_ = centres.size() + outline.size();
  turned_.resize(points_ * kBins);
  boxes_.resize(kBins);
  for (std::uint32_t t = 0; t < kBins; ++t) {
    const double c = std::cos(t * bin);
    const double s = std::sin(t * bin);
    std::array<double, 4>& box = boxes_[t];
    box = {kInfinity, kInfinity, -kInfinity, -kInfinity};
    for (std::size_t k = 0; k < points_; ++k) {
      const Point2D& p = k < centres.size() ? centres[k] : outline[k - centres.size()];
      const Point2D q{(p.x * c - p.y * s) / resolution, (p.x * s + p.y * c) / resolution};
      turned_[t * points_ + k] = q;
      box = {std::min(box[0], q.x), std::min(box[1], q.y), std::max(box[2], q.x),
             std::max(box[3], q.y)};
    }
  }
  // A cell is marked only within the clearance of a blocking cell, which has a cost: a state
  // whose points' cells, and that many cells around them, all cost nothing is free at cost 0.
  pad_ = static_cast<std::int64_t>(std::ceil(std::max(0.0, clearance) / resolution)) + 1;

  // The moves back from a state of each yaw bin: driving direction d (0 forward, 1 reverse) and
  // steering k (-1, 0, 1) lead from the predecessor to it, so the predecessor lies at the end of
  // the opposite drive with the same steering.
  moves_.clear();
  const int directions = prices.allow_reverse ? 2 : 1;
  for (std::uint32_t t = 0; t < kBins; ++t) {
    const double yaw = t * bin;
    for (int d = 0; d < directions; ++d) {
      for (int k = -1; k <= 1; ++k) {
        const double s = (d == 0 ? -1.0 : 1.0) * length;  // the opposite drive
        Move m{};
        if (k == 0) {
          m.dx = s * std::cos(yaw);
          m.dy = s * std::sin(yaw);
          m.bin = t;
        } else {
          const double curvature = k / prices.radius;
          const double end = yaw + curvature * s;
          m.dx = (std::sin(end) - std::sin(yaw)) / curvature;
          m.dy = -(std::cos(end) - std::cos(yaw)) / curvature;
          const int turn = (curvature * s > 0.0) ? 1 : -1;
          m.bin = static_cast<std::uint32_t>((static_cast<int>(t) + turn + kBins) % kBins);
        }
        m.direction = d;
        m.cost = length * (1.0 + (d == 1 ? prices.reverse_per_metre : 0.0) +
                           (k != 0 ? prices.non_straight_per_metre : 0.0));
        moves_.push_back(m);
      }
    }
  }
  per_bin_ = moves_.size() / kBins;
  // What a step pays for the highest cost at either end, per graded cost: one product each, not
  // a division per step.
  for (std::size_t g = 0; g < cost_price_.size(); ++g) {
    cost_price_[g] = static_cast<double>(g) / kMaxGradedCost * prices.cost_penalty * length;
  }

  // States far dearer than the start are of no use to a search from it: once the start's cell
  // and yaw are settled, the search back goes on only as far as half as dear again and a few
  // cusps more, and every state left reads that much.
  const auto si = static_cast<std::int64_t>(std::floor((start.x - x0_) / cell_));
  const auto sj = static_cast<std::int64_t>(std::floor((start.y - y0_) / cell_));
  const auto st = static_cast<std::uint32_t>(
      (static_cast<std::int64_t>(std::llround(normalizeYaw(start.yaw) / bin)) + kBins) % kBins);
  const bool start_inside = si >= 0 && sj >= 0 && si < nx_ && sj < ny_;
  start_state_ = start_inside ? index(si, sj, st, 0) / 2 : states;
  if (start_inside && aimed) {
    findAims(si, sj, length);
  }
  values_.assign(states, std::numeric_limits<float>::infinity());
  where_.resize(states);
  const auto gt = static_cast<std::uint32_t>(
      (static_cast<std::int64_t>(std::llround(normalizeYaw(goal.yaw) / bin)) + kBins) % kBins);
  for (int d = 0; d < directions; ++d) {
    values_[index(gi, gj, gt, d)] = 0.0F;
    where_[index(gi, gj, gt, d)] = {static_cast<float>(goal.x - x0_),
                                    static_cast<float>(goal.y - y0_)};
    open_.push(Entry{aim(gi, gj), static_cast<std::uint32_t>(index(gi, gj, gt, d)), 0.0F});
  }
  stop_margin_ = 4.0 * prices.cusp + 2.0 * length;
  stop_ = std::numeric_limits<float>::infinity();
  popped_ = 0;
  over_ = false;
  // The start's own estimate is read first; the rest waits for the reads that need it.
  while (!std::isfinite(stop_) && settleNext(poll)) {
  }
}

std::uint16_t ManoeuvreField::look(std::int64_t i, std::int64_t j, std::uint32_t t) {
  std::uint16_t& known = seen_[index(i, j, t, 0) / 2];
  if (known != 0) {
    return known;
  }
  const Costmap& costmap = *costmap_;
  const auto [x, y] = centreInCells(i, j);
  // The cells the points land in: the floors of the box's corners bound theirs.
  const std::array<double, 4>& box = boxes_[t];
  const double bx0 = x + box[0];
  const double by0 = y + box[1];
  const double bx1 = x + box[2];
  const double by1 = y + box[3];
  const bool inside = bx0 >= static_cast<double>(first_x_) &&
                      by0 >= static_cast<double>(first_y_) && bx1 < static_cast<double>(last_x_) &&
                      by1 < static_cast<double>(last_y_);
  const auto map_columns = static_cast<std::int64_t>(costmap.width());
  const auto map_rows = static_cast<std::int64_t>(costmap.height());
  if (zero_ != nullptr && inside) {
    const std::int64_t cx0 = std::max<std::int64_t>(floorToInt(bx0) - pad_, 0);
    const std::int64_t cy0 = std::max<std::int64_t>(floorToInt(by0) - pad_, 0);
    const std::int64_t cx1 = std::min(floorToInt(bx1) + pad_, map_columns - 1);
    const std::int64_t cy1 = std::min(floorToInt(by1) + pad_, map_rows - 1);
    if (zero_->nonZero(static_cast<std::uint64_t>(cx0), static_cast<std::uint64_t>(cy0),
                       static_cast<std::uint64_t>(cx1), static_cast<std::uint64_t>(cy1)) == 0) {
      known = 2;
      return known;
    }
  }
  const std::uint8_t* costs = costmap.cells().data();
  const std::uint64_t stride = costmap.width();
  const std::uint64_t local_width = last_x_ - first_x_;
  const Point2D* p = turned_.data() + t * points_;
  std::uint8_t highest = 0;
  bool free = true;
  if (inside) {
    // Every point on the map and among the marked cells: no bounds to test.
    for (std::size_t k = 0; k < points_ && free; ++k) {
      // Non-negative: truncation is the floor.
      const auto cx = static_cast<std::uint64_t>(x + p[k].x);
      const auto cy = static_cast<std::uint64_t>(y + p[k].y);
      free = k >= centres_ ||
             !costBlocks(marked_[(cy - first_y_) * local_width + (cx - first_x_)], allow_unknown_);
      highest = std::max(highest, costs[cy * stride + cx]);
    }
  } else {
    const auto width = static_cast<double>(costmap.width());
    const auto height = static_cast<double>(costmap.height());
    for (std::size_t k = 0; k < points_; ++k) {
      const double gx = x + p[k].x;
      const double gy = y + p[k].y;
      const bool disc = k < centres_;
      if (!(gx >= 0.0 && gy >= 0.0 && gx < width && gy < height)) {
        free = free && !disc;
        continue;
      }
      // Non-negative: truncation is the floor.
      const auto cx = static_cast<std::uint64_t>(gx);
      const auto cy = static_cast<std::uint64_t>(gy);
      // The lattice's poses are rounded: an outline point on a wall only prices the step.
      if (disc &&
          (cx < first_x_ || cy < first_y_ || cx >= last_x_ || cy >= last_y_ ||
           costBlocks(marked_[(cy - first_y_) * local_width + (cx - first_x_)], allow_unknown_))) {
        free = false;
        break;
      }
      highest = std::max(highest, costs[cy * stride + cx]);
    }
  }
  known = free ? static_cast<std::uint16_t>(2 + std::min(highest, kMaxGradedCost)) : 1;
  return known;
}

std::array<double, 2> ManoeuvreField::centreInCells(std::int64_t i, std::int64_t j) const {
  const Costmap& costmap = *costmap_;
  const double resolution = costmap.resolution();
  return {(x0_ + (static_cast<double>(i) + 0.5) * cell_ - costmap.originX()) / resolution,
          (y0_ + (static_cast<double>(j) + 0.5) * cell_ - costmap.originY()) / resolution};
}

void ManoeuvreField::findAims(std::int64_t si, std::int64_t sj, double length) {
  // Every state's first point is its centre, a disc's: a state is blocked at every yaw where the
  // centre is (look() decides it so), and a move into it pays at least for the cost there. A move
  // changes each cell index by at most one, as it is no longer than a cell is wide. So a way on
  // the lattice into the start's cell pays, step by step, at least the steps' prices of a way over
  // the cells through unblocked ones: the cheapest of those never drops by more than a move costs
  // (a thousandth off the prices keeps that through the float values). Cells with no such way
  // read a bound far above any value, as high for all: nothing there leads to the start.
  constexpr double kNoWay = 1e9;
  const Costmap& costmap = *costmap_;
  const std::uint8_t* costs = costmap.cells().data();
  const std::uint64_t local_width = last_x_ - first_x_;
  const auto cells = static_cast<std::size_t>(nx_ * ny_);
  // The price of a step into each cell; negative where it is blocked.
  std::vector<double>& price = aim_prices_;
  price.assign(cells, -1.0);
  for (std::int64_t j = 0; j < ny_; ++j) {
    for (std::int64_t i = 0; i < nx_; ++i) {
      const auto [x, y] = centreInCells(i, j);
      if (!(x >= 0.0 && y >= 0.0 && x < static_cast<double>(costmap.width()) &&
            y < static_cast<double>(costmap.height()))) {
        continue;
      }
      // Non-negative: truncation is the floor.
      const auto cx = static_cast<std::uint64_t>(x);
      const auto cy = static_cast<std::uint64_t>(y);
      if (cx < first_x_ || cy < first_y_ || cx >= last_x_ || cy >= last_y_ ||
          costBlocks(marked_[(cy - first_y_) * local_width + (cx - first_x_)], allow_unknown_)) {
        continue;
      }
      const std::uint8_t cost = std::min(costs[cy * costmap.width() + cx], kMaxGradedCost);
      price[static_cast<std::size_t>(j * nx_ + i)] = 0.999 * (length + cost_price_[cost]);
    }
  }
  aims_.assign(cells, kNoWay);
  const auto start = static_cast<std::uint32_t>(sj * nx_ + si);
  aims_[start] = 0.0;
  aim_queue_.clear();
  aim_queue_.emplace_back(0.0, start);
  const auto later = [](const std::pair<double, std::uint32_t>& a,
                        const std::pair<double, std::uint32_t>& b) { return a.first > b.first; };
  while (!aim_queue_.empty()) {
    std::pop_heap(aim_queue_.begin(), aim_queue_.end(), later);
    const auto [value, at] = aim_queue_.back();
    aim_queue_.pop_back();
    if (value > aims_[at]) {
      continue;  // queued again since, at a lower value
    }
    const std::int64_t i = at % nx_;
    const std::int64_t j = at / nx_;
    const double next = value + (at == start ? std::max(price[at], 0.0) : price[at]);
    for (std::int64_t nj = std::max<std::int64_t>(j - 1, 0); nj <= std::min(j + 1, ny_ - 1); ++nj) {
      for (std::int64_t ni = std::max<std::int64_t>(i - 1, 0); ni <= std::min(i + 1, nx_ - 1);
           ++ni) {
        const auto to = static_cast<std::uint32_t>(nj * nx_ + ni);
        if (next < aims_[to]) {
          aims_[to] = next;
          // A way may start in a blocked cell (the goal's may be) but pass through none.
          if (price[to] >= 0.0) {
            aim_queue_.emplace_back(next, to);
            std::push_heap(aim_queue_.begin(), aim_queue_.end(), later);
          }
        }
      }
    }
  }
}

bool ManoeuvreField::settleNext(const std::function<void()>& poll) {
  // Every step costs more than nothing, so keys never fall below the last one taken.
  while (!over_ && !open_.empty()) {
    // Before taking a state: a throw leaves the search back where it was.
    if ((++popped_ & 4095) == 0 && poll) {
      poll();
    }
    const Entry top = open_.pop();
    const std::uint64_t at = top.at;
    const float value = values_[at];
    // Queued again since, at a lower value.
    if (top.value > value) {
      continue;
    }
    const std::uint64_t cell_index = at / 2 / kBins;
    const auto i = static_cast<std::int64_t>(cell_index % static_cast<std::uint64_t>(nx_));
    const auto j = static_cast<std::int64_t>(cell_index / static_cast<std::uint64_t>(nx_));
    if (at / 2 == start_state_ && !std::isfinite(stop_)) {
      stop_ = static_cast<float>(1.5 * value + stop_margin_);
    }
    // Nothing beyond the bound is read as more than it: no need to go on from there.
    if (value > stop_) {
      beyond_ = true;
      return true;
    }
    const int next = static_cast<int>(at % 2);
    const auto t = static_cast<std::uint32_t>((at / 2) % kBins);
    // Moves start from where the state was reached, not from its cell's centre: rounding to
    // centres would bend every straight line whose heading is not along the cells.
    const double x = where_[at][0];
    const double y = where_[at][1];
    const std::uint16_t seen = seen_[at / 2];
    const std::uint16_t here = std::max<std::uint16_t>(seen != 0 ? seen : look(i, j, t), 2);
    for (std::size_t m = t * per_bin_; m < (t + 1) * per_bin_; ++m) {
      const Move& move = moves_[m];
      const double px = x + move.dx;
      const double py = y + move.dy;
      if (!(px >= 0.0 && py >= 0.0 && px < extent_x_ && py < extent_y_)) {
        continue;  // off the field
      }
      const std::array<float, 2> there_at{static_cast<float>(px), static_cast<float>(py)};
      // A move spans at most a cell; a place rounded to float a hair over the next edge but one
      // stays in the next cell, so that the aim never drops by more than a move costs.
      const std::int64_t pi = std::clamp(cellOf(there_at[0]), i - 1, i + 1);
      const std::int64_t pj = std::clamp(cellOf(there_at[1]), j - 1, j + 1);
      if (pi >= nx_ || pj >= ny_) {
        continue;  // rounded onto the far edge
      }
      const std::uint64_t to = index(pi, pj, move.bin, move.direction);
      // Most states were looked at already: only the first look leaves the loop.
      std::uint16_t there = seen_[to / 2];
      if (there == 0) {
        there = look(pi, pj, move.bin);
      }
      if (there == 1) {
        continue;
      }
      // A step costs more by the highest cost at either end, as the transition costs price it.
      const std::size_t graded = std::max(there, here) - 2u;
      // Rounded to the stored precision before comparing, so that only a strictly cheaper way
      // is queued again.
      const auto cost = static_cast<float>(value + move.cost + cost_price_[graded] +
                                           (move.direction != next ? cusp_ : 0.0));
      if (cost < values_[to]) {
        values_[to] = cost;
        where_[to] = there_at;
        open_.push(
            Entry{static_cast<double>(cost) + aim(pi, pj), static_cast<std::uint32_t>(to), cost});
      } else if (cost == values_[to] && nearerCentre(there_at, where_[to], pi, pj)) {
        // Ways of equal value: the place is chosen by a rule of its own, not by which came first,
        // so that any order of settling gives every state the same place.
        where_[to] = there_at;
      }
    }
    return true;
  }
  over_ = true;
  return false;
}

void ManoeuvreField::settleAll(const std::function<void()>& poll) {
  while (settleNext(poll)) {
  }
}

double ManoeuvreField::at(const Pose2D& pose, Direction arrival,
                          const std::function<void()>& poll) {
  if (values_.empty()) {
    return 0.0;
  }
  const double fi = std::floor((pose.x - x0_) / cell_);
  const double fj = std::floor((pose.y - y0_) / cell_);
  if (!(fi >= 0.0 && fj >= 0.0 && fi < static_cast<double>(nx_) && fj < static_cast<double>(ny_) &&
        std::isfinite(pose.yaw))) {
    return 0.0;
  }
  const double bin = kTwoPi / kBins;
  const auto t = static_cast<std::uint32_t>(
      (static_cast<std::int64_t>(std::llround(normalizeYaw(pose.yaw) / bin)) + kBins) % kBins);
  const auto i = static_cast<std::int64_t>(fi);
  const auto j = static_cast<std::int64_t>(fj);
  const std::uint64_t state = index(i, j, t, 0);
  const double aimed = aim(i, j);
  for (;;) {
    const double forward = values_[state];
    const double reverse = values_[state + 1];
    double best = std::min(forward, reverse);
    if (arrival == Direction::FORWARD) {
      best = std::min(forward, reverse + cusp_);
    } else if (arrival == Direction::REVERSE) {
      best = std::min(reverse, forward + cusp_);
    }
    // Final once no state left to settle could make it cheaper: every later way to it costs at
    // least the front key less its aim. Dearer than the bound, it reads the bound; unreachable on
    // the lattice, the bound too once some state was dearer, else no estimate (0), as a search
    // back in order of value alone, stopped at the first state beyond the bound, would read.
    const double bound = stop_;
    if (over_ || open_.empty()) {
      return std::isfinite(best) ? std::min(best, bound) : (beyond_ ? bound : 0.0);
    }
    const double front = open_.frontKey();
    if (best + aimed <= front) {
      return std::min(best, bound);
    }
    if (front - aimed > bound && (std::isfinite(best) || beyond_)) {
      return bound;
    }
    settleNext(poll);
  }
}

}  // namespace veltrax::se2::detail
