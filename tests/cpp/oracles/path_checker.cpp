#include "oracles/path_checker.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <vector>

namespace veltrax::se2::oracles {

namespace {

using Real = long double;
constexpr Real kPi = 3.141592653589793238462643383279502884L;

struct P {
  Real x;
  Real y;
};

Real wrap(Real angle) {
  angle = std::fmod(angle, 2 * kPi);
  if (angle >= kPi) angle -= 2 * kPi;
  if (angle < -kPi) angle += 2 * kPi;
  return angle;
}

Real cross(const P& o, const P& a, const P& b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

bool segmentsMeet(const P& a, const P& b, const P& c, const P& d) {
  const Real d1 = cross(c, d, a), d2 = cross(c, d, b), d3 = cross(a, b, c), d4 = cross(a, b, d);
  if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0))) {
    return true;
  }
  const auto on = [](const P& p, const P& q, const P& r, Real o) {
    return o == 0 && std::min(p.x, q.x) <= r.x && r.x <= std::max(p.x, q.x) &&
           std::min(p.y, q.y) <= r.y && r.y <= std::max(p.y, q.y);
  };
  return on(c, d, a, d1) || on(c, d, b, d2) || on(a, b, c, d3) || on(a, b, d, d4);
}

bool insideOrOn(const std::vector<P>& polygon, const P& q) {
  bool inside = false;
  for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
    const P& a = polygon[i];
    const P& b = polygon[j];
    if (cross(a, b, q) == 0 && std::min(a.x, b.x) <= q.x && q.x <= std::max(a.x, b.x) &&
        std::min(a.y, b.y) <= q.y && q.y <= std::max(a.y, b.y)) {
      return true;
    }
    if ((a.y > q.y) != (b.y > q.y) && q.x < (b.x - a.x) * (q.y - a.y) / (b.y - a.y) + a.x) {
      inside = !inside;
    }
  }
  return inside;
}

// Does the footprint at `pose` touch a blocking cell or leave the grid?
class Judge {
 public:
  Judge(const Costmap& map, const Footprint& footprint, bool allow_unknown)
      : map_(map), footprint_(footprint), allow_unknown_(allow_unknown) {}

  bool collides(Real x, Real y, Real yaw) const {
    if (const auto* circle = std::get_if<CircleFootprint>(&footprint_)) {
      const Real radius = circle->radius;
      return walk(x - radius, x + radius, y - radius, y + radius, [&](Real x0, Real y0, Real r) {
        const Real nx = std::clamp(x, x0, x0 + r);
        const Real ny = std::clamp(y, y0, y0 + r);
        return (x - nx) * (x - nx) + (y - ny) * (y - ny) <= radius * radius;
      });
    }
    std::vector<const PolygonFootprint*> parts;
    if (const auto* polygon = std::get_if<PolygonFootprint>(&footprint_)) {
      parts.push_back(polygon);
    } else {
      for (const PolygonFootprint& part : std::get<MultiPolygonFootprint>(footprint_).polygons) {
        parts.push_back(&part);
      }
    }
    const Real c = std::cos(yaw), s = std::sin(yaw);
    for (const PolygonFootprint* part : parts) {
      if (part->points.empty()) continue;
      std::vector<P> world;
      Real x_min = INFINITY, x_max = -INFINITY, y_min = INFINITY, y_max = -INFINITY;
      for (const Point2D& p : part->points) {
        world.push_back({x + p.x * c - p.y * s, y + p.x * s + p.y * c});
        x_min = std::min(x_min, world.back().x);
        x_max = std::max(x_max, world.back().x);
        y_min = std::min(y_min, world.back().y);
        y_max = std::max(y_max, world.back().y);
      }
      const bool hit = walk(x_min, x_max, y_min, y_max, [&](Real x0, Real y0, Real r) {
        const P corners[4] = {{x0, y0}, {x0 + r, y0}, {x0 + r, y0 + r}, {x0, y0 + r}};
        for (const P& v : world) {
          if (v.x >= x0 && v.x <= x0 + r && v.y >= y0 && v.y <= y0 + r) return true;
        }
        for (const P& corner : corners) {
          if (insideOrOn(world, corner)) return true;
        }
        for (std::size_t i = 0; i < world.size(); ++i) {
          for (int e = 0; e < 4; ++e) {
            if (segmentsMeet(world[i], world[(i + 1) % world.size()], corners[e],
                             corners[(e + 1) % 4])) {
              return true;
            }
          }
        }
        return false;
      });
      if (hit) return true;
    }
    return false;
  }

