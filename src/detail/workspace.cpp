#include "detail/workspace.hpp"

#include <limits>

#include "detail/clearance.hpp"

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

}  // namespace detail

void HybridAStar::Workspace::reset(std::uint64_t capacity) {
  if (index.size() == capacity) {
    // Zeroing the entries keeps their pages, so searches in other parts of the map would pile
    // up pages of the table call after call; past a budget they go back to the kernel instead
    // (reading as zero again), and the next search faults in only what it touches.
    if (index.hashed() || index.dirtyBytes() > kIndexPageBudget) {
      index.clear();
    } else {
      for (const detail::StateKey key : touched) {
        index.set(key, 0);
      }
    }
  } else {
    index.reset(static_cast<std::size_t>(capacity));
  }
  touched.clear();
  nodes.clear();
}

const Costmap& HybridAStar::Workspace::heuristicMap(const Costmap& costmap, double clearance,
                                                    bool allow_unknown,
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

}  // namespace veltrax::se2
