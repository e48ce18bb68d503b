// Replan at 5 Hz while a cart crosses the aisle of the bundled parking lot: every cycle the new map
// goes to the same planner, which keeps its memory and drops only what it derived from the old map.
// The loop does not sleep; it prints what each cycle would have spent of its 200 ms.
// Usage: replan [MAP.yaml]
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "veltrax/se2/occupancy_map.hpp"
#include "veltrax/se2/planner.hpp"

namespace {

using namespace veltrax::se2;

// The map with a 0.5 m square cart centred at (x, y) marked lethal.
Costmap withCart(const Costmap& map, double x, double y) {
  std::vector<std::uint8_t> cells = map.cells();
  const double half = 0.25;
  for (std::uint64_t my = 0; my < map.height(); ++my) {
    for (std::uint64_t mx = 0; mx < map.width(); ++mx) {
      const Pose2D centre = map.mapToWorld(mx, my);
      if (std::max(std::abs(centre.x - x), std::abs(centre.y - y)) <= half) {
        cells[map.offset(mx, my)] = kLethalCost;
      }
    }
  }
  return Costmap(map.width(), map.height(), map.resolution(), map.originX(), map.originY(),
                 std::move(cells));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string map_path = argc > 1 ? argv[1] : EXAMPLE_MAP;
  try {
    const Costmap lot = loadOccupancyMap(map_path);
    PlanRequest request;
    request.start = {2.0, 4.8, 0.0};
    request.goal = {3.04, 0.9, kPi / 2};
    request.footprint = PolygonFootprint{{{0.4, 0.2}, {-0.2, 0.2}, {-0.2, -0.2}, {0.4, -0.2}}};
    PlannerConfig config = recommendedConfig(lot.resolution(), request.footprint);
    constexpr double kPeriod = 0.2;  // 5 Hz
    // A plan that would overrun its cycle ends with TIMEOUT; the next cycle plans afresh.
    config.max_planning_time_seconds = kPeriod;

    HybridAStar planner(lot);
    for (std::uint64_t cycle = 0; cycle < 10; ++cycle) {
      // The cart drives 1.5 m/s towards -x along the aisle, past the slot.
      const double cart_x = 5.0 - 1.5 * kPeriod * static_cast<double>(cycle);
      planner.setCostmap(withCart(lot, cart_x, 2.3));
      request.map_revision = cycle + 1;
      const PlannerResult result = planner.plan(request, config);
      const PlannerDiagnostics& d = result.diagnostics;
      std::printf("t=%.1f s  cart x=%.2f  %-9s path %5.2f m  %3u reverse steps  %6.1f ms of %.0f\n",
                  kPeriod * static_cast<double>(cycle), cart_x, plannerStatusName(result.status),
                  d.path_length, d.reverse_count, d.total_time_ms, kPeriod * 1000.0);
    }
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "replan: %s\n", error.what());
    return 2;
  }
}
