// The fixed benchmark suite: the synthetic maps and queries of data/bench as they are, and
// the real maps of data/maps with seeded queries. For every map it plans each query cold
// (heuristic built: a new map revision) and warm (the cached heuristic), with the library's
// planner and the plain reference planner side by side, and optionally OMPL's RRTConnect,
// RRTstar and BITstar on the same queries in a Reeds-Shepp space with our collision checker as
// the validity checker. Prints a table and writes every run to a JSON file, with two measures
// of how a robot would drive our paths (short reversals, curvature sign changes per 10 m; see
// pathQuality): the table gives their sum and median per map.
//
//   bench_suite [--json FILE] [--maps a,b] [--queries N] [--repeats N] [--time-limit S]
//               [--footprint circle|rectangle|car] [--no-reference] [--peers]
//               [--peer-planners RRTConnect,RRTstar,BITstar] [--peer-time S] [--peer-repeats N]
//               [--separation M] [--map NAME=FILE[:SCALE[:CROP]] ...]
//               [--config defaults|recommended] [--mode reverse|forward|rotation] [--random N]
//               [--set FIELD=NUMBER ...]
//
// The car parking scenes of data/bench/parking (car_<scene>_0.1 and car_<scene>_0.05; "cars",
// "cars_0.1" and "cars_0.05" pick them all, or all of one cell size) run only when picked, with
// their own queries and their car's turning radius for the planners and for the peers' Reeds-Shepp
// space; --footprint car is that car (4.7 x 1.9 m, the pose at the rear-axle midpoint). Each scene
// is rasterised and inflated for the footprint as the command line does for occupancy maps.
//
// OMPL's planners draw from their own unseeded random numbers, so one run per query says little
// about a sampling planner's typical time: --peer-repeats N runs each peer N times per query (the
// summaries take medians over all its runs).
//
// --map adds a map of one's own (repeatable): a map-server YAML file with a PGM image, a PGM
// (occupancy grey levels, 0.05 m), a CSV (costs, 0.05 m) or a MovingAI grid (by its .map name or
// its header) upsampled SCALE times (default 10) after cropping it to its first CROP x CROP grid
// cells; it gets seeded queries whose start and goal are at least M metres apart (default 5;
// applies to the --map options after it).
//
// Real maps: turtlebot3 (queries >= 3 m apart: its known area is small; elsewhere >= 5 m) and the
// small warehouse at their own 0.05 m, each with hand-placed hard queries too; MovingAI grids
// upsampled,
// Berlin_0_1024 x2 (0.10 m per grid cell, 2048 x 2048 cells), 64room_007 (its first 128 x 128
// grid cells, i.e. 2 x 2 rooms) x12 (0.60 m per grid cell, so its one-cell doors pass a 0.5 m
// robot; 1536 x 1536 cells).

#include <ompl/base/objectives/PathLengthOptimizationObjective.h>
#include <ompl/base/spaces/ReedsSheppStateSpace.h>
#include <ompl/geometric/SimpleSetup.h>
#include <ompl/geometric/planners/informedtrees/BITstar.h>
#include <ompl/geometric/planners/rrt/RRTConnect.h>
#include <ompl/geometric/planners/rrt/RRTstar.h>
#include <ompl/util/Console.h>
#include <ompl/util/RandomNumbers.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "bench_maps.hpp"
#include "oracles/collision_reference.hpp"
#include "oracles/path_checker.hpp"
#include "oracles/reference_planner.hpp"
#include "shared_maps.hpp"
#include "veltrax/se2/collision.hpp"
#include "veltrax/se2/heuristic.hpp"
#include "veltrax/se2/io.hpp"
#include "veltrax/se2/occupancy_map.hpp"
#include "veltrax/se2/planner.hpp"

