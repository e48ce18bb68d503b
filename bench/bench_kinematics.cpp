// Cost of the kinematic queries the planner makes per generated node (distance) and per
// expansion (generate), plus the analytic-expansion interpolation.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include <ompl/base/spaces/ReedsSheppStateSpace.h>

#include "veltrax/se2/kinematics.hpp"
#include "veltrax/se2/primitives.hpp"

namespace {

using veltrax::se2::KinematicStateSpace;
using veltrax::se2::MotionPrimitive;
using veltrax::se2::MotionPrimitiveTable;
using veltrax::se2::PlannerConfig;
using veltrax::se2::Pose2D;

constexpr double kRadius = 0.4;

struct PosePair {
  Pose2D from;
  Pose2D to;
};

// Random pairs whose positions lie within `range` metres of each other.
const std::vector<PosePair>& pairsWithin(double range) {
  static const std::vector<PosePair> pairs = [range] {
    std::mt19937_64 engine(2026);
    std::uniform_real_distribution<double> offset(-range / 1.5, range / 1.5);
    std::uniform_real_distribution<double> yaw(-3.141592653589793, 3.141592653589793);
    std::vector<PosePair> result;
    while (result.size() < 4096) {
      const double dx = offset(engine);
      const double dy = offset(engine);
      if (dx * dx + dy * dy > range * range) {
        continue;
      }
      const Pose2D from{offset(engine), offset(engine), yaw(engine)};
      result.push_back({from, {from.x + dx, from.y + dy, yaw(engine)}});
    }
    return result;
  }();
  return pairs;
}

void distance(benchmark::State& state, bool allow_reverse) {
  const KinematicStateSpace space(kRadius, allow_reverse);
  const auto& pairs = pairsWithin(5.0);
  std::size_t i = 0;
  for (auto _ : state) {
    const PosePair& pair = pairs[i++ & 4095];
    benchmark::DoNotOptimize(space.distance(pair.from, pair.to));
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_DistanceReedsShepp(benchmark::State& state) { distance(state, true); }
void BM_DistanceDubins(benchmark::State& state) { distance(state, false); }

// OMPL's own distance with heap-allocated states per call, as a straightforward adapter would do
// it: the baseline for the stack-state adapter above.
void BM_DistanceReedsSheppOmplAllocatedStates(benchmark::State& state) {
  ompl::base::ReedsSheppStateSpace space(kRadius);
  const auto& pairs = pairsWithin(5.0);
  std::size_t i = 0;
  for (auto _ : state) {
    const PosePair& pair = pairs[i++ & 4095];
    auto* from = space.allocState()->as<ompl::base::SE2StateSpace::StateType>();
    auto* to = space.allocState()->as<ompl::base::SE2StateSpace::StateType>();
    from->setXY(pair.from.x, pair.from.y);
    from->setYaw(pair.from.yaw);
    to->setXY(pair.to.x, pair.to.y);
    to->setYaw(pair.to.yaw);
    benchmark::DoNotOptimize(space.distance(from, to));
    space.freeState(from);
    space.freeState(to);
  }
  state.SetItemsProcessed(state.iterations());
}

void interpolate(benchmark::State& state, bool allow_reverse) {
  const KinematicStateSpace space(kRadius, allow_reverse);
  const auto& pairs = pairsWithin(5.0);
  std::size_t i = 0;
  std::size_t samples = 0;
  for (auto _ : state) {
    const PosePair& pair = pairs[i++ & 4095];
    const auto result = space.interpolateWithDirections(pair.from, pair.to, 0.025);
    samples += result.size();
    benchmark::DoNotOptimize(result.data());
  }
  state.counters["samples_per_call"] =
      benchmark::Counter(static_cast<double>(samples) / static_cast<double>(state.iterations()));
}

void BM_InterpolateReedsShepp(benchmark::State& state) { interpolate(state, true); }
void BM_InterpolateDubins(benchmark::State& state) { interpolate(state, false); }

// Car-like with reverse, 72 bins, 5 cm cells: six primitives of two samples each.
void BM_GenerateCarLikeReverse72(benchmark::State& state) {
  const MotionPrimitiveTable table(0.05, PlannerConfig{});
  const auto& pairs = pairsWithin(5.0);
  std::size_t i = 0;
  for (auto _ : state) {
    const auto primitives = table.generate(pairs[i++ & 4095].from);
    benchmark::DoNotOptimize(primitives.data());
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_GenerateCarLikeReverse72ReusedBuffer(benchmark::State& state) {
  const MotionPrimitiveTable table(0.05, PlannerConfig{});
  const auto& pairs = pairsWithin(5.0);
  std::vector<MotionPrimitive> buffer;
  std::size_t i = 0;
  for (auto _ : state) {
    table.generate(pairs[i++ & 4095].from, buffer);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_DistanceReedsShepp);
BENCHMARK(BM_DistanceReedsSheppOmplAllocatedStates);
BENCHMARK(BM_DistanceDubins);
BENCHMARK(BM_InterpolateReedsShepp);
BENCHMARK(BM_InterpolateDubins);
BENCHMARK(BM_GenerateCarLikeReverse72);
BENCHMARK(BM_GenerateCarLikeReverse72ReusedBuffer);

BENCHMARK_MAIN();
