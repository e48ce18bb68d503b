#include "oracles/collision_exact_oracle.hpp"

#include <algorithm>
#include <cmath>

namespace veltrax::se2::oracles {

namespace {

using Real = long double;

struct P {
  Real x;
  Real y;
};

Real distancePointSegment(const P& p, const P& a, const P& b) {
  const Real dx = b.x - a.x;
  const Real dy = b.y - a.y;
  const Real length_squared = dx * dx + dy * dy;
  Real t = length_squared > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length_squared : 0;
  t = std::clamp<Real>(t, 0, 1);
  return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

Real orientation(const P& a, const P& b, const P& c) {
  return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

bool strictlyInside(const std::vector<P>& polygon, const P& q) {
  bool inside = false;
  const std::size_t n = polygon.size();
  for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
    const P& a = polygon[i];
    const P& b = polygon[j];
    if ((a.y > q.y) != (b.y > q.y) && q.x < (b.x - a.x) * (q.y - a.y) / (b.y - a.y) + a.x) {
      inside = !inside;
    }
  }
  return inside;
}

struct Grid {
  Real r, ox, oy;
  std::uint64_t w, h;
  explicit Grid(const Costmap& map)
      : r(map.resolution()),
        ox(map.originX()),
        oy(map.originY()),
        w(map.width()),
        h(map.height()) {}
  Real x0(std::uint64_t mx) const { return ox + static_cast<Real>(mx) * r; }
  Real y0(std::uint64_t my) const { return oy + static_cast<Real>(my) * r; }
};

// Box of the shape against the grid extent; uncertain when an edge is within the band.
bool boxOutside(const Grid& g, Real x_min, Real x_max, Real y_min, Real y_max, Real band,
                bool& uncertain) {
  const Real far_x = g.ox + static_cast<Real>(g.w) * g.r;
  const Real far_y = g.oy + static_cast<Real>(g.h) * g.r;
  const Real margins[4] = {x_min - g.ox, y_min - g.oy, far_x - x_max, far_y - y_max};
  bool outside = false;
  for (const Real m : margins) {
    if (std::fabs(m) < band) {
      uncertain = true;
    }
    outside = outside || m < 0;
  }
  return outside;
}

void fold(CollisionResult& result, std::uint8_t cost, bool allow_unknown) {
  result.collision = result.collision || cost == 254 || (cost == 255 && !allow_unknown);
  result.max_cost = std::max(result.max_cost, cost);
}

}  // namespace

ExactVerdict exactCircleCheck(const Costmap& map, bool allow_unknown, const Pose2D& pose,
                              double radius, long double band) {
  const Grid g(map);
  const Real cx = pose.x;
  const Real cy = pose.y;
  const Real big_r = radius;
  ExactVerdict verdict;
  if (boxOutside(g, cx - big_r, cx + big_r, cy - big_r, cy + big_r, band, verdict.uncertain)) {
    verdict.result = CollisionResult{true, true, 254};
    return verdict;
  }
  for (std::uint64_t my = 0; my < g.h; ++my) {
    for (std::uint64_t mx = 0; mx < g.w; ++mx) {
      const Real nx = std::clamp(cx, g.x0(mx), g.x0(mx) + g.r);
      const Real ny = std::clamp(cy, g.y0(my), g.y0(my) + g.r);
      const Real distance = std::hypot(cx - nx, cy - ny);
      if (std::fabs(distance - big_r) < band) {
        verdict.uncertain = true;
      } else if (distance < big_r) {
        fold(verdict.result, map.getCost(mx, my), allow_unknown);
      }
    }
  }
  return verdict;
}

ExactVerdict exactPolygonCheck(const Costmap& map, bool allow_unknown, const Pose2D& pose,
                               const std::vector<Point2D>& points, long double band) {
  const Grid g(map);
  const Real c = std::cos(static_cast<Real>(pose.yaw));
  const Real s = std::sin(static_cast<Real>(pose.yaw));
  std::vector<P> world;
  for (const Point2D& p : points) {
    world.push_back(P{static_cast<Real>(pose.x) + p.x * c - p.y * s,
                      static_cast<Real>(pose.y) + p.x * s + p.y * c});
  }
  Real x_min = world[0].x, x_max = world[0].x, y_min = world[0].y, y_max = world[0].y;
  for (const P& v : world) {
    x_min = std::min(x_min, v.x);
    x_max = std::max(x_max, v.x);
    y_min = std::min(y_min, v.y);
    y_max = std::max(y_max, v.y);
  }
  ExactVerdict verdict;
  if (boxOutside(g, x_min, x_max, y_min, y_max, band, verdict.uncertain)) {
    verdict.result = CollisionResult{true, true, 254};
    return verdict;
  }
  const std::size_t n = world.size();
  for (std::uint64_t my = 0; my < g.h; ++my) {
    for (std::uint64_t mx = 0; mx < g.w; ++mx) {
      const P q[4] = {{g.x0(mx), g.y0(my)},
                      {g.x0(mx) + g.r, g.y0(my)},
                      {g.x0(mx) + g.r, g.y0(my) + g.r},
                      {g.x0(mx), g.y0(my) + g.r}};
      // Far from the shape's box: neither touched nor near anything.
      if (q[0].x > x_max + band || q[2].x < x_min - band || q[0].y > y_max + band ||
          q[2].y < y_min - band) {
        continue;
      }
      // Every near-degenerate configuration has a vertex near the other shape's boundary.
      Real clearance = INFINITY;
      for (const P& v : world) {
        for (int e = 0; e < 4; ++e) {
          clearance = std::min(clearance, distancePointSegment(v, q[e], q[(e + 1) % 4]));
        }
      }
      for (const P& corner : q) {
        for (std::size_t i = 0; i < n; ++i) {
          clearance =
              std::min(clearance, distancePointSegment(corner, world[i], world[(i + 1) % n]));
        }
      }
      if (clearance < band) {
        verdict.uncertain = true;
        continue;
      }
      // With every vertex clear of the other boundary, the shapes meet exactly when a corner is
      // inside the polygon, a vertex is inside the square, or two edges cross.
      bool touched = false;
      for (const P& corner : q) {
        touched = touched || strictlyInside(world, corner);
      }
      for (const P& v : world) {
        touched = touched || (v.x > q[0].x && v.x < q[2].x && v.y > q[0].y && v.y < q[2].y);
      }
      for (std::size_t i = 0; i < n && !touched; ++i) {
        const P& a = world[i];
        const P& b = world[(i + 1) % n];
        for (int e = 0; e < 4; ++e) {
          const P& u = q[e];
          const P& w = q[(e + 1) % 4];
          if ((orientation(a, b, u) > 0) != (orientation(a, b, w) > 0) &&
              (orientation(u, w, a) > 0) != (orientation(u, w, b) > 0)) {
            touched = true;
          }
        }
      }
      if (touched) {
        fold(verdict.result, map.getCost(mx, my), allow_unknown);
      }
    }
  }
  return verdict;
}

}  // namespace veltrax::se2::oracles
