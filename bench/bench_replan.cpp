// Replanning at 10 Hz while a 0.5 m box crosses the path, with a car footprint and the recommended
// configuration, two ways side by side: the whole map re-inflated and handed over by setCostmap
// (what a consumer had to do), and the changed window inflated alone and handed over by
// updateCostmap with the lazy obstacle heuristic. Per cycle: the map change (inflation included),
// the plan, allocations; and the peak RSS. Then cold plans on a 20000 x 20000 map at 0.05 m,
// and its 50 m trip replanned while the box crosses it.
// Usage: bench_replan [warehouse|grid1536|limits|big]... (default: all)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "shared_maps.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/planner.hpp"

namespace {
std::atomic<std::uint64_t> g_allocations{0};
}  // namespace

// The replaced operators pair malloc with free, which GCC cannot see through after inlining.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) {
    return p;
  }
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace veltrax::se2 {
namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

double statusMiB(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) {
      return std::stod(line.substr(std::string(key).size())) / 1024.0;
    }
  }
  return 0.0;
}
void resetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

// 0.6 m x 0.4 m, the rear axle 0.15 m from the back.
const Footprint kCar = PolygonFootprint{{{0.45, 0.2}, {-0.15, 0.2}, {-0.15, -0.2}, {0.45, -0.2}}};
constexpr double kInflation = 0.55;
constexpr double kInscribed = 0.2;
constexpr double kScaling = 3.0;

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5)];
}

struct Scenario {
  std::string name;
  Costmap raw;
  Pose2D start, goal;
};

// The raw map with a 0.5 m lethal box centred at (x, y); the window it and `previous` cover,
// grown by the inflation reach, clipped to the map.
struct Window {
  std::uint64_t x0, y0, x1, y1;
};
Window boxWindow(const Costmap& map, double x, double y, double grow) {
  const double r = map.resolution();
  const auto clip = [](double v, std::uint64_t n) {
    return static_cast<std::uint64_t>(std::clamp(v, 0.0, static_cast<double>(n)));
  };
  return {clip((x - grow - map.originX()) / r, map.width()),
          clip((y - grow - map.originY()) / r, map.height()),
          clip((x + grow - map.originX()) / r + 1, map.width()),
          clip((y + grow - map.originY()) / r + 1, map.height())};
}

void drawBox(std::vector<std::uint8_t>& cells, const Costmap& map, double x, double y,
             const std::vector<std::uint8_t>& original, bool on) {
  const Window w = boxWindow(map, x, y, 0.25);
  for (std::uint64_t my = w.y0; my < w.y1; ++my) {
    for (std::uint64_t mx = w.x0; mx < w.x1; ++mx) {
      const Pose2D c = map.mapToWorld(mx, my);
      if (std::max(std::abs(c.x - x), std::abs(c.y - y)) <= 0.25) {
        cells[my * map.width() + mx] = on ? kLethalCost : original[my * map.width() + mx];
      }
    }
  }
}

