// The collision checker against the line-by-line reference of oracles/ on random maps, poses and
// outlines (multi-polygons too); by hand only what random inputs do not reach: outlines within the
// tolerance of a cell edge, and the path sweep.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "detail/free_cells.hpp"
#include "detail/path_sweep.hpp"
#include "detail/swept_stencil.hpp"
#include "oracles/collision_reference.hpp"
#include "test_support.hpp"
#include "veltrax/se2/collision.hpp"

namespace veltrax::se2 {
namespace {

using namespace testing_support;

struct CellCost {
  std::uint64_t mx, my;
  std::uint8_t cost;
};

Costmap makeMap(double resolution, const std::vector<CellCost>& costs) {
  std::vector<std::uint8_t> cells(100, 0);
  for (const CellCost& c : costs) {
    cells[c.my * 10 + c.mx] = c.cost;
  }
  return Costmap(10, 10, resolution, 0.0, 0.0, std::move(cells));
}

// A foot along the bottom that reaches past column 5 (so column 5 is walked), then a straight
// right side at x = 5 - gap from y = 0.5 to 9.5 with a collinear vertex at y = 5.5.
PolygonFootprint notchedOutline(double gap) {
  const double side = 5.0 - gap;
  return PolygonFootprint{
      {{2, 0.2}, {8, 0.2}, {8, 0.5}, {side, 0.5}, {side, 5.5}, {side, 9.5}, {2, 9.5}}};
}

TEST(CollisionChecker, ToleranceAtCellEdges) {
  const struct {
    std::vector<CellCost> costs;
    Footprint footprint;
    CollisionResult expected;
  } cases[] = {
      // Beside cell (5, 5) the collinear vertex counts as touching the cell edge x = 5 within
      // 1e-12, while the long edges' own tolerance (1e-12 of cross product over a 5 m edge) does
      // not reach.
      {{{5, 5, 254}, {5, 3, 254}}, notchedOutline(5e-13), {true, false, 254}},
      {{{5, 5, 254}, {5, 3, 254}}, notchedOutline(2e-12), {false, false, 0}},
      {{{5, 3, 254}}, notchedOutline(5e-13), {false, false, 0}},
  };
  for (const auto& c : cases) {
    const Costmap map = makeMap(1.0, c.costs);
    const CollisionResult r = CollisionChecker(map, true).check({0, 0, 0}, c.footprint);
    EXPECT_EQ(r, c.expected) << r.collision << r.outside_map << int{r.max_cost};
  }
}

struct RandomWorld {
  explicit RandomWorld(std::uint64_t seed) : rng(seed) {}

  std::mt19937_64 rng;

  double uniform(double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
  }
  std::uint64_t integer(std::uint64_t lo, std::uint64_t hi) {
    return std::uniform_int_distribution<std::uint64_t>(lo, hi)(rng);
  }

  std::uint8_t cost() {
    const double u = uniform(0, 1);
    if (u < 0.55) return 0;
    if (u < 0.75) return static_cast<std::uint8_t>(integer(1, 252));
    if (u < 0.83) return 253;
    if (u < 0.92) return 254;
    return 255;
  }

  Costmap map() {
    static const double kResolutions[] = {0.05, 0.1, 0.25, 1.0};
    const double resolution = kResolutions[integer(0, 3)];
    const std::uint64_t width = integer(1, 30);
    const std::uint64_t height = integer(1, 30);
    std::vector<std::uint8_t> cells(width * height);
    for (auto& c : cells) c = cost();
    return Costmap(width, height, resolution, uniform(-5, 5), uniform(-5, 5), std::move(cells));
  }

  // Somewhere over the map, and now and then partly off it.
  Pose2D pose(const Costmap& map) {
    const double ex = static_cast<double>(map.width()) * map.resolution();
    const double ey = static_cast<double>(map.height()) * map.resolution();
    return Pose2D{map.originX() + uniform(-0.1, 1.1) * ex, map.originY() + uniform(-0.1, 1.1) * ey,
                  uniform(-7, 7)};
  }

