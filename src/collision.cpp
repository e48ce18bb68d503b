#include "veltrax/se2/collision.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "detail/errors.hpp"
#include "detail/free_cells.hpp"
#include "detail/path_sweep.hpp"
#include "detail/polygon_predicates.hpp"
#include "detail/reach_filter.hpp"
#include "detail/swept_stencil.hpp"
#include "detail/valid_footprint.hpp"

namespace veltrax::se2 {

namespace {

constexpr CollisionResult kOutsideResult{true, true, kLethalCost};

struct Box {
  double x_min;
  double x_max;
  double y_min;
  double y_max;
};

// The cells under the box: columns [x_first, x_last] and rows [y_first, y_last], none when
// empty. False when the box is not entirely on the grid. Written with negated comparisons so that
// a NaN box counts as outside rather than reaching the index conversion.
struct CellRange {
  std::uint64_t x_first = 0;
  std::uint64_t x_last = 0;
  std::uint64_t y_first = 0;
  std::uint64_t y_last = 0;
  bool empty = true;
};

bool cellRange(const Costmap& costmap, const Box& box, CellRange& range) {
  const double resolution = costmap.resolution();
  const double origin_x = costmap.originX();
  const double origin_y = costmap.originY();
  const double width = static_cast<double>(costmap.width());
  const double height = static_cast<double>(costmap.height());
  const double far_x = width * resolution + origin_x;
  const double far_y = height * resolution + origin_y;
  if (!(box.x_min >= origin_x && box.y_min >= origin_y && box.x_max <= far_x &&
        box.y_max <= far_y)) {
    return false;
  }
  // Both ends use floor: a high edge on a cell boundary visits the cell beyond it, a low edge on
  // a boundary does not visit the cell before it. The clamp handles a box flush with the far edge.
  const double x_first = std::floor((box.x_min - origin_x) / resolution);
  const double x_last = std::min(std::floor((box.x_max - origin_x) / resolution), width - 1.0);
  const double y_first = std::floor((box.y_min - origin_y) / resolution);
  const double y_last = std::min(std::floor((box.y_max - origin_y) / resolution), height - 1.0);
  // The low ends are >= 0 because the box starts on the grid; the high ends are <= size - 1.
  range.empty = !(x_first <= x_last && y_first <= y_last);
  if (!range.empty) {
    range.x_first = static_cast<std::uint64_t>(x_first);
    range.x_last = static_cast<std::uint64_t>(x_last);
    range.y_first = static_cast<std::uint64_t>(y_first);
    range.y_last = static_cast<std::uint64_t>(y_last);
  }
  return true;
}

// Walks the cells under the box, row by row, and folds every touched cell into the result.
// `shape.beginRow(y0, y1)` prepares a row (only once a cell of it needs the geometry) and
// `shape.touches(x0, x1)` tests the closed square [x0, x1] x [y0, y1].
template <class Shape>
CollisionResult walkCells(const CollisionChecker& checker, const Box& box, Shape& shape) {
  const Costmap& costmap = checker.costmap();
  CellRange range;
  if (!cellRange(costmap, box, range)) {
    return kOutsideResult;
  }
  CollisionResult result;
  if (range.empty) {
    return result;
  }
  const double resolution = costmap.resolution();
  const double origin_x = costmap.originX();
  const double origin_y = costmap.originY();
  const std::uint64_t mx_first = range.x_first;
  const std::uint64_t mx_last = range.x_last;
  const std::uint64_t my_first = range.y_first;
  const std::uint64_t my_last = range.y_last;
  const std::uint64_t stride = costmap.width();
  const std::uint8_t* const cells = costmap.cells().data();
  for (std::uint64_t my = my_first; my <= my_last; ++my) {
    const double y0 = static_cast<double>(my) * resolution + origin_y;
    const std::uint8_t* const row = cells + my * stride;
    bool row_ready = false;
    for (std::uint64_t mx = mx_first; mx <= mx_last; ++mx) {
      const std::uint8_t cost = row[mx];
      const bool blocks = checker.blocked(cost);
      // Whether the shape touches this cell cannot change the answer unless the cell would raise
      // the maximum or be the first blocking one, so the geometry is skipped for such cells.
      if (cost <= result.max_cost && (result.collision || !blocks)) {
        continue;
      }
      if (!row_ready) {
        shape.beginRow(y0, y0 + resolution);
        row_ready = true;
      }
      const double x0 = static_cast<double>(mx) * resolution + origin_x;
      if (shape.touches(x0, x0 + resolution)) {
        result.collision = result.collision || blocks;
        result.max_cost = std::max(result.max_cost, cost);
      }
    }
  }
  return result;
}

// Closed disc against closed square: the square's point nearest to the centre is in the disc.
class DiscShape {
 public:
  DiscShape(double x, double y, double radius) : x_(x), y_(y), radius_squared_(radius * radius) {}

  void beginRow(double y0, double y1) {
    const double ny = y0 > y_ ? y0 : std::min(y1, y_);
    dy_squared_ = (y_ - ny) * (y_ - ny);
  }

  bool touches(double x0, double x1) const {
    const double nx = x0 > x_ ? x0 : std::min(x1, x_);
    return radius_squared_ >= (x_ - nx) * (x_ - nx) + dy_squared_;
  }

 private:
  double x_;
  double y_;
  double radius_squared_;
  double dy_squared_ = 0.0;
};

// Room for up to N values of T inside the object, left uninitialised (a check places a footprint
// millions of times per plan, and every entry is written before it is read), with the heap for
// more.
template <class T, std::size_t N>
class SmallBuffer {
 public:
  explicit SmallBuffer(std::size_t n) : data_(local_.items) {
    if (n > N) {
      heap_.resize(n);
      data_ = heap_.data();
    }
  }
  SmallBuffer(const SmallBuffer&) = delete;
  SmallBuffer& operator=(const SmallBuffer&) = delete;

  T* data() { return data_; }
  const T* data() const { return data_; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }

 private:
  union Local {
    Local() {}
    T items[N];
  };
  Local local_;
  std::vector<T> heap_;
  T* data_;
};

// Where the edge a-b, which crosses the line y = qy, meets it: the parity test's crossing.
inline double crossingX(const Point2D& a, const Point2D& b, double qy) {
  return b.x + (a.x - b.x) * (qy - b.y) / (a.y - b.y);
}

// Closed polygon against closed square [x0, x1] x [y0, y1]: the shapes touch when a vertex lies
// in the square, a corner lies in or on the polygon, or a polygon edge meets a cell edge. Each
// test is pure, so running the cheapest first does not change the answer.
//
// Everything about a corner that depends only on its row is prepared once per row: the x at
// which each edge crosses the corner's horizontal line (the parity test of the even-odd rule
// needs only those), the edges whose y-range holds the line (only they can have the corner in
// their closed box), and the vertices whose y lies in the row.
class PolygonShape {
 public:
  PolygonShape(std::size_t n, double resolution)
      : n_(n), vertices_(n), slots_(n), reach_(vertices_.data(), n, resolution) {}
  PolygonShape(const PolygonShape&) = delete;
  PolygonShape& operator=(const PolygonShape&) = delete;

  Point2D& vertex(std::size_t i) { return vertices_[i]; }
  const Point2D& vertex(std::size_t i) const { return vertices_[i]; }
  const Point2D* vertices() const { return vertices_.data(); }
  std::size_t size() const { return n_; }

