#pragma once

// The fixed benchmark workloads of data/bench: P5 maps (grey level = cost, first image row =
// largest y, 0.05 m, origin 0) and their query files, and the car parking scenes of
// data/bench/parking (polygons in metres, rasterised and inflated here when loaded).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "shared_maps.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/footprint.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2::bench {

inline std::string benchDir() { return std::string(VELTRAX_DATA_DIR) + "/bench"; }

inline Costmap loadBenchMap(const std::string& name) {
  return testing::loadGreyCostmap("bench/maps/" + name + ".pgm");
}

struct Query {
  Pose2D start;
  Pose2D goal;
};

inline std::vector<Query> loadQueries(const std::string& name) {
  std::ifstream in(benchDir() + "/queries/" + name + ".txt");
  std::vector<Query> queries;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') {
      continue;
    }
    std::istringstream fields(line);
    Query q;
    fields >> q.start.x >> q.start.y >> q.start.yaw >> q.goal.x >> q.goal.y >> q.goal.yaw;
    queries.push_back(q);
  }
  return queries;
}

// ---- car parking scenes (format in data/bench/README.md)

// The benchmark car: 4.7 x 1.9 m, its pose the midpoint of the rear axle, 1.0 m behind the rear
// bumper (wheelbase 2.8 m, so 0.9 m of front overhang).
inline PolygonFootprint carFootprint() {
  return PolygonFootprint{{{3.7, 0.95}, {-1.0, 0.95}, {-1.0, -0.95}, {3.7, -0.95}}};
}

struct ParkingScene {
  std::string name;
  double turning_radius = 0.0;  // metres, of the rear-axle midpoint
  double x_min = 0.0, y_min = 0.0, x_max = 0.0, y_max = 0.0;
  std::vector<std::vector<Point2D>> polygons;
  std::vector<Query> queries;
};

inline ParkingScene loadParkingScene(const std::string& name) {
  const std::string path = benchDir() + "/parking/" + name + ".txt";
  std::ifstream in(path);
  if (!in) {
    throw std::runtime_error("cannot read " + path);
  }
  ParkingScene scene;
  scene.name = name;
  bool bounded = false;
  std::string line;
  int number = 0;
  const double degree = kPi / 180.0;
  while (std::getline(in, line)) {
    ++number;
    std::istringstream fields(line);
    std::string word;
    if (!(fields >> word) || word[0] == '#') {
      continue;
    }
    std::vector<double> v;
    double value = 0.0;
    while (fields >> value) {
      v.push_back(value);
    }
    const bool parsed = fields.eof();
    const auto need = [&](bool ok) {
      if (!ok || !parsed) {
        throw std::runtime_error(path + ":" + std::to_string(number) + ": cannot read '" + line +
                                 "'");
      }
    };
    if (word == "turning_radius") {
      need(v.size() == 1 && v[0] > 0.0);
      scene.turning_radius = v[0];
    } else if (word == "bounds") {
      need(v.size() == 4 && v[0] < v[2] && v[1] < v[3]);
      scene.x_min = v[0], scene.y_min = v[1], scene.x_max = v[2], scene.y_max = v[3];
      bounded = true;
    } else if (word == "box") {
      need(v.size() == 4 && v[0] < v[2] && v[1] < v[3]);
      scene.polygons.push_back({{v[0], v[1]}, {v[2], v[1]}, {v[2], v[3]}, {v[0], v[3]}});
    } else if (word == "polygon") {
      need(v.size() >= 6 && v.size() % 2 == 0);
      std::vector<Point2D> polygon;
      for (std::size_t i = 0; i < v.size(); i += 2) {
        polygon.push_back({v[i], v[i + 1]});
      }
      scene.polygons.push_back(polygon);
    } else if (word == "car") {
      need(v.size() == 3);
      const double c = std::cos(v[2] * degree), s = std::sin(v[2] * degree);
      std::vector<Point2D> polygon;
      for (const Point2D& p : carFootprint().points) {
        polygon.push_back({v[0] + c * p.x - s * p.y, v[1] + s * p.x + c * p.y});
      }
      scene.polygons.push_back(polygon);
    } else if (word == "query") {
      need(v.size() == 6);
      scene.queries.push_back(Query{{v[0], v[1], v[2] * degree}, {v[3], v[4], v[5] * degree}});
    } else {
      need(false);
    }
  }
  if (!bounded || scene.turning_radius <= 0.0 || scene.queries.empty()) {
    throw std::runtime_error(path + ": needs bounds, turning_radius and queries");
  }
  return scene;
}

