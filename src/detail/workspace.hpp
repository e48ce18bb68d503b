#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "detail/free_cells.hpp"
#include "detail/heuristic_cache.hpp"
#include "detail/lazy_table.hpp"
#include "detail/open_list.hpp"
#include "detail/yaw_bins.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/kinematics.hpp"
#include "veltrax/se2/planner.hpp"
#include "veltrax/se2/primitives.hpp"

namespace veltrax::se2 {

namespace detail {

inline constexpr std::uint32_t kInvalidIndex = 0xFFFFFFFFu;

// The lattice key of a pose: cell x yaw bin, or kInvalidIndex off the map or for a non-finite
// yaw. The bin is yawBin's with kStateKeyYawNudge (detail/yaw_bins.hpp): a yaw a rounding error
// below a bin edge keys the upper bin, and 2 pi - tiny wraps to bin 0; YawBinFootprintTemplates
// bins the same yaws without the nudge. The caller guarantees that cells x angle_bins fits in
// 32 bits. Inline: the search keys every child it generates.
inline std::uint32_t stateKey(const Costmap& costmap, std::uint32_t angle_bins,
                              const Pose2D& pose) {
  GridIndex cell;
  if (!costmap.worldToMap(pose.x, pose.y, cell) || !std::isfinite(pose.yaw)) {
    return kInvalidIndex;
  }
  const auto cell_key = static_cast<std::uint32_t>(cell.y * costmap.width() + cell.x);
  return cell_key * angle_bins + yawBin(pose.yaw, angle_bins, kStateKeyYawNudge);
}

// Number of keys of a costmap at angle_bins, or 0 when it does not fit 32-bit pool positions.
std::uint64_t nodeKeyCapacity(std::uint64_t width, std::uint64_t height,
                              std::uint32_t angle_bins) noexcept;

}  // namespace detail

// The memory a planner keeps from call to call, used only under its workspace mutex.
struct HybridAStar::Workspace {
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
    Direction arrival_direction;  // a placeholder (FORWARD) at the start node
    Steering arrival_steering;    // likewise (STRAIGHT)
    bool closed;
    bool kinematic_exact;  // kinematic_bound is the distance itself
  };

  std::vector<Node> nodes;
  // Pool position + 1 per key, so that the zero pages of a fresh mapping mean "no node".
  detail::LazyTable index;
  std::vector<std::uint32_t> touched;

  // Scratch storage of one call, kept so that later calls do not allocate it again.
  detail::OpenList open;
  std::vector<MotionPrimitive> primitives;
  // Per primitive of one expansion: the largest cost under its samples, or -1 when one collides.
  std::vector<std::int16_t> check_outcomes;
  std::vector<std::uint32_t> child_keys;
  // The samples of the analytic curve being tried, kept only when the curve passes.
  std::vector<KinematicSample> analytic_curve;
  // Built on the first call after the map was set.
  detail::ZeroCostRegions zero_cost;

  // Resident pages of the index a planner keeps between calls, at most (plus one call's own).
  static constexpr std::size_t kIndexPageBudget = std::size_t{16} << 20;

  // Empties the pool for a table of `capacity` keys. Only the entries the previous call wrote
  // are cleared when the size is unchanged, unless the table's written pages exceed the budget:
  // then they are all released. A new size maps a fresh table.
  void reset(std::uint64_t capacity);

  // Drops what was derived from the planner's previous costmap; the memory stays for the next
  // call to rebuild in, and the pool and index are reset by every call anyway.
  void forgetMap() noexcept {
    zero_cost.invalidate();
    clearance_map.reset();
    heuristic_cache.invalidate();
  }

  // Pool position of the key's node, or kInvalidIndex.
  std::uint32_t find(std::uint32_t key) const noexcept {
    return index.get(key) - 1u;  // an empty entry (0) wraps to kInvalidIndex
  }

  // The key's node, created with g = +inf, no parent, FORWARD, STRAIGHT when absent.
  // The caller guarantees key < capacity.
  std::uint32_t getOrCreate(std::uint32_t key) {
    const std::uint32_t stored = index.get(key);
    if (stored != 0) {
      return stored - 1u;
    }
    const auto position = static_cast<std::uint32_t>(nodes.size());
    index.set(key, position + 1u);
    touched.push_back(key);
    nodes.push_back(Node{Pose2D{}, std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::infinity(), detail::kInvalidIndex,
                         Direction::FORWARD, Steering::STRAIGHT, false, false});
    return position;
  }

  // The map the obstacle heuristic runs on: the planner's costmap itself for a clearance of 0,
  // otherwise clearance_map, rebuilt when the clearance or allow_unknown changed.
  const Costmap& heuristicMap(const Costmap& costmap, double clearance, bool allow_unknown);

  // The planner's costmap with the cells too close to obstacles for the footprint marked lethal,
  // for footprint-aware heuristics: it depends on the map, the clearance and allow_unknown only,
  // so cold plans with new goals share it.
  std::optional<Costmap> clearance_map;
  double clearance_map_clearance = 0.0;
  bool clearance_map_allow_unknown = false;

  // The last obstacle heuristic field and what it was computed for.
  detail::ObstacleHeuristicCache heuristic_cache;
};

}  // namespace veltrax::se2