void runReplanning(const Scenario& s, bool local) {
  const Costmap& raw = s.raw;
  const std::vector<std::uint8_t> original = raw.cells();
  std::vector<std::uint8_t> cells = original;
  HybridAStar planner(inflateCostmap(raw, kInflation, kInscribed, kScaling));
  PlanRequest request;
  request.start = s.start;
  request.goal = s.goal;
  request.footprint = kCar;
  PlannerConfig config = recommendedConfig(raw.resolution(), kCar);
  config.lazy_obstacle_heuristic = local;
  config.max_planning_time_seconds = 10.0;
  // The box crosses the straight line start-goal at its middle, 1 m/s, at 10 Hz.
  const double mx = (s.start.x + s.goal.x) / 2;
  const double my = (s.start.y + s.goal.y) / 2;
  const double len = std::hypot(s.goal.x - s.start.x, s.goal.y - s.start.y);
  const double nx = -(s.goal.y - s.start.y) / len;
  const double ny = (s.goal.x - s.start.x) / len;
  std::vector<double> updates, plans, allocations, heuristic;
  int failures = 0;
  double box_x = 0, box_y = 0;
  bool box_on = false;
  (void)planner.plan(request, config);  // the cold plan is not a cycle
  resetPeakRss();
  for (int cycle = 0; cycle < 50; ++cycle) {
    const double offset = -2.5 + 0.1 * cycle;
    const double x = mx + nx * offset;
    const double y = my + ny * offset;
    Window w = boxWindow(raw, x, y, 0.25 + kInflation + 3 * raw.resolution());
    if (box_on) {
      drawBox(cells, raw, box_x, box_y, original, false);
      const Window old = boxWindow(raw, box_x, box_y, 0.25 + kInflation + 3 * raw.resolution());
      w = {std::min(w.x0, old.x0), std::min(w.y0, old.y0), std::max(w.x1, old.x1),
           std::max(w.y1, old.y1)};
    }
    drawBox(cells, raw, x, y, original, true);
    box_x = x;
    box_y = y;
    box_on = true;
    // The sensor's new map: the world's, not the update's.
    const Costmap now(raw.width(), raw.height(), raw.resolution(), raw.originX(), raw.originY(),
                      cells);
    const std::uint64_t a0 = g_allocations.load();
    const auto t0 = Clock::now();
    if (local) {
      planner.updateCostmap(w.x0, w.y0, w.x1 - w.x0, w.y1 - w.y0,
                            inflateCostmapWindow(now, w.x0, w.y0, w.x1 - w.x0, w.y1 - w.y0,
                                                 kInflation, kInscribed, kScaling));
    } else {
      planner.setCostmap(inflateCostmap(now, kInflation, kInscribed, kScaling));
    }
    updates.push_back(msSince(t0));
    request.map_revision = static_cast<std::uint64_t>(cycle) + 1;
    const auto t1 = Clock::now();
    const PlannerResult result = planner.plan(request, config);
    plans.push_back(msSince(t1));
    heuristic.push_back(result.diagnostics.obstacle_heuristic_time_ms);
    if (result.status != PlannerStatus::SUCCESS) {
      ++failures;
      if (failures == 1) {
        std::printf("  first failure: %s\n", result.message.c_str());
      }
    }
    allocations.push_back(static_cast<double>(g_allocations.load() - a0));
  }
  std::printf(
      "%-10s %-14s plan ms median %7.1f  p95 %7.1f  max %7.1f (heuristic median %6.1f) | "
      "update ms median %6.2f  max %6.2f | allocs/cycle %6.0f | peak RSS %5.0f MiB | failed "
      "%d/50\n",
      s.name.c_str(), local ? "updateCostmap" : "setCostmap", percentile(plans, 0.5),
      percentile(plans, 0.95), percentile(plans, 1.0), percentile(heuristic, 0.5),
      percentile(updates, 0.5), percentile(updates, 1.0), percentile(allocations, 0.5),
      statusMiB("VmHWM:"), failures);
}

Scenario warehouse() {
  return {"warehouse",
          testing::loadOccupancyMap("maps/aws_small_warehouse/warehouse_005.pgm", -7.0, -10.5),
          {-6.0, 6.0, -kPi / 2},
          {-6.0, -7.5, -kPi / 2}};
}

// The warehouse drawn 1.45 times as large at 0.02 m: 1536 x 1536 cells, its height filling the map.
Scenario grid1536() {
  const Costmap w =
      testing::loadOccupancyMap("maps/aws_small_warehouse/warehouse_005.pgm", -7.0, -10.5);
  const std::uint64_t n = 1536;
  const double scale = 30.72 / 21.15;
  std::vector<std::uint8_t> cells(n * n, 0);
  for (std::uint64_t y = 0; y < n; ++y) {
    for (std::uint64_t x = 0; x < n; ++x) {
      GridIndex c;
      if (w.worldToMap((-7.0 * scale + 0.02 * x + 0.01) / scale,
                       (-10.5 * scale + 0.02 * y + 0.01) / scale, c)) {
        cells[y * n + x] = w.getCost(c.x, c.y);
      }
    }
  }
  return {"grid1536",
          Costmap(n, n, 0.02, -7.0 * scale, -10.5 * scale, std::move(cells)),
          {-6.0 * scale, 6.0 * scale, -kPi / 2},
          {-6.0 * scale, -7.5 * scale, -kPi / 2}};
}

// 1 km at 0.05 m: racks 1 m x 8 m every 3 m along x, in rows 12 m apart. One period is inflated
// amid its neighbours and repeated, which equals the whole map's inflation away from its edges.
constexpr std::uint64_t kBigSide = 20000;
constexpr std::uint64_t kRackPeriodX = 60;
constexpr std::uint64_t kRackPeriodY = 240;
bool rackAt(std::uint64_t x, std::uint64_t y) {
  return x % kRackPeriodX >= 20 && x % kRackPeriodX < 40 && y % kRackPeriodY >= 40 &&
         y % kRackPeriodY < 200;
}

