// The fixed planner workloads of data/bench: every query of every map, default
// configuration, circle of radius 0.25 m. One benchmark per query so that each reports its
// status, expansions and the split of its time; the planner is built once per map, so the
// heuristic is rebuilt for each new goal exactly as a caller would see it.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_maps.hpp"
#include "veltrax/se2/planner.hpp"

namespace {

using namespace veltrax::se2;

const HybridAStar& plannerFor(const std::string& map) {
  static std::map<std::string, std::unique_ptr<HybridAStar>> planners;
  auto& slot = planners[map];
  if (!slot) {
    slot = std::make_unique<HybridAStar>(bench::loadBenchMap(map));
  }
  return *slot;
}

double peakRssMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_Plan(benchmark::State& state, const std::string& map, const std::string& queries,
             std::size_t index) {
  const HybridAStar& planner = plannerFor(map);
  const bench::Query query = bench::loadQueries(queries).at(index);
  PlanRequest request;
  request.start = query.start;
  request.goal = query.goal;
  request.footprint = CircleFootprint{0.25};
  const PlannerConfig config;
  PlannerResult result;
  for (auto _ : state) {
    // A new map revision per call: every call pays for its heuristic, as a first query does.
    ++request.map_revision;
    result = planner.plan(request, config);
    benchmark::DoNotOptimize(result.path.data());
  }
  const PlannerDiagnostics& d = result.diagnostics;
  state.SetLabel(plannerStatusName(result.status));
  state.counters["success"] = result.status == PlannerStatus::SUCCESS ? 1 : 0;
  state.counters["expanded"] = static_cast<double>(d.expanded_nodes);
  state.counters["total_ms"] = d.total_time_ms;
  state.counters["heur_ms"] = d.obstacle_heuristic_time_ms;
  state.counters["search_ms"] = d.search_time_ms;
  state.counters["coll_ms"] = d.collision_check_time_ms;
  state.counters["analytic_ms"] = d.analytic_expansion_time_ms;
  state.counters["post_ms"] = d.smoothing_time_ms;
  state.counters["length_m"] = d.path_length;
  state.counters["peak_rss_MiB"] = peakRssMiB();
}

const int kRegistered = [] {
  const std::vector<std::pair<std::string, std::string>> workloads = {
      {"open", "open"}, {"walls", "walls"}, {"parking", "parking"}, {"parking", "parking_forward"},
      {"maze", "maze"}, {"large", "large"}};
  for (const auto& [map, queries] : workloads) {
    const std::size_t count = bench::loadQueries(queries).size();
    for (std::size_t i = 0; i < count; ++i) {
      benchmark::RegisterBenchmark(("BM_Plan/" + queries + "/" + std::to_string(i)).c_str(),
                                   BM_Plan, map, queries, i)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1);
    }
  }
  return 0;
}();

// The stand-in car parks of bench_maps.hpp with the car and the recommended configuration (turning
// radius 4 m), with the priced kinematic heuristic (`/kinematic`) and without: cold plans, with
// the expansions per CPU-second of the whole call.
void BM_CarPark(benchmark::State& state, double resolution, bool perpendicular, std::size_t index,
                bool kinematic) {
  const HybridAStar planner(bench::carParkScene(resolution, perpendicular));
  const bench::Query query = bench::carParkQueries(perpendicular).at(index);
  PlanRequest request;
  request.start = query.start;
  request.goal = query.goal;
  request.footprint = bench::benchCar();
  PlannerConfig config = recommendedConfig(resolution, request.footprint, false);
  config.minimum_turning_radius = 4.0;
  config.max_planning_time_seconds = 30.0;
  config.penalized_kinematic_heuristic = kinematic;
  PlannerResult result;
  double cpu_seconds = 0.0;
  for (auto _ : state) {
    ++request.map_revision;
    const std::clock_t c0 = std::clock();
    result = planner.plan(request, config);
    cpu_seconds = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
    benchmark::DoNotOptimize(result.path.data());
  }
  const PlannerDiagnostics& d = result.diagnostics;
  state.SetLabel(plannerStatusName(result.status));
  state.counters["expanded"] = static_cast<double>(d.expanded_nodes);
  state.counters["exp_per_cpu_s"] = static_cast<double>(d.expanded_nodes) / cpu_seconds;
  state.counters["total_ms"] = d.total_time_ms;
  state.counters["coll_ms"] = d.collision_check_time_ms;
  state.counters["analytic_ms"] = d.analytic_expansion_time_ms;
  state.counters["length_m"] = d.path_length;
}

const int kCarParks = [] {
  for (const double resolution : {0.1, 0.05}) {
    for (const bool perpendicular : {true, false}) {
      const std::size_t count = bench::carParkQueries(perpendicular).size();
      for (std::size_t i = 0; i < count; ++i) {
        for (const bool kinematic : {false, true}) {
          const std::string name = std::string("BM_CarPark/") +
                                   (resolution > 0.075 ? "r10/" : "r05/") +
                                   (perpendicular ? "bay/" : "kerb/") + std::to_string(i) +
                                   (kinematic ? "/kinematic" : "");
          benchmark::RegisterBenchmark(name.c_str(), BM_CarPark, resolution, perpendicular, i,
                                       kinematic)
              ->Unit(benchmark::kMillisecond)
              ->Iterations(1);
        }
      }
    }
  }
  return 0;
}();

}  // namespace

BENCHMARK_MAIN();