namespace {

using namespace veltrax::se2;
using Clock = std::chrono::steady_clock;

// ---- maps

std::string dataDir() { return std::string(VELTRAX_DATA_DIR); }

// A MovingAI grid read with the library (one cell per character), `crop` grid cells square from
// the top-left corner (0 = all), each grid cell becoming scale x scale cells of 0.05 m.
Costmap loadMovingAiFile(const std::string& path, std::uint64_t crop, std::uint64_t scale) {
  MapLoadOptions grid_cells;
  grid_cells.resolution = 1.0;
  const Costmap grid = loadMap(path, grid_cells);
  const std::uint64_t w = crop == 0 ? grid.width() : std::min(crop, grid.width());
  const std::uint64_t h = crop == 0 ? grid.height() : std::min(crop, grid.height());
  std::vector<std::uint8_t> cells(w * scale * h * scale);
  for (std::uint64_t gy = 0; gy < h; ++gy) {  // gy counts rows from the top of the grid
    for (std::uint64_t gx = 0; gx < w; ++gx) {
      const std::uint8_t cost = grid.getCost(gx, grid.height() - 1 - gy);
      for (std::uint64_t sy = 0; sy < scale; ++sy) {
        const std::uint64_t y = (h - 1 - gy) * scale + sy;
        for (std::uint64_t sx = 0; sx < scale; ++sx) {
          cells[y * w * scale + gx * scale + sx] = cost;
        }
      }
    }
  }
  return Costmap(w * scale, h * scale, 0.05, 0.0, 0.0, std::move(cells));
}

Costmap loadMovingAi(const std::string& file, std::uint64_t crop, std::uint64_t scale) {
  return loadMovingAiFile(dataDir() + "/maps/movingai/" + file, crop, scale);
}

// A map named on the command line: NAME=FILE[:SCALE[:CROP]]. FILE is a map-server YAML file, a
// PGM image (occupancy grey levels, 0.05 m, origin 0) or a MovingAI grid, upsampled SCALE times
// (default 10: 0.5 m per grid cell) after keeping CROP x CROP grid cells (default all).
Costmap loadMapArgument(const std::string& argument) {
  std::string file = argument.substr(argument.find('=') + 1);
  std::uint64_t scale = 10;
  std::uint64_t crop = 0;
  const std::size_t first = file.find(':');
  if (first != std::string::npos) {
    std::istringstream numbers(file.substr(first + 1));
    char colon = 0;
    numbers >> scale >> colon >> crop;
    file = file.substr(0, first);
  }
  // A MovingAI grid by name or by content; other maps as loadMap reads them, a PGM as an
  // occupancy image.
  const MapFormat format = mapFormat(file);
  if (format == MapFormat::MovingAi) {
    return loadMovingAiFile(file, crop, scale);
  }
  MapLoadOptions options;
  if (format != MapFormat::Yaml) {
    options.resolution = 0.05;
    options.occupancy = format == MapFormat::Pgm;
  }
  return loadMap(file, options);
}

// Seeded queries on a real map: start and goal free for the footprint, `separation` apart and
// connected in the obstacle heuristic; the last two are hard ones, the goal being the free cell
// farthest (by the heuristic) from a random start.
std::vector<bench::Query> seededQueries(const Costmap& map, const Footprint& footprint,
                                        std::size_t count, double separation) {
  const CollisionChecker checker(map, false);
  std::mt19937_64 rng(2026);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  auto freePose = [&]() {
    for (;;) {
      const std::uint64_t x = rng() % map.width();
      const std::uint64_t y = rng() % map.height();
      const Pose2D centre = map.mapToWorld(x, y);
      const Pose2D pose{centre.x, centre.y, (unit(rng) * 2.0 - 1.0) * kPi};
      if (!checker.check(pose, footprint).collision) {
        return pose;
      }
    }
  };
  std::vector<bench::Query> queries;
  // A map whose free region is too small for the 5 m rule yields fewer queries, not a hang.
  for (int attempt = 0; attempt < 200 && queries.size() < count; ++attempt) {
    const bool hard = queries.size() + 2 >= count;
    const Pose2D goal = freePose();
    GridIndex goal_cell;
    map.worldToMap(goal.x, goal.y, goal_cell);
    const ObstacleHeuristic field(map, goal_cell, false, 0.0);
    Pose2D start = freePose();
    if (hard) {
      double farthest = 0.0;
      for (int i = 0; i < 200; ++i) {
        const Pose2D candidate = freePose();
        GridIndex c;
        map.worldToMap(candidate.x, candidate.y, c);
        const double d = field.distance(c.x, c.y);
        if (std::isfinite(d) && d > farthest) {
          farthest = d;
          start = candidate;
        }
      }
    }
    GridIndex start_cell;
    map.worldToMap(start.x, start.y, start_cell);
    if (std::hypot(goal.x - start.x, goal.y - start.y) >= separation &&
        std::isfinite(field.distance(start_cell.x, start_cell.y))) {
      queries.push_back(bench::Query{start, goal});
    }
  }
  return queries;
}

// Random queries that can be solved: start and goal at least `separation` apart in the largest
// 8-connected region of cells where the footprint, at any yaw, fits with 0.1 m to spare.
std::vector<bench::Query> randomSolvableQueries(const Costmap& map, const Footprint& footprint,
                                                std::size_t count, double separation) {
  double reach = 0.0;
  if (const auto* circle = std::get_if<CircleFootprint>(&footprint)) {
    reach = circle->radius;
  } else {
    for (const Point2D& p : std::get<PolygonFootprint>(footprint).points) {
      reach = std::max(reach, std::hypot(p.x, p.y));
    }
  }
  const CollisionChecker checker(map, false);
  const CircleFootprint room{reach + 0.1};
  const std::uint64_t width = map.width(), height = map.height();
  std::vector<std::int32_t> region(width * height, -1);
  std::vector<std::size_t> sizes;
  std::vector<std::uint64_t> stack;
  const auto fits = [&](std::uint64_t cell) {
    return !checker.check(map.mapToWorld(cell % width, cell / width), room).collision;
  };
  std::vector<std::uint8_t> fit(width * height);
  for (std::uint64_t cell = 0; cell < width * height; ++cell) {
    fit[cell] = fits(cell) ? 1 : 0;
  }
  for (std::uint64_t seed = 0; seed < width * height; ++seed) {
    if (!fit[seed] || region[seed] >= 0) {
      continue;
    }
    const auto id = static_cast<std::int32_t>(sizes.size());
    sizes.push_back(0);
    region[seed] = id;
    stack.push_back(seed);
    while (!stack.empty()) {
      const std::uint64_t cell = stack.back();
      stack.pop_back();
      ++sizes.back();
      const auto x = static_cast<std::int64_t>(cell % width);
      const auto y = static_cast<std::int64_t>(cell / width);
      for (std::int64_t dy = -1; dy <= 1; ++dy) {
        for (std::int64_t dx = -1; dx <= 1; ++dx) {
          const std::int64_t nx = x + dx, ny = y + dy;
          if (nx < 0 || ny < 0 || nx >= static_cast<std::int64_t>(width) ||
              ny >= static_cast<std::int64_t>(height)) {
            continue;
          }
          const auto next = static_cast<std::uint64_t>(ny) * width + static_cast<std::uint64_t>(nx);
          if (fit[next] && region[next] < 0) {
            region[next] = id;
            stack.push_back(next);
          }
        }
      }
    }
  }
  std::vector<bench::Query> queries;
  if (sizes.empty()) {
    return queries;
  }
  const auto largest =
      static_cast<std::int32_t>(std::max_element(sizes.begin(), sizes.end()) - sizes.begin());
  std::vector<std::uint64_t> cells;
  for (std::uint64_t cell = 0; cell < width * height; ++cell) {
    if (region[cell] == largest) {
      cells.push_back(cell);
    }
  }
  std::mt19937_64 rng(20261206);
  std::uniform_real_distribution<double> yaw(-kPi, kPi);
  const auto pose = [&]() {
    const std::uint64_t cell = cells[rng() % cells.size()];
    const Pose2D centre = map.mapToWorld(cell % width, cell / width);
    return Pose2D{centre.x, centre.y, yaw(rng)};
  };
  for (int attempt = 0; attempt < 100000 && queries.size() < count; ++attempt) {
    const Pose2D start = pose();
    const Pose2D goal = pose();
    if (std::hypot(goal.x - start.x, goal.y - start.y) >= separation) {
      queries.push_back(bench::Query{start, goal});
    }
  }
  return queries;
}

// The fields a tuning experiment changes, by name (booleans as 0 or 1).
bool setField(PlannerConfig& c, const std::string& field, double v) {
  const std::pair<const char*, double PlannerConfig::*> doubles[] = {
      {"heuristic_weight", &PlannerConfig::heuristic_weight},
      {"heuristic_reach_factor", &PlannerConfig::heuristic_reach_factor},
      {"analytic_expansion_max_length", &PlannerConfig::analytic_expansion_max_length},
      {"analytic_expansion_ratio", &PlannerConfig::analytic_expansion_ratio},
      {"direction_switch_penalty", &PlannerConfig::direction_switch_penalty},
      {"non_straight_penalty", &PlannerConfig::non_straight_penalty},
      {"reverse_penalty", &PlannerConfig::reverse_penalty},
      {"steering_change_penalty", &PlannerConfig::steering_change_penalty},
      {"cost_penalty", &PlannerConfig::cost_penalty},
      {"analytic_expansion_min_reverse_length",
       &PlannerConfig::analytic_expansion_min_reverse_length},
      {"lattice_cell_size", &PlannerConfig::lattice_cell_size},
      {"stall_heuristic_weight", &PlannerConfig::stall_heuristic_weight},
      {"minimum_turning_radius", &PlannerConfig::minimum_turning_radius},
  };
  for (const auto& [name, member] : doubles) {
    if (field == name) {
      c.*member = v;
      return true;
    }
  }
  if (field == "footprint_aware_heuristic") {
    c.footprint_aware_heuristic = v != 0.0;
  } else if (field == "resample_along_arcs") {
    c.resample_along_arcs = v != 0.0;
  } else if (field == "penalized_kinematic_heuristic") {
    c.penalized_kinematic_heuristic = v != 0.0;
  } else if (field == "manoeuvre_heuristic") {
    c.manoeuvre_heuristic = v != 0.0;
  } else if (field == "search_from_goal") {
    c.search_from_goal = v != 0.0;
  } else if (field == "lazy_kinematic_heuristic") {
    c.lazy_kinematic_heuristic = v != 0.0;
  } else if (field == "lazy_obstacle_heuristic") {
    c.lazy_obstacle_heuristic = v != 0.0;
  } else if (field == "analytic_expansion_max_cusps") {
    c.analytic_expansion_max_cusps = static_cast<std::uint32_t>(v);
  } else if (field == "analytic_expansion_max_cost") {
    c.analytic_expansion_max_cost = static_cast<std::uint8_t>(v);
  } else if (field == "max_expanded_nodes") {
    c.max_expanded_nodes = static_cast<std::uint64_t>(v);
  } else if (field == "stall_expansions") {
    c.stall_expansions = static_cast<std::uint64_t>(v);
  } else if (field == "stall_expansions_per_metre") {
    c.stall_expansions_per_metre = v;
  } else if (field == "stall_weight_expansions") {
    c.stall_weight_expansions = static_cast<std::uint64_t>(v);
  } else if (field == "steering_angles") {
    c.steering_angles = static_cast<std::uint32_t>(v);
  } else if (field == "analytic_expansion_coarse_checks") {
    c.analytic_expansion_coarse_checks = v != 0.0;
  } else if (field == "scale_steering_penalty_with_curvature") {
    c.scale_steering_penalty_with_curvature = v != 0.0;
  } else if (field == "check_improving_successors_only") {
    c.check_improving_successors_only = v != 0.0;
  } else {
    return false;
  }
  return true;
}

struct Workload {
  std::string name;
  std::function<Costmap()> load;
  std::string query_file;   // empty: seeded queries
  double separation = 5.0;  // of seeded starts and goals, metres
  // Run after the seeded ones: tight turns, reversing into bays, long detours.
  std::vector<bench::Query> hand_placed = {};
  // A parking scene's: its queries (instead of seeded ones) and its car's turning radius.
  bool scene = false;
  double turning_radius = 0.0;
};

// The car parking scenes of data/bench/parking, each at 0.1 m and 0.05 m: "car_<scene>_<cell>".
const char* const kParkingScenes[] = {"parallel", "perpendicular", "angled", "deadend", "garage"};
const char* const kParkingResolutions[] = {"0.1", "0.05"};

// Each is inflated for the footprint planned with.
std::vector<Workload> parkingWorkloads(const Footprint& footprint) {
  std::vector<Workload> out;
  for (const char* resolution : kParkingResolutions) {
    for (const char* name : kParkingScenes) {
      const bench::ParkingScene scene = bench::loadParkingScene(name);
      const double cell = std::stod(resolution);
      Workload w{std::string("car_") + name + "_" + resolution,
                 [scene, cell, footprint] {
                   return bench::inflateAsUsersDo(bench::rasteriseScene(scene, cell), footprint);
                 },
                 ""};
      w.hand_placed = scene.queries;
      w.scene = true;
      w.turning_radius = scene.turning_radius;
      out.push_back(std::move(w));
    }
  }
  return out;
}

std::vector<Workload> workloads(const Footprint& footprint) {
  std::vector<Workload> all{
      {"open", [] { return bench::loadBenchMap("open"); }, "open"},
      {"walls", [] { return bench::loadBenchMap("walls"); }, "walls"},
      {"parking", [] { return bench::loadBenchMap("parking"); }, "parking"},
      {"parking_forward", [] { return bench::loadBenchMap("parking"); }, "parking_forward"},
      {"maze", [] { return bench::loadBenchMap("maze"); }, "maze"},
      {"large", [] { return bench::loadBenchMap("large"); }, "large"},
      // Its known area is only about 5.6 m x 5.2 m.
      {"turtlebot3",
       [] { return loadMap(dataDir() + "/maps/turtlebot3/map.yaml"); },
       "",
       3.0,
       {// Turn around between the pillars; cross the pillar grid sideways; tip to tip.
        {{-0.55, 0.55, 0.0}, {0.55, -0.55, kPi}},
        {{-1.65, 0.55, -kPi / 2}, {1.65, -0.55, kPi / 2}},
        {{-2.0, 0.0, kPi / 2}, {2.0, 0.3, -kPi / 2}}}},
      {"warehouse",
       [] { return loadMap(dataDir() + "/maps/aws_small_warehouse/warehouse_005.yaml"); },
       "",
       5.0,
       {// Back out of a dead-end rack aisle into the next one, facing the same wall.
        {{3.6, -8.5, -kPi / 2}, {5.55, -8.5, -kPi / 2}},
        // From the racks into a bay of the west wall, ending nose out (reversed in).
        {{5.5, -8.0, kPi / 2}, {-6.2, 1.0, 0.0}},
        // Corner to corner, ending facing into a dead-end aisle.
        {{-3.0, 9.0, 0.0}, {5.5, -9.0, -kPi / 2}},
        // Along the west wall from bay to bay, facing backwards.
        {{-6.0, 6.0, kPi}, {-6.0, -7.5, kPi}}}},
      {"berlin_x2", [] { return loadMovingAi("Berlin_0_1024.map", 0, 2); }, ""},
      // The maps bundled with the examples.
      {"ex_parking_lot",
       [] { return loadMap(std::string(VELTRAX_EXAMPLES_DIR) + "/maps/parking_lot.yaml"); }, "",
       3.0},
      {"ex_warehouse",
       [] { return loadMap(std::string(VELTRAX_EXAMPLES_DIR) + "/maps/warehouse.yaml"); }, ""},
      {"ex_maze", [] { return loadMap(std::string(VELTRAX_EXAMPLES_DIR) + "/maps/maze.yaml"); },
       ""},
      {"64room_x12", [] { return loadMovingAi("64room_007.map", 128, 12); }, ""},
  };
  const std::vector<Workload> parking = parkingWorkloads(footprint);
  all.insert(all.end(), parking.begin(), parking.end());
  return all;
}

// ---- measurements

// Peak resident memory since the last reset, in MiB (VmHWM; reset through clear_refs).
void resetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }
double peakRssMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) {
      return std::stod(line.substr(6)) / 1024.0;
    }
  }
  return 0.0;
}

double processCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

struct Run {
  std::string map;
  std::string planner;  // "ours", "reference", or an OMPL planner
  std::size_t query = 0;
  bool warm = false;
  std::string status;
  double total_ms = 0.0;
  PlannerDiagnostics diagnostics;
  double peak_rss_mib = 0.0;
  // Ours only: what the independent path judge found wrong with the result (empty: nothing).
  std::string problem;
  // Ours only, cold runs that found a path: the two path-quality measures (see pathQuality).
  double short_reversals = std::numeric_limits<double>::quiet_NaN();
  double sign_changes_per_10m = std::numeric_limits<double>::quiet_NaN();
  // Peers only.
  double first_solution_ms = std::numeric_limits<double>::quiet_NaN();
  double reach_ours_ms = std::numeric_limits<double>::quiet_NaN();
  double peer_length = std::numeric_limits<double>::quiet_NaN();
  double simplified_length = std::numeric_limits<double>::quiet_NaN();
  // CPU time of the whole process during the call (the planner's own threads included).
  double cpu_ms = std::numeric_limits<double>::quiet_NaN();
};

double quantile(std::vector<double> values, double q) {
  values.erase(
      std::remove_if(values.begin(), values.end(), [](double v) { return !std::isfinite(v); }),
      values.end());
  if (values.empty()) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  std::sort(values.begin(), values.end());
  const double position = q * static_cast<double>(values.size() - 1);
  const auto below = static_cast<std::size_t>(std::floor(position));
  const std::size_t above = std::min(below + 1, values.size() - 1);
  return values[below] + (values[above] - values[below]) * (position - static_cast<double>(below));
}

