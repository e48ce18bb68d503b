#include "detail/heuristic_cache.hpp"

#include <limits>
#include <utility>
#include <vector>

namespace veltrax::se2::detail {

namespace {

// Whether a cached field serves a search from `start` with this reach factor: a field of the whole
// map always does; one that stopped early only if it would have stopped there for this start.
bool reachesFar(const ObstacleHeuristic& field, GridIndex start, double factor) {
  if (field.reach() == std::numeric_limits<double>::infinity()) {
    return true;
  }
  const double v = field.distance(start.x, start.y);
  return factor > 0.0 && v < field.reach() && field.reach() >= factor * v + 1.0;
}

}  // namespace

const ObstacleHeuristic& ObstacleHeuristicCache::get(const Costmap& field_map, const Key& key,
                                                     GridIndex start, double reach_factor,
                                                     bool& hit, const std::function<void()>& poll) {
  hit = key_ && key_->map_revision == key.map_revision && key_->goal.x == key.goal.x &&
        key_->goal.y == key.goal.y && key_->allow_unknown == key.allow_unknown &&
        key_->cost_penalty == key.cost_penalty && key_->clearance == key.clearance &&
        reachesFar(*field_, start, reach_factor);
  if (hit) {
    return *field_;
  }
  // Only the cache holds the old field, so its pages can be reused instead of faulting in fresh
  // ones. The key goes first: should the construction throw, no later call may hit the emptied
  // field.
  std::vector<double> storage;
  if (field_) {
    key_.reset();
    storage = field_->releaseStorage();
    field_.reset();
  }
  field_.emplace(field_map, key.goal, key.allow_unknown, key.cost_penalty, 0.0, start, reach_factor,
                 std::move(storage), poll);
  key_ = key;
  return *field_;
}

}  // namespace veltrax::se2::detail
