#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/export.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2 {

// Cost of the cheapest 8-connected grid path from every cell to the goal cell, in metres inflated
// by the costs of the cells entered. Computed completely at construction; +inf where the goal
// cannot be reached. Keeps no reference to the costmap.
class VELTRAX_SE2_EXPORT ObstacleHeuristic {
 public:
  // Throws std::out_of_range "heuristic goal outside map", and std::invalid_argument
  // "cost_penalty must be finite and non-negative" (a negative penalty makes steps negative).
  ObstacleHeuristic(const Costmap& costmap, GridIndex goal, bool allow_unknown,
                    double cost_penalty);
  // The same field, built in `storage` (its contents are ignored): a caller that replaces one
  // field by another hands over the old one's memory instead of faulting in fresh pages.
  ObstacleHeuristic(const Costmap& costmap, GridIndex goal, bool allow_unknown, double cost_penalty,
                    std::vector<double> storage);

  // The same field on a grid where, besides the blocking cells, every cell whose centre lies
  // closer than `clearance` metres to the centre of a blocking cell (lethal, and unknown unless
  // allowed) cannot be entered: a robot whose footprint holds a disc of that radius plus half a
  // cell diagonal collides anywhere in such a cell. Throws std::invalid_argument "clearance must
  // be finite and non-negative" besides the errors above.
  ObstacleHeuristic(const Costmap& costmap, GridIndex goal, bool allow_unknown, double cost_penalty,
                    double clearance, std::vector<double> storage = {});
  // A field computed only as far as a search from `start` needs it (reach_factor 0 computes the
  // whole map, as above): the construction stops once the start cell's value v is final and
  // every value below reach_factor x v + 1 m is too. Cells not settled by then read reach(), a
  // lower bound of their value (also where the goal cannot be reached from them). Throws
  // std::invalid_argument "reach_factor must be 0 or finite and at least 1" and std::out_of_range
  // "heuristic start outside map" besides the errors above. `poll`, when set, is called every few
  // thousand cells: an exception it throws ends the construction (a caller's time budget).
  ObstacleHeuristic(const Costmap& costmap, GridIndex goal, bool allow_unknown, double cost_penalty,
                    double clearance, GridIndex start, double reach_factor,
                    std::vector<double> storage = {}, const std::function<void()>& poll = {});

  // Moves the field's memory out, leaving the object empty (width and height 0).
  std::vector<double> releaseStorage() noexcept;

  std::uint64_t width() const noexcept { return width_; }
  std::uint64_t height() const noexcept { return height_; }

  // Throws std::out_of_range "heuristic index outside map".
  double distance(std::uint64_t x, std::uint64_t y) const;

  // Below this every value is final; +inf for a field of the whole map.
  double reach() const noexcept { return reach_; }

  // Row-major like the costmap, for callers that have already checked the cell; values at or
  // above reach() stand for reach().
  const std::vector<double>& distances() const noexcept { return distances_; }

 private:
  std::uint64_t width_;
  std::uint64_t height_;
  std::vector<double> distances_;
  double reach_ = std::numeric_limits<double>::infinity();
};

}  // namespace veltrax::se2
