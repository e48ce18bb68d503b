#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "detail/step_costs.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2::detail {

// The obstacle heuristic computed as it is read: a backward search from the goal that runs only
// until the cell asked for is final, and resumes there for the next one. Its values are those of
// the whole-map field (ObstacleHeuristic with reach factor 0): both settle the least fixed point
// of d(v) = min over neighbours u of step(v) + d(u) in the same doubles, whatever the order.
//
// Values live in a lazily mapped table, so memory grows with the cells the search reached, not
// with the map. A field outlives the call that built it and is repaired when cells change.
class LazyObstacleField {
 public:
  // The step costs depend on the map's resolution, allow_unknown and the cost penalty.
  LazyObstacleField(std::uint64_t width, std::uint64_t height, const StepCosts& costs,
                    GridIndex goal);
  ~LazyObstacleField();
  LazyObstacleField(const LazyObstacleField&) = delete;
  LazyObstacleField& operator=(const LazyObstacleField&) = delete;

  // The cells the field runs on, row-major, set before every use: the map's storage may move.
  void bind(const std::uint8_t* cells) noexcept { cells_ = cells; }

  // The exact value at a cell, +inf where the goal cannot be reached. `poll` is called every few
  // thousand cells settled; an exception it throws leaves the field consistent.
  double at(std::uint64_t cell, const std::function<void()>& poll);

  // After the bound cells changed at `changed` (any superset of the cells that did): values that
  // leaned on a changed cell are dropped and recomputed from their intact neighbours, so the field
  // is again what a new one on the new cells would answer.
  void repair(const std::vector<std::uint64_t>& changed);

 private:
  struct Entry {
    double key;
    std::uint64_t cell;
  };

  double get(std::uint64_t cell) const noexcept;
  void put(std::uint64_t cell, double value) noexcept;
  double step(std::uint64_t to, bool diagonal) const noexcept;
  // Calls visit(neighbour, diagonal) for the grid neighbours of a cell.
  template <typename Visit>
  void forEachNeighbour(std::uint64_t cell, Visit&& visit) const;
  void push(double key, std::uint64_t cell);
  // Settles the open list's smallest entry.
  void settleNext();
  double frontier() const noexcept;

  std::uint64_t width_;
  std::uint64_t height_;
  StepCosts costs_;
  std::uint64_t goal_;
  const std::uint8_t* cells_ = nullptr;
  // Values stored XOR the bits of +inf, so the zero pages of a fresh mapping read as +inf.
  std::uint64_t* values_ = nullptr;
  std::size_t mapped_bytes_ = 0;
  std::vector<Entry> open_;  // a binary min-heap on key
};

}  // namespace veltrax::se2::detail