// The robot's length along its heading: a circle's diameter, a polygon's extent in x.
double robotLength(const Footprint& footprint) {
  if (const auto* circle = std::get_if<CircleFootprint>(&footprint)) {
    return 2.0 * circle->radius;
  }
  std::vector<PolygonFootprint> polygons;
  if (const auto* polygon = std::get_if<PolygonFootprint>(&footprint)) {
    polygons.push_back(*polygon);
  } else {
    polygons = std::get<MultiPolygonFootprint>(footprint).polygons;
  }
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  for (const PolygonFootprint& polygon : polygons) {
    for (const Point2D& p : polygon.points) {
      low = std::min(low, p.x);
      high = std::max(high, p.x);
    }
  }
  return high - low;
}

// Two measures of how a robot would drive a found path.
// Short reversals: stretches driven in reverse (maximal runs of REVERSE steps) shorter than the
// robot's length; counted only when a forward-only plan of the same query is at most 5 % longer,
// so that the reversal bought nothing a forward path could not give.
// Curvature sign changes per 10 m: a step's curvature has the sign of its yaw change, whichever
// way it is driven; steps turning less than 1e-3 rad count as straight and are skipped, and each
// change between left and right curvature counts once.
template <class Planner>
void pathQuality(Planner& planner, const PlanRequest& request, const PlannerConfig& config,
                 const PlannerResult& result, Run& run) {
  const std::vector<Pose2D>& path = result.path;
  int short_reversals = 0;
  int sign_changes = 0;
  int last_sign = 0;
  double reverse_run = 0.0;
  const double length_limit = robotLength(request.footprint);
  for (std::size_t i = 0; i + 1 < path.size(); ++i) {
    const double step = std::hypot(path[i + 1].x - path[i].x, path[i + 1].y - path[i].y);
    const bool reverse = result.directions[i] == Direction::REVERSE;
    if (reverse) {
      reverse_run += step;
    }
    if ((!reverse || i + 2 == path.size()) && reverse_run > 0.0) {
      short_reversals += reverse_run < length_limit ? 1 : 0;
      reverse_run = 0.0;
    }
    const double turn = normalizeYaw(path[i + 1].yaw - path[i].yaw);
    if (std::fabs(turn) >= 1e-3 && result.directions[i] != Direction::ROTATION) {
      const int sign = turn > 0.0 ? 1 : -1;
      sign_changes += last_sign != 0 && sign != last_sign ? 1 : 0;
      last_sign = sign;
    }
  }
  const double length = result.diagnostics.path_length;
  run.sign_changes_per_10m = length > 0.0 ? 10.0 * sign_changes / length : 0.0;
  if (short_reversals > 0) {
    PlannerConfig forward = config;
    forward.allow_reverse = false;
    const PlannerResult alternative = planner.plan(request, forward);
    if (!(alternative.status == PlannerStatus::SUCCESS &&
          alternative.diagnostics.path_length <= 1.05 * length)) {
      short_reversals = 0;
    }
  }
  run.short_reversals = short_reversals;
}