  void beginRow(double y0, double y1) {
    y0_ = y0;
    y1_ = y1;
    reach_.beginRow(y0, y1);
    prepareLine(0, y0);
    prepareLine(1, y1);
    // The y half of each corner's orientation relative to each edge (see edgeMeetsSquare).
    for (std::size_t i = 0; i < n_; ++i) {
      const Point2D& a = vertex(i);
      const Point2D& b = vertex(i + 1 == n_ ? 0 : i + 1);
      slots_[i].edge_y_term[0] = (b.x - a.x) * (y0 - a.y);
      slots_[i].edge_y_term[1] = (b.x - a.x) * (y1 - a.y);
    }
    row_vertices_ = 0;
    for (std::size_t i = 0; i < n_; ++i) {
      if (y0 <= vertex(i).y && vertex(i).y <= y1) {
        slots_[row_vertices_++].row_vertex = static_cast<std::uint32_t>(i);
      }
    }
  }

  bool touches(double x0, double x1) const {
    // Most squares of the box that miss the outline are far from it.
    if (reach_.rulesOut(x0, x1)) {
      return false;
    }
    for (std::size_t k = 0; k < row_vertices_; ++k) {
      const double vx = vertex(slots_[k].row_vertex).x;
      if (x0 <= vx && vx <= x1) {
        return true;
      }
    }
    if (cornerInPolygon(0, x0) || cornerInPolygon(0, x1) || cornerInPolygon(1, x1) ||
        cornerInPolygon(1, x0)) {
      return true;
    }
    return edgeMeetsSquare(x0, x1);
  }

 private:
  static constexpr std::size_t kInline = 32;

  // Column storage for the per-row lists; slot k holds the k-th entry of each list.
  struct Slot {
    double crossing[2];
    double edge_y_term[2];
    std::uint32_t active[2];
    std::uint32_t row_vertex;
  };

  // Edge i runs from vertex i - 1 (a, the last vertex for i = 0) to vertex i (b).
  const Point2D& edgeStart(std::size_t i) const { return vertex(i == 0 ? n_ - 1 : i - 1); }

  void prepareLine(int line, double qy) {
    std::size_t crossings = 0;
    std::size_t active = 0;
    for (std::size_t i = 0; i < n_; ++i) {
      const Point2D& a = edgeStart(i);
      const Point2D& b = vertex(i);
      if (std::min(a.y, b.y) <= qy && qy <= std::max(a.y, b.y)) {
        slots_[active++].active[line] = static_cast<std::uint32_t>(i);
      }
      // The crossing test implies a.y != b.y, so the division is safe.
      if ((b.y > qy) != (a.y > qy)) {
        slots_[crossings++].crossing[line] = crossingX(a, b, qy);
      }
    }
    crossing_count_[line] = crossings;
    active_count_[line] = active;
  }

  // Corner (qx, y of `line`): on an edge within the tolerance, or inside by even-odd parity.
  bool cornerInPolygon(int line, double qx) const {
    const double qy = line == 0 ? y0_ : y1_;
    for (std::size_t k = 0; k < active_count_[line]; ++k) {
      const std::size_t i = slots_[k].active[line];
      if (detail::onSegment(edgeStart(i), vertex(i), qx, qy)) {
        return true;
      }
    }
    bool inside = false;
    for (std::size_t k = 0; k < crossing_count_[line]; ++k) {
      inside = inside != (qx < slots_[k].crossing[line]);
    }
    return inside;
  }

  bool edgeMeetsSquare(double x0, double x1) const {
    constexpr double eps = detail::kTouchTolerance;
    const double y0 = y0_;
    const double y1 = y1_;
    const Point2D corners[4] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    const auto near_square = [&](const Point2D& p) {
      return x0 - eps <= p.x && p.x <= x1 + eps && y0 - eps <= p.y && p.y <= y1 + eps;
    };
    for (std::size_t i = 0; i < n_; ++i) {
      const Point2D& a = vertex(i);
      const Point2D& b = vertex(i + 1 == n_ ? 0 : i + 1);
      // Orientation of each corner c relative to a->b, cross(b - a, c - a), which adjacent cell
      // edges share. Its first product depends only on the row and is prepared with it; the
      // operations are the same, so the values are too.
      const double x_term0 = (b.y - a.y) * (x0 - a.x);
      const double x_term1 = (b.y - a.y) * (x1 - a.x);
      const double side[4] = {
          slots_[i].edge_y_term[0] - x_term0, slots_[i].edge_y_term[0] - x_term1,
          slots_[i].edge_y_term[1] - x_term1, slots_[i].edge_y_term[1] - x_term0};
      // With every corner clearly on one side of the edge's line, only an end of the edge lying
      // near a cell edge could still meet it, and such an end is near the square.
      const bool all_left = side[0] > eps && side[1] > eps && side[2] > eps && side[3] > eps;
      const bool all_right = side[0] < -eps && side[1] < -eps && side[2] < -eps && side[3] < -eps;
      if ((all_left || all_right) && !near_square(a) && !near_square(b)) {
        continue;
      }
      for (std::size_t e = 0; e < 4; ++e) {
        const std::size_t f = (e + 1) % 4;
        if (detail::edgeMeetsCellEdge(a, b, corners[e], corners[f], side[e], side[f])) {
          return true;
        }
      }
    }
    return false;
  }

  std::size_t n_;
  SmallBuffer<Point2D, kInline> vertices_;
  SmallBuffer<Slot, kInline> slots_;
  detail::ReachFilter reach_;
  double y0_ = 0.0;
  double y1_ = 0.0;
  std::size_t crossing_count_[2] = {0, 0};
  std::size_t active_count_[2] = {0, 0};
  std::size_t row_vertices_ = 0;
};

// The polygon's vertices placed at the pose, and their box; false when a vertex is not finite.
bool placePolygon(const Pose2D& pose, const PolygonFootprint& polygon, PolygonShape& shape,
                  Box& box) {
  const std::size_t n = polygon.points.size();
  const double cos_yaw = std::cos(pose.yaw);
  const double sin_yaw = std::sin(pose.yaw);
  bool finite = true;
  for (std::size_t i = 0; i < n; ++i) {
    const Point2D& p = polygon.points[i];
    Point2D& w = shape.vertex(i);
    w = Point2D{pose.x + p.x * cos_yaw - p.y * sin_yaw, pose.y + p.x * sin_yaw + p.y * cos_yaw};
    finite = finite && std::isfinite(w.x) && std::isfinite(w.y);
  }
  if (!finite) {
    return false;
  }
  box = Box{shape.vertex(0).x, shape.vertex(0).x, shape.vertex(0).y, shape.vertex(0).y};
  for (std::size_t i = 1; i < n; ++i) {
    box.x_min = std::min(box.x_min, shape.vertex(i).x);
    box.x_max = std::max(box.x_max, shape.vertex(i).x);
    box.y_min = std::min(box.y_min, shape.vertex(i).y);
    box.y_max = std::max(box.y_max, shape.vertex(i).y);
  }
  return true;
}

// [begin, end) becomes its union with [b, e) when that is one run of columns; otherwise the
// longer of the two, which is a part of the union.
inline void joinInto(std::uint64_t b, std::uint64_t e, std::uint64_t& begin, std::uint64_t& end) {
  if (b >= e) {
    return;
  }
  if (begin >= end) {
    begin = b;
    end = e;
  } else if (b <= end && begin <= e) {
    begin = std::min(begin, b);
    end = std::max(end, e);
  } else if (e - b > end - begin) {
    begin = b;
    end = e;
  }
}

// The columns of a CellRange's rows, in cell units. A square's corners, as walkCells computes
// them (x0 = column * resolution + origin, x1 = x0 + resolution), lie within a few roundings
// of the world x that column and column + 1 stand for; `slack` (cells) is far wider than those,
// so runs widened by it contain every column a predicate on the exact corners could select,
// and runs narrowed by it only columns it surely selects.
class RowColumns {
 public:
  RowColumns(const Costmap& costmap, const CellRange& range, double magnitude)
      : inverse_(1.0 / costmap.resolution()),
        origin_x_(costmap.originX()),
        first_(static_cast<double>(range.x_first)),
        end_(static_cast<double>(range.x_last) + 1.0),
        slack_(1e-9 * (1.0 + (std::fabs(costmap.originX()) + magnitude) * inverse_)) {}

