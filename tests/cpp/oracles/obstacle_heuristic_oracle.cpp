#include "oracles/obstacle_heuristic_oracle.hpp"

#include <cstdint>
#include <functional>
#include <limits>
#include <queue>
#include <tuple>

namespace veltrax::se2::oracles {

std::vector<double> obstacleHeuristicDistances(const Costmap& costmap, GridIndex goal,
                                               bool allow_unknown, double cost_penalty) {
  const std::uint64_t width = costmap.width();
  const std::uint64_t height = costmap.height();
  std::vector<double> distances(width * height, std::numeric_limits<double>::infinity());
  distances[goal.y * width + goal.x] = 0.0;
  using Entry = std::tuple<double, std::uint64_t, std::uint64_t>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> open;
  open.emplace(0.0, goal.y, goal.x);
  const int dxs[8] = {1, -1, 0, 0, 1, 1, -1, -1};
  const int dys[8] = {0, 0, 1, -1, 1, -1, 1, -1};
  while (!open.empty()) {
    const auto [d, y, x] = open.top();
    open.pop();
    if (d != distances[y * width + x]) {
      continue;
    }
    for (int k = 0; k < 8; ++k) {
      const auto nx = static_cast<std::int64_t>(x) + dxs[k];
      const auto ny = static_cast<std::int64_t>(y) + dys[k];
      if (nx < 0 || ny < 0 || nx >= static_cast<std::int64_t>(width) ||
          ny >= static_cast<std::int64_t>(height)) {
        continue;
      }
      const std::uint8_t c =
          costmap.getCost(static_cast<std::uint64_t>(nx), static_cast<std::uint64_t>(ny));
      if (c == 254 || (c == 255 && !allow_unknown)) {
        continue;
      }
      const double step = (dxs[k] != 0 && dys[k] != 0) ? 1.4142135623730951 : 1.0;
      const double penalty = c == 255 ? cost_penalty : (c / 252.0) * cost_penalty;
      const double candidate = (step * costmap.resolution()) * (penalty + 1.0) + d;
      double& stored =
          distances[static_cast<std::uint64_t>(ny) * width + static_cast<std::uint64_t>(nx)];
      if (stored > candidate) {
        stored = candidate;
        open.emplace(candidate, static_cast<std::uint64_t>(ny), static_cast<std::uint64_t>(nx));
      }
    }
  }
  return distances;
}

}  // namespace veltrax::se2::oracles