 private:
  template <class Touches>
  bool walk(Real x_min, Real x_max, Real y_min, Real y_max, Touches touches) const {
    const Real r = map_.resolution(), ox = map_.originX(), oy = map_.originY();
    const Real w = static_cast<Real>(map_.width()), h = static_cast<Real>(map_.height());
    if (x_min < ox || y_min < oy || x_max > ox + w * r || y_max > oy + h * r) return true;
    const auto lo = [&](Real v, Real o) { return std::max<Real>(std::floor((v - o) / r) - 1, 0); };
    const auto hi = [&](Real v, Real o, Real n) {
      return std::min(std::floor((v - o) / r) + 1, n - 1);
    };
    for (Real my = lo(y_min, oy); my <= hi(y_max, oy, h); ++my) {
      for (Real mx = lo(x_min, ox); mx <= hi(x_max, ox, w); ++mx) {
        const std::uint8_t cost =
            map_.getCost(static_cast<std::uint64_t>(mx), static_cast<std::uint64_t>(my));
        const bool blocking = cost == 254 || (cost == 255 && !allow_unknown_);
        if (blocking && touches(ox + mx * r, oy + my * r, r)) return true;
      }
    }
    return false;
  }

  const Costmap& map_;
  const Footprint& footprint_;
  bool allow_unknown_;
};

std::string at(const char* what, std::size_t i) {
  std::ostringstream text;
  text << what << " at pose " << i;
  return text.str();
}

}  // namespace

std::string pathProblem(const Costmap& map, const PlanRequest& request, const PlannerConfig& config,
                        const PlannerResult& result) {
  const std::vector<Pose2D>& path = result.path;
  if (result.status != PlannerStatus::SUCCESS) {
    return path.empty() && result.directions.empty() ? "" : "a failed plan carries a path";
  }
  const std::size_t n = path.size();
  if (n == 0 || result.directions.size() != n) return "path and labels empty or of unequal size";
  const Pose2D& first = path.front();
  const Pose2D& last = path.back();
  if (std::hypot(first.x - request.start.x, first.y - request.start.y) > 1e-9 ||
      std::fabs(wrap(static_cast<Real>(first.yaw) - request.start.yaw)) > 1e-9) {
    return "path does not begin at the start";
  }
  if (std::hypot(last.x - request.goal.x, last.y - request.goal.y) >
          config.position_tolerance + 1e-9 ||
      std::fabs(wrap(static_cast<Real>(last.yaw) - request.goal.yaw)) >
          config.yaw_tolerance + 1e-9) {
    return "path does not end within the goal tolerances";
  }
  const Judge judge(map, request.footprint, config.allow_unknown);
  const bool car = !config.allow_in_place_rotation;
  Real length = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const int label = static_cast<int>(result.directions[i]);
    if (label < -1 || label > 1 || (label == -1 && !config.allow_reverse) || (label == 0 && car)) {
      return at("label not allowed by the configuration", i);
    }
    const Pose2D& a = path[i];
    const Pose2D& b = path[std::min(i + 1, n - 1)];
    const Real dx = static_cast<Real>(b.x) - a.x, dy = static_cast<Real>(b.y) - a.y;
    const Real d = std::hypot(dx, dy);
    const Real turn = wrap(static_cast<Real>(b.yaw) - a.yaw);
    if (d > config.path_output_spacing + 1e-9) return at("poses farther apart than the spacing", i);
    length += d;
    if (i + 1 < n) {
      int expected = label;  // a pose repeated in place keeps the previous label
      if (d > 1e-9) {
        expected =
            dx * std::cos(static_cast<Real>(a.yaw)) + dy * std::sin(static_cast<Real>(a.yaw)) < 0
                ? -1
                : 1;
        // The chord may lean off the heading by about the turn it makes, no more.
        const Real lean = std::fabs(wrap(std::atan2(dy, dx) - a.yaw + (expected < 0 ? kPi : 0)));
        if (car && lean > std::fabs(turn) + 0.02) return at("step leaves sideways", i);
        if (car && std::fabs(turn) > 1e-10 &&
            d / (2 * std::sin(std::fabs(turn) / 2)) <
                0.99L * config.minimum_turning_radius - 1e-6) {
          return at("turn tighter than the radius", i);
        }
      } else if (std::fabs(turn) > 1e-9) {
        if (car) return at("turn on the spot", i);
        expected = 0;
      } else if (i == 0) {
        expected = 1;
      } else {
        expected = static_cast<int>(result.directions[i - 1]);
      }
      if (label != expected) return at("label does not match the step", i);
    } else if (n > 1 && label != static_cast<int>(result.directions[n - 2])) {
      return at("last label differs from the one before", i);
    }
    // The pose itself and its chord, sampled as densely as the library promises to check it:
    // at most collision_check_step (up to rounding) and 5 degrees apart.
    const auto samples = std::max<std::size_t>(
        static_cast<std::size_t>(std::max<Real>(std::ceil(d / config.collision_check_step - 1e-9),
                                                std::ceil(std::fabs(turn) / (kPi / 36)))),
        1);
    const std::size_t count = i + 1 < n ? samples : 1;
    for (std::size_t k = 0; k < count; ++k) {
      const Real t = static_cast<Real>(k) / static_cast<Real>(samples);
      if (judge.collides(a.x + t * dx, a.y + t * dy, a.yaw + t * turn)) {
        return at(k == 0 ? "footprint collides" : "footprint collides along the chord", i);
      }
    }
  }
  if (std::fabs(length - result.diagnostics.path_length) > 1e-6 * (1 + length)) {
    return "path_length does not match the path";
  }
  return "";
}

}  // namespace veltrax::se2::oracles