  // Columns whose square the reach filter's [lo, hi] does not rule out (x1 >= lo and x0 <= hi),
  // and perhaps a neighbour within the slack.
  void notRuledOut(double lo, double hi, std::uint64_t& begin, std::uint64_t& end) const {
    const double u_lo = clamp((lo - origin_x_) * inverse_ - slack_ - 1.0);
    const double u_hi = clamp((hi - origin_x_) * inverse_ + slack_);
    auto b = static_cast<std::uint64_t>(u_lo);
    b += static_cast<double>(b) < u_lo ? 1 : 0;
    begin = std::max(b, static_cast<std::uint64_t>(first_));
    end = std::min(static_cast<std::uint64_t>(u_hi) + 1, static_cast<std::uint64_t>(end_));
    if (!(u_lo <= u_hi) || begin >= end) {
      begin = end = 0;
    }
  }

  // Columns whose square surely has a corner x in [c0, c1): every corner k (in cells) with
  // c0 <= k < c1 by more than the slack is the left corner of column k and the right one of
  // column k - 1. Empty (begin = end) when there is none.
  void cornersWithin(double c0, double c1, std::uint64_t& begin, std::uint64_t& end) const {
    // Clamped to the range before the conversions, which then truncate non-negative values:
    // the first k is ceil(u0), the last one floor(u1).
    const double u0 = clamp((c0 - origin_x_) * inverse_ + slack_);
    const double u1 = clamp((c1 - origin_x_) * inverse_ - slack_);
    auto k_first = static_cast<std::uint64_t>(u0);
    k_first += static_cast<double>(k_first) < u0 ? 1 : 0;
    const auto k_last = static_cast<std::uint64_t>(u1);
    if (!(u0 <= u1) || k_first > k_last) {
      begin = end = 0;
      return;
    }
    begin = std::max(k_first, static_cast<std::uint64_t>(first_) + 1) - 1;
    end = std::min(k_last + 1, static_cast<std::uint64_t>(end_));
    if (begin >= end) {
      begin = end = 0;
    }
  }

 private:
  // Into [first - 1, end + 1], NaN to first - 1; never negative, as first - 1 >= -1 is raised to 0.
  double clamp(double u) const {
    const double lowest = std::max(first_ - 1.0, 0.0);
    return u > lowest ? std::min(u, end_ + 1.0) : lowest;
  }

  double inverse_;
  double origin_x_;
  double first_;
  double end_;
  double slack_;
};

// The two crossings of the line y = qy with the outline, sorted, exactly as the parity test
// computes them; false unless there are exactly two. A corner (qx, qy) with c0 <= qx < c1 then
// has one crossing to its right, so the test finds it inside and the square touched.
bool chordOf(const PolygonShape& shape, double qy, double& c0, double& c1) {
  const Point2D* v = shape.vertices();
  const std::size_t n = shape.size();
  double c[2];
  std::size_t count = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Point2D& a = v[i == 0 ? n - 1 : i - 1];
    const Point2D& b = v[i];
    if ((b.y > qy) != (a.y > qy)) {
      if (count == 2) {
        return false;
      }
      c[count++] = crossingX(a, b, qy);
    }
  }
  if (count != 2) {
    return false;
  }
  c0 = std::min(c[0], c[1]);
  c1 = std::max(c[0], c[1]);
  return true;
}

// The crossings of horizontal lines, taken in increasing y, with an outline that every such
// line between its lowest and highest vertex meets exactly twice (the outline rises from its
// lowest vertex to its highest along both ways round, as a convex one does): each way round
// is walked once over all lines. The crossings are those of the parity test up to a few
// roundings.
class MonotoneChords {
 public:
  explicit MonotoneChords(const PolygonShape& shape)
      : MonotoneChords(shape.vertices(), shape.size()) {}
  MonotoneChords(const Point2D* vertices, std::size_t n) : v_(vertices), n_(n) {
    std::size_t low = 0;
    std::size_t high = 0;
    for (std::size_t i = 0; i < n_; ++i) {
      low = v_[i].y < v_[low].y ? i : low;
      high = v_[i].y > v_[high].y ? i : high;
    }
    // Whether the outline rises and falls just once: the sign of dy changes twice round it.
    int first = 0;
    int last = 0;
    std::size_t changes = 0;
    for (std::size_t i = 0; i < n_; ++i) {
      const double dy = v_[i + 1 == n_ ? 0 : i + 1].y - v_[i].y;
      const int sign = dy > 0.0 ? 1 : (dy < 0.0 ? -1 : 0);
      if (sign != 0) {
        changes += last != 0 && sign != last ? 1 : 0;
        first = first == 0 ? sign : first;
        last = sign;
      }
    }
    changes += first != last ? 1 : 0;
    monotone_ = changes == 2;
    low_y_ = v_[low].y;
    high_y_ = v_[high].y;
    forward_ = low;
    backward_ = low;
  }

  bool usable() const { return monotone_; }

  // The two crossings of the line y = qy, sorted; false when it does not pass between the lowest
  // and the highest vertex.
  bool chord(double qy, double& c0, double& c1) {
    if (!(qy > low_y_ && qy < high_y_)) {
      return false;
    }
    const double a = crossing(forward_, 1, qy);
    const double b = crossing(backward_, n_ - 1, qy);
    c0 = std::min(a, b);
    c1 = std::max(a, b);
    return true;
  }

 private:
  // Walks the vertex `at` on (by `step` modulo n) while the next one lies below the line.
  double crossing(std::size_t& at, std::size_t step, double qy) const {
    std::size_t next = (at + step) % n_;
    while (v_[next].y < qy) {
      at = next;
      next = (at + step) % n_;
    }
    const Point2D& p = v_[at];
    const Point2D& q = v_[next];
    return q.y > p.y ? p.x + (q.x - p.x) * ((qy - p.y) / (q.y - p.y)) : p.x;
  }

