// Back a car-like robot into a parking slot on a bundled map, then write the plan as SVG and
// JSON. Usage: plan_parking [MAP.yaml [OUTPUT_PREFIX]]
#include <cstdio>
#include <exception>
#include <string>

#include "veltrax/se2/io.hpp"
#include "veltrax/se2/occupancy_map.hpp"
#include "veltrax/se2/planner.hpp"
#include "veltrax/se2/svg.hpp"

int main(int argc, char** argv) {
  using namespace veltrax::se2;
  const std::string map_path = argc > 1 ? argv[1] : EXAMPLE_MAP;
  const std::string prefix = argc > 2 ? argv[2] : "parking";
  try {
    const Costmap map = loadOccupancyMap(map_path);
    PlanRequest request;
    request.start = {2.0, 4.8, 0.0};
    request.goal = {3.04, 0.9, kPi / 2};  // facing out of the slot: the way in is backwards
    // A 0.6 m x 0.4 m robot, its rear axle (the pose) 0.1 m behind the centre.
    request.footprint = PolygonFootprint{{{0.4, 0.2}, {-0.2, 0.2}, {-0.2, -0.2}, {0.4, -0.2}}};
    const PlannerConfig config = recommendedConfig(map.resolution(), request.footprint);

    const HybridAStar planner(map);
    const PlannerResult result = planner.plan(request, config);
    const PlannerDiagnostics& d = result.diagnostics;
    std::printf("status: %s (%s)\n", plannerStatusName(result.status), result.message.c_str());
    std::printf("path length: %.2f m, poses: %zu, reverse steps: %u, direction switches: %u\n",
                d.path_length, result.path.size(), d.reverse_count, d.direction_switch_count);
    std::printf("expanded nodes: %llu, total time: %.1f ms\n",
                static_cast<unsigned long long>(d.expanded_nodes), d.total_time_ms);

    saveResultJson(result, prefix + ".json");
    savePlanSvg(map, request, result, prefix + ".svg", SvgRenderOptions{});
    std::printf("wrote %s.json and %s.svg\n", prefix.c_str(), prefix.c_str());
    return result.status == PlannerStatus::SUCCESS ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "plan_parking: %s\n", error.what());
    return 2;
  }
}
