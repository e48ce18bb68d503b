#pragma once

// A line-by-line reference of the collision checker's walk and touch tests: getCost for every
// visited cell, no shortcuts, a plain vector of world vertices. The product checker must agree
// with it bit for bit.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <variant>
#include <vector>

#include "veltrax/se2/collision.hpp"

namespace veltrax::se2::oracles {

template <class Touches>
CollisionResult referenceWalk(const Costmap& map, bool allow_unknown, double x_min, double x_max,
                              double y_min, double y_max, Touches touches) {
  const double r = map.resolution();
  const double ox = map.originX();
  const double oy = map.originY();
  const double w = static_cast<double>(map.width());
  const double h = static_cast<double>(map.height());
  if (ox > x_min || oy > y_min || x_max > w * r + ox || y_max > h * r + oy) {
    return CollisionResult{true, true, 254};
  }
  const long long mx_lo = static_cast<long long>(std::floor((x_min - ox) / r));
  const long long mx_hi = static_cast<long long>(std::min(std::floor((x_max - ox) / r), w - 1.0));
  const long long my_lo = static_cast<long long>(std::floor((y_min - oy) / r));
  const long long my_hi = static_cast<long long>(std::min(std::floor((y_max - oy) / r), h - 1.0));
  CollisionResult result;
  for (long long my = my_lo; my <= my_hi; ++my) {
    for (long long mx = mx_lo; mx <= mx_hi; ++mx) {
      const double x0 = static_cast<double>(mx) * r + ox;
      const double y0 = static_cast<double>(my) * r + oy;
      if (touches(x0, y0, r)) {
        const std::uint8_t c =
            map.getCost(static_cast<std::uint64_t>(mx), static_cast<std::uint64_t>(my));
        result.collision = result.collision || c == 254 || (c == 255 && !allow_unknown);
        result.max_cost = std::max(result.max_cost, c);
      }
    }
  }
  return result;
}

inline CollisionResult referenceCheckCircle(const Costmap& map, bool allow_unknown,
                                            const Pose2D& pose, double radius) {
  const double x = pose.x;
  const double y = pose.y;
  return referenceWalk(map, allow_unknown, x - radius, x + radius, y - radius, y + radius,
                       [&](double x0, double y0, double r) {
                         const double nx = x0 > x ? x0 : std::min(x0 + r, x);
                         const double ny = y0 > y ? y0 : std::min(y0 + r, y);
                         return radius * radius >= (x - nx) * (x - nx) + (y - ny) * (y - ny);
                       });
}

inline bool referenceInWidenedBox(const Point2D& p, const Point2D& a, const Point2D& b,
                                  double widen) {
  return p.x >= std::min(a.x, b.x) - widen && p.x <= std::max(a.x, b.x) + widen &&
         p.y >= std::min(a.y, b.y) - widen && p.y <= std::max(a.y, b.y) + widen;
}

inline bool referencePolygonTouches(const std::vector<Point2D>& v, double x0, double y0, double r) {
  const std::size_t n = v.size();
  const Point2D c[4] = {{x0, y0}, {x0 + r, y0}, {x0 + r, y0 + r}, {x0, y0 + r}};
  // A: a corner inside or on the boundary.
  for (const Point2D& q : c) {
    bool parity = false;
    for (std::size_t k = 0; k < n; ++k) {
      const Point2D& a = v[(k + n - 1) % n];
      const Point2D& b = v[k];
      if (std::fabs((a.x - b.x) * (q.y - b.y) - (q.x - b.x) * (a.y - b.y)) < 1e-12 &&
          referenceInWidenedBox(q, a, b, 0.0)) {
        return true;
      }
      if ((b.y > q.y) != (a.y > q.y) && q.x < b.x + (a.x - b.x) * (q.y - b.y) / (a.y - b.y)) {
        parity = !parity;
      }
    }
    if (parity) {
      return true;
    }
  }
  // B: a vertex in the closed square.
  for (const Point2D& p : v) {
    if (x0 <= p.x && p.x <= x0 + r && y0 <= p.y && p.y <= y0 + r) {
      return true;
    }
  }
  // C: a polygon edge meets a cell edge.
  const double eps = 1e-12;
  const auto cross = [](const Point2D& o, const Point2D& a, const Point2D& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
  };
  for (std::size_t i = 0; i < n; ++i) {
    const Point2D& a = v[i];
    const Point2D& b = v[(i + 1) % n];
    for (int e = 0; e < 4; ++e) {
      const Point2D& p = c[e];
      const Point2D& q = c[(e + 1) % 4];
      const double o1 = cross(a, b, p);
      const double o2 = cross(a, b, q);
      const double o3 = cross(p, q, a);
      const double o4 = cross(p, q, b);
      const bool proper = ((o1 > eps && o2 < -eps) || (o1 < -eps && o2 > eps)) &&
                          ((o3 > eps && o4 < -eps) || (o3 < -eps && o4 > eps));
      if (proper || (std::fabs(o1) <= eps && referenceInWidenedBox(p, a, b, eps)) ||
          (std::fabs(o2) <= eps && referenceInWidenedBox(q, a, b, eps)) ||
          (std::fabs(o3) <= eps && referenceInWidenedBox(a, p, q, eps)) ||
          (std::fabs(o4) <= eps && referenceInWidenedBox(b, p, q, eps))) {
        return true;
      }
    }
  }
  return false;
}

inline CollisionResult referenceCheckPolygon(const Costmap& map, bool allow_unknown,
                                             const Pose2D& pose,
                                             const std::vector<Point2D>& points) {
  std::vector<Point2D> world;
  for (const Point2D& p : points) {
    world.push_back(Point2D{pose.x + p.x * std::cos(pose.yaw) - p.y * std::sin(pose.yaw),
                            pose.y + p.x * std::sin(pose.yaw) + p.y * std::cos(pose.yaw)});
  }
  double x_min = world[0].x, x_max = world[0].x, y_min = world[0].y, y_max = world[0].y;
  for (const Point2D& w : world) {
    x_min = std::min(x_min, w.x);
    x_max = std::max(x_max, w.x);
    y_min = std::min(y_min, w.y);
    y_max = std::max(y_max, w.y);
  }
  return referenceWalk(
      map, allow_unknown, x_min, x_max, y_min, y_max,
      [&](double x0, double y0, double r) { return referencePolygonTouches(world, x0, y0, r); });
}

// Any footprint shape; a multi-polygon's parts in order, up to the first that collides.
inline CollisionResult referenceCheck(const Costmap& map, bool allow_unknown, const Pose2D& pose,
                                      const Footprint& footprint) {
  if (!std::isfinite(pose.x) || !std::isfinite(pose.y) || !std::isfinite(pose.yaw)) {
    throw std::invalid_argument("collision pose must be finite");
  }
  if (const auto* circle = std::get_if<CircleFootprint>(&footprint)) {
    return referenceCheckCircle(map, allow_unknown, pose, circle->radius);
  }
  if (const auto* polygon = std::get_if<PolygonFootprint>(&footprint)) {
    return referenceCheckPolygon(map, allow_unknown, pose, polygon->points);
  }
  CollisionResult result;
  for (const PolygonFootprint& part : std::get<MultiPolygonFootprint>(footprint).polygons) {
    const CollisionResult r = referenceCheckPolygon(map, allow_unknown, pose, part.points);
    result.max_cost = std::max(result.max_cost, r.max_cost);
    result.outside_map = result.outside_map || r.outside_map;
    if (r.collision) {
      result.collision = true;
      return result;
    }
  }
  return result;
}

}  // namespace veltrax::se2::oracles