  const Point2D* v_;
  std::size_t n_;
  bool monotone_ = false;
  double low_y_ = 0.0;
  double high_y_ = 0.0;
  std::size_t forward_ = 0;
  std::size_t backward_ = 0;
};

// Folds the cells [begin, end) of a row into the highest cost and whether one of them blocks.
// The maximum alone decides blocking unless unknown cells are passable and one is the maximum.
inline void foldRun(const std::uint8_t* row, std::uint64_t begin, std::uint64_t end,
                    bool allow_unknown, std::uint8_t& max_cost, bool& blocks) {
  std::uint8_t m = 0;
  for (std::uint64_t mx = begin; mx < end; ++mx) {
    m = row[mx] > m ? row[mx] : m;
  }
  max_cost = std::max(max_cost, m);
  if (m >= kLethalCost) {
    if (!allow_unknown || m == kLethalCost) {
      blocks = true;
    } else {
      blocks = blocks || std::find(row + begin, row + end, kLethalCost) != row + end;
    }
  }
}

// Gives the cells [begin, end) of row `my` that could change the answer (a cost above
// `max_cost`, or one that blocks) the exact test of each placed sample whose cells hold them,
// and raises `max_cost` to those touched. False when a touched one blocks.
bool settleRun(const CollisionChecker& checker, const std::uint8_t* costs, std::uint64_t my,
               double y0, std::uint64_t begin, std::uint64_t end, const Point2D* vertices,
               const CellRange* ranges, std::size_t count, std::size_t n, std::uint8_t& max_cost) {
  std::uint8_t part_max = 0;
  bool part_blocks = false;
  foldRun(costs, begin, end, checker.allowUnknown(), part_max, part_blocks);
  if (part_max <= max_cost && !part_blocks) {
    return true;
  }
  const double resolution = checker.costmap().resolution();
  const double origin_x = checker.costmap().originX();
  for (std::uint64_t mx = begin; mx < end; ++mx) {
    const std::uint8_t c = costs[mx];
    const bool blocking = checker.blocked(c);
    if (c <= max_cost && !blocking) {
      continue;
    }
    const double x0 = static_cast<double>(mx) * resolution + origin_x;
    for (std::size_t k = 0; k < count; ++k) {
      const CellRange& range = ranges[k];
      if (range.empty || mx < range.x_first || mx > range.x_last || my < range.y_first ||
          my > range.y_last) {
        continue;
      }
      PolygonShape shape(n, resolution);
      std::copy(vertices + k * n, vertices + (k + 1) * n, &shape.vertex(0));
      shape.beginRow(y0, y0 + resolution);
      if (shape.touches(x0, x0 + resolution)) {
        if (blocking) {
          return false;
        }
        max_cost = c;
        break;
      }
    }
  }
  return true;
}

}  // namespace

CollisionResult CollisionChecker::checkCircle(const Pose2D& pose,
                                              const CircleFootprint& circle) const {
  const double x = pose.x;
  const double y = pose.y;
  const double radius = circle.radius;
  DiscShape disc(x, y, radius);
  return walkCells(*this, Box{x - radius, x + radius, y - radius, y + radius}, disc);
}

CollisionResult CollisionChecker::checkPolygon(const Pose2D& pose,
                                               const PolygonFootprint& polygon) const {
  const std::size_t n = polygon.points.size();
  // An empty outline has no box and touches nothing.
  if (n == 0) {
    return CollisionResult{};
  }
  PolygonShape shape(n, costmap().resolution());
  Box box;
  // A vertex that is not finite cannot be placed on any grid.
  if (!placePolygon(pose, polygon, shape, box)) {
    return kOutsideResult;
  }
  return walkCells(*this, box, shape);
}

CollisionResult CollisionChecker::checkMultiPolygon(const Pose2D& pose,
                                                    const MultiPolygonFootprint& multi) const {
  CollisionResult result;
  for (const PolygonFootprint& component : multi.polygons) {
    const CollisionResult part = checkPolygon(pose, component);
    result.max_cost = std::max(result.max_cost, part.max_cost);
    result.outside_map = result.outside_map || part.outside_map;
    // The first colliding component decides; later components are not looked at.
    if (part.collision) {
      result.collision = true;
      return result;
    }
  }
  return result;
}

CollisionResult CollisionChecker::checkValidated(const Pose2D& pose,
                                                 const Footprint& footprint) const {
  if (!std::isfinite(pose.x) || !std::isfinite(pose.y) || !std::isfinite(pose.yaw)) {
    detail::throwInvalidArgument("collision pose must be finite");
  }
  switch (footprint.index()) {
    case 0: return checkCircle(pose, *std::get_if<CircleFootprint>(&footprint));
    case 1: return checkPolygon(pose, *std::get_if<PolygonFootprint>(&footprint));
    default: return checkMultiPolygon(pose, *std::get_if<MultiPolygonFootprint>(&footprint));
  }
}

CollisionResult CollisionChecker::check(const Pose2D& pose, const Footprint& footprint) const {
  return checkValidated(pose, detail::ValidFootprint::require(footprint).get());
}

CollisionResult CollisionChecker::validatePath(const std::vector<Pose2D>& path,
                                               const Footprint& footprint,
                                               double interpolation_step) const {
  if (!(std::isfinite(interpolation_step) && interpolation_step > 0.0)) {
    detail::throwInvalidArgument("interpolation_step must be finite and positive");
  }
  return detail::sweepFootprint(*this, path, detail::ValidFootprint::require(footprint),
                                interpolation_step, detail::kTooManyStepSamples);
}

CollisionResult detail::checkPolygonByRows(const CollisionChecker& checker, const Pose2D& pose,
                                           const PolygonFootprint& polygon, bool complete) {
  const std::size_t n = polygon.points.size();
  if (n == 0) {
    return CollisionResult{};
  }
  const Costmap& costmap = checker.costmap();
  const double resolution = costmap.resolution();
  PolygonShape shape(n, resolution);
  Box box;
  if (!placePolygon(pose, polygon, shape, box)) {
    return kOutsideResult;
  }
  CellRange range;
  if (!cellRange(costmap, box, range)) {
    return kOutsideResult;
  }
  CollisionResult result;
  if (range.empty) {
    return result;
  }
  // Pass one folds, row by row, the run of squares with a corner inside the outline by the exact
  // test's own parity (touched for certain) in one sweep. Pass two looks at the rest of each row
  // only where a cell could change the answer, and gives such cells the exact test. The answer
  // is a maximum and an "or" over the touched cells, so the order is free.
  const double magnitude = std::max(std::fabs(box.x_min), std::fabs(box.x_max)) + resolution;
  const RowColumns columns(costmap, range, magnitude);
  struct Run {
    std::uint64_t begin;
    std::uint64_t end;
  };
  SmallBuffer<Run, 128> runs(range.y_last - range.y_first + 1);
  const double origin_x = costmap.originX();
  const double origin_y = costmap.originY();
  const std::uint64_t stride = costmap.width();
  const std::uint8_t* const cells = costmap.cells().data();
  const bool allow_unknown = checker.allowUnknown();
  // The squares with a corner inside on a row's upper line, which is usually the next row's
  // lower line too.
  MonotoneChords chords(shape);
  const bool monotone = chords.usable();
  double upper_y = std::numeric_limits<double>::quiet_NaN();
  Run upper{0, 0};
  double c0 = 0.0;
  double c1 = 0.0;
  for (std::uint64_t my = range.y_first; my <= range.y_last; ++my) {
    Run& run = runs[my - range.y_first];
    const double y0 = static_cast<double>(my) * resolution + origin_y;
    const double y1 = y0 + resolution;
    if (!(y0 == upper_y)) {
      upper = Run{0, 0};
      if (monotone ? chords.chord(y0, c0, c1) : chordOf(shape, y0, c0, c1)) {
        columns.cornersWithin(c0, c1, upper.begin, upper.end);
      }
    }
    run = upper;
    upper_y = y1;
    upper = Run{0, 0};
    if (monotone ? chords.chord(y1, c0, c1) : chordOf(shape, y1, c0, c1)) {
      columns.cornersWithin(c0, c1, upper.begin, upper.end);
    }
    joinInto(upper.begin, upper.end, run.begin, run.end);
    if (run.begin < run.end) {
      foldRun(cells + my * stride, run.begin, run.end, allow_unknown, result.max_cost,
              result.collision);
      if (result.collision && !complete) {
        return result;
      }
    } else {
      run.begin = run.end = range.x_last + 1;
    }
  }
  for (std::uint64_t my = range.y_first; my <= range.y_last; ++my) {
    const Run& run = runs[my - range.y_first];
    const std::uint8_t* const costs = cells + my * stride;
    const double y0 = static_cast<double>(my) * resolution + origin_y;
    bool row_ready = false;
    const auto visit = [&](std::uint64_t begin, std::uint64_t end) {
      // Most often no cell of the part could change the answer.
      std::uint8_t part_max = 0;
      bool part_blocks = false;
      foldRun(costs, begin, end, allow_unknown, part_max, part_blocks);
      if (part_max <= result.max_cost && (result.collision || !part_blocks)) {
        return;
      }
      for (std::uint64_t mx = begin; mx < end; ++mx) {
        const std::uint8_t cost = costs[mx];
        const bool blocks = checker.blocked(cost);
        if (cost <= result.max_cost && (result.collision || !blocks)) {
          continue;
        }
        if (!row_ready) {
          shape.beginRow(y0, y0 + resolution);
          row_ready = true;
        }
        const double x0 = static_cast<double>(mx) * resolution + origin_x;
        if (shape.touches(x0, x0 + resolution)) {
          result.collision = result.collision || blocks;
          result.max_cost = std::max(result.max_cost, cost);
        }
      }
    };
    visit(range.x_first, run.begin);
    visit(run.end, range.x_last + 1);
    if (result.collision && !complete) {
      return result;
    }
  }
  return result;
}

