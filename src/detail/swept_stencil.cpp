#include "detail/swept_stencil.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace veltrax::se2::detail {

namespace {

// How far, in cells, the sets keep from the outline's edge. The start's offset within its cell
// (rounded, in [0, 1) up to a few ulps), the samples' match tolerance and the exact test's own
// tolerance together move an outline by less than a millionth of a cell.
constexpr double kMarginCells = 1e-3;
// Samples match when they differ by no more than this (metres and radians).
constexpr double kMatchTolerance = 1e-9;
constexpr std::size_t kMostSamples = 32;
constexpr std::size_t kMostPoints = 256;
constexpr double kMostRows = 1024.0;
// Columns of a stencil, either way of its start: its sample rows are kept in 16 bits.
constexpr double kMostColumns = 16000.0;

// The convex hull of the points, counter-clockwise, without collinear points (monotone chain).
std::vector<Point2D> convexHull(std::vector<Point2D> points) {
  std::sort(points.begin(), points.end(), [](const Point2D& a, const Point2D& b) {
    return a.x < b.x || (a.x == b.x && a.y < b.y);
  });
  if (points.size() < 3) {
    return points;
  }
  const auto cross = [](const Point2D& o, const Point2D& a, const Point2D& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
  };
  std::vector<Point2D> hull(2 * points.size());
  std::size_t k = 0;
  for (const Point2D& p : points) {
    while (k >= 2 && cross(hull[k - 2], hull[k - 1], p) <= 0.0) {
      --k;
    }
    hull[k++] = p;
  }
  for (std::size_t i = points.size() - 1, lower = k + 1; i-- > 0;) {
    while (k >= lower && cross(hull[k - 2], hull[k - 1], points[i]) <= 0.0) {
      --k;
    }
    hull[k++] = points[i];
  }
  hull.resize(k - 1);
  return hull;
}

// A sweep's shape, for finding its images: its start yaw and its last sample relative to the
// start, each rounded to a millionth, with the sample count. False when they are out of range.
bool shapeKey(double yaw, double dx, double dy, std::size_t count, std::uint64_t& key) {
  const double turned = normalizeYaw(yaw);
  if (!(std::fabs(turned) <= 4.0 && std::fabs(dx) <= 1e6 && std::fabs(dy) <= 1e6)) {
    return false;
  }
  // The parts mixed as a hash; two shapes with the same key are told apart by the full match.
  std::uint64_t h = count;
  for (const double v : {turned, dx, dy}) {
    h ^= static_cast<std::uint64_t>(std::llround(v * 1e6)) + 0x9e3779b97f4a7c15ULL + (h << 6) +
         (h >> 2);
  }
  key = h;
  return true;
}

// The yaw of a heading under the image (sx, sy): x scaled by sx and y by sy, each 1 or -1.
double imageYaw(double yaw, int sx, int sy) {
  if (sx < 0 && sy < 0) {
    return normalizeYaw(yaw + kPi);
  }
  return normalizeYaw(sx < 0 ? kPi - yaw : -yaw);
}

SweptStencil::Extent imageExtent(const SweptStencil::Extent& e, int sx, int sy) {
  SweptStencil::Extent out = e;
  if (sx < 0) {
    out.x_min = -e.x_max;
    out.x_max = -e.x_min;
  }
  if (sy < 0) {
    out.y_min = -e.y_max;
    out.y_max = -e.y_min;
  }
  return out;
}

// A row's runs with the columns negated: column i of the image is column -i of the source, so
// [b, e) becomes [1 - e, 1 - b). Empty runs keep the form build() gives them.
template <typename Row>
Row imageRow(const Row& row, int sx) {
  if (sx > 0) {
    return row;
  }
  Row out{0, 0, 0, 0};
  if (row.outer_begin < row.outer_end) {
    out.outer_begin = static_cast<decltype(out.outer_begin)>(1 - row.outer_end);
    out.outer_end = static_cast<decltype(out.outer_end)>(1 - row.outer_begin);
  }
  out.inner_begin = out.inner_end = out.outer_begin;
  if (row.inner_begin < row.inner_end) {
    out.inner_begin = static_cast<decltype(out.inner_begin)>(1 - row.inner_end);
    out.inner_end = static_cast<decltype(out.inner_end)>(1 - row.inner_begin);
  }
  return out;
}

}  // namespace

