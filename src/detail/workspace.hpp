#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "detail/free_cells.hpp"
#include "detail/heuristic_cache.hpp"
#include "detail/lazy_field.hpp"
#include "detail/lazy_table.hpp"
#include "detail/manoeuvre_field.hpp"
#include "detail/open_list.hpp"
#include "detail/swept_stencil.hpp"
#include "detail/yaw_bins.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/kinematics.hpp"
#include "veltrax/se2/primitives.hpp"
#include "veltrax/se2/records.hpp"

namespace veltrax::se2 {

namespace detail {

inline constexpr std::uint32_t kInvalidIndex = 0xFFFFFFFFu;

// A lattice key: cell x angle_bins + yaw bin. 64 bits wide, so that maps beyond 2^32 keys can be
// searched (with wide_node_keys); node pool positions stay 32-bit.
using StateKey = std::uint64_t;
inline constexpr StateKey kInvalidKey = ~StateKey{0};

// The lattice key of a pose: cell x yaw bin, or kInvalidKey off the map or for a non-finite
// yaw. The bin is yawBin's with kStateKeyYawNudge (detail/yaw_bins.hpp): a yaw a rounding error
// below a bin edge keys the upper bin, and 2 pi - tiny wraps to bin 0; YawBinFootprintTemplates
// bins the same yaws without the nudge. The caller guarantees that cells x angle_bins fits
// nodeKeyCapacity. Inline: the search keys every child it generates.
// With `factor` > 1 the lattice's cells are factor x factor cells of the costmap, keyed row by
// row over latticeSide(width, factor) columns.
inline std::uint64_t latticeSide(std::uint64_t cells, std::uint64_t factor) {
  return cells / factor + (cells % factor != 0 ? 1 : 0);
}

inline StateKey stateKey(const Costmap& costmap, std::uint32_t angle_bins, const Pose2D& pose,
                         std::uint64_t factor = 1) {
  GridIndex cell;
  if (!costmap.worldToMap(pose.x, pose.y, cell) || !std::isfinite(pose.yaw)) {
    return kInvalidKey;
  }
  const StateKey cell_key =
      factor == 1 ? cell.y * costmap.width() + cell.x
                  : (cell.y / factor) * latticeSide(costmap.width(), factor) + cell.x / factor;
  return cell_key * angle_bins + yawBin(pose.yaw, angle_bins, kStateKeyYawNudge);
}

// Number of keys of a costmap at angle_bins, or 0 when they exceed 32 bits (or, when `wide`,
// 2^62: far beyond any map in memory, a bound only the hashed index needs).
std::uint64_t nodeKeyCapacity(std::uint64_t width, std::uint64_t height, std::uint32_t angle_bins,
                              bool wide = false) noexcept;

// The memory a planner keeps from call to call, used only under its workspace mutex.
struct Workspace {
  // A search node: a lattice state, its cheapest route found so far and the motion that arrived
  // by that route, which the next motion pays for changing. That arrival label says how a pose
  // was reached; the output labels (PlannerResult::directions) say how the path leaves a pose.
  struct Node {
    Pose2D pose;
    double g;
    // An upper bound of the kinematic distance from `pose` to the goal (the distance itself when
    // it was computed), or +inf; see detail/kinematic_bound.hpp. Not part of the search state.
    double kinematic_bound;
    std::uint32_t parent;
    Direction arrival_direction;   // a placeholder (FORWARD) at the start node
    std::int8_t arrival_steering;  // its MotionPrimitive::steering_index; 0 (straight) likewise
    bool closed;
    bool kinematic_exact;  // kinematic_bound is the distance itself
  };

  std::vector<Node> nodes;
  // Two levels, so that a search touches few fresh pages: per lattice cell, 1 + the number of
  // its block (0, the zero pages of a fresh mapping: none yet); per block, the cell's yaw bins,
  // each 1 + the pool position of its node (0: none). A search's blocks lie side by side in
  // storage reused from call to call, where one entry per key of a mapping spanning every cell
  // and bin faulted in a fresh page for nearly every cell a cold search reached.
  detail::LazyTable index;
  std::vector<std::uint32_t> blocks;
  std::vector<std::uint64_t> touched;  // the cells given a block
  std::uint32_t key_bins = 1;          // yaw bins per cell of the keys, set by reset()

  // Scratch storage of one call, kept so that later calls do not allocate it again.
  detail::OpenList open;
  std::vector<MotionPrimitive> primitives;
  // Per primitive of one expansion: the largest cost under its samples, or -1 when one collides.
  std::vector<std::int16_t> check_outcomes;
  std::vector<detail::StateKey> child_keys;
  std::vector<std::uint32_t> child_nodes;
  // The samples of the analytic curve being tried, kept only when the curve passes.
  std::vector<KinematicSample> analytic_curve;
  // Built on the first call after the map was set.
  detail::ZeroCostRegions zero_cost;
  // Of the footprint and cell size last planned with; they do not depend on the map's cells.
  detail::SweptStencils stencils;
  // The car's manoeuvre estimate of one call, built afresh by each in the last one's memory.
  detail::ManoeuvreField manoeuvre;
  // The zero-cost table of `costmap`, its tiles built as they are first read.
  const detail::ZeroCostRegions* zeroCostTable(const Costmap& costmap) {
    if (!zero_cost.built()) {
      zero_cost.build(costmap);
    }
    zero_cost.bind(costmap);
    return &zero_cost;
  }