bool detail::sweptPolygonCost(const CollisionChecker& checker, const std::vector<Pose2D>& samples,
                              const PolygonFootprint& polygon, std::uint8_t& cost, bool& collides) {
  collides = false;
  constexpr std::size_t kMostSamples = 32;
  constexpr std::size_t kMostPoints = 256;
  constexpr std::uint64_t kMostRows = 256;
  const std::size_t n = polygon.points.size();
  const std::size_t count = samples.size();
  if (n < 3 || count == 0 || count > kMostSamples || n * count > kMostPoints) {
    return false;
  }
  const Costmap& costmap = checker.costmap();
  const double resolution = costmap.resolution();
  const double origin_x = costmap.originX();
  const double origin_y = costmap.originY();
  const std::uint64_t stride = costmap.width();
  const std::uint8_t* const cells = costmap.cells().data();
  const bool allow_unknown = checker.allowUnknown();

  // Every sample placed as the walk places it: its vertices and its cells.
  SmallBuffer<Point2D, kMostPoints> vertices(n * count);
  CellRange ranges[kMostSamples];
  double magnitudes[kMostSamples];
  std::uint64_t y_first = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t y_last = 0;
  {
    PolygonShape shape(n, resolution);
    for (std::size_t k = 0; k < count; ++k) {
      Box box;
      // A sample off the grid collides: the walk sample by sample finds which.
      if (!placePolygon(samples[k], polygon, shape, box) || !cellRange(costmap, box, ranges[k])) {
        return false;
      }
      std::copy(shape.vertices(), shape.vertices() + n, vertices.data() + k * n);
      magnitudes[k] = std::max(std::fabs(box.x_min), std::fabs(box.x_max)) + resolution;
      if (!ranges[k].empty) {
        y_first = std::min(y_first, ranges[k].y_first);
        y_last = std::max(y_last, ranges[k].y_last);
      }
    }
  }
  cost = 0;
  if (y_first > y_last) {
    return true;
  }
  if (y_last - y_first + 1 > kMostRows) {
    return false;
  }
  struct Span {
    std::uint64_t inner_begin;
    std::uint64_t inner_end;
    std::uint64_t outer_begin;
    std::uint64_t outer_end;
  };
  SmallBuffer<Span, kMostRows> spans(y_last - y_first + 1);
  for (std::uint64_t i = 0; i <= y_last - y_first; ++i) {
    spans[i] = Span{0, 0, std::numeric_limits<std::uint64_t>::max(), 0};
  }
  const auto row_y0 = [&](std::uint64_t my) {
    return static_cast<double>(my) * resolution + origin_y;
  };

  // Pass one: per row, squares with a corner inside the first, middle or last sample (touched
  // for certain by its walk), kept as one run of their union (or its longer part); then their
  // highest cost.
  const std::size_t picked[3] = {0, count / 2, count - 1};
  for (std::size_t pick = 0; pick < 3; ++pick) {
    const std::size_t k = picked[pick];
    const CellRange& range = ranges[k];
    if (range.empty || (pick > 0 && k == picked[pick - 1])) {
      continue;
    }
    MonotoneChords chords(vertices.data() + k * n, n);
    if (!chords.usable()) {
      return false;
    }
    const RowColumns columns(costmap, range, magnitudes[k]);
    double upper_y = std::numeric_limits<double>::quiet_NaN();
    std::uint64_t upper_begin = 0;
    std::uint64_t upper_end = 0;
    double c0 = 0.0;
    double c1 = 0.0;
    for (std::uint64_t my = range.y_first; my <= range.y_last; ++my) {
      const double y0 = row_y0(my);
      const double y1 = y0 + resolution;
      if (!(y0 == upper_y)) {
        upper_begin = upper_end = 0;
        if (chords.chord(y0, c0, c1)) {
          columns.cornersWithin(c0, c1, upper_begin, upper_end);
        }
      }
      std::uint64_t begin = upper_begin;
      std::uint64_t end = upper_end;
      upper_y = y1;
      upper_begin = upper_end = 0;
      if (chords.chord(y1, c0, c1)) {
        columns.cornersWithin(c0, c1, upper_begin, upper_end);
      }
      joinInto(upper_begin, upper_end, begin, end);
      Span& span = spans[my - y_first];
      joinInto(begin, end, span.inner_begin, span.inner_end);
    }
  }
  std::uint8_t max_cost = 0;
  bool blocks = false;
  for (std::uint64_t my = y_first; my <= y_last; ++my) {
    const Span& span = spans[my - y_first];
    if (span.inner_begin < span.inner_end) {
      foldRun(cells + my * stride, span.inner_begin, span.inner_end, allow_unknown, max_cost,
              blocks);
    }
  }
  // Some sample collides: the walk sample by sample finds the first.
  if (blocks) {
    collides = true;
    return false;
  }

  // Pass two: every sample lies within `spread` of the convex hull H of the first and last ones
  // (each vertex within it of the segment between its first and last place, and a convex
  // outline is the hull of its vertices), so by docs/collision_prefilter.md a square any
  // sample's walk reports touched lies within spread + margin of H in x and y. Every such cell
  // outside the runs must be unable to change the answer, or pass each sample's exact test.
  const Point2D* first = vertices.data();
  const Point2D* last = vertices.data() + (count - 1) * n;
  double spread = 0.0;
  double shortest = std::numeric_limits<double>::infinity();
  double magnitude = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const Point2D& a = first[i];
    const Point2D& b = last[i];
    const Point2D& next = first[i + 1 == n ? 0 : i + 1];
    shortest = std::min(shortest, std::max(std::fabs(next.x - a.x), std::fabs(next.y - a.y)));
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    for (std::size_t k = 1; k + 1 < count; ++k) {
      const Point2D& p = vertices[k * n + i];
      double t = length2 > 0.0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0.0;
      t = std::min(1.0, std::max(0.0, t));
      spread = std::max(spread, std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy)));
      magnitude = std::max({magnitude, std::fabs(p.x), std::fabs(p.y)});
    }
    magnitude =
        std::max({magnitude, std::fabs(a.x), std::fabs(a.y), std::fabs(b.x), std::fabs(b.y)});
  }
  constexpr double e = detail::kTouchTolerance;
  // The exact tests' reach (see the note) with room to spare, and the rounding of the spread.
  const double margin = spread * (1.0 + 1e-9) + 8.0 * (e / (0.5 * shortest) + e / resolution + e) +
                        1e-8 * (1.0 + magnitude + std::fabs(origin_y) + std::fabs(origin_x));
  if (!std::isfinite(margin)) {
    return false;
  }
  // H by Andrew's monotone chain over the 2n points.
  if (2 * n > 64) {
    return false;
  }
  SmallBuffer<Point2D, 64> points(2 * n);
  SmallBuffer<Point2D, 65> hull(2 * n + 1);
  std::copy(first, first + n, points.data());
  std::copy(last, last + n, points.data() + n);
  std::sort(points.data(), points.data() + 2 * n, [](const Point2D& p, const Point2D& q) {
    return p.x < q.x || (p.x == q.x && p.y < q.y);
  });
  std::size_t h = 0;
  const auto turn = [&](const Point2D& o, const Point2D& a, const Point2D& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
  };
  for (std::size_t i = 0; i < 2 * n; ++i) {
    while (h >= 2 && turn(hull[h - 2], hull[h - 1], points[i]) <= 0.0) {
      --h;
    }
    hull[h++] = points[i];
  }
  for (std::size_t i = 2 * n - 1, lower = h + 1; i-- > 0;) {
    while (h >= lower && turn(hull[h - 2], hull[h - 1], points[i]) <= 0.0) {
      --h;
    }
    hull[h++] = points[i];
  }
  const std::size_t hull_size = h - 1;
  MonotoneChords below(hull.data(), hull_size);
  MonotoneChords above(hull.data(), hull_size);
  if (hull_size < 3 || !below.usable()) {
    return false;
  }
  CellRange all = ranges[0];
  double all_magnitude = 0.0;
  for (std::size_t k = 0; k < count; ++k) {
    if (!ranges[k].empty) {
      if (all.empty) {
        all = ranges[k];
      }
      all.x_first = std::min(all.x_first, ranges[k].x_first);
      all.x_last = std::max(all.x_last, ranges[k].x_last);
    }
    all_magnitude = std::max(all_magnitude, magnitudes[k]);
  }
  const RowColumns columns(costmap, all, all_magnitude);
  for (std::uint64_t my = y_first; my <= y_last; ++my) {
    const double y0 = row_y0(my);
    const double ya = y0 - margin;
    const double yb = y0 + resolution + margin;
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    double c0 = 0.0;
    double c1 = 0.0;
    if (below.chord(ya, c0, c1)) {
      lo = std::min(lo, c0);
      hi = std::max(hi, c1);
    }
    if (above.chord(yb, c0, c1)) {
      lo = std::min(lo, c0);
      hi = std::max(hi, c1);
    }
    for (std::size_t i = 0; i < hull_size; ++i) {
      if (ya <= hull[i].y && hull[i].y <= yb) {
        lo = std::min(lo, hull[i].x);
        hi = std::max(hi, hull[i].x);
      }
    }
    if (lo <= hi) {
      Span& span = spans[my - y_first];
      columns.notRuledOut(lo - margin, hi + margin, span.outer_begin, span.outer_end);
    }
  }
  for (std::uint64_t my = y_first; my <= y_last; ++my) {
    const Span& span = spans[my - y_first];
    if (span.outer_begin >= span.outer_end) {
      continue;
    }
    const std::uint8_t* const costs = cells + my * stride;
    const double y0 = row_y0(my);
    const auto settle = [&](std::uint64_t begin, std::uint64_t end) {
      if (settleRun(checker, costs, my, y0, begin, end, vertices.data(), ranges, count, n,
                    max_cost)) {
        return true;
      }
      collides = true;
      return false;
    };
    const bool inner = span.inner_begin < span.inner_end;
    const std::uint64_t left_end =
        inner ? std::max(span.inner_begin, span.outer_begin) : span.outer_end;
    const std::uint64_t right_begin =
        inner ? std::min(span.inner_end, span.outer_end) : span.outer_end;
    if (!settle(span.outer_begin, left_end) || !settle(right_begin, span.outer_end)) {
      return false;
    }
  }
  cost = max_cost;
  return true;
}

