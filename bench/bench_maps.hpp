#pragma once

// The fixed benchmark workloads of data/bench: P5 maps (grey level = cost, first image row =
// largest y, 0.05 m, origin 0) and their query files.

#include <cmath>
#include <cstdint>
#include <fstream>
#include <sstream>
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
