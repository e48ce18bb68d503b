#include "veltrax/se2/collision.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>

#include "detail/errors.hpp"
#include "detail/path_sweep.hpp"

namespace veltrax::se2 {

namespace {

constexpr double kTouchTolerance = 1e-12;

constexpr CollisionResult kOutsideResult{true, true, kLethalCost};

struct Vertex {
  double x;
  double y;
};

struct Box {
  double x_min;
  double x_max;
  double y_min;
  double y_max;
};

// World vertices of the polygon being checked. Footprints rarely have more than a few dozen
// vertices, so they live on the stack; larger ones fall back to the heap. The inline array is
// deliberately left uninitialised: only the first `size` entries are ever read.
class WorldVertices {
 public:
  explicit WorldVertices(std::size_t size) : size_(size) {
    if (size > kInline) {
      heap_.resize(size);
      data_ = heap_.data();
    } else {
      data_ = inline_;
    }
  }
  WorldVertices(const WorldVertices&) = delete;
  WorldVertices& operator=(const WorldVertices&) = delete;

  Vertex& operator[](std::size_t i) { return data_[i]; }
  const Vertex& operator[](std::size_t i) const { return data_[i]; }
  std::size_t size() const { return size_; }

 private:
  static constexpr std::size_t kInline = 32;
  Vertex inline_[kInline];
  std::vector<Vertex> heap_;
  Vertex* data_;
  std::size_t size_;
};

double cross(double ux, double uy, double vx, double vy) { return ux * vy - uy * vx; }

// Walks the cells under the box, row by row, and folds every touched cell into the result.
// Written with negated comparisons so that a NaN box counts as outside rather than reaching the
// floor-to-index conversion.
template <class Touches>
CollisionResult walkCells(const CollisionChecker& checker, const Box& box, Touches&& touches) {
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
    for (std::uint64_t mx = mx_first; mx <= mx_last; ++mx) {
      const std::uint8_t cost = row[mx];
      const bool blocks = checker.blocked(cost);
      // Whether the shape touches this cell cannot change the answer unless the cell would raise
      // the maximum or be the first blocking one, so the geometry is skipped for such cells.
      if (cost <= result.max_cost && (result.collision || !blocks)) {
        continue;
      }
      const double x0 = static_cast<double>(mx) * resolution + origin_x;
      if (touches(x0, y0, resolution)) {
        result.collision = result.collision || blocks;
        result.max_cost = std::max(result.max_cost, cost);
      }
    }
  }
  return result;
}

bool inClosedBox(double px, double py, const Vertex& a, const Vertex& b, double margin) {
  return std::min(a.x, b.x) - margin <= px && px <= std::max(a.x, b.x) + margin &&
         std::min(a.y, b.y) - margin <= py && py <= std::max(a.y, b.y) + margin;
}

// Closed polygon containment of q: on the boundary counts; otherwise even-odd parity.
bool cornerInPolygon(const WorldVertices& v, double qx, double qy) {
  const std::size_t n = v.size();
  bool inside = false;
  const Vertex* a = &v[n - 1];
  for (std::size_t i = 0; i < n; ++i) {
    const Vertex& b = v[i];
    if (std::fabs((a->x - b.x) * (qy - b.y) - (qx - b.x) * (a->y - b.y)) < kTouchTolerance &&
        inClosedBox(qx, qy, *a, b, 0.0)) {
      return true;
    }
    // The crossing test implies a.y != b.y, so the division is safe.
    if ((b.y > qy) != (a->y > qy) && qx < b.x + (a->x - b.x) * (qy - b.y) / (a->y - b.y)) {
      inside = !inside;
    }
    a = &b;
  }
  return inside;
}

bool segmentsMeet(const Vertex& a, const Vertex& b, const Vertex& p, const Vertex& q) {
  const double o1 = cross(b.x - a.x, b.y - a.y, p.x - a.x, p.y - a.y);
  const double o2 = cross(b.x - a.x, b.y - a.y, q.x - a.x, q.y - a.y);
  const double o3 = cross(q.x - p.x, q.y - p.y, a.x - p.x, a.y - p.y);
  const double o4 = cross(q.x - p.x, q.y - p.y, b.x - p.x, b.y - p.y);
  constexpr double eps = kTouchTolerance;
  const bool separates_pq = (o1 > eps && o2 < -eps) || (o1 < -eps && o2 > eps);
  const bool separates_ab = (o3 > eps && o4 < -eps) || (o3 < -eps && o4 > eps);
  if (separates_pq && separates_ab) {
    return true;
  }
  return (std::fabs(o1) <= eps && inClosedBox(p.x, p.y, a, b, eps)) ||
         (std::fabs(o2) <= eps && inClosedBox(q.x, q.y, a, b, eps)) ||
         (std::fabs(o3) <= eps && inClosedBox(a.x, a.y, p, q, eps)) ||
         (std::fabs(o4) <= eps && inClosedBox(b.x, b.y, p, q, eps));
}

// Closed polygon against closed square [x0, x0 + r] x [y0, y0 + r]: a corner in the polygon, a
// vertex in the square, or an edge meeting a cell edge. Each pass stops at its first hit.
bool polygonTouchesCell(const WorldVertices& v, double x0, double y0, double r) {
  const double x1 = x0 + r;
  const double y1 = y0 + r;
  const Vertex corners[4] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
  for (const Vertex& corner : corners) {
    if (cornerInPolygon(v, corner.x, corner.y)) {
      return true;
    }
  }
  const std::size_t n = v.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (x0 <= v[i].x && v[i].x <= x1 && y0 <= v[i].y && v[i].y <= y1) {
      return true;
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    const Vertex& a = v[i];
    const Vertex& b = v[i + 1 == n ? 0 : i + 1];
    for (std::size_t e = 0; e < 4; ++e) {
      if (segmentsMeet(a, b, corners[e], corners[(e + 1) % 4])) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace

CollisionResult CollisionChecker::checkCircle(const Pose2D& pose,
                                              const CircleFootprint& circle) const {
  const double x = pose.x;
  const double y = pose.y;
  const double radius = circle.radius;
  const Box box{x - radius, x + radius, y - radius, y + radius};
  const double radius_squared = radius * radius;
  return walkCells(*this, box, [x, y, radius_squared](double x0, double y0, double r) {
    // The point of the closed square nearest to the centre.
    const double nx = x0 > x ? x0 : std::min(x0 + r, x);
    const double ny = y0 > y ? y0 : std::min(y0 + r, y);
    return radius_squared >= (x - nx) * (x - nx) + (y - ny) * (y - ny);
  });
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
  WorldVertices world(n);
  bool finite = true;
  for (std::size_t i = 0; i < n; ++i) {
    const Point2D& p = polygon.points[i];
    world[i] =
        Vertex{pose.x + p.x * cos_yaw - p.y * sin_yaw, pose.y + p.x * sin_yaw + p.y * cos_yaw};
    finite = finite && std::isfinite(world[i].x) && std::isfinite(world[i].y);
  }
  // A vertex that is not finite cannot be placed on any grid.
  if (!finite) {
    return kOutsideResult;
  }
  Box box{world[0].x, world[0].x, world[0].y, world[0].y};
  for (std::size_t i = 1; i < n; ++i) {
    box.x_min = std::min(box.x_min, world[i].x);
    box.x_max = std::max(box.x_max, world[i].x);
    box.y_min = std::min(box.y_min, world[i].y);
    box.y_max = std::max(box.y_max, world[i].y);
  }
  return walkCells(*this, box, [&world](double x0, double y0, double r) {
    return polygonTouchesCell(world, x0, y0, r);
  });
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
  const std::vector<std::string> problems = validateFootprint(footprint);
  if (!problems.empty()) {
    detail::throwInvalidArgument(problems.front());
  }
  return checkValidated(pose, footprint);
}

CollisionResult CollisionChecker::validatePath(const std::vector<Pose2D>& path,
                                               const Footprint& footprint,
                                               double interpolation_step) const {
  if (!(std::isfinite(interpolation_step) && interpolation_step > 0.0)) {
    detail::throwInvalidArgument("interpolation_step must be finite and positive");
  }
  const std::vector<std::string> problems = validateFootprint(footprint);
  if (!problems.empty()) {
    detail::throwInvalidArgument(problems.front());
  }
  CollisionResult result;
  detail::sweepPath(path, interpolation_step, [&](const Pose2D& sample) {
    const CollisionResult here = checkValidated(sample, footprint);
    result.max_cost = std::max(result.max_cost, here.max_cost);
    result.outside_map = result.outside_map || here.outside_map;
    result.collision = here.collision;
    return here.collision;
  });
  return result;
}

}  // namespace veltrax::se2