namespace {

// The exact tests of single cells by the samples of a stencil. A square and a convex outline are
// apart when their projections on an axis of either are, and they overlap when their projections
// on all of them do (no separating axis); the stencil holds the outlines relative to the start,
// so most squares are decided in a few products. Only a square within the tolerance of an
// outline on some axis gets the exact test, with the sample placed as the walk places it, so the
// answers are the exact test's own.
class StencilSamples {
 public:
  static constexpr std::size_t kMostPoints = 256;
  static constexpr std::size_t kMostSamples = 32;

  // All three must outlive it.
  StencilSamples(const CollisionChecker& checker, const PolygonFootprint& polygon,
                 const detail::SweptStencil& stencil, const Pose2D& start,
                 const std::vector<Pose2D>& samples)
      : checker_(checker),
        polygon_(polygon),
        stencil_(stencil),
        samples_(samples),
        start_(start),
        n_(polygon.points.size()) {}

  bool usable() const noexcept {
    return samples_.size() <= kMostSamples && n_ * samples_.size() <= kMostPoints &&
           stencil_.axes.size() == n_ * samples_.size();
  }

  // True when the square whose lower-left corner is (x0, y0) lies farther than the tolerance from
  // the hull of all samples: no sample's exact test touches it then.
  bool apartFromAll(double x0, double y0) const {
    const detail::SweptStencil::Extent& e = stencil_.hull_extent;
    double depth = 0.0;
    return e.tolerance >= 0.0 && !mayMeet(e, stencil_.hull_axes.data(), stencil_.hull_axes.size(),
                                          x0 - start_.x, y0 - start_.y, depth);
  }

  // Sample k's exact test of the square of column mx, row my, whose lower-left corner is
  // (x0, y0). False, with `ok` cleared, when the sample cannot be placed on the grid.
  bool touches(std::size_t k, std::uint64_t mx, std::uint64_t my, double x0, double y0, bool& ok) {
    const detail::SweptStencil::Extent& e = stencil_.extents[k];
    const double t = e.tolerance;
    double depth = 0.0;
    if (!mayMeet(e, stencil_.axes.data() + k * n_, n_, x0 - start_.x, y0 - start_.y, depth)) {
      return false;
    }
    if (depth > t) {
      return true;
    }
    if (!placed_[k] && !place(k)) {
      ok = false;
      return false;
    }
    const CellRange& range = ranges_[k];
    if (range.empty || mx < range.x_first || mx > range.x_last || my < range.y_first ||
        my > range.y_last) {
      return false;
    }
    const double resolution = checker_.costmap().resolution();
    PolygonShape shape(n_, resolution);
    std::copy(vertices_.data() + k * n_, vertices_.data() + (k + 1) * n_, &shape.vertex(0));
    shape.beginRow(y0, y0 + resolution);
    return shape.touches(x0, x0 + resolution);
  }

