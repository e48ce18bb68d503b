#include "veltrax/se2/collision.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "detail/errors.hpp"
#include "detail/path_sweep.hpp"
#include "detail/polygon_predicates.hpp"
#include "detail/reach_filter.hpp"
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

// Walks the cells under the box, row by row, and folds every touched cell into the result.
// `shape.beginRow(y0, y1)` prepares a row (only once a cell of it needs the geometry) and
// `shape.touches(x0, x1)` tests the closed square [x0, x1] x [y0, y1]. Written with negated
// comparisons so that a NaN box counts as outside rather than reaching the index conversion.
template <class Shape>
CollisionResult walkCells(const CollisionChecker& checker, const Box& box, Shape& shape) {
  const Costmap& costmap = checker.costmap();
  const double resolution = costmap.resolution();
  const double origin_x = costmap.originX();
  const double origin_y = costmap.originY();
  const double width = static_cast<double>(costmap.width());
  const double height = static_cast<double>(costmap.height());
  const double far_x = width * resolution + origin_x;
  const double far_y = height * resolution + origin_y;
  if (!(box.x_min >= origin_x && box.y_min >= origin_y && box.x_max <= far_x &&
        box.y_max <= far_y)) {
    return kOutsideResult;
  }
  // Both ends use floor: a high edge on a cell boundary visits the cell beyond it, a low edge on
  // a boundary does not visit the cell before it. The clamp handles a box flush with the far edge.
  const double x_first = std::floor((box.x_min - origin_x) / resolution);
  const double x_last = std::min(std::floor((box.x_max - origin_x) / resolution), width - 1.0);
  const double y_first = std::floor((box.y_min - origin_y) / resolution);
  const double y_last = std::min(std::floor((box.y_max - origin_y) / resolution), height - 1.0);
  CollisionResult result;
  // The low ends are >= 0 because the box starts on the grid; the high ends are <= size - 1.
  if (!(x_first <= x_last && y_first <= y_last)) {
    return result;
  }
  const auto mx_first = static_cast<std::uint64_t>(x_first);
  const auto mx_last = static_cast<std::uint64_t>(x_last);
  const auto my_first = static_cast<std::uint64_t>(y_first);
  const auto my_last = static_cast<std::uint64_t>(y_last);
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
        slots_[crossings++].crossing[line] = b.x + (a.x - b.x) * (qy - b.y) / (a.y - b.y);
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
  const double cos_yaw = std::cos(pose.yaw);
  const double sin_yaw = std::sin(pose.yaw);
  PolygonShape shape(n, costmap().resolution());
  bool finite = true;
  for (std::size_t i = 0; i < n; ++i) {
    const Point2D& p = polygon.points[i];
    Point2D& w = shape.vertex(i);
    w = Point2D{pose.x + p.x * cos_yaw - p.y * sin_yaw, pose.y + p.x * sin_yaw + p.y * cos_yaw};
    finite = finite && std::isfinite(w.x) && std::isfinite(w.y);
  }
  // A vertex that is not finite cannot be placed on any grid.
  if (!finite) {
    return kOutsideResult;
  }
  Box box{shape.vertex(0).x, shape.vertex(0).x, shape.vertex(0).y, shape.vertex(0).y};
  for (std::size_t i = 1; i < n; ++i) {
    box.x_min = std::min(box.x_min, shape.vertex(i).x);
    box.x_max = std::max(box.x_max, shape.vertex(i).x);
    box.y_min = std::min(box.y_min, shape.vertex(i).y);
    box.y_max = std::max(box.y_max, shape.vertex(i).y);
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
