#pragma once

// The fixed benchmark workloads of ../shared/bench: P5 maps (grey level = cost, first image row =
// largest y, 0.05 m, origin 0) and their query files.

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pgm_image.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2::bench {

inline std::string benchDir() { return std::string(VELTRAX_SHARED_DIR) + "/bench"; }

inline Costmap loadBenchMap(const std::string& name) {
  const testing::PgmImage image = testing::readPgm(benchDir() + "/maps/" + name + ".pgm");
  std::vector<std::uint8_t> cells(image.width * image.height);
  for (std::uint64_t row = 0; row < image.height; ++row) {
    const std::uint64_t y = image.height - 1 - row;
    for (std::uint64_t x = 0; x < image.width; ++x) {
      cells[y * image.width + x] = image.pixels[row * image.width + x];
    }
  }
  return Costmap(image.width, image.height, 0.05, 0.0, 0.0, std::move(cells));
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

}  // namespace veltrax::se2::bench