 private:
  // The separating-axis test of the cell's square, lower-left corner (rx0, ry0) relative to the
  // start, against an outline given by its box and edge axes: false when they are apart by more
  // than the box's tolerance on one axis, else true with `depth` their least overlap.
  bool mayMeet(const detail::SweptStencil::Extent& e, const detail::SweptStencil::Axis* axes,
               std::size_t count, double rx0, double ry0, double& depth) const {
    const double resolution = checker_.costmap().resolution();
    const double t = e.tolerance;
    const double rx1 = rx0 + resolution;
    const double ry1 = ry0 + resolution;
    if (rx0 > e.x_max + t || rx1 < e.x_min - t || ry0 > e.y_max + t || ry1 < e.y_min - t) {
      return false;
    }
    depth = std::min({e.x_max - rx0, rx1 - e.x_min, e.y_max - ry0, ry1 - e.y_min});
    const double half = 0.5 * resolution;
    const double cx = rx0 + half;
    const double cy = ry0 + half;
    for (std::size_t i = 0; i < count; ++i) {
      const detail::SweptStencil::Axis& axis = axes[i];
      const double centre = cx * axis.ux + cy * axis.uy;
      const double reach = half * (std::fabs(axis.ux) + std::fabs(axis.uy));
      if (centre - reach > axis.high + t || centre + reach < axis.low - t) {
        return false;
      }
      depth = std::min({depth, axis.high - (centre - reach), (centre + reach) - axis.low});
    }
    return true;
  }

  bool place(std::size_t k) {
    const Costmap& costmap = checker_.costmap();
    PolygonShape shape(n_, costmap.resolution());
    Box box;
    if (!placePolygon(samples_[k], polygon_, shape, box) || !cellRange(costmap, box, ranges_[k])) {
      return false;
    }
    std::copy(shape.vertices(), shape.vertices() + n_, vertices_.data() + k * n_);
    placed_[k] = true;
    return true;
  }

  const CollisionChecker& checker_;
  const PolygonFootprint& polygon_;
  const detail::SweptStencil& stencil_;
  const std::vector<Pose2D>& samples_;
  const Pose2D start_;
  std::size_t n_;
  bool placed_[kMostSamples] = {};
  SmallBuffer<Point2D, kMostPoints> vertices_{kMostPoints};
  CellRange ranges_[kMostSamples];
};

}  // namespace

