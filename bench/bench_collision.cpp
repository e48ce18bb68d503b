// One footprint check at random poses, and a path sweep, on 0.05 m costmaps.
//
// Maps: the AWS small warehouse occupancy map (286 x 423 cells, free 0 / occupied 254 /
// unknown 255 by its YAML thresholds), the same map with a cost gradient around its obstacles
// as a planner would see it, and a synthetic ramp whose costs grow
// along the walk order, the worst case for skipping cells that cannot change the answer. Each
// product check runs beside the straightforward reference version of the same algorithm, so the
// ratio of the two is measured in one run.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_maps.hpp"
#include "detail/free_cells.hpp"
#include "detail/swept_stencil.hpp"
#include "oracles/collision_reference.hpp"
#include "shared_maps.hpp"
#include "veltrax/se2/collision.hpp"

namespace {

using namespace veltrax::se2;

Costmap loadWarehouse() {
  return testing::loadOccupancyMap("maps/aws_small_warehouse/warehouse_005.pgm", -7.0, -10.5);
}

// 20 m x 20 m of graded costs rising along rows and columns: nearly every touched cell raises
// the maximum, so every touched cell needs the full shape test.
Costmap makeRamp() {
  const std::uint64_t size = 400;
  std::vector<std::uint8_t> cells(size * size);
  for (std::uint64_t my = 0; my < size; ++my) {
    for (std::uint64_t mx = 0; mx < size; ++mx) {
      cells[my * size + mx] = static_cast<std::uint8_t>(1 + (mx + 3 * my) % 252);
    }
  }
  return Costmap(size, size, 0.05, 0.0, 0.0, std::move(cells));
}

const Costmap& warehouse() {
  static const Costmap map = loadWarehouse();
  return map;
}

// The warehouse with a cost gradient around its obstacles, as a planner sees it: 253 within
// 0.25 m of an occupied cell, then 252 * exp(-3 * (d - 0.25)) out to 0.55 m.
const Costmap& inflatedWarehouse() {
  static const Costmap map = inflateCostmap(warehouse(), 0.55, 0.25, 3.0);
  return map;
}

// The stand-in car park of bench_maps.hpp at 0.1 m (perpendicular bays), inflated out to 1 m.
const Costmap& carPark() {
  static const Costmap map = bench::carParkScene(0.1, true);
  return map;
}

const Costmap& ramp() {
  static const Costmap map = makeRamp();
  return map;
}

std::vector<Pose2D> randomPoses(const Costmap& map) {
  std::mt19937_64 rng(7);
  const double margin = 1.0;
  const double ex = static_cast<double>(map.width()) * map.resolution();
  const double ey = static_cast<double>(map.height()) * map.resolution();
  std::uniform_real_distribution<double> ux(map.originX() + margin, map.originX() + ex - margin);
  std::uniform_real_distribution<double> uy(map.originY() + margin, map.originY() + ey - margin);
  std::uniform_real_distribution<double> uyaw(-kPi, kPi);
  std::vector<Pose2D> poses(4096);
  for (Pose2D& p : poses) {
    p = Pose2D{ux(rng), uy(rng), uyaw(rng)};
  }
  return poses;
}

Footprint circle() { return CircleFootprint{0.25}; }

Footprint rectangle() {
  return PolygonFootprint{{{-0.3, -0.2}, {0.3, -0.2}, {0.3, 0.2}, {-0.3, 0.2}}};
}

// Twelve vertices on an ellipse with semi-axes 0.6 and 0.4: a 1.2 m x 0.8 m outline.
Footprint twelveGon() {
  PolygonFootprint polygon;
  for (int k = 0; k < 12; ++k) {
    const double angle = kTwoPi * k / 12.0;
    polygon.points.push_back({0.6 * std::cos(angle), 0.4 * std::sin(angle)});
  }
  return polygon;
}

enum class Shape { kCircle, kRectangle, kTwelveGon, kCar };

Footprint footprintOf(Shape shape) {
  switch (shape) {
    case Shape::kCircle: return circle();
    case Shape::kRectangle: return rectangle();
    case Shape::kCar: return bench::benchCar();
    default: return twelveGon();
  }
}

void BM_Check(benchmark::State& state, const Costmap& (*map)(), Shape shape) {
  const CollisionChecker checker(map(), false);
  const Footprint footprint = footprintOf(shape);
  const std::vector<Pose2D> poses = randomPoses(map());
  std::size_t i = 0;
  std::uint64_t collisions = 0;
  for (auto _ : state) {
    const CollisionResult r = checker.checkValidated(poses[i], footprint);
    collisions += r.collision;
    benchmark::DoNotOptimize(r);
    i = (i + 1) % poses.size();
  }
  state.counters["collision_rate"] =
      benchmark::Counter(static_cast<double>(collisions), benchmark::Counter::kAvgIterations);
}

// The planner's search check: the zero-cost shortcut in front of the same checker.
void BM_SearchCheck(benchmark::State& state, const Costmap& (*map)(), Shape shape) {
  const CollisionChecker checker(map(), false);
  const Footprint footprint = footprintOf(shape);
  detail::ZeroCostRegions regions;
  regions.build(map());
  const detail::FastCollisionCheck check(checker, footprint, &regions);
  const std::vector<Pose2D> poses = randomPoses(map());
  std::size_t i = 0;
  for (auto _ : state) {
    const CollisionResult r = check(poses[i]);
    benchmark::DoNotOptimize(r);
    i = (i + 1) % poses.size();
  }
}

void BM_Reference(benchmark::State& state, const Costmap& (*map)(), Shape shape) {
  const Footprint footprint = footprintOf(shape);
  const std::vector<Pose2D> poses = randomPoses(map());
  std::size_t i = 0;
  for (auto _ : state) {
    CollisionResult r;
    if (shape == Shape::kCircle) {
      r = oracles::referenceCheckCircle(map(), false, poses[i], 0.25);
    } else {
      r = oracles::referenceCheckPolygon(map(), false, poses[i],
                                         std::get<PolygonFootprint>(footprint).points);
    }
    benchmark::DoNotOptimize(r);
    i = (i + 1) % poses.size();
  }
}

BENCHMARK_CAPTURE(BM_Check, warehouse_circle, warehouse, Shape::kCircle);
BENCHMARK_CAPTURE(BM_SearchCheck, warehouse_circle, warehouse, Shape::kCircle);
BENCHMARK_CAPTURE(BM_SearchCheck, warehouse_rect4, warehouse, Shape::kRectangle);
BENCHMARK_CAPTURE(BM_SearchCheck, inflated_circle, inflatedWarehouse, Shape::kCircle);
BENCHMARK_CAPTURE(BM_SearchCheck, carpark_car, carPark, Shape::kCar);
BENCHMARK_CAPTURE(BM_SearchCheck, carpark_circle, carPark, Shape::kCircle);
BENCHMARK_CAPTURE(BM_Reference, warehouse_circle, warehouse, Shape::kCircle);
BENCHMARK_CAPTURE(BM_Check, warehouse_rect4, warehouse, Shape::kRectangle);
BENCHMARK_CAPTURE(BM_Reference, warehouse_rect4, warehouse, Shape::kRectangle);
BENCHMARK_CAPTURE(BM_Check, warehouse_poly12, warehouse, Shape::kTwelveGon);
BENCHMARK_CAPTURE(BM_Reference, warehouse_poly12, warehouse, Shape::kTwelveGon);
BENCHMARK_CAPTURE(BM_Check, inflated_circle, inflatedWarehouse, Shape::kCircle);
BENCHMARK_CAPTURE(BM_Reference, inflated_circle, inflatedWarehouse, Shape::kCircle);
BENCHMARK_CAPTURE(BM_Check, inflated_rect4, inflatedWarehouse, Shape::kRectangle);
BENCHMARK_CAPTURE(BM_Reference, inflated_rect4, inflatedWarehouse, Shape::kRectangle);
BENCHMARK_CAPTURE(BM_Check, inflated_poly12, inflatedWarehouse, Shape::kTwelveGon);
BENCHMARK_CAPTURE(BM_Reference, inflated_poly12, inflatedWarehouse, Shape::kTwelveGon);
BENCHMARK_CAPTURE(BM_Check, ramp_circle, ramp, Shape::kCircle);
BENCHMARK_CAPTURE(BM_Reference, ramp_circle, ramp, Shape::kCircle);
BENCHMARK_CAPTURE(BM_Check, ramp_rect4, ramp, Shape::kRectangle);
BENCHMARK_CAPTURE(BM_Reference, ramp_rect4, ramp, Shape::kRectangle);
BENCHMARK_CAPTURE(BM_Check, ramp_poly12, ramp, Shape::kTwelveGon);
BENCHMARK_CAPTURE(BM_Reference, ramp_poly12, ramp, Shape::kTwelveGon);

// A collision-free 10 m path on the ramp: 21 poses 0.5 m apart weaving gently in yaw, swept at
// a 0.05 m step (about 200 samples, every one a full check).
void BM_ValidatePath(benchmark::State& state, Shape shape) {
  const CollisionChecker checker(ramp(), false);
  const Footprint footprint = footprintOf(shape);
  std::vector<Pose2D> path;
  for (int k = 0; k <= 20; ++k) {
    path.push_back({5.0 + 0.5 * k, 10.0 + 0.5 * std::sin(0.4 * k), 0.3 * std::cos(0.4 * k)});
  }
  for (auto _ : state) {
    const CollisionResult r = checker.validatePath(path, footprint, 0.05);
    if (r.collision) {
      state.SkipWithError("the benchmark path must be free");
      break;
    }
    benchmark::DoNotOptimize(r);
  }
}

BENCHMARK_CAPTURE(BM_ValidatePath, path10m_circle, Shape::kCircle)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ValidatePath, path10m_rect4, Shape::kRectangle)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ValidatePath, path10m_poly12, Shape::kTwelveGon)
    ->Unit(benchmark::kMicrosecond);

