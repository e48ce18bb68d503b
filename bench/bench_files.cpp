// Inflation against the direct scan, PGM loading and SVG rendering.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/io.hpp"
#include "veltrax/se2/svg.hpp"
// The reference is a test oracle; compiling it in here keeps the comparison in one run.
#include "oracles/inflation_oracle.cpp"

namespace {

using veltrax::se2::Costmap;

Costmap randomMap(std::uint64_t side, double lethal_share, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::bernoulli_distribution lethal(lethal_share);
  std::vector<std::uint8_t> cells(side * side, 0);
  for (std::uint8_t& cell : cells) {
    cell = lethal(rng) ? 254 : 0;
  }
  return Costmap(side, side, 0.05, 0.0, 0.0, std::move(cells));
}

double plainHypot(double dx, double dy) { return std::hypot(dx, dy); }

// range(0): side in cells; range(1): inflation radius in centimetres. 5 % lethal cells.
void BM_Inflate(benchmark::State& state) {
  const Costmap source = randomMap(static_cast<std::uint64_t>(state.range(0)), 0.05, 7);
  const double radius = static_cast<double>(state.range(1)) / 100.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(veltrax::se2::inflateCostmap(source, radius, 0.2, 3.0));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(BM_Inflate)
    ->Args({100, 55})
    ->Args({2000, 55})
    ->Args({2000, 200})
    ->Args({2000, 20000})
    ->Unit(benchmark::kMillisecond);

void BM_InflateDirectScan(benchmark::State& state) {
  const Costmap source = randomMap(static_cast<std::uint64_t>(state.range(0)), 0.05, 7);
  const double radius = static_cast<double>(state.range(1)) / 100.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        veltrax::se2::oracles::inflateByDirectScan(source, radius, 0.2, 3.0, &plainHypot));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(BM_InflateDirectScan)->Args({100, 55})->Unit(benchmark::kMillisecond);

std::string temporaryPath(const char* name) {
  return "/tmp/veltrax-bench-" + std::to_string(::getpid()) + "-" + name;
}

void BM_LoadPgmRaw(benchmark::State& state) {
  const auto side = static_cast<std::uint64_t>(state.range(0));
  const std::string path = temporaryPath("raw.pgm");
  {
    std::ofstream out(path, std::ios::binary);
    out << "P5\n# benchmark\n" << side << ' ' << side << "\n255\n";
    std::mt19937 rng(3);
    std::string row(side, '\0');
    for (std::uint64_t y = 0; y < side; ++y) {
      for (char& pixel : row) {
        pixel = static_cast<char>(rng() % 3 == 0 ? 0 : 254);
      }
      out << row;
    }
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(veltrax::se2::loadCostmapPgm(path, 0.05, 0.0, 0.0));
  }
  ::unlink(path.c_str());
  state.SetBytesProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(BM_LoadPgmRaw)->Arg(4000)->Unit(benchmark::kMillisecond);

void BM_LoadPgmPlain(benchmark::State& state) {
  const auto side = static_cast<std::uint64_t>(state.range(0));
  const std::string path = temporaryPath("plain.pgm");
  {
    std::ofstream out(path, std::ios::binary);
    out << "P2\n" << side << ' ' << side << "\n255\n";
    for (std::uint64_t i = 0; i < side * side; ++i) {
      out << (i % 7 == 0 ? 254 : 0) << (i % side == side - 1 ? '\n' : ' ');
    }
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(veltrax::se2::loadCostmapPgm(path, 0.05, 0.0, 0.0));
  }
  ::unlink(path.c_str());
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(BM_LoadPgmPlain)->Arg(1000)->Unit(benchmark::kMillisecond);

// An inflated 1000 x 1000 map (most cells non-zero) with a 2000-pose path drawn every 10th pose.
void BM_RenderPlanSvg(benchmark::State& state) {
  const auto side = static_cast<std::uint64_t>(state.range(0));
  const Costmap map = veltrax::se2::inflateCostmap(randomMap(side, 0.02, 11), 0.5, 0.1, 3.0);
  veltrax::se2::PlanRequest request;
  request.footprint =
      veltrax::se2::PolygonFootprint{{{0.3, 0.2}, {-0.2, 0.2}, {-0.2, -0.2}, {0.3, -0.2}}};
  veltrax::se2::PlannerResult result;
  const double extent = static_cast<double>(side) * 0.05;
  for (int i = 0; i < 2000; ++i) {
    const double t = i / 2000.0;
    result.path.push_back({extent * t, extent * (0.5 + 0.4 * std::sin(6.0 * t)), 0.1 * i});
    result.directions.push_back(i % 300 < 250 ? veltrax::se2::Direction::FORWARD
                                              : veltrax::se2::Direction::REVERSE);
  }
  request.start = result.path.front();
  request.goal = result.path.back();
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string svg = veltrax::se2::renderPlanSvg(map, request, result, {});
    bytes = svg.size();
    benchmark::DoNotOptimize(svg.data());
  }
  state.counters["document_MB"] = static_cast<double>(bytes) / 1e6;
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(BM_RenderPlanSvg)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
