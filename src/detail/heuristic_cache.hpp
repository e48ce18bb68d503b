#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/heuristic.hpp"

namespace veltrax::se2::detail {

// What a cached obstacle heuristic field was computed for.
struct ObstacleHeuristicCacheKey {
  std::uint64_t map_revision;
  GridIndex goal;
  bool allow_unknown;
  double cost_penalty;
  double clearance;  // 0 unless the heuristic is footprint-aware
};

// The planner's one-entry cache of obstacle heuristic fields. It takes no lock of its own: it
// lives in the planner's workspace and is used only under the workspace mutex.
class ObstacleHeuristicCache {
 public:
  using Key = ObstacleHeuristicCacheKey;

  // The cached field if it was computed for `key` and serves a search from `start` with this
  // reach factor (`hit` set); otherwise a field over `field_map` (the costmap with key.clearance
  // applied), built in the old field's memory, replaces it. The reference stays valid until the
  // next call. `poll` goes to the construction (see ObstacleHeuristic); should it throw, the cache
  // is left empty.
  const ObstacleHeuristic& get(const Costmap& field_map, const Key& key, GridIndex start,
                               double reach_factor, bool& hit,
                               const std::function<void()>& poll = {});

  // No later call hits the cached field, whose memory the next one reuses: for a new map, which
  // may come with the revision of the old one.
  void invalidate() noexcept { key_.reset(); }

 private:
  std::optional<Key> key_;
  std::optional<ObstacleHeuristic> field_;
};

}  // namespace veltrax::se2::detail