Costmap bigMap() {
  const std::uint64_t n = kBigSide, px = kRackPeriodX, py = kRackPeriodY;
  std::vector<std::uint8_t> tile(3 * px * 3 * py, 0);
  for (std::uint64_t y = 0; y < 3 * py; ++y) {
    for (std::uint64_t x = 0; x < 3 * px; ++x) {
      tile[y * 3 * px + x] = rackAt(x, y) ? kLethalCost : 0;
    }
  }
  const Costmap tiles(3 * px, 3 * py, 0.05, 0.0, 0.0, std::move(tile));
  const std::vector<std::uint8_t> period =
      inflateCostmapWindow(tiles, px, py, px, py, kInflation, kInscribed, kScaling);
  std::vector<std::uint8_t> cells(n * n);
  for (std::uint64_t y = 0; y < n; ++y) {
    for (std::uint64_t x = 0; x < n; ++x) {
      cells[y * n + x] = period[(y % py) * px + x % px];
    }
  }
  return Costmap(n, n, 0.05, 0.0, 0.0, std::move(cells));
}

// Replanning the big map's 50 m trip at 10 Hz while a 0.5 m box crosses its path at the middle,
// 1 m/s: each cycle the sensor's raw cells around the window (the racks and the box, out to the
// inflation's reach and more) are inflated over the window the box left and entered, and handed
// to updateCostmap.
void replanBig(HybridAStar& planner, const PlanRequest& first, const PlannerConfig& config,
               const Pose2D& middle) {
  const double r = 0.05;
  const auto margin = static_cast<std::uint64_t>(std::ceil(kInflation / r)) + 8;
  const double grow = 0.25 + kInflation + 3 * r;
  const auto cell = [&](double v) { return static_cast<std::uint64_t>(std::max(0.0, v / r)); };
  PlanRequest request = first;
  (void)planner.plan(request, config);  // back to this trip's goal: not a cycle
  std::vector<double> updates, plans, allocations;
  int failures = 0;
  double last_x = 0.0, last_y = 0.0;
  bool last_on = false;
  resetPeakRss();
  const double before = statusMiB("VmRSS:");
  for (int cycle = 0; cycle < 50; ++cycle) {
    const double offset = -2.5 + 0.1 * cycle;
    const double bx = middle.x - std::sin(middle.yaw) * offset;
    const double by = middle.y + std::cos(middle.yaw) * offset;
    std::uint64_t x0 = cell(bx - grow), y0 = cell(by - grow);
    std::uint64_t x1 = std::min(kBigSide, cell(bx + grow) + 1);
    std::uint64_t y1 = std::min(kBigSide, cell(by + grow) + 1);
    if (last_on) {
      x0 = std::min(x0, cell(last_x - grow));
      y0 = std::min(y0, cell(last_y - grow));
      x1 = std::max(x1, std::min(kBigSide, cell(last_x + grow) + 1));
      y1 = std::max(y1, std::min(kBigSide, cell(last_y + grow) + 1));
    }
    // The sensor's raw cells around the window, the box at its new place.
    const std::uint64_t lx0 = x0 > margin ? x0 - margin : 0;
    const std::uint64_t ly0 = y0 > margin ? y0 - margin : 0;
    const std::uint64_t lx1 = std::min(kBigSide, x1 + margin);
    const std::uint64_t ly1 = std::min(kBigSide, y1 + margin);
    std::vector<std::uint8_t> raw((lx1 - lx0) * (ly1 - ly0));
    for (std::uint64_t y = ly0; y < ly1; ++y) {
      for (std::uint64_t x = lx0; x < lx1; ++x) {
        const double cx = (static_cast<double>(x) + 0.5) * r;
        const double cy = (static_cast<double>(y) + 0.5) * r;
        const bool box = std::max(std::abs(cx - bx), std::abs(cy - by)) <= 0.25;
        raw[(y - ly0) * (lx1 - lx0) + (x - lx0)] = box || rackAt(x, y) ? kLethalCost : 0;
      }
    }
    const Costmap sensed(lx1 - lx0, ly1 - ly0, r, static_cast<double>(lx0) * r,
                         static_cast<double>(ly0) * r, std::move(raw));
    last_x = bx;
    last_y = by;
    last_on = true;
    const std::uint64_t a0 = g_allocations.load();
    const auto t0 = Clock::now();
    planner.updateCostmap(x0, y0, x1 - x0, y1 - y0,
                          inflateCostmapWindow(sensed, x0 - lx0, y0 - ly0, x1 - x0, y1 - y0,
                                               kInflation, kInscribed, kScaling));
    updates.push_back(msSince(t0));
    request.map_revision = static_cast<std::uint64_t>(cycle) + 1;
    const auto t1 = Clock::now();
    const PlannerResult result = planner.plan(request, config);
    plans.push_back(msSince(t1));
    failures += result.status == PlannerStatus::SUCCESS ? 0 : 1;
    allocations.push_back(static_cast<double>(g_allocations.load() - a0));
  }
  std::printf(
      "big        50 m replanning plan ms median %7.1f  p95 %7.1f  max %7.1f | update ms median "
      "%6.2f  max %6.2f | allocs/cycle %6.0f | peak RSS +%4.0f MiB | failed %d/50\n",
      percentile(plans, 0.5), percentile(plans, 0.95), percentile(plans, 1.0),
      percentile(updates, 0.5), percentile(updates, 1.0), percentile(allocations, 0.5),
      statusMiB("VmHWM:") - before, failures);
}

