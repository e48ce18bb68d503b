#pragma once

// The fixed benchmark workloads of ../shared/bench: P5 maps (grey level = cost, first image row =
// largest y, 0.05 m, origin 0) and their query files. A minimal reader of our own, so that the
// benchmarks do not depend on the file loaders.

#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2::bench {

inline std::string benchDir() { return std::string(VELTRAX_SHARED_DIR) + "/bench"; }

inline Costmap loadBenchMap(const std::string& name) {
  std::ifstream in(benchDir() + "/maps/" + name + ".pgm", std::ios::binary);
  // Header tokens, skipping "#" comments up to the end of their line.
  auto token = [&in]() {
    std::string t;
    while (in >> t) {
      if (t[0] != '#') {
        return t;
      }
      std::string rest;
      std::getline(in, rest);
    }
    return std::string();
  };
  const std::string magic = token();
  const std::uint64_t width = std::stoull(token());
  const std::uint64_t height = std::stoull(token());
  const std::uint64_t maxval = std::stoull(token());
  in.get();
  if (!in || magic != "P5" || maxval > 255) {
    throw std::runtime_error("cannot read benchmark map " + name);
  }
  std::vector<std::uint8_t> image(width * height);
  in.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()));
  std::vector<std::uint8_t> cells(width * height);
  for (std::uint64_t row = 0; row < height; ++row) {
    const std::uint64_t y = height - 1 - row;
    for (std::uint64_t x = 0; x < width; ++x) {
      cells[y * width + x] = image[row * width + x];
    }
  }
  return Costmap(width, height, 0.05, 0.0, 0.0, std::move(cells));
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
