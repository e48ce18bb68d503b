// Obstacle heuristic construction on the benchmark maps: the library's bucket-ring field against
// the plain std::priority_queue Dijkstra (the test oracle), side by side. Both give the same
// doubles; the differential test holds them together. And the car's manoeuvre estimate, built
// as a plan into the free bay of the stand-in car park builds it.

#include <benchmark/benchmark.h>

#include <string>
#include <utility>
#include <vector>

#include "bench_maps.hpp"
#include "detail/free_cells.hpp"
#include "detail/manoeuvre_field.hpp"
#include "oracles/obstacle_heuristic_oracle.cpp"  // the reference, compiled into this program
#include "veltrax/se2/heuristic.hpp"
#include "veltrax/se2/planner.hpp"

namespace {

using veltrax::se2::Costmap;
using veltrax::se2::GridIndex;

// A goal cell in the middle of the map's free space: the first free cell from the centre.
GridIndex centreGoal(const Costmap& map) {
  const std::uint64_t cx = map.width() / 2;
  const std::uint64_t cy = map.height() / 2;
  for (std::uint64_t r = 0; r < map.width(); ++r) {
    for (std::uint64_t x = cx - std::min(cx, r); x <= std::min(map.width() - 1, cx + r); ++x) {
      if (map.getCost(x, cy) == 0) {
        return GridIndex{x, cy};
      }
    }
  }
  return GridIndex{cx, cy};
}

void BM_ObstacleHeuristic(benchmark::State& state, const std::string& name) {
  const Costmap map = veltrax::se2::bench::loadBenchMap(name);
  const GridIndex goal = centreGoal(map);
  for (auto _ : state) {
    veltrax::se2::ObstacleHeuristic h(map, goal, false, 2.0);
    benchmark::DoNotOptimize(h.distances().data());
  }
  state.counters["cells"] = static_cast<double>(map.width() * map.height());
}

// As the planner's cache does on a miss: the next field is built in the previous one's memory.
void BM_ObstacleHeuristicReusedStorage(benchmark::State& state, const std::string& name) {
  const Costmap map = veltrax::se2::bench::loadBenchMap(name);
  const GridIndex goal = centreGoal(map);
  std::vector<double> storage;
  for (auto _ : state) {
    veltrax::se2::ObstacleHeuristic h(map, goal, false, 2.0, std::move(storage));
    benchmark::DoNotOptimize(h.distances().data());
    storage = h.releaseStorage();
  }
  state.counters["cells"] = static_cast<double>(map.width() * map.height());
}

void BM_ObstacleHeuristicPlainHeap(benchmark::State& state, const std::string& name) {
  const Costmap map = veltrax::se2::bench::loadBenchMap(name);
  const GridIndex goal = centreGoal(map);
  for (auto _ : state) {
    auto d = veltrax::se2::oracles::obstacleHeuristicDistances(map, goal, false, 2.0);
    benchmark::DoNotOptimize(d.data());
  }
  state.counters["cells"] = static_cast<double>(map.width() * map.height());
}

// The estimate's prices as the search derives them from a car's recommended configuration.
veltrax::se2::detail::ManoeuvreField::Prices carPrices(double resolution,
                                                       const veltrax::se2::Footprint& car,
                                                       double turning_radius) {
  using namespace veltrax::se2;
  const PlannerConfig config = recommendedConfig(resolution, car, false, turning_radius);
  const double length = kTwoPi * config.minimum_turning_radius / config.angle_bins;
  detail::ManoeuvreField::Prices prices;
  prices.radius = config.minimum_turning_radius;
  prices.reverse_per_metre = config.reverse_penalty / length;
  prices.non_straight_per_metre = config.non_straight_penalty / length;
  prices.cusp = config.direction_switch_penalty;
  prices.cost_penalty = config.cost_penalty;
  return prices;
}

// The stand-in car park, its car's radius 3.5 m. What a plan pays up front (the search back as far
// as the start), or, with `all`, what reading every state would make it pay.
void BM_ManoeuvreField(benchmark::State& state, double resolution, bool all) {
  using namespace veltrax::se2;
  const Costmap map = bench::carParkScene(resolution, true);
  const Footprint car = bench::benchCar();
  const detail::ManoeuvreField::Prices prices = carPrices(resolution, car, 3.5);
  detail::ZeroCostRegions zero;
  zero.build(map);
  const bench::Query query = bench::carParkQueries(true).front();
  detail::ManoeuvreField field;
  for (auto _ : state) {
    field.build(map, false, car, 0.95, query.start, query.goal, prices, std::uint64_t{1} << 18,
                &zero, {});
    if (all) {
      field.settleAll();
    }
    benchmark::DoNotOptimize(field.empty());
  }
}

// The garage scene of the parking benchmark at 0.1 m: each of its queries' estimates, built up
// front as a plan from its start builds it (the one query of several that the time is for).
void BM_ManoeuvreFieldGarage(benchmark::State& state) {
  using namespace veltrax::se2;
  const bench::ParkingScene scene = bench::loadParkingScene("garage");
  const Footprint car = bench::carFootprint();
  const Costmap map = bench::inflateAsUsersDo(bench::rasteriseScene(scene, 0.1), car);
  const detail::ManoeuvreField::Prices prices = carPrices(0.1, car, scene.turning_radius);
  detail::ZeroCostRegions zero;
  zero.build(map);
  detail::ManoeuvreField field;
  for (auto _ : state) {
    for (const bench::Query& query : scene.queries) {
      field.build(map, false, car, 0.95, query.start, query.goal, prices, std::uint64_t{1} << 18,
                  &zero, {});
      benchmark::DoNotOptimize(field.empty());
    }
  }
  state.counters["queries"] = static_cast<double>(scene.queries.size());
}

}  // namespace

BENCHMARK(BM_ManoeuvreFieldGarage)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ManoeuvreField, carpark_010, 0.1, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ManoeuvreField, carpark_005, 0.05, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ManoeuvreField, carpark_010_all, 0.1, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ManoeuvreField, carpark_005_all, 0.05, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ObstacleHeuristic, maze_1000, std::string("maze"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ObstacleHeuristicReusedStorage, maze_1000, std::string("maze"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ObstacleHeuristicPlainHeap, maze_1000, std::string("maze"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ObstacleHeuristic, large_2000, std::string("large"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ObstacleHeuristicReusedStorage, large_2000, std::string("large"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ObstacleHeuristicPlainHeap, large_2000, std::string("large"))
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