// Whether the segment a-b passes through the open box (x0, x1) x (y0, y1) (Liang-Barsky).
inline bool segmentCrossesOpenBox(Point2D a, Point2D b, double x0, double y0, double x1,
                                  double y1) {
  double t0 = 0.0, t1 = 1.0;
  const auto clip = [&](double p, double d, double lo, double hi) {
    if (d == 0.0) {
      return p > lo && p < hi;
    }
    double enter = (lo - p) / d, leave = (hi - p) / d;
    if (enter > leave) {
      std::swap(enter, leave);
    }
    t0 = std::max(t0, enter);
    t1 = std::min(t1, leave);
    return t0 < t1;
  };
  return clip(a.x, b.x - a.x, x0, x1) && clip(a.y, b.y - a.y, y0, y1);
}

inline bool pointInPolygon(const std::vector<Point2D>& polygon, double x, double y) {
  bool inside = false;
  for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
    const Point2D& a = polygon[i];
    const Point2D& b = polygon[j];
    if ((a.y > y) != (b.y > y) && x < a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y)) {
      inside = !inside;
    }
  }
  return inside;
}

// Lethal (254) where a polygon overlaps a cell over some area, free (0) elsewhere: a cell is
// lethal if its centre lies inside a polygon or a polygon edge passes through the cell shrunk by
// a micrometre on every side. Edges lying on cell borders (walls at whole multiples of the cell
// size) mark only the cells they enclose, so both resolutions see the same walls.
inline Costmap rasteriseScene(const ParkingScene& scene, double resolution) {
  const auto width =
      static_cast<std::uint64_t>(std::ceil((scene.x_max - scene.x_min) / resolution - 1e-9));
  const auto height =
      static_cast<std::uint64_t>(std::ceil((scene.y_max - scene.y_min) / resolution - 1e-9));
  std::vector<std::uint8_t> cells(width * height, 0);
  const double shrink = 1e-6;
  for (const std::vector<Point2D>& polygon : scene.polygons) {
    double lo_x = polygon[0].x, hi_x = lo_x, lo_y = polygon[0].y, hi_y = lo_y;
    for (const Point2D& p : polygon) {
      lo_x = std::min(lo_x, p.x), hi_x = std::max(hi_x, p.x);
      lo_y = std::min(lo_y, p.y), hi_y = std::max(hi_y, p.y);
    }
    const auto cell_range = [&](double lo, double hi, double origin, std::uint64_t count) {
      const double first = std::floor((lo - origin) / resolution) - 1.0;
      const double last = std::floor((hi - origin) / resolution) + 1.0;
      return std::pair<std::uint64_t, std::uint64_t>(
          static_cast<std::uint64_t>(std::clamp(first, 0.0, static_cast<double>(count - 1))),
          static_cast<std::uint64_t>(std::clamp(last, 0.0, static_cast<double>(count - 1))));
    };
    const auto [mx0, mx1] = cell_range(lo_x, hi_x, scene.x_min, width);
    const auto [my0, my1] = cell_range(lo_y, hi_y, scene.y_min, height);
    for (std::uint64_t my = my0; my <= my1; ++my) {
      for (std::uint64_t mx = mx0; mx <= mx1; ++mx) {
        const double x0 = scene.x_min + static_cast<double>(mx) * resolution;
        const double y0 = scene.y_min + static_cast<double>(my) * resolution;
        bool lethal = pointInPolygon(polygon, x0 + resolution / 2, y0 + resolution / 2);
        for (std::size_t i = 0; i < polygon.size() && !lethal; ++i) {
          lethal = segmentCrossesOpenBox(polygon[i], polygon[(i + 1) % polygon.size()], x0 + shrink,
                                         y0 + shrink, x0 + resolution - shrink,
                                         y0 + resolution - shrink);
        }
        if (lethal) {
          cells[my * width + mx] = 254;
        }
      }
    }
  }
  return Costmap(width, height, resolution, scene.x_min, scene.y_min, std::move(cells));
}