detail::StencilOutcome detail::stencilPolygonCost(
    const CollisionChecker& checker, const detail::SweptStencil& stencil, const Pose2D& start,
    const std::vector<Pose2D>& samples, const PolygonFootprint& polygon, std::uint8_t& cost,
    std::size_t& first_collision, std::vector<std::uint64_t>& scratch) {
  const Costmap& costmap = checker.costmap();
  const double resolution = costmap.resolution();
  const double origin_x = costmap.originX();
  const double origin_y = costmap.originY();
  const double cx = std::floor((start.x - origin_x) / resolution);
  const double cy = std::floor((start.y - origin_y) / resolution);
  const std::size_t row_count = stencil.rows.size();
  const auto width = static_cast<double>(costmap.width());
  const auto height = static_cast<double>(costmap.height());
  if (samples.size() != stencil.relative.size() ||
      !(std::fabs(cx) <= 1e15 && std::fabs(cy) <= 1e15)) {
    return StencilOutcome::kUndecided;
  }
  // Usually every cell a sample could touch lies on the grid, and so then does every sample's
  // box. Near the map's edge, a sample whose outline lies well inside the map touches no cell off
  // it, and the first one whose outline reaches out of the map collides, as its walk finds it
  // outside; a sample too close to the edge to tell leaves the answer to the walks.
  const bool on_grid = cx + stencil.outer_min >= 0.0 && cx + stencil.outer_max <= width &&
                       cy + stencil.first_row >= 0.0 &&
                       cy + stencil.first_row + static_cast<double>(row_count) <= height;
  std::size_t leaving = samples.size();
  if (!on_grid) {
    const double x_end = origin_x + width * resolution;
    const double y_end = origin_y + height * resolution;
    for (std::size_t k = 0; k < samples.size() && leaving == samples.size(); ++k) {
      const SweptStencil::Extent& e = stencil.extents[k];
      const double slack = e.tolerance + 1e-6;
      const double x_low = start.x + e.x_min;
      const double x_high = start.x + e.x_max;
      const double y_low = start.y + e.y_min;
      const double y_high = start.y + e.y_max;
      if (x_low > origin_x + slack && x_high < x_end - slack && y_low > origin_y + slack &&
          y_high < y_end - slack) {
        continue;
      }
      if (!(x_low < origin_x - slack || x_high > x_end + slack || y_low < origin_y - slack ||
            y_high > y_end + slack)) {
        return StencilOutcome::kUndecided;
      }
      leaving = k;
    }
  }
  const auto column0 = static_cast<std::int64_t>(cx);
  const auto row0 = static_cast<std::int64_t>(cy) + stencil.first_row;
  const std::uint64_t stride = costmap.width();
  const std::uint8_t* const cells = costmap.cells().data();
  const bool allow_unknown = checker.allowUnknown();
  const auto column = [&](std::int32_t relative) {
    return static_cast<std::uint64_t>(column0 + relative);
  };
  const auto row_of = [&](std::size_t r) {
    return static_cast<std::uint64_t>(row0 + static_cast<std::int64_t>(r));
  };
  // The stencil's rows and columns on the grid: all of them unless near the edge, where only
  // cells no sample of interest touches are cut off.
  const std::int64_t column_low = -column0;
  const auto column_high = static_cast<std::int64_t>(costmap.width()) - column0;
  const auto row_low = static_cast<std::size_t>(
      std::clamp<std::int64_t>(-row0, 0, static_cast<std::int64_t>(row_count)));
  const auto row_high = static_cast<std::size_t>(std::clamp<std::int64_t>(
      static_cast<std::int64_t>(costmap.height()) - row0, 0, static_cast<std::int64_t>(row_count)));
  const auto on = [&](std::int32_t relative) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(relative, column_low, column_high));
  };
  StencilSamples placed(checker, polygon, stencil, start, samples);
  if (!placed.usable()) {
    return StencilOutcome::kUndecided;
  }
  bool ok = true;

  // Which sample collides first, as checking them in order finds it: its surely touched cells
  // hold a blocking one, or one of its possible cells blocks and its exact test touches it. The
  // blocking cells any sample could touch are found once; each sample then looks at those alone,
  // its exact tests in the order its own walk would make them (row by row, columns rising).
  // kCost when none of the samples before `limit` collides.
  const auto first = [&](std::size_t limit) {
    scratch.clear();
    for (std::size_t r = row_low; r < row_high; ++r) {
      const SweptStencil::Row& row = stencil.rows[r];
      const std::int32_t begin = on(row.outer_begin);
      const std::int32_t end = on(row.outer_end);
      if (begin >= end) {
        continue;
      }
      const std::uint8_t* const costs = cells + row_of(r) * stride;
      std::uint8_t ignored = 0;
      bool row_blocks = false;
      foldRun(costs, column(begin), column(end), allow_unknown, ignored, row_blocks);
      if (!row_blocks) {
        continue;
      }
      for (std::int32_t relative = begin; relative < end; ++relative) {
        if (checker.blocked(costs[column(relative)])) {
          scratch.push_back(std::uint64_t{r} << 32 | static_cast<std::uint32_t>(relative));
        }
      }
    }
    const auto row_part = [](std::uint64_t cell) { return static_cast<std::size_t>(cell >> 32); };
    const auto column_part = [](std::uint64_t cell) {
      return static_cast<std::int32_t>(static_cast<std::uint32_t>(cell));
    };
    for (std::size_t k = 0; k < limit; ++k) {
      const SweptStencil::SampleRow* rows = stencil.sample_rows.data() + k * row_count;
      for (const std::uint64_t cell : scratch) {
        const SweptStencil::SampleRow& own = rows[row_part(cell)];
        const std::int32_t relative = column_part(cell);
        if (relative >= own.inner_begin && relative < own.inner_end) {
          first_collision = k;
          return StencilOutcome::kCollision;
        }
      }
      for (const std::uint64_t cell : scratch) {
        const SweptStencil::SampleRow& own = rows[row_part(cell)];
        const std::int32_t relative = column_part(cell);
        if (relative < own.outer_begin || relative >= own.outer_end) {
          continue;
        }
        const std::uint64_t mx = column(relative);
        const std::uint64_t my = row_of(row_part(cell));
        const double x0 = static_cast<double>(mx) * resolution + origin_x;
        const double y0 = static_cast<double>(my) * resolution + origin_y;
        if (placed.touches(k, mx, my, x0, y0, ok)) {
          first_collision = k;
          return StencilOutcome::kCollision;
        }
        if (!ok) {
          return StencilOutcome::kUndecided;
        }
      }
    }
    return StencilOutcome::kCost;
  };
  // The first to collide among all samples: one always does when this is asked.
  const auto firstOfAll = [&]() {
    const StencilOutcome outcome = first(samples.size());
    return outcome == StencilOutcome::kCost ? StencilOutcome::kUndecided : outcome;
  };
  if (leaving < samples.size()) {
    const StencilOutcome outcome = first(leaving);
    if (outcome != StencilOutcome::kCost) {
      return outcome;
    }
    first_collision = leaving;
    return StencilOutcome::kCollision;
  }

  std::uint8_t max_cost = 0;
  bool blocks = false;
  for (std::size_t r = row_low; r < row_high; ++r) {
    const SweptStencil::Row& row = stencil.rows[r];
    const std::int32_t begin = on(row.inner_begin);
    const std::int32_t end = on(row.inner_end);
    if (begin < end) {
      foldRun(cells + row_of(r) * stride, column(begin), column(end), allow_unknown, max_cost,
              blocks);
    }
  }
  if (blocks) {
    return firstOfAll();
  }
  // The rest of each row's possible cells that could change the answer, taken from the highest
  // cost down (blocking ones first): once one is touched, every lower one is settled. Most of them
  // lie beside the outline, where costs climb towards an obstacle.
  scratch.clear();
  constexpr std::uint64_t kBlockingKey = 256;
  for (std::size_t r = row_low; r < row_high; ++r) {
    const SweptStencil::Row& row = stencil.rows[r];
    const std::uint8_t* const costs = cells + row_of(r) * stride;
    const std::int32_t outer_begin = on(row.outer_begin);
    const std::int32_t outer_end = on(row.outer_end);
    if (outer_begin >= outer_end) {
      continue;
    }
    // Most rows hold nothing above the maximum: one fold of the whole row tells.
    std::uint8_t row_max = 0;
    bool row_blocks = false;
    foldRun(costs, column(outer_begin), column(outer_end), allow_unknown, row_max, row_blocks);
    if (row_max <= max_cost && !row_blocks) {
      continue;
    }
    const std::uint64_t parts[2][2] = {
        {column(outer_begin), column(std::max(outer_begin, on(row.inner_begin)))},
        {column(std::min(outer_end, on(row.inner_end))), column(outer_end)}};
    for (const auto& part : parts) {
      std::uint8_t part_max = 0;
      bool part_blocks = false;
      foldRun(costs, part[0], part[1], allow_unknown, part_max, part_blocks);
      if (part_max <= max_cost && !part_blocks) {
        continue;
      }
      for (std::uint64_t mx = part[0]; mx < part[1]; ++mx) {
        const std::uint8_t c = costs[mx];
        const bool blocking = checker.blocked(c);
        if (c > max_cost || blocking) {
          // Key, row and column relative to the stencil, which stay within 32 bits.
          const std::uint64_t key = blocking ? kBlockingKey : c;
          scratch.push_back(key << 48 | std::uint64_t{r} << 32 |
                            static_cast<std::uint32_t>(static_cast<std::int64_t>(mx) - column0));
        }
      }
    }
  }
  // Whether some sample's exact test touches the candidate's square.
  const auto touched = [&](std::uint64_t candidate) {
    const auto r = static_cast<std::size_t>((candidate >> 32) & 0xFFFFu);
    const auto relative = static_cast<std::int32_t>(static_cast<std::uint32_t>(candidate));
    const std::uint64_t mx = column(relative);
    const std::uint64_t my = row_of(r);
    const double x0 = static_cast<double>(mx) * resolution + origin_x;
    const double y0 = static_cast<double>(my) * resolution + origin_y;
    if (placed.apartFromAll(x0, y0)) {
      return false;
    }
    for (std::size_t k = 0; k < samples.size() && ok; ++k) {
      // Only a sample whose own possible cells hold it can touch it; its surely touched ones do.
      const SweptStencil::SampleRow& own = stencil.sample_rows[k * row_count + r];
      if (relative < own.outer_begin || relative >= own.outer_end) {
        continue;
      }
      if ((relative >= own.inner_begin && relative < own.inner_end) ||
          placed.touches(k, mx, my, x0, y0, ok)) {
        return true;
      }
    }
    return false;
  };
  std::size_t left = scratch.size();
  while (left > 0) {
    std::uint64_t top = 0;
    for (std::size_t i = 0; i < left; ++i) {
      top = std::max(top, scratch[i] >> 48);
    }
    if (top != kBlockingKey && top <= max_cost) {
      break;
    }
    std::size_t kept = 0;
    bool hit = false;
    for (std::size_t i = 0; i < left && !hit; ++i) {
      if (scratch[i] >> 48 == top) {
        hit = touched(scratch[i]);
        if (!ok) {
          return StencilOutcome::kUndecided;
        }
      } else {
        scratch[kept++] = scratch[i];
      }
    }
    if (hit) {
      if (top == kBlockingKey) {
        return firstOfAll();
      }
      max_cost = static_cast<std::uint8_t>(top);
      break;
    }
    left = kept;
  }
  cost = max_cost;
  return StencilOutcome::kCost;
}

CollisionResult detail::sweepFootprint(const CollisionChecker& checker,
                                       const std::vector<Pose2D>& path,
                                       const ValidFootprint& footprint, double interpolation_step,
                                       const char* too_many_samples) {
  CollisionResult result;
  sweepPath(
      path, interpolation_step,
      [&](const Pose2D& sample) {
        const CollisionResult here = checker.checkValidated(sample, footprint.get());
        result.max_cost = std::max(result.max_cost, here.max_cost);
        result.outside_map = result.outside_map || here.outside_map;
        result.collision = here.collision;
        return here.collision;
      },
      too_many_samples);
  return result;
}

}  // namespace veltrax::se2