bool SweptStencil::matches(const Pose2D& start, const std::vector<Pose2D>& samples) const {
  if (samples.size() != relative.size()) {
    return false;
  }
  for (std::size_t k = 0; k < samples.size(); ++k) {
    const Pose2D& s = samples[k];
    const Pose2D& r = relative[k];
    const double dyaw = std::fabs(s.yaw - r.yaw);
    // Written so that NaN fails.
    if (!(std::fabs((s.x - start.x) - r.x) <= kMatchTolerance &&
          std::fabs((s.y - start.y) - r.y) <= kMatchTolerance &&
          (dyaw <= kMatchTolerance || std::fabs(dyaw - 2.0 * kPi) <= kMatchTolerance))) {
      return false;
    }
  }
  return true;
}

bool SweptStencils::prepare(const PolygonFootprint& polygon, double resolution) {
  const auto same = [](const Point2D& a, const Point2D& b) { return a.x == b.x && a.y == b.y; };
  if (resolution == resolution_ && polygon.points.size() == points_.size() &&
      std::equal(points_.begin(), points_.end(), polygon.points.begin(), same)) {
    return usable_;
  }
  entries_.clear();
  shapes_.clear();
  points_ = polygon.points;
  resolution_ = resolution;
  mirrors_ = std::all_of(points_.begin(), points_.end(), [&](const Point2D& p) {
    return std::any_of(points_.begin(), points_.end(),
                       [&](const Point2D& q) { return q.x == p.x && q.y == -p.y; });
  });
  // Convex, one way round: every turn has the same sign (collinear vertices allowed).
  const std::size_t n = points_.size();
  int sign = 0;
  usable_ = n >= 3;
  for (std::size_t i = 0; i < n && usable_; ++i) {
    const Point2D& a = points_[i];
    const Point2D& b = points_[(i + 1) % n];
    const Point2D& c = points_[(i + 2) % n];
    const double turn = (b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x);
    const int s = turn > 0.0 ? 1 : (turn < 0.0 ? -1 : 0);
    usable_ = s == 0 || sign == 0 || s == sign;
    sign = s != 0 ? s : sign;
  }
  usable_ = usable_ && sign != 0;
  return usable_;
}

const SweptStencil* SweptStencils::get(std::size_t slot, const Pose2D& start,
                                       const std::vector<Pose2D>& samples) {
  if (!usable_ || samples.empty() || samples.size() > kMostSamples ||
      points_.size() * samples.size() > kMostPoints || slot >= 256 || !std::isfinite(start.yaw)) {
    return nullptr;
  }
  const double yaw = std::fabs(start.yaw) <= 4.0 ? start.yaw : normalizeYaw(start.yaw);
  // A millionth of a radian tells the yaws of a search's nodes apart; the few whose rounding
  // straddles a step get a second entry.
  const auto quantum = static_cast<std::uint64_t>(std::llround(yaw * 1e6) + 5'000'000);
  const std::uint64_t key = quantum * 256 + slot;
  // Bounded: a search rarely meets more than a few thousand.
  if (entries_.size() >= 4096 && entries_.find(key) == entries_.end()) {
    entries_.clear();
    shapes_.clear();
  }
  SweptStencil& entry = entries_[key];
  if (entry.matches(start, samples)) {
    return &entry;
  }
  if (fromImage(start, samples, &entry, entry)) {
    ++imaged_;
  } else if (!build(start, samples, entry)) {
    entries_.erase(key);
    return nullptr;
  }
  const Pose2D& last = samples.back();
  std::uint64_t shape = 0;
  if (shapeKey(start.yaw, last.x - start.x, last.y - start.y, samples.size(), shape)) {
    shapes_[shape] = key;
  }
  return &entry;
}