template <class Planner>
Run planOnce(Planner& planner, const std::string& map, const std::string& name, std::size_t index,
             const PlanRequest& request, const PlannerConfig& config, bool warm,
             const Costmap* judge_on = nullptr) {
  resetPeakRss();
  const double cpu0 = processCpuMs();
  const auto t0 = Clock::now();
  const PlannerResult result = planner.plan(request, config);
  const double wall_ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  const double cpu_ms = processCpuMs() - cpu0;
  Run run;
  run.map = map;
  run.planner = name;
  run.query = index;
  run.warm = warm;
  run.status = plannerStatusName(result.status);
  // Failed searches leave total_time_ms at 0, so the wall time of the call is what is reported.
  run.total_ms = wall_ms;
  run.diagnostics = result.diagnostics;
  run.peak_rss_mib = peakRssMiB();
  run.cpu_ms = cpu_ms;
  if (judge_on != nullptr) {
    run.problem = oracles::pathProblem(*judge_on, request, config, result);
    if (!warm && result.status == PlannerStatus::SUCCESS && !config.allow_in_place_rotation) {
      pathQuality(planner, request, config, result, run);
    }
  }
  return run;
}

// What the collision reference of oracles/ (not the checker the peer planned with) finds wrong
// with a peer's path, its poses interpolated at most 0.025 m apart: empty when every pose is free.
std::string peerPathProblem(const Costmap& map, const Footprint& footprint,
                            ompl::geometric::PathGeometric path) {
  const double length = path.length();
  path.interpolate(static_cast<unsigned>(std::ceil(length / 0.025)) + 1);
  for (std::size_t i = 0; i < path.getStateCount(); ++i) {
    const auto* s = path.getState(i)->as<ompl::base::SE2StateSpace::StateType>();
    const Pose2D pose{s->getX(), s->getY(), s->getYaw()};
    if (oracles::referenceCheck(map, false, pose, footprint).collision) {
      std::ostringstream out;
      out << "pose " << i << " (" << pose.x << ", " << pose.y << ", " << pose.yaw << ") collides";
      return out.str();
    }
  }
  return "";
}

// OMPL in the Reeds-Shepp space of the car's turning radius, with our checker deciding validity
// every 0.025 m. The first solution is then simplified (untimed) for its length, and both paths
// are judged by the collision reference.
void runPeers(const Costmap& map, const std::string& map_name, std::size_t index,
              const bench::Query& query, const Footprint& footprint, double turning_radius,
              double our_length, double time_limit, const std::vector<std::string>& planners,
              std::vector<Run>& runs) {
  namespace ob = ompl::base;
  namespace og = ompl::geometric;
  const CollisionChecker checker(map, false);
  auto space = std::make_shared<ob::ReedsSheppStateSpace>(turning_radius);
  ob::RealVectorBounds bounds(2);
  bounds.setLow(0, map.originX());
  bounds.setLow(1, map.originY());
  bounds.setHigh(0, map.originX() + static_cast<double>(map.width()) * map.resolution());
  bounds.setHigh(1, map.originY() + static_cast<double>(map.height()) * map.resolution());
  space->setBounds(bounds);
  for (const std::string& name : planners) {
    // Two runs: until the first solution, then until a path no longer than ours.
    for (const bool to_our_length : {false, true}) {
      if (to_our_length && (name == "RRTConnect" || !std::isfinite(our_length))) {
        continue;
      }
      og::SimpleSetup setup(space);
      setup.setStateValidityChecker([&](const ob::State* state) {
        const auto* s = state->as<ob::SE2StateSpace::StateType>();
        return !checker.checkValidated(Pose2D{s->getX(), s->getY(), s->getYaw()}, footprint)
                    .collision;
      });
      setup.getSpaceInformation()->setStateValidityCheckingResolution(0.025 /
                                                                      space->getMaximumExtent());
      ob::ScopedState<ob::SE2StateSpace> start(space);
      ob::ScopedState<ob::SE2StateSpace> goal(space);
      start->setXY(query.start.x, query.start.y);
      // OMPL asserts SO2 values in [-pi, pi); a query may say pi.
      start->setYaw(normalizeYaw(query.start.yaw));
      goal->setXY(query.goal.x, query.goal.y);
      goal->setYaw(normalizeYaw(query.goal.yaw));
      setup.setStartAndGoalStates(start, goal);
      auto objective =
          std::make_shared<ob::PathLengthOptimizationObjective>(setup.getSpaceInformation());
      objective->setCostThreshold(
          ob::Cost(to_our_length ? our_length : std::numeric_limits<double>::infinity()));
      setup.setOptimizationObjective(objective);
      const std::string planner_name = name;
      if (planner_name == "RRTConnect") {
        setup.setPlanner(std::make_shared<og::RRTConnect>(setup.getSpaceInformation()));
      } else if (planner_name == "RRTstar") {
        setup.setPlanner(std::make_shared<og::RRTstar>(setup.getSpaceInformation()));
      } else {
        setup.setPlanner(std::make_shared<og::BITstar>(setup.getSpaceInformation()));
      }
      resetPeakRss();
      const auto t0 = Clock::now();
      const ob::PlannerStatus status = setup.solve(time_limit);
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
      const bool exact = status == ob::PlannerStatus::EXACT_SOLUTION;
      const double length = exact ? setup.getSolutionPath().length() : std::nan("");
      if (!to_our_length) {
        Run run;
        run.map = map_name;
        run.planner = planner_name;
        run.query = index;
        run.status = exact ? "SUCCESS" : "NO_PATH";
        run.total_ms = ms;
        run.first_solution_ms = exact ? ms : std::nan("");
        run.peer_length = length;
        run.peak_rss_mib = peakRssMiB();
        if (planner_name == "RRTConnect" && exact && length <= our_length) {
          run.reach_ours_ms = ms;
        }
        if (exact) {
          run.problem = peerPathProblem(map, footprint, setup.getSolutionPath());
          setup.simplifySolution();
          run.simplified_length = setup.getSolutionPath().length();
          if (run.problem.empty()) {
            run.problem = peerPathProblem(map, footprint, setup.getSolutionPath());
          }
        }
        runs.push_back(run);
      } else if (exact && length <= our_length) {
        runs.back().reach_ours_ms = ms;
      }
    }
  }
}