  // A star-shaped polygon around a random offset: simple by construction, either winding.
  std::vector<Point2D> starPolygon(double scale) {
    // Now and then more vertices than fit the checker's inline buffer.
    const std::uint64_t n = integer(0, 9) == 0 ? integer(33, 60) : integer(3, 14);
    std::vector<double> angles;
    for (std::uint64_t i = 0; i < n; ++i) angles.push_back(uniform(0, kTwoPi));
    std::sort(angles.begin(), angles.end());
    const double cx = uniform(-scale, scale);
    const double cy = uniform(-scale, scale);
    const bool thin = integer(0, 4) == 0;
    std::vector<Point2D> points;
    for (const double a : angles) {
      const double radius = uniform(0.2, 3.0) * scale;
      points.push_back(
          {cx + radius * std::cos(a), cy + (thin ? 0.03 : 1.0) * radius * std::sin(a)});
    }
    if (integer(0, 1) == 1) std::reverse(points.begin(), points.end());
    return points;
  }
};

TEST(CollisionCheckerDifferential, MatchesTheReferenceBitForBit) {
  RandomWorld world(20261206);
  int with_cost = 0;
  int sweeps_told = 0;
  int stencils_told[2] = {0, 0};  // with a cost, with a collision
  detail::SweptStencils stencils;
  std::vector<std::uint64_t> scratch;
  for (int m = 0; m < 400; ++m) {
    const Costmap map = world.map();
    const bool allow_unknown = world.integer(0, 1) == 1;
    const CollisionChecker checker(map, allow_unknown);
    for (int k = 0; k < 25; ++k) {
      Pose2D pose = world.pose(map);
      const bool aligned = k % 3 == 0;
      // Poses and outlines lying exactly on cell boundaries exercise the tolerance and floor rules.
      const double half = map.resolution() / 2;
      if (aligned) {
        pose = Pose2D{map.originX() + std::round((pose.x - map.originX()) / half) * half,
                      map.originY() + std::round((pose.y - map.originY()) / half) * half,
                      std::round(pose.yaw / (kPi / 2)) * (kPi / 2)};
      }
      const double radius = aligned
                                ? map.resolution() * static_cast<double>(world.integer(1, 6)) / 2
                                : world.uniform(0.1, 3.0) * map.resolution();
      const CollisionResult circle = checker.checkCircle(pose, CircleFootprint{radius});
      ASSERT_EQ(circle, oracles::referenceCheckCircle(map, allow_unknown, pose, radius))
          << "map " << m << " pose " << k;
      std::vector<Point2D> points = world.starPolygon(map.resolution());
      if (aligned) {
        for (auto& p : points) {
          p.x = std::round(p.x / map.resolution() * 2) * map.resolution() / 2;
          p.y = std::round(p.y / map.resolution() * 2) * map.resolution() / 2;
        }
      }
      const CollisionResult poly = checker.checkPolygon(pose, PolygonFootprint{points});
      ASSERT_EQ(poly, oracles::referenceCheckPolygon(map, allow_unknown, pose, points))
          << "map " << m << " pose " << k;
      ASSERT_EQ(detail::checkPolygonByRows(checker, pose, PolygonFootprint{points}, true), poly)
          << "map " << m << " pose " << k;
      // A car-like box many cells long, checked by rows: long runs of squares inside it.
      const double half_length = (aligned ? 1.0 : world.uniform(0.5, 1.0)) *
                                 static_cast<double>(world.integer(1, 16)) * half;
      const double half_width = static_cast<double>(world.integer(1, 8)) * half;
      const double rear = aligned ? half : world.uniform(0.0, 1.0) * half_length;
      // Every other box is wider on its left: no mirror image of itself.
      const double left = half_width + static_cast<double>(k % 2) * half;
      const std::vector<Point2D> box{{-rear, -half_width},
                                     {2 * half_length - rear, -half_width},
                                     {2 * half_length - rear, left},
                                     {-rear, left}};
      ASSERT_EQ(detail::checkPolygonByRows(checker, pose, PolygonFootprint{box}, true),
                oracles::referenceCheckPolygon(map, allow_unknown, pose, box))
          << "map " << m << " pose " << k;
      // The box swept along a short arc: when its samples are answered as a whole, none collides
      // and the cost is the largest of their own checks.
      std::vector<Pose2D> sweep;
      const double turn = world.uniform(-0.1, 0.1);
      for (std::uint64_t j = 0, samples = world.integer(1, 14); j < samples; ++j) {
        const double s = 0.3 * half * static_cast<double>(j);
        sweep.push_back({pose.x + s * std::cos(pose.yaw + turn * s),
                         pose.y + s * std::sin(pose.yaw + turn * s), pose.yaw + 2 * turn * s});
      }
      std::uint8_t swept = 0;
      bool collides = false;
      const bool told =
          detail::sweptPolygonCost(checker, sweep, PolygonFootprint{box}, swept, collides);
      bool any_collides = false;
      for (const Pose2D& sample : sweep) {
        any_collides = any_collides ||
                       oracles::referenceCheckPolygon(map, allow_unknown, sample, box).collision;
      }
      ASSERT_TRUE(!collides || any_collides) << "map " << m << " pose " << k;
      if (told) {
        std::uint8_t expected = 0;
        for (const Pose2D& sample : sweep) {
          const CollisionResult r = oracles::referenceCheckPolygon(map, allow_unknown, sample, box);
          ASSERT_FALSE(r.collision) << "map " << m << " pose " << k;
          expected = std::max(expected, r.max_cost);
        }
        ASSERT_EQ(swept, expected) << "map " << m << " pose " << k;
        sweeps_told += expected > 0 ? 1 : 0;
      }
      // The stencil of the sweep, built at one start and reused at another within other cells:
      // the first colliding sample, or the largest cost, of the samples checked in order.
      const double dx = world.uniform(-3, 3) * map.resolution();
      const double dy = world.uniform(-3, 3) * map.resolution();
      std::vector<Pose2D> moved = sweep;
      for (Pose2D& sample : moved) {
        sample.x += dx;
        sample.y += dy;
      }
      // The sweep's images about its start, turned half round and mirrored in either grid axis:
      // their stencils are taken from the sweep's, the mirrors' only for a symmetric box.
      std::vector<std::vector<Pose2D>> images;
      for (const auto& [sx, sy] : {std::pair{-1, -1}, std::pair{-1, 1}, std::pair{1, -1}}) {
        std::vector<Pose2D>& image = images.emplace_back();
        for (const Pose2D& sample : sweep) {
          const double c = sx * std::cos(sample.yaw);
          const double s = sy * std::sin(sample.yaw);
          image.push_back({pose.x + sx * (sample.x - pose.x), pose.y + sy * (sample.y - pose.y),
                           std::atan2(s, c)});
        }
      }
      if (stencils.prepare(PolygonFootprint{box}, map.resolution())) {
        for (const std::vector<Pose2D>* samples :
             {&sweep, &moved, &images[0], &images[1], &images[2]}) {
          const detail::SweptStencil* stencil = stencils.get(0, samples->front(), *samples);
          ASSERT_NE(stencil, nullptr);
          std::uint8_t cost = 0;
          std::size_t first = 0;
          const detail::StencilOutcome outcome =
              detail::stencilPolygonCost(checker, *stencil, samples->front(), *samples,
                                         PolygonFootprint{box}, cost, first, scratch);
          std::size_t expected_first = samples->size();
          std::uint8_t expected_cost = 0;
          for (std::size_t j = 0; j < samples->size() && expected_first == samples->size(); ++j) {
            const CollisionResult r =
                oracles::referenceCheckPolygon(map, allow_unknown, (*samples)[j], box);
            expected_first = r.collision ? j : expected_first;
            expected_cost = std::max(expected_cost, r.max_cost);
          }
          if (outcome == detail::StencilOutcome::kCost) {
            ASSERT_EQ(expected_first, samples->size()) << "map " << m << " pose " << k;
            ASSERT_EQ(cost, expected_cost) << "map " << m << " pose " << k;
            stencils_told[0] += expected_cost > 0 ? 1 : 0;
          } else if (outcome == detail::StencilOutcome::kCollision) {
            ASSERT_EQ(first, expected_first) << "map " << m << " pose " << k;
            stencils_told[1] += 1;
          }
        }
      }
      // Parts in order, up to the first that collides, whose max_cost is the last counted.
      const Footprint two_parts = MultiPolygonFootprint{
          {PolygonFootprint{points}, PolygonFootprint{world.starPolygon(map.resolution())}}};
      ASSERT_TRUE(!validateFootprint(two_parts).empty() ||  // snapping may merge vertices
                  checker.check(pose, two_parts) ==
                      oracles::referenceCheck(map, allow_unknown, pose, two_parts))
          << "map " << m << " pose " << k;
      with_cost += (circle.max_cost > 0) + (poly.max_cost > 0);
    }
  }
  // Most of the 20,000 comparisons must see real costs, or the agreement would mean little.
  EXPECT_GT(with_cost, 10000);
  EXPECT_GT(sweeps_told, 100);
  EXPECT_GT(stencils_told[0], 100);
  EXPECT_GT(stencils_told[1], 1000);
  EXPECT_GT(stencils.imaged(), 10000U);
}

std::vector<Pose2D> sweepSamples(const std::vector<Pose2D>& path, double step) {
  std::vector<Pose2D> samples;
  detail::sweepPath(path, step, [&](const Pose2D& sample) {
    samples.push_back(sample);
    return false;
  });
  return samples;
}

// A metre in steps of at most 0.3: five samples 0.25 apart; a quarter turn on the spot: every five
// degrees.
TEST(PathSweep, SamplesEvenlyWithinTheStepAndEveryFiveDegrees) {
  const auto line = sweepSamples({{0, 0, 0}, {1, 0, 0}}, 0.3);
  ASSERT_EQ(line.size(), 5u);
  for (std::size_t k = 0; k < 5; ++k) {
    EXPECT_EQ(line[k].x, 0.25 * static_cast<double>(k));
    EXPECT_EQ(line[k].y, 0.0);
  }
  const auto turn = sweepSamples({{0, 0, 0}, {0, 0, kPi / 2}}, 0.3);
  ASSERT_EQ(turn.size(), 19u);
  for (std::size_t k = 0; k < 18; ++k) {
    EXPECT_EQ(turn[k].yaw, static_cast<double>(k) / 18.0 * (kPi / 2));
  }
  EXPECT_EQ(turn[18].yaw, kPi / 2);
}

const char* const kCountMessage = "path segment sample count must be finite and fit in 64 bits";
const char* const kPoseMessage = "collision pose must be finite";
const Costmap kMap = makeMap(0.1, {});

// clang-format off
INSTANTIATE_TEST_SUITE_P(Collision, Refuses, ::testing::Values(
    Refusal{"TinyStepOverLongSegment", [] { sweepSamples({{0, 0, 0}, {10, 0, 0}}, 1e-300); }, kCountMessage},
    Refusal{"DistanceOverflowsHypot", [] { sweepSamples({{-1.5e308, -1.5e308, 0}, {0, 0, 0}}, 1.0); }, kCountMessage},
    Refusal{"OffsetOverflows", [] { sweepSamples({{-1e308, 0, 0}, {1e308, 0, 0}}, 1.0); }, kPoseMessage},
    Refusal{"InfinitePosition", [] { sweepSamples({{0, 0, 0}, {kInf, 0, 0}, {2, 0, 0}}, 0.5); }, kPoseMessage},
    // The yaw difference is judged before the position.
    Refusal{"YawBeforePosition", [] { sweepSamples({{kInf, 0, 0}, {1, 0, kInf}}, 0.5); }, "yaw must be finite"},
    Refusal{"YawDifferenceOverflows", [] { sweepSamples({{0, 0, -1e308}, {0, 0, 1e308}}, 0.5); }, "yaw must be finite"},
    Refusal{"SamplesBeyondTheBudget", [] { CollisionChecker(kMap, false).validatePath({{0, 0, 0}, {10, 0, 0}}, CircleFootprint{0.1}, 5e-7); },
            "interpolation_step is too small for the path length"},
    Refusal{"ZeroStep", [] { CollisionChecker(kMap, false).validatePath({}, CircleFootprint{0.1}, 0.0); },
            "interpolation_step must be finite and positive"},
    Refusal{"InvalidFootprint", [] { CollisionChecker(kMap, false).check({0.5, 0.5, 0}, CircleFootprint{0.0}); },
            "circle radius must be finite and positive"},
    Refusal{"NaNPose", [] { CollisionChecker(kMap, false).check({kNaN, 0.5, 0}, CircleFootprint{0.1}); }, kPoseMessage}),
    refusalName);
// clang-format on

// Resolution 0.1: the grid covers [0, 1] in both axes. Samples at x = 0.05, 0.25, 0.45, 0.65 and
// 0.85 (step 0.25 over 0.8 m: four per segment).
TEST(ValidatePath, SamplesAtTheStepMaxOverSamplesStopAtTheFirstCollision) {
  const std::vector<Pose2D> across{{0.05, 0.55, 0}, {0.85, 0.55, 0}};
  const struct {
    std::vector<CellCost> costs;
    std::vector<Pose2D> path;
    double step;
    CollisionResult expected;
  } cases[] = {
      {{{4, 5, 254}}, across, 0.25, {true, false, 254}},
      {{{3, 5, 254}, {5, 5, 254}, {7, 5, 254}}, across, 0.25, {false, false, 0}},
      {{{0, 5, 10}, {4, 5, 30}, {8, 5, 20}}, across, 0.25, {false, false, 30}},
      // The third pose collides; the later unknown cell is never reached.
      {{{1, 1, 40}, {5, 1, 254}, {8, 1, 255}},
       {{0.15, 0.15, 0}, {0.35, 0.15, 0}, {0.55, 0.15, 0}, {0.85, 0.15, 0}},
       0.5,
       {true, false, 254}},
      {{{0, 0, 123}}, {{0.05, 0.05, 0}, {0.05, 1.5, 0}}, 0.2, {true, true, 254}},
  };
  for (const auto& c : cases) {
    const Costmap map = makeMap(0.1, c.costs);
    const CollisionResult r =
        CollisionChecker(map, true).validatePath(c.path, CircleFootprint{0.01}, c.step);
    EXPECT_EQ(r, c.expected) << r.collision << r.outside_map << int{r.max_cost};
  }
}

// The quick "no blocking cell under the footprint" of the search, the analytic curves and path
// validation, cut into pieces for long polygons: wherever it says so, the reference walk finds
// neither a collision nor a cost above 253, for poses among obstacles, at the map's edges and
// partly off it. It must also say so often beside obstacles, or it spares nothing.
TEST(FastCollisionCheck, BelowLethalOnlyWhereTheWalkFindsNoBlockingCell) {
  const PolygonFootprint car{{{3.7, 0.95}, {-1.0, 0.95}, {-1.0, -0.95}, {3.7, -0.95}}};
  const PolygonFootprint bar{{{0.6, 0.1}, {-0.6, 0.1}, {-0.6, -0.1}, {0.6, -0.1}}};
  const PolygonFootprint ell{
      {{1.5, 0.0}, {1.5, 0.4}, {0.3, 0.4}, {0.3, 1.0}, {-0.5, 1.0}, {-0.5, 0.0}}};
  std::mt19937 random(5);
  for (const double resolution : {0.05, 0.1}) {
    constexpr std::uint64_t kW = 240;
    constexpr std::uint64_t kH = 180;
    std::vector<std::uint8_t> cells(kW * kH, 0);
    for (int blob = 0; blob < 14; ++blob) {
      const std::uint64_t x0 = random() % kW;
      const std::uint64_t y0 = random() % kH;
      const std::uint64_t w = 1 + random() % 12;
      const std::uint64_t h = 1 + random() % 12;
      const std::uint8_t byte = blob % 4 == 0 ? kUnknownCost : blob % 4 == 1 ? 253 : kLethalCost;
      for (std::uint64_t y = y0; y < std::min(y0 + h, kH); ++y) {
        for (std::uint64_t x = x0; x < std::min(x0 + w, kW); ++x) {
          cells[y * kW + x] = byte;
        }
      }
    }
    const Costmap map(kW, kH, resolution, -1.0, 2.0, cells);
    const CollisionChecker checker(map, false);
    detail::ZeroCostRegions zero;
    zero.build(map);
    const double width = static_cast<double>(kW) * resolution;
    const double height = static_cast<double>(kH) * resolution;
    for (const PolygonFootprint* footprint : {&car, &bar, &ell}) {
      const Footprint shape = *footprint;
      const detail::FastCollisionCheck fast(checker, shape, &zero);
      int free = 0;
      int beside = 0;
      for (int i = 0; i < 4000; ++i) {
        const Pose2D pose{-1.5 + (width + 1.0) * (random() % 10000) / 10000.0,
                          1.5 + (height + 1.0) * (random() % 10000) / 10000.0,
                          -kPi + 2.0 * kPi * (random() % 10000) / 10000.0};
        if (!fast.belowLethal(pose)) {
          continue;
        }
        ++free;
        const CollisionResult r = oracles::referenceCheck(map, false, pose, shape);
        ASSERT_FALSE(r.collision) << resolution << " " << pose.x << " " << pose.y << " "
                                  << pose.yaw;
        ASSERT_LE(r.max_cost, 253);
        // A blocking cell within the outline's reach: the reach's box alone would not have told.
        bool near = false;
        for (std::uint64_t k = 0; k < cells.size() && !near; ++k) {
          const double cx = -1.0 + (static_cast<double>(k % kW) + 0.5) * resolution;
          const double cy = 2.0 + (static_cast<double>(k / kW) + 0.5) * resolution;
          near = cells[k] >= kLethalCost && std::hypot(cx - pose.x, cy - pose.y) < 2.0;
        }
        beside += near ? 1 : 0;
      }
      EXPECT_GT(free, 150) << resolution;
      EXPECT_GT(beside, 20) << resolution;
    }
  }
}

// The zero-cost table kept up to date window by window answers, for every rectangle, what
// counting its cells answers: non-zero cells, and whether a blocking cell lies in it. On a
// map of one tile and on one of several, partial ones at its edges and some never read, with
// room for them all or for two at a time (dropped and built again as they are read).
TEST(ZeroCostRegions, RepairedWindowByWindowCountsAsTheCells) {
  const std::uint8_t bytes[] = {0, 0, 0, 1, 90, 253, kLethalCost, kUnknownCost};
  for (const auto& [kW, kH, most_tiles] : {std::tuple<std::uint64_t, std::uint64_t, std::size_t>{
                                               45, 37, detail::ZeroCostRegions::kMostTiles},
                                           {300, 270, detail::ZeroCostRegions::kMostTiles},
                                           {300, 270, 2}}) {
    std::mt19937 random(11);
    std::vector<std::uint8_t> cells(kW * kH);
    for (std::uint8_t& c : cells) {
      // Large maps mostly zero, so that whole tiles are too.
      c = kW > 100 && random() % 16 != 0 ? 0 : bytes[random() % 8];
    }
    Costmap map(kW, kH, 0.1, 0.0, 0.0, cells);
    detail::ZeroCostRegions table(most_tiles);
    table.build(map);
    std::size_t answers[2] = {0, 0};  // rectangles without and with a blocking cell
    for (int round = 0; round < 40; ++round) {
      // Small windows on the large map, as a sensor's updates are.
      const std::uint64_t span_x = kW > 100 ? 40 : kW;
      const std::uint64_t span_y = kH > 100 ? 40 : kH;
      const std::uint64_t x0 = random() % kW;
      const std::uint64_t y0 = random() % kH;
      const std::uint64_t x1 = std::min(kW, x0 + 1 + random() % span_x);
      const std::uint64_t y1 = std::min(kH, y0 + 1 + random() % span_y);
      for (std::uint64_t y = y0; y < y1; ++y) {
        for (std::uint64_t x = x0; x < x1; ++x) {
          cells[y * kW + x] = bytes[random() % 8];
        }
      }
      map = Costmap(kW, kH, 0.1, 0.0, 0.0, cells);
      table.repair(map, x0, y0, x1, y1);
      for (int query = 0; query < 50; ++query) {
        const std::uint64_t qx0 = random() % kW;
        const std::uint64_t qy0 = random() % kH;
        // Half of them small, as a footprint's pieces are, so that both answers come up.
        const std::uint64_t reach_x =
            query % 2 == 0 ? std::min<std::uint64_t>(kW - qx0, 12) : kW - qx0;
        const std::uint64_t reach_y =
            query % 2 == 0 ? std::min<std::uint64_t>(kH - qy0, 12) : kH - qy0;
        const std::uint64_t qx1 = qx0 + random() % reach_x;
        const std::uint64_t qy1 = qy0 + random() % reach_y;
        std::uint64_t non_zero = 0;
        for (std::uint64_t y = qy0; y <= qy1; ++y) {
          for (std::uint64_t x = qx0; x <= qx1; ++x) {
            non_zero += cells[y * kW + x] != 0 ? 1 : 0;
          }
        }
        bool blocking = false;
        for (std::uint64_t y = qy0; y <= qy1; ++y) {
          for (std::uint64_t x = qx0; x <= qx1; ++x) {
            blocking = blocking || cells[y * kW + x] >= kLethalCost;
          }
        }
        answers[blocking ? 1 : 0] += 1;
        ASSERT_EQ(table.nonZero(qx0, qy0, qx1, qy1), non_zero) << kW << " " << round;
        ASSERT_EQ(table.mayBlock(qx0, qy0, qx1, qy1), blocking) << kW << " " << round;
      }
    }
    EXPECT_GT(answers[0], 100u) << kW;
    EXPECT_GT(answers[1], 100u) << kW;
  }
}

}  // namespace
}  // namespace veltrax::se2