bool SweptStencils::fromImage(const Pose2D& start, const std::vector<Pose2D>& samples,
                              const SweptStencil* self, SweptStencil& out) {
  const Pose2D& last = samples.back();
  const double dx = last.x - start.x;
  const double dy = last.y - start.y;
  // Turned half round, then mirrored in the y axis (x negated) and in the x axis (y negated);
  // the mirrors only for an outline that is its own mirror image.
  constexpr int kImages[3][2] = {{-1, -1}, {-1, 1}, {1, -1}};
  for (const auto& image : kImages) {
    const int sx = image[0];
    const int sy = image[1];
    if (sx != sy && !mirrors_) {
      continue;
    }
    std::uint64_t shape = 0;
    if (!shapeKey(imageYaw(start.yaw, sx, sy), sx * dx, sy * dy, samples.size(), shape)) {
      return false;
    }
    const auto named = shapes_.find(shape);
    if (named == shapes_.end()) {
      continue;
    }
    const auto found = entries_.find(named->second);
    if (found == entries_.end() || &found->second == self) {
      continue;
    }
    const SweptStencil& source = found->second;
    const std::size_t count = source.relative.size();
    if (count != samples.size()) {
      continue;
    }
    out.relative.resize(count);
    for (std::size_t k = 0; k < count; ++k) {
      const Pose2D& r = source.relative[k];
      out.relative[k] = Pose2D{sx * r.x, sy * r.y, imageYaw(r.yaw, sx, sy)};
    }
    if (!out.matches(start, samples)) {
      continue;
    }
    // The separating-axis data: an axis and a point turned alike keep their product, so only the
    // axes and the boxes change.
    out.extents.resize(count);
    for (std::size_t k = 0; k < count; ++k) {
      out.extents[k] = imageExtent(source.extents[k], sx, sy);
    }
    const auto image_axis = [&](const SweptStencil::Axis& a) {
      return SweptStencil::Axis{sx * a.ux, sy * a.uy, a.low, a.high};
    };
    out.axes.resize(source.axes.size());
    std::transform(source.axes.begin(), source.axes.end(), out.axes.begin(), image_axis);
    out.hull_extent = source.hull_extent.tolerance < 0.0 ? source.hull_extent
                                                         : imageExtent(source.hull_extent, sx, sy);
    out.hull_axes.resize(source.hull_axes.size());
    std::transform(source.hull_axes.begin(), source.hull_axes.end(), out.hull_axes.begin(),
                   image_axis);
    // Rows: row j of the image is row -j of the source when y is negated.
    const std::size_t rows = source.rows.size();
    const std::int32_t last_row = source.first_row + static_cast<std::int32_t>(rows) - 1;
    out.first_row = sy < 0 ? -last_row : source.first_row;
    out.rows.resize(rows);
    out.sample_rows.resize(source.sample_rows.size());
    for (std::size_t r = 0; r < rows; ++r) {
      const std::size_t from = sy < 0 ? rows - 1 - r : r;
      out.rows[r] = imageRow(source.rows[from], sx);
      for (std::size_t k = 0; k < count; ++k) {
        out.sample_rows[k * rows + r] = imageRow(source.sample_rows[k * rows + from], sx);
      }
    }
    out.outer_min = sx < 0 ? 1 - source.outer_max : source.outer_min;
    out.outer_max = sx < 0 ? 1 - source.outer_min : source.outer_max;
    return true;
  }
  return false;
}

