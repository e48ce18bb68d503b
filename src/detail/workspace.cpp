#include "detail/workspace.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "detail/clearance.hpp"
#include "detail/costmap_cells.hpp"

namespace veltrax::se2 {

namespace detail {

std::uint64_t nodeKeyCapacity(std::uint64_t width, std::uint64_t height, std::uint32_t angle_bins,
                              bool wide) noexcept {
  if (angle_bins == 0 ||
      (height != 0 && width > std::numeric_limits<std::uint64_t>::max() / height)) {
    return 0;
  }
  const std::uint64_t cells = width * height;
  const std::uint64_t limit = wide ? std::uint64_t{1} << 62 : std::uint64_t{kInvalidIndex};
  if (cells > limit / angle_bins) {
    return 0;
  }
  return cells * angle_bins;
}

void Workspace::reset(std::uint64_t cells, std::uint32_t bins) {
  if (index.size() == cells) {
    // Zeroing the entries keeps their pages, so searches in other parts of the map would pile
    // up pages of the table call after call; past a budget they go back to the kernel instead
    // (reading as zero again), and the next search faults in only what it touches.
    if (index.hashed() || index.dirtyBytes() > kIndexPageBudget) {
      index.clear();
    } else {
      for (const std::uint64_t cell : touched) {
        index.set(cell, 0);
      }
    }
  } else {
    index.reset(static_cast<std::size_t>(cells));
  }
  key_bins = bins;
  touched.clear();
  blocks.clear();
  if (blocks.capacity() > kIndexPageBudget / sizeof(std::uint32_t)) {
    std::vector<std::uint32_t>().swap(blocks);
  }
  nodes.clear();
}

const Costmap& Workspace::heuristicMap(const Costmap& costmap, double clearance, bool allow_unknown,
                                       const std::function<void()>& poll) {
  if (!(clearance > 0.0)) {
    return costmap;
  }
  if (!clearance_map || clearance_map_clearance != clearance ||
      clearance_map_allow_unknown != allow_unknown) {
    clearance_map.reset();
    clearance_map.emplace(costmap.width(), costmap.height(), costmap.resolution(),
                          costmap.originX(), costmap.originY(),
                          detail::blockNearObstacles(costmap, allow_unknown, clearance, poll));
    clearance_map_clearance = clearance;
    clearance_map_allow_unknown = allow_unknown;
  }
  return *clearance_map;
}

void Workspace::repairMap(const Costmap& costmap, const std::vector<MapWindow>& windows) {
  if (from_goal) {
    from_goal->repairMap(costmap, windows);
  }
  heuristic_cache.invalidate();
  if (zero_cost.built()) {
    for (const MapWindow& w : windows) {
      zero_cost.repair(costmap, w.x0, w.y0, w.x1, w.y1);
    }
  }
  if (clearance_map) {
    // A changed cell moves the marks of the blocking cells within a disc's extent of it, and the
    // border status of its neighbours: one cell more.
    const std::uint64_t width = costmap.width();
    const auto reach =
        static_cast<std::uint64_t>(std::ceil(clearance_map_clearance / costmap.resolution()) + 1.0);
    std::vector<std::uint8_t>& cells = detail::CostmapCells::of(*clearance_map);
    for (const MapWindow& w : windows) {
      const std::uint64_t x0 = w.x0 > reach ? w.x0 - reach : 0;
      const std::uint64_t y0 = w.y0 > reach ? w.y0 - reach : 0;
      detail::blockNearObstaclesIn(costmap, clearance_map_allow_unknown, clearance_map_clearance,
                                   x0, y0, std::min(w.x1 + reach, width),
                                   std::min(w.y1 + reach, costmap.height()),
                                   cells.data() + y0 * width + x0, width);
    }
  }
  if (lazy_field) {
    lazy_field->bind(costmap);
    lazy_field->repair(windows);
  }
}

LazyObstacleField& Workspace::lazyField(const Costmap& costmap, const LazyFieldKey& key, bool keep,
                                        bool& reused) {
  reused = keep && lazy_field && lazy_key.goal.x == key.goal.x && lazy_key.goal.y == key.goal.y &&
           lazy_key.allow_unknown == key.allow_unknown &&
           lazy_key.cost_penalty == key.cost_penalty && lazy_key.clearance == key.clearance;
  if (!reused) {
    lazy_field.reset();
    lazy_field = std::make_unique<detail::LazyObstacleField>(
        costmap.width(), costmap.height(),
        detail::makeStepCosts(costmap.resolution(), key.allow_unknown, key.cost_penalty), key.goal,
        key.allow_unknown, key.clearance);
    lazy_key = key;
  }
  lazy_field->bind(costmap);
  return *lazy_field;
}

}  // namespace detail
}  // namespace veltrax::se2