// The inflation the command line and veltrax_se2.plan apply to occupancy maps by default: costs
// fall from 252 beside a lethal cell to about 10 at the footprint's circumscribed radius (at least
// two cells), with no inscribed band.
inline Costmap inflateAsUsersDo(const Costmap& raw, const Footprint& footprint) {
  double reach = 0.0;
  if (const auto* circle = std::get_if<CircleFootprint>(&footprint)) {
    reach = circle->radius;
  } else if (const auto* polygon = std::get_if<PolygonFootprint>(&footprint)) {
    for (const Point2D& p : polygon->points) {
      reach = std::max(reach, std::hypot(p.x, p.y));
    }
  } else {
    for (const PolygonFootprint& part : std::get<MultiPolygonFootprint>(footprint).polygons) {
      for (const Point2D& p : part.points) {
        reach = std::max(reach, std::hypot(p.x, p.y));
      }
    }
  }
  const double radius = std::max(reach, 2.0 * raw.resolution());
  return inflateCostmap(raw, radius, 0.0, std::log(252.0 / 10.0) / radius);
}

// The quick stand-in car parks of bench_collision and bench_planner.
// A car of 4.7 m x 1.9 m whose pose is the middle of its rear axle, 1.0 m from its rear.
inline PolygonFootprint benchCar() {
  return PolygonFootprint{{{-1.0, -0.95}, {3.7, -0.95}, {3.7, 0.95}, {-1.0, 0.95}}};
}

// Two car parks of 30 m x 16 m, obstacles lethal where a cell centre lies in a parked car or a
// wall, inflated out to 1 m as a user would: `perpendicular` is a row of 2.6 m bays off a 6 m
// aisle with one bay free (x 15.0-17.6), otherwise a kerb with a 7 m gap between two cars.
inline Costmap carParkScene(double resolution, bool perpendicular) {
  const auto width = static_cast<std::uint64_t>(std::llround(30.0 / resolution));
  const auto height = static_cast<std::uint64_t>(std::llround(16.0 / resolution));
  std::vector<std::uint8_t> cells(width * height, 0);
  const auto box = [&](double x0, double y0, double x1, double y1) {
    for (std::uint64_t my = 0; my < height; ++my) {
      for (std::uint64_t mx = 0; mx < width; ++mx) {
        const double x = (static_cast<double>(mx) + 0.5) * resolution;
        const double y = (static_cast<double>(my) + 0.5) * resolution;
        if (x0 <= x && x <= x1 && y0 <= y && y <= y1) {
          cells[my * width + mx] = 254;
        }
      }
    }
  };
  box(0.0, 15.6, 30.0, 16.0);
  if (perpendicular) {
    for (int bay = 0; bay < 10; ++bay) {
      const double x = 2.0 + 2.6 * bay;
      if (bay != 5) {
        box(x + 0.35, 0.5, x + 2.25, 5.2);
      }
    }
    box(0.0, 0.0, 30.0, 0.3);
  } else {
    box(0.0, 0.0, 30.0, 0.2);
    box(2.0, 0.3, 6.7, 2.2);
    box(13.7, 0.3, 18.4, 2.2);
  }
  return inflateCostmap(Costmap(width, height, resolution, 0.0, 0.0, std::move(cells)), 1.0, 0.0,
                        3.0);
}

// Queries on carParkScene: into the free bay forwards and backwards, and into the kerb gap.
inline std::vector<Query> carParkQueries(bool perpendicular) {
  if (perpendicular) {
    return {{{5.0, 8.5, 0.0}, {16.3, 1.5, 1.5707963267948966}},
            {{5.0, 8.5, 0.0}, {16.3, 4.2, -1.5707963267948966}},
            {{25.0, 9.0, 3.141592653589793}, {16.3, 1.5, 1.5707963267948966}}};
  }
  return {{{8.0, 4.6, 0.0}, {8.3, 1.25, 0.0}}, {{20.0, 4.6, 3.141592653589793}, {8.3, 1.25, 0.0}}};
}

}  // namespace veltrax::se2::bench