  // Resident pages of the index and the blocks a planner keeps between calls, at most (plus one
  // call's own).
  static constexpr std::size_t kIndexPageBudget = std::size_t{16} << 20;

  // Empties the pool for `cells` lattice cells of `bins` yaw bins each (their product fits
  // nodeKeyCapacity). Only the entries the previous call wrote are cleared when the size is
  // unchanged, unless the table's written pages exceed the budget: then they are all released.
  // A new size maps a fresh table. Blocks kept beyond the budget are released too.
  void reset(std::uint64_t cells, std::uint32_t bins);

  // A window of changed cells.
  using MapWindow = detail::CellWindow;

  // Brings what was derived from the map up to `costmap` after the windows' cells changed:
  // the clearance map and the zero-cost table are recomputed over the windows (and as far
  // around them as a change reaches), the lazy field repaired; the cached field, built with a
  // reach factor whose stopping point a repair cannot reproduce, is dropped.
  void repairMap(const Costmap& costmap, const std::vector<MapWindow>& windows);

  // The version of the planner's map that what is derived here was made for.
  std::uint64_t map_version = 0;

  // Drops what was derived from the planner's previous costmap; the memory stays for the next
  // call to rebuild in, and the pool and index are reset by every call anyway.
  void forgetMap() noexcept {
    zero_cost.invalidate();
    clearance_map.reset();
    heuristic_cache.invalidate();
    lazy_field.reset();
    if (from_goal) {
      from_goal->forgetMap();
    }
  }

  // The workspace of the search from the goal (PlannerConfig::search_from_goal), made on first
  // use; it follows the map as this one does.
  Workspace& fromGoal() {
    if (!from_goal) {
      from_goal = std::make_unique<Workspace>();
    }
    return *from_goal;
  }
  std::unique_ptr<Workspace> from_goal;

  // Pool position of the key's node, or kInvalidIndex.
  std::uint32_t find(detail::StateKey key) const noexcept {
    const std::uint64_t cell = key / key_bins;
    const std::uint32_t block = index.get(cell);
    if (block == 0) {
      return kInvalidIndex;
    }
    // An empty entry (0) wraps to kInvalidIndex.
    return blocks[(std::size_t{block} - 1) * key_bins + (key - cell * key_bins)] - 1u;
  }

  // Starts loading the key's cell entry.
  void prefetch(detail::StateKey key) const noexcept { index.prefetch(key / key_bins); }

  // The key's node, created with g = +inf, no parent, FORWARD, STRAIGHT when absent.
  // The caller guarantees key < cells x bins.
  std::uint32_t getOrCreate(detail::StateKey key) {
    const std::uint64_t cell = key / key_bins;
    std::uint32_t block = index.get(cell);
    if (block == 0) {
      block = static_cast<std::uint32_t>(blocks.size() / key_bins) + 1u;
      blocks.resize(blocks.size() + key_bins, 0);
      index.set(cell, block);
      touched.push_back(cell);
    }
    std::uint32_t& stored = blocks[(std::size_t{block} - 1) * key_bins + (key - cell * key_bins)];
    if (stored != 0) {
      return stored - 1u;
    }
    const auto position = static_cast<std::uint32_t>(nodes.size());
    stored = position + 1u;
    nodes.push_back(Node{Pose2D{}, std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::infinity(), detail::kInvalidIndex,
                         Direction::FORWARD, 0, false, false});
    return position;
  }

  // The map the obstacle heuristic runs on: the planner's costmap itself for a clearance of 0,
  // otherwise clearance_map, rebuilt when the clearance or allow_unknown changed (calling `poll`
  // every few rows; should it throw, no clearance map is kept).
  const Costmap& heuristicMap(const Costmap& costmap, double clearance, bool allow_unknown,
                              const std::function<void()>& poll = {});

  // The planner's costmap with the cells too close to obstacles for the footprint marked lethal,
  // for footprint-aware heuristics: it depends on the map, the clearance and allow_unknown only,
  // so cold plans with new goals share it.
  std::optional<Costmap> clearance_map;
  double clearance_map_clearance = 0.0;
  bool clearance_map_allow_unknown = false;

  // The last obstacle heuristic field and what it was computed for.
  detail::ObstacleHeuristicCache heuristic_cache;

  // What a lazily computed field was made for; unlike the cache above it follows the planner's
  // own map changes (repaired by updateCostmap), so the request's map_revision is no part of it.
  struct LazyFieldKey {
    GridIndex goal;
    bool allow_unknown;
    double cost_penalty;
    double clearance;
  };
  // The lazy field for `key` on `costmap` (it applies the clearance itself, tile by tile), kept
  // from an earlier call when it was made for the same key and `keep`, else new; `reused` says
  // which.
  detail::LazyObstacleField& lazyField(const Costmap& costmap, const LazyFieldKey& key, bool keep,
                                       bool& reused);
  std::unique_ptr<detail::LazyObstacleField> lazy_field;
  LazyFieldKey lazy_key{};
};

}  // namespace detail
}  // namespace veltrax::se2