// ---- output

std::string jsonNumber(double v) {
  if (!std::isfinite(v)) {
    return "null";
  }
  std::ostringstream out;
  out.precision(17);
  out << v;
  return out.str();
}

void writeJson(const std::string& path, const std::vector<Run>& runs, const std::string& footprint,
               double time_limit) {
  std::ofstream out(path);
  out << "{\n  \"footprint\": \"" << footprint << "\",\n  \"time_limit_s\": " << time_limit
      << ",\n  \"runs\": [\n";
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const Run& r = runs[i];
    const PlannerDiagnostics& d = r.diagnostics;
    out << "    {\"map\": \"" << r.map << "\", \"planner\": \"" << r.planner
        << "\", \"query\": " << r.query << ", \"warm\": " << (r.warm ? "true" : "false")
        << ", \"status\": \"" << r.status << "\", \"total_ms\": " << jsonNumber(r.total_ms)
        << ", \"expanded\": " << d.expanded_nodes << ", \"generated\": " << d.generated_nodes
        << ", \"collision_checks\": " << d.collision_checks
        << ", \"search_ms\": " << jsonNumber(d.search_time_ms)
        << ", \"heuristic_ms\": " << jsonNumber(d.obstacle_heuristic_time_ms)
        << ", \"kinematic_ms\": " << jsonNumber(d.kinematic_heuristic_time_ms)
        << ", \"collision_ms\": " << jsonNumber(d.collision_check_time_ms)
        << ", \"analytic_ms\": " << jsonNumber(d.analytic_expansion_time_ms)
        << ", \"postprocess_ms\": " << jsonNumber(d.smoothing_time_ms) << ", \"path_length\": "
        << jsonNumber(r.planner == "ours" || r.planner == "reference" ? d.path_length
                                                                      : r.peer_length)
        << ", \"cusps\": " << d.direction_switch_count
        << ", \"peak_rss_mib\": " << jsonNumber(r.peak_rss_mib)
        << ", \"first_solution_ms\": " << jsonNumber(r.first_solution_ms)
        << ", \"reach_ours_ms\": " << jsonNumber(r.reach_ours_ms)
        << ", \"short_reversals\": " << jsonNumber(r.short_reversals)
        << ", \"sign_changes_per_10m\": " << jsonNumber(r.sign_changes_per_10m)
        << ", \"simplified_length\": " << jsonNumber(r.simplified_length)
        << ", \"cpu_ms\": " << jsonNumber(r.cpu_ms) << ", \"problem\": \"" << r.problem << "\"}"
        << (i + 1 < runs.size() ? "," : "") << "\n";
  }
  out << "  ]\n}\n";
}