// In the start cell's frame (cells, its lower-left corner at 0), a sample's outline P stands at
// its relative place plus the start's offset f in [0, 1)^2. The square of column i and row j is
// touched by every placement when the 2 x 2 box [i - 1, i + 1] x [j - 1, j + 1] lies inside P
// (for a convex P, when its corners do), and by some placement only if that box meets P. Both
// tests are made with the box grown by the margin, so that the first set only shrinks and the
// second only grows.
bool SweptStencils::build(const Pose2D& start, const std::vector<Pose2D>& samples,
                          SweptStencil& out) const {
  const std::size_t n = points_.size();
  const std::size_t count = samples.size();
  const double m = kMarginCells;
  std::vector<Point2D> placed(n * count);
  double y_min = std::numeric_limits<double>::infinity();
  double y_max = -y_min;
  double x_min = y_min;
  double x_max = -y_min;
  out.relative.resize(count);
  out.extents.resize(count);
  out.axes.resize(count * n);
  std::vector<Point2D> hull_points;
  hull_points.reserve(n * count);
  double hull_tolerance = 0.0;
  for (std::size_t k = 0; k < count; ++k) {
    const Pose2D& s = samples[k];
    out.relative[k] = Pose2D{s.x - start.x, s.y - start.y, s.yaw};
    const double c = std::cos(s.yaw);
    const double sn = std::sin(s.yaw);
    SweptStencil::Extent& extent = out.extents[k];
    extent = SweptStencil::Extent{
        std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), 0.0};
    Point2D* metres = placed.data() + k * n;
    double reach = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      const Point2D& p = points_[i];
      Point2D& w = metres[i];
      w.x = out.relative[k].x + p.x * c - p.y * sn;
      w.y = out.relative[k].y + p.x * sn + p.y * c;
      extent.x_min = std::min(extent.x_min, w.x);
      extent.x_max = std::max(extent.x_max, w.x);
      extent.y_min = std::min(extent.y_min, w.y);
      extent.y_max = std::max(extent.y_max, w.y);
      reach = std::max({reach, std::fabs(w.x), std::fabs(w.y)});
    }
    double shortest = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < n; ++i) {
      const Point2D& a = metres[i];
      const Point2D& b = metres[i + 1 == n ? 0 : i + 1];
      const double dx = b.x - a.x;
      const double dy = b.y - a.y;
      shortest = std::min(shortest, std::max(std::fabs(dx), std::fabs(dy)));
      const double length = std::hypot(dx, dy);
      SweptStencil::Axis& axis = out.axes[k * n + i];
      axis.ux = length > 0.0 ? -dy / length : 0.0;
      axis.uy = length > 0.0 ? dx / length : 0.0;
      axis.low = std::numeric_limits<double>::infinity();
      axis.high = -axis.low;
      for (std::size_t j = 0; j < n; ++j) {
        const double d = metres[j].x * axis.ux + metres[j].y * axis.uy;
        axis.low = std::min(axis.low, d);
        axis.high = std::max(axis.high, d);
      }
    }
    // The samples' match moves a vertex by up to (1 + reach) times kMatchTolerance; the exact
    // test reaches e / l + 3e beyond the outline (docs/collision_prefilter.md); the rest is room.
    extent.tolerance = 1e-7 + 4.0 * kMatchTolerance * (1.0 + reach) + 8e-12 / shortest;
    if (!std::isfinite(extent.tolerance)) {
      return false;
    }
    hull_tolerance = std::max(hull_tolerance, extent.tolerance);
    for (std::size_t i = 0; i < n; ++i) {
      Point2D& w = metres[i];
      hull_points.push_back(w);
      w.x /= resolution_;
      w.y /= resolution_;
      x_min = std::min(x_min, w.x);
      x_max = std::max(x_max, w.x);
      y_min = std::min(y_min, w.y);
      y_max = std::max(y_max, w.y);
    }
  }
  // Every sample's outline lies in the hull, so the hull's axes and box bound them all; the
  // largest of their tolerances covers the roundings of each.
  out.hull_axes.clear();
  out.hull_extent = SweptStencil::Extent{0.0, 0.0, 0.0, 0.0, -1.0};
  const std::vector<Point2D> hull = convexHull(hull_points);
  if (hull.size() >= 3) {
    SweptStencil::Extent& box = out.hull_extent;
    box = SweptStencil::Extent{std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(), hull_tolerance};
    for (const Point2D& p : hull_points) {
      box.x_min = std::min(box.x_min, p.x);
      box.x_max = std::max(box.x_max, p.x);
      box.y_min = std::min(box.y_min, p.y);
      box.y_max = std::max(box.y_max, p.y);
    }
    for (std::size_t i = 0; i < hull.size(); ++i) {
      const Point2D& a = hull[i];
      const Point2D& b = hull[i + 1 == hull.size() ? 0 : i + 1];
      const double length = std::hypot(b.x - a.x, b.y - a.y);
      if (!(length > 0.0)) {
        continue;
      }
      SweptStencil::Axis axis{-(b.y - a.y) / length, (b.x - a.x) / length,
                              std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity()};
      for (const Point2D& p : hull_points) {
        const double d = p.x * axis.ux + p.y * axis.uy;
        axis.low = std::min(axis.low, d);
        axis.high = std::max(axis.high, d);
      }
      out.hull_axes.push_back(axis);
    }
  }
  if (!(y_max - y_min <= kMostRows && std::fabs(x_min) <= kMostColumns &&
        std::fabs(x_max) <= kMostColumns && std::fabs(y_min) <= kMostColumns &&
        std::fabs(y_max) <= kMostColumns)) {
    return false;
  }
  const auto first = static_cast<std::int32_t>(std::ceil(y_min - 1.0 - m));
  const auto last = static_cast<std::int32_t>(std::floor(y_max + 1.0 + m));
  out.first_row = first;
  const auto row_count = static_cast<std::size_t>(std::int64_t{last} - std::int64_t{first} + 1);
  const SweptStencil::Row none{0, 0, std::numeric_limits<std::int32_t>::max(),
                               std::numeric_limits<std::int32_t>::min()};
  out.rows.assign(row_count, none);
  out.sample_rows.assign(row_count * count, SweptStencil::SampleRow{0, 0, 0, 0});
  // Per row of one sample: the outline's chord at the strip's lower edge ya = j - 1 - m and at
  // its upper edge yb = j + 1 + m, and the x-extent of its vertices within [ya, yb]; each
  // (low, high), empty while low > high. Found edge by edge and vertex by vertex, so that a row
  // costs the edges that cross its levels only.
  std::vector<double> extent(6 * row_count);
  const double empty_low = std::numeric_limits<double>::infinity();
  for (std::size_t k = 0; k < count; ++k) {
    const Point2D* v = placed.data() + k * n;
    double lo_y = v[0].y;
    double hi_y = v[0].y;
    for (std::size_t i = 1; i < n; ++i) {
      lo_y = std::min(lo_y, v[i].y);
      hi_y = std::max(hi_y, v[i].y);
    }
    const auto j_first = static_cast<std::int32_t>(std::ceil(lo_y - 1.0 - m));
    const auto j_last = static_cast<std::int32_t>(std::floor(hi_y + 1.0 + m));
    const auto at = [&](std::int32_t j) {
      return extent.data() + 6 * static_cast<std::size_t>(j - first);
    };
    for (std::int32_t j = j_first; j <= j_last; ++j) {
      double* e = at(j);
      e[0] = e[2] = e[4] = empty_low;
      e[1] = e[3] = e[5] = -empty_low;
    }
    // The rows whose level (j - 1 - m or j + 1 + m) may lie in [low, high]: a row more each
    // side than the rounding could need, each then tested exactly as the level is computed.
    const auto rows_near = [&](double low, double high, std::int32_t& from, std::int32_t& to) {
      from = std::max(j_first, static_cast<std::int32_t>(std::ceil(low - 1.0 - m)) - 1);
      to = std::min(j_last, static_cast<std::int32_t>(std::floor(high + 1.0 + m)) + 1);
    };
    for (std::size_t i = 0; i < n; ++i) {
      const Point2D& a = v[i];
      const Point2D& b = v[i + 1 == n ? 0 : i + 1];
      const double e_lo = std::min(a.y, b.y);
      const double e_hi = std::max(a.y, b.y);
      std::int32_t from = 0;
      std::int32_t to = 0;
      rows_near(e_lo, e_hi, from, to);
      for (std::int32_t j = from; j <= to; ++j) {
        double* e = at(j);
        const double levels[2] = {j - 1.0 - m, j + 1.0 + m};
        for (int side = 0; side < 2; ++side) {
          const double qy = levels[side];
          if (!(e_lo <= qy && qy <= e_hi)) {
            continue;
          }
          double& low = e[2 * side];
          double& high = e[2 * side + 1];
          if (a.y == b.y) {
            low = std::min({low, a.x, b.x});
            high = std::max({high, a.x, b.x});
          } else {
            const double x = a.x + (qy - a.y) * (b.x - a.x) / (b.y - a.y);
            low = std::min(low, x);
            high = std::max(high, x);
          }
        }
      }
      std::int32_t v_from = 0;
      std::int32_t v_to = 0;
      rows_near(a.y, a.y, v_from, v_to);
      for (std::int32_t j = v_from; j <= v_to; ++j) {
        if (j - 1.0 - m <= a.y && a.y <= j + 1.0 + m) {
          double* e = at(j);
          e[4] = std::min(e[4], a.x);
          e[5] = std::max(e[5], a.x);
        }
      }
    }
    for (std::int32_t j = j_first; j <= j_last; ++j) {
      const auto r = static_cast<std::size_t>(j - first);
      const double* e = at(j);
      const double ya = j - 1.0 - m;
      const double yb = j + 1.0 + m;
      // Possibly touched: the outline's x-extent within the strip [ya, yb], widened.
      const double lo = std::min({e[0], e[2], e[4]});
      const double hi = std::max({e[1], e[3], e[5]});
      if (!(lo <= hi)) {
        continue;
      }
      SweptStencil::Row own{0, 0, static_cast<std::int32_t>(std::ceil(lo - 1.0 - m)),
                            static_cast<std::int32_t>(std::floor(hi + 1.0 + m)) + 1};
      // Surely touched: the box's four corners inside the outline.
      if (ya > lo_y && yb < hi_y && e[0] <= e[1] && e[2] <= e[3]) {
        own.inner_begin = static_cast<std::int32_t>(std::ceil(std::max(e[0], e[2]) + 1.0 + m));
        own.inner_end = static_cast<std::int32_t>(std::floor(std::min(e[1], e[3]) - 1.0 - m)) + 1;
      }
      if (own.outer_begin >= own.outer_end) {
        continue;
      }
      // The inner run lies within the outer one by construction; clamped against rounding.
      own.inner_begin = std::max(own.inner_begin, own.outer_begin);
      own.inner_end = std::min(own.inner_end, own.outer_end);
      if (own.inner_begin >= own.inner_end) {
        own.inner_begin = own.inner_end = own.outer_begin;
      }
      out.sample_rows[k * row_count + r] = SweptStencil::SampleRow{
          static_cast<std::int16_t>(own.inner_begin), static_cast<std::int16_t>(own.inner_end),
          static_cast<std::int16_t>(own.outer_begin), static_cast<std::int16_t>(own.outer_end)};
      SweptStencil::Row& row = out.rows[r];
      row.outer_begin = std::min(row.outer_begin, own.outer_begin);
      row.outer_end = std::max(row.outer_end, own.outer_end);
      if (own.inner_begin < own.inner_end) {
        // The union of two runs when it is one run, else the longer: a part of the union.
        if (row.inner_begin >= row.inner_end) {
          row.inner_begin = own.inner_begin;
          row.inner_end = own.inner_end;
        } else if (own.inner_begin <= row.inner_end && row.inner_begin <= own.inner_end) {
          row.inner_begin = std::min(row.inner_begin, own.inner_begin);
          row.inner_end = std::max(row.inner_end, own.inner_end);
        } else if (own.inner_end - own.inner_begin > row.inner_end - row.inner_begin) {
          row.inner_begin = own.inner_begin;
          row.inner_end = own.inner_end;
        }
      }
    }
  }
  out.outer_min = std::numeric_limits<std::int32_t>::max();
  out.outer_max = std::numeric_limits<std::int32_t>::min();
  for (SweptStencil::Row& row : out.rows) {
    if (row.outer_begin >= row.outer_end) {
      row.outer_begin = row.outer_end = 0;
    }
    if (row.inner_begin >= row.inner_end) {
      row.inner_begin = row.inner_end = row.outer_begin;
    }
    if (row.outer_begin < row.outer_end) {
      out.outer_min = std::min(out.outer_min, row.outer_begin);
      out.outer_max = std::max(out.outer_max, row.outer_end);
    }
  }
  return out.outer_min < out.outer_max;
}

}  // namespace veltrax::se2::detail
