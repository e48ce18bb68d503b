#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "detail/polygon_predicates.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2::detail {

// Rules out the cells of a row that lie too far from a polygon's outline for any of the exact
// tests of the polygon collision check to report a touch: the outline clipped to the row's strip,
// widened by a margin. Why the margin suffices: docs/collision_prefilter.md.
class ReachFilter {
 public:
  // `vertices` must stay in place, and be filled in before the first row, while the filter is used.
  ReachFilter(const Point2D* vertices, std::size_t n, double resolution)
      : vertices_(vertices), n_(n), resolution_(resolution) {}

  // Sets the reach for the row [y0, y1].
  void beginRow(double y0, double y1) {
    // The row-independent parts of the margin, set up with the first row: many checks end
    // before any row needs the geometry.
    if (!margin_ready_) {
      double shortest = std::numeric_limits<double>::infinity();
      double magnitude = 0.0;
      for (std::size_t i = 0; i < n_; ++i) {
        const Point2D& a = edgeStart(i);
        const Point2D& b = vertices_[i];
        shortest = std::min(shortest, std::max(std::fabs(b.x - a.x), std::fabs(b.y - a.y)));
        magnitude = std::max(magnitude, std::max(std::fabs(b.x), std::fabs(b.y)));
      }
      fixed_margin_ =
          4.0 * (kTouchTolerance / shortest + kTouchTolerance / resolution_ + kTouchTolerance);
      magnitude_ = magnitude;
      margin_ready_ = true;
    }
    const double magnitude = std::max(magnitude_, std::max(std::fabs(y0), std::fabs(y1)));
    const double m = fixed_margin_ + 1e-9 * (1.0 + magnitude);
    // A zero-length edge, or a margin that overflows, rules nothing out.
    if (!std::isfinite(m)) {
      lo_ = -std::numeric_limits<double>::infinity();
      hi_ = std::numeric_limits<double>::infinity();
      return;
    }
    const double strip_lo = y0 - m;
    const double strip_hi = y1 + m;
    // An empty clip leaves lo = +inf and hi = -inf, which rules out the whole row, rightly:
    // the test of rulesOut is exact.
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < n_; ++i) {
      const Point2D& a = edgeStart(i);
      const Point2D& b = vertices_[i];
      if (std::max(a.y, b.y) < strip_lo || std::min(a.y, b.y) > strip_hi) {
        continue;
      }
      const double xa = clippedEnd(a, b, strip_lo, strip_hi);
      const double xb = clippedEnd(b, a, strip_lo, strip_hi);
      lo = std::min(lo, std::min(xa, xb));
      hi = std::max(hi, std::max(xa, xb));
    }
    lo_ = lo - m;
    hi_ = hi + m;
  }

  // True when no exact test can find the square [x0, x1] x [y0, y1] of the current row touched.
  bool rulesOut(double x0, double x1) const { return x1 < lo_ || x0 > hi_; }
  // The x-range [lo, hi] of the current row outside which rulesOut holds (infinite when it rules
  // nothing out, lo > hi when it rules out the whole row).
  double lo() const { return lo_; }
  double hi() const { return hi_; }

 private:
  // Edge i runs from vertex i - 1 (the last vertex for i = 0) to vertex i.
  const Point2D& edgeStart(std::size_t i) const { return vertices_[i == 0 ? n_ - 1 : i - 1]; }

  // The x of the segment end -> other clipped to the strip at `end`'s side, for a segment that
  // meets the strip. An end outside it means the other end is across that strip edge, so the
  // division is safe and the fraction lies in [0, 1] after rounding too.
  static double clippedEnd(const Point2D& end, const Point2D& other, double strip_lo,
                           double strip_hi) {
    const double y = end.y < strip_lo ? strip_lo : std::min(end.y, strip_hi);
    if (y == end.y) {
      return end.x;
    }
    return end.x + (other.x - end.x) * ((y - end.y) / (other.y - end.y));
  }

  const Point2D* vertices_;
  std::size_t n_;
  double resolution_;
  bool margin_ready_ = false;
  double fixed_margin_ = 0.0;
  double magnitude_ = 0.0;
  double lo_ = 0.0;
  double hi_ = 0.0;
};

}  // namespace veltrax::se2::detail