void runBig() {
  const auto tm = Clock::now();
  HybridAStar planner(bigMap());
  const double build_ms = msSince(tm);
  const double map_mib = statusMiB("VmRSS:");
  PlannerConfig config = recommendedConfig(0.05, kCar);
  config.lazy_obstacle_heuristic = true;
  config.wide_node_keys = true;
  config.max_planning_time_seconds = 60.0;
  // Aisles run along x at y = 12k + 1 (between rack rows); the trips follow one and cross racks.
  PlanRequest replanned;
  Pose2D middle;
  bool have_path = false;
  for (const double trip : {50.0, 200.0}) {
    PlanRequest request;
    request.footprint = kCar;
    request.start = {300.15, 601.0, 0.0};
    request.goal = {300.15 + trip * 0.8, 601.0 + trip * 0.6 - std::fmod(trip * 0.6, 12.0), 0.0};
    resetPeakRss();
    const double before = statusMiB("VmRSS:");
    const auto t0 = Clock::now();
    const PlannerResult result = planner.plan(request, config);
    std::printf(
        "big        %3.0f m trip     cold plan %7.1f ms (%s, %llu expansions, heuristic %6.1f ms) "
        "| RSS before %6.0f MiB, peak %6.0f MiB (+%5.0f) | map build %5.0f ms, planner RSS %6.0f "
        "MiB\n",
        trip, msSince(t0), plannerStatusName(result.status),
        static_cast<unsigned long long>(result.diagnostics.expanded_nodes),
        result.diagnostics.obstacle_heuristic_time_ms, before, statusMiB("VmHWM:"),
        statusMiB("VmHWM:") - before, build_ms, map_mib);
    if (trip == 50.0 && !result.path.empty()) {
      replanned = request;
      middle = result.path[result.path.size() / 2];
      have_path = true;
    }
  }
  if (have_path) {
    replanBig(planner, replanned, config, middle);
  }
}

// What a call on a map too large for its settings costs before it ends: an 8000^2 map at 72 bins
// (beyond 32-bit node keys) refused, and a 0.1 s budget on a 4000^2 map whose heuristic takes
// seconds to build.
void runLimits() {
  for (const std::uint64_t n : {std::uint64_t{8000}, std::uint64_t{4000}}) {
    const HybridAStar planner(Costmap(n, n, 0.05, 0.0, 0.0, std::vector<std::uint8_t>(n * n, 0)));
    PlanRequest request;
    request.start = {1.0, 1.0, 0.0};
    request.goal = {static_cast<double>(n) * 0.05 - 1.0, static_cast<double>(n) * 0.05 - 1.0, 0.0};
    PlannerConfig config;
    config.max_planning_time_seconds = 0.1;
    const auto t0 = Clock::now();
    const PlannerResult result = planner.plan(request, config);
    std::printf("limits     %5llu^2 map, 0.1 s budget: %-15s after %7.2f ms (%s)\n",
                static_cast<unsigned long long>(n), plannerStatusName(result.status), msSince(t0),
                result.message.c_str());
  }
}

}  // namespace
}  // namespace veltrax::se2

int main(int argc, char** argv) {
  using namespace veltrax::se2;
  std::vector<std::string> which(argv + 1, argv + argc);
  if (which.empty()) {
    which = {"warehouse", "grid1536", "limits", "big"};
  }
  for (const std::string& name : which) {
    if (name == "limits") {
      runLimits();
      continue;
    }
    if (name == "big") {
      runBig();
      continue;
    }
    const Scenario s = name == "warehouse" ? warehouse() : grid1536();
    if (std::getenv("BENCH_REPLAN_LOCAL_ONLY") == nullptr) {
      runReplanning(s, false);
    }
    runReplanning(s, true);
  }
  return 0;
}