void printTable(const std::vector<Run>& runs, const std::vector<std::string>& maps) {
  std::printf(
      "%-16s %-10s %6s %9s %9s %9s %9s %9s %7s %8s %8s %8s %8s %8s %6s %7s %7s %8s %8s %8s\n",
      "map", "planner", "solved", "cold_med", "cold_p90", "warm_med", "warm_p90", "expanded",
      "us/exp", "heur_ms", "coll_ms", "anlyt_ms", "post_ms", "length_m", "cusps", "rss_MiB",
      "int_err", "rejected", "short_rv", "sgn/10m");
  for (const std::string& map : maps) {
    for (const char* planner : {"ours", "reference"}) {
      std::vector<double> cold, warm, expanded, per, heur, coll, analytic, post, length, cusps;
      double short_reversals = 0.0;
      std::vector<double> sign_changes;
      double rss = 0.0;
      std::size_t solved = 0;
      std::size_t queries = 0;
      std::size_t internal_errors = 0;
      std::size_t rejected = 0;
      for (const Run& r : runs) {
        if (r.map != map || r.planner != planner) {
          continue;
        }
        const PlannerDiagnostics& d = r.diagnostics;
        (r.warm ? warm : cold).push_back(r.total_ms);
        rss = std::max(rss, r.peak_rss_mib);
        internal_errors += r.status == "INTERNAL_ERROR" ? 1 : 0;
        rejected += r.problem.empty() ? 0 : 1;
        if (r.warm) {
          continue;
        }
        ++queries;
        expanded.push_back(static_cast<double>(d.expanded_nodes));
        // A search that ended without a path records no search time: its wall time less the
        // heuristic's stands in.
        const double search_ms =
            d.search_time_ms > 0.0 ? d.search_time_ms : r.total_ms - d.obstacle_heuristic_time_ms;
        if (d.expanded_nodes > 0) {
          per.push_back(search_ms * 1000.0 / static_cast<double>(d.expanded_nodes));
        }
        heur.push_back(d.obstacle_heuristic_time_ms);
        coll.push_back(d.collision_check_time_ms);
        analytic.push_back(d.analytic_expansion_time_ms);
        post.push_back(d.smoothing_time_ms);
        if (r.status == "SUCCESS") {
          ++solved;
          length.push_back(d.path_length);
          cusps.push_back(d.direction_switch_count);
          short_reversals += std::isfinite(r.short_reversals) ? r.short_reversals : 0.0;
          sign_changes.push_back(r.sign_changes_per_10m);
        }
      }
      if (queries == 0) {
        continue;
      }
      const std::string solved_text = std::to_string(solved) + "/" + std::to_string(queries);
      std::printf(
          "%-16s %-10s %6s %9.1f %9.1f %9.1f %9.1f %9.0f %7.2f %8.2f %8.1f %8.1f %8.2f %8.2f "
          "%6.1f %7.1f %7zu %8zu %8.0f %8.2f\n",
          map.c_str(), planner, solved_text.c_str(), quantile(cold, 0.5), quantile(cold, 0.9),
          quantile(warm, 0.5), quantile(warm, 0.9), quantile(expanded, 0.5), quantile(per, 0.5),
          quantile(heur, 0.5), quantile(coll, 0.5), quantile(analytic, 0.5), quantile(post, 0.5),
          quantile(length, 0.5), quantile(cusps, 0.5), rss, internal_errors, rejected,
          short_reversals, quantile(sign_changes, 0.5));
    }
  }
  bool peers = false;
  for (const Run& r : runs) {
    peers = peers || (r.planner != "ours" && r.planner != "reference");
  }
  if (!peers) {
    return;
  }
  std::printf("\n%-16s %-10s %6s %10s %10s %9s %9s %12s\n", "map", "peer", "solved", "first_med",
              "first_p90", "length_m", "simpl_m", "<=ours");
  for (const std::string& map : maps) {
    for (const char* planner : {"RRTConnect", "RRTstar", "BITstar"}) {
      std::vector<double> first, length, simplified, reach;
      std::size_t solved = 0, queries = 0, reached = 0;
      for (const Run& r : runs) {
        if (r.map != map || r.planner != planner) {
          continue;
        }
        ++queries;
        if (r.status == "SUCCESS") {
          ++solved;
          first.push_back(r.first_solution_ms);
          length.push_back(r.peer_length);
          simplified.push_back(r.simplified_length);
        }
        if (std::isfinite(r.reach_ours_ms)) {
          ++reached;
          reach.push_back(r.reach_ours_ms);
        }
      }
      if (queries == 0) {
        continue;
      }
      const std::string solved_text = std::to_string(solved) + "/" + std::to_string(queries);
      char reach_text[64];
      std::snprintf(reach_text, sizeof reach_text, "%zu, %.0f ms", reached, quantile(reach, 0.5));
      std::printf("%-16s %-10s %6s %10.1f %10.1f %9.2f %9.2f %12s\n", map.c_str(), planner,
                  solved_text.c_str(), quantile(first, 0.5), quantile(first, 0.9),
                  quantile(length, 0.5), quantile(simplified, 0.5), reach_text);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string json = "bench_suite.json";
  std::vector<std::string> selected;
  std::size_t max_queries = 10;
  int repeats = 3;
  double time_limit = 5.0;
  std::string footprint_name = "circle";
  bool reference = true;
  bool peers = false;
  double peer_time = 5.0;
  int peer_repeats = 1;
  std::vector<std::string> peer_planners = {"RRTConnect", "RRTstar", "BITstar"};
  std::vector<Workload> extra;
  double separation = 5.0;
  std::string config_name = "defaults";
  std::string mode = "reverse";
  std::size_t random_queries = 0;
  std::vector<std::pair<std::string, double>> settings;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    // A number that does not parse ends the run with its argument named, not an abort.
    const auto number = [&arg](const std::string& text) {
      std::size_t used = 0;
      double v = 0.0;
      try {
        v = std::stod(text, &used);
      } catch (const std::exception&) {
        used = 0;
      }
      if (used == 0 || used != text.size() || !std::isfinite(v)) {
        std::cerr << "bad number for " << arg << ": " << text << "\n";
        std::exit(2);
      }
      return v;
    };
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::cerr << "missing value for " << arg << "\n";
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--json") {
      json = value();
    } else if (arg == "--maps") {
      std::stringstream list(value());
      std::string item;
      while (std::getline(list, item, ',')) {
        selected.push_back(item);
      }
    } else if (arg == "--queries") {
      max_queries = static_cast<std::size_t>(std::clamp(number(value()), 0.0, 1e9));
    } else if (arg == "--repeats") {
      repeats = static_cast<int>(std::clamp(number(value()), 1.0, 1e6));
    } else if (arg == "--time-limit") {
      time_limit = number(value());
    } else if (arg == "--footprint") {
      footprint_name = value();
    } else if (arg == "--no-reference") {
      reference = false;
    } else if (arg == "--peers") {
      peers = true;
    } else if (arg == "--peer-planners") {
      peers = true;
      peer_planners.clear();
      std::stringstream list(value());
      std::string item;
      while (std::getline(list, item, ',')) {
        if (item != "RRTConnect" && item != "RRTstar" && item != "BITstar") {
          std::cerr << "--peer-planners takes RRTConnect, RRTstar and BITstar\n";
          return 2;
        }
        peer_planners.push_back(item);
      }
    } else if (arg == "--peer-time") {
      peer_time = number(value());
    } else if (arg == "--peer-repeats") {
      peer_repeats = static_cast<int>(std::clamp(number(value()), 1.0, 1e6));
    } else if (arg == "--separation") {
      separation = number(value());
    } else if (arg == "--config") {
      config_name = value();
    } else if (arg == "--mode") {
      mode = value();
    } else if (arg == "--random") {
      random_queries = static_cast<std::size_t>(std::clamp(number(value()), 0.0, 1e9));
    } else if (arg == "--set") {
      const std::string setting = value();
      const std::size_t equals = setting.find('=');
      if (equals == std::string::npos) {
        std::cerr << "--set wants FIELD=NUMBER\n";
        return 2;
      }
      // Switches read true/false as well as 1/0.
      const std::string text = setting.substr(equals + 1);
      settings.emplace_back(setting.substr(0, equals), text == "true"    ? 1.0
                                                       : text == "false" ? 0.0
                                                                         : number(text));
    } else if (arg == "--map") {
      const std::string argument = value();
      const std::size_t equals = argument.find('=');
      if (equals == std::string::npos || equals == 0) {
        std::cerr << "--map wants NAME=FILE[:SCALE[:CROP]]\n";
        return 2;
      }
      extra.push_back(Workload{argument.substr(0, equals),
                               [argument] { return loadMapArgument(argument); }, ""});
      extra.back().separation = separation;
    } else {
      std::cerr << "unknown argument " << arg << "\n";
      return 2;
    }
  }
  ompl::RNG::setSeed(42);
  ompl::msg::setLogLevel(ompl::msg::LOG_NONE);
  Footprint footprint = CircleFootprint{0.25};
  if (footprint_name == "rectangle") {
    footprint = PolygonFootprint{{{0.3, 0.2}, {-0.2, 0.2}, {-0.2, -0.2}, {0.3, -0.2}}};
  } else if (footprint_name == "car") {
    footprint = bench::carFootprint();
  } else if (footprint_name != "circle") {
    std::cerr << "--footprint takes circle, rectangle or car\n";
    return 2;
  }
  if ((config_name != "defaults" && config_name != "recommended") ||
      (mode != "reverse" && mode != "forward" && mode != "rotation")) {
    std::cerr << "--config takes defaults or recommended, --mode reverse, forward or rotation\n";
    return 2;
  }

  // Maps named with --map run alone unless --maps picks built-in ones as well. The parking
  // scenes run only when picked: by name, or all of them as "cars", or one cell size of them as
  // "cars_0.1" or "cars_0.05".
  std::vector<Workload> suite;
  for (Workload& w : workloads(footprint)) {
    bool picked = std::find(selected.begin(), selected.end(), w.name) != selected.end();
    for (const std::string& group : selected) {
      const std::string tail = w.name.substr(w.name.rfind('_') + 1);
      picked = picked || (w.scene && (group == "cars" || group == "cars_" + tail));
    }
    if (picked || (selected.empty() && extra.empty() && !w.scene)) {
      suite.push_back(std::move(w));
    }
  }
  suite.insert(suite.end(), extra.begin(), extra.end());

  std::vector<Run> runs;
  std::vector<std::string> done;
  for (const Workload& w : suite) {
    const Costmap map = w.load();
    // A scene's car gets the recommended configuration for its own turning radius.
    PlannerConfig config =
        config_name != "recommended" ? PlannerConfig{}
        : w.turning_radius > 0.0
            ? recommendedConfig(map.resolution(), footprint, mode == "rotation", w.turning_radius)
            : recommendedConfig(map.resolution(), footprint, mode == "rotation");
    if (w.turning_radius > 0.0) {
      config.minimum_turning_radius = w.turning_radius;
    }
    config.max_planning_time_seconds = time_limit;
    config.allow_reverse = mode != "forward";
    config.allow_in_place_rotation = mode == "rotation";
    for (const auto& [field, number] : settings) {
      if (!setField(config, field, number)) {
        std::cerr << "--set: no such field " << field << "\n";
        return 2;
      }
    }
    std::vector<bench::Query> queries;
    if (random_queries > 0) {
      queries = randomSolvableQueries(map, footprint, random_queries, w.separation);
    } else if (!w.scene) {
      queries = w.query_file.empty() ? seededQueries(map, footprint, max_queries, w.separation)
                                     : bench::loadQueries(w.query_file);
      if (queries.size() > max_queries) {
        queries.resize(max_queries);
      }
      queries.insert(queries.end(), w.hand_placed.begin(), w.hand_placed.end());
    } else {
      queries = w.hand_placed;
    }
    done.push_back(w.name);
    std::cerr << w.name << ": " << map.width() << " x " << map.height() << ", " << queries.size()
              << " queries, turning radius " << config.minimum_turning_radius << " m\n";
    HybridAStar ours(map);
    std::unique_ptr<oracles::ReferencePlanner> slow;
    if (reference) {
      slow = std::make_unique<oracles::ReferencePlanner>(map);
    }
    std::uint64_t revision = 0;
    for (std::size_t q = 0; q < queries.size(); ++q) {
      PlanRequest request;
      request.start = queries[q].start;
      request.goal = queries[q].goal;
      request.footprint = footprint;
      double our_length = std::numeric_limits<double>::quiet_NaN();
      for (int rep = 0; rep < repeats; ++rep) {
        request.map_revision = ++revision;
        runs.push_back(planOnce(ours, w.name, "ours", q, request, config, false, &map));
        if (runs.back().status == "SUCCESS") {
          our_length = runs.back().diagnostics.path_length;
        }
        runs.push_back(planOnce(ours, w.name, "ours", q, request, config, true, &map));
      }
      if (slow) {
        request.map_revision = ++revision;
        runs.push_back(planOnce(*slow, w.name, "reference", q, request, config, false));
        runs.push_back(planOnce(*slow, w.name, "reference", q, request, config, true));
      }
      for (int rep = 0; peers && rep < peer_repeats; ++rep) {
        runPeers(map, w.name, q, queries[q], footprint, config.minimum_turning_radius, our_length,
                 peer_time, peer_planners, runs);
      }
      std::cerr << "  query " << q << ": " << runs[runs.size() - 1].status;
      if (runs.back().status != "SUCCESS") {
        const bench::Query& query = queries[q];
        std::cerr.precision(17);
        std::cerr << " (" << query.start.x << " " << query.start.y << " " << query.start.yaw
                  << " -> " << query.goal.x << " " << query.goal.y << " " << query.goal.yaw << ")";
      }
      std::cerr << "\n";
    }
    writeJson(json, runs, footprint_name, time_limit);
  }
  std::printf(
      "footprint %s, configuration %s, mode %s, time limit %.1f s, %d repeats (cold and warm) "
      "per query%s\n",
      footprint_name.c_str(), config_name.c_str(), mode.c_str(), time_limit, repeats,
      random_queries > 0 ? ", random solvable queries" : "");
  for (const Run& r : runs) {
    if (!r.problem.empty()) {
      std::printf("rejected: %s query %zu: %s\n", r.map.c_str(), r.query, r.problem.c_str());
    }
  }
  printTable(runs, done);
  writeJson(json, runs, footprint_name, time_limit);
  std::cerr << "wrote " << json << "\n";
  return 0;
}
