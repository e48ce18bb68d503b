#pragma once

// The fixed benchmark workloads of data/bench: P5 maps (grey level = cost, first image row =
// largest y, 0.05 m, origin 0) and their query files.

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "shared_maps.hpp"
#include "veltrax/se2/costmap.hpp"
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

}  // namespace veltrax::se2::bench