// Building the sweep stencil of one full-lock primitive of the benchmark car (3.5 m radius, one
// 5 degree yaw bin of arc, 13 samples) at a yaw no earlier call used: what a search pays the first
// time it meets a primitive at a new heading.
void BM_StencilBuild(benchmark::State& state, double resolution) {
  const PolygonFootprint car = bench::benchCar();
  detail::SweptStencils stencils;
  if (!stencils.prepare(car, resolution)) {
    state.SkipWithError("the car must get stencils");
    return;
  }
  const double radius = 3.5;
  const double turn = 2.0 * kPi / 72.0;
  std::vector<Pose2D> samples(13);
  double yaw = 0.0;
  for (auto _ : state) {
    yaw = yaw + 0.0137 > kPi ? yaw + 0.0137 - 2.0 * kPi : yaw + 0.0137;
    const Pose2D start{10.03, 7.01, yaw};
    for (std::size_t k = 0; k < samples.size(); ++k) {
      const double a = turn * static_cast<double>(k) / 12.0;
      samples[k] = Pose2D{start.x + radius * (std::sin(yaw + a) - std::sin(yaw)),
                          start.y - radius * (std::cos(yaw + a) - std::cos(yaw)), yaw + a};
    }
    benchmark::DoNotOptimize(stencils.get(0, start, samples));
  }
}

BENCHMARK_CAPTURE(BM_StencilBuild, car_0_1, 0.1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_StencilBuild, car_0_05, 0.05)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
