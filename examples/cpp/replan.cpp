// Replan at 5 Hz while a cart crosses the aisle of the bundled parking lot: every cycle only the
// cells the cart left and entered go to the planner (updateCostmap), which repairs what it derived
// from the map there and keeps the rest, its lazily computed obstacle heuristic included.
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

// The cells of the window [x0, x1) x [y0, y1) of the lot with a 0.5 m square cart centred at (x, y)
// marked lethal.
std::vector<std::uint8_t> windowWithCart(const Costmap& lot, std::uint64_t x0, std::uint64_t y0,
                                         std::uint64_t x1, std::uint64_t y1, double x, double y) {
  std::vector<std::uint8_t> cells;
  for (std::uint64_t my = y0; my < y1; ++my) {
    for (std::uint64_t mx = x0; mx < x1; ++mx) {
      const Pose2D centre = lot.mapToWorld(mx, my);
      const bool cart = std::max(std::abs(centre.x - x), std::abs(centre.y - y)) <= 0.25;
      cells.push_back(cart ? kLethalCost : lot.getCost(mx, my));
    }
  }
  return cells;
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

    // The obstacle heuristic is computed only where the search reads it and is repaired, not
    // rebuilt, when cells change.
    config.lazy_obstacle_heuristic = true;

    HybridAStar planner(lot);
    double previous_x = 5.0;
    for (std::uint64_t cycle = 0; cycle < 10; ++cycle) {
      // The cart drives 1.5 m/s towards -x along the aisle, past the slot.
      const double cart_x = 5.0 - 1.5 * kPeriod * static_cast<double>(cycle);
      // One window covers where the cart was and where it is now.
      GridIndex low;
      GridIndex high;
      if (!lot.worldToMap(cart_x - 0.3, 2.3 - 0.3, low) ||
          !lot.worldToMap(previous_x + 0.3, 2.3 + 0.3, high)) {
        break;
      }
      planner.updateCostmap(low.x, low.y, high.x + 1 - low.x, high.y + 1 - low.y,
                            windowWithCart(lot, low.x, low.y, high.x + 1, high.y + 1, cart_x, 2.3));
      previous_x = cart_x;
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
