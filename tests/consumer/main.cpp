#include <cstdio>
#include <vector>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/planner.hpp"

int main() {
  using namespace veltrax::se2;
  const Costmap map(4, 3, 0.5, -1.0, 2.0, std::vector<std::uint8_t>(12, 0));
  GridIndex cell;
  if (!map.worldToMap(-0.5, 2.5, cell) || cell.x != 1 || cell.y != 1) {
    std::puts("consumer: worldToMap gave the wrong cell");
    return 1;
  }
  if (normalizeYaw(kPi) != -kPi) {
    std::puts("consumer: normalizeYaw gave the wrong angle");
    return 1;
  }
  // A 4 m x 3 m open field; the planner pulls in OMPL and the rest through the shared library.
  const HybridAStar planner(Costmap(80, 60, 0.05, 0.0, 0.0, std::vector<std::uint8_t>(4800, 0)));
  PlanRequest request;
  request.start = {1.0, 1.0, 0.0};
  request.goal = {3.0, 2.0, kPi / 2};
  const PlannerResult result = planner.plan(request, PlannerConfig{});
  if (result.status != PlannerStatus::SUCCESS || result.path.empty()) {
    std::printf("consumer: planning failed: %s\n", result.message.c_str());
    return 1;
  }
  std::printf("consumer: linked against the installed library and planned %zu poses\n",
              result.path.size());
  return 0;
}
