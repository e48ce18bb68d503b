#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "detail/radix_queue.hpp"
#include "detail/step_costs.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/geometry.hpp"

namespace veltrax::se2::detail {

// Columns [x0, x1) and rows [y0, y1) of a map.
struct CellWindow {
  std::uint64_t x0, y0, x1, y1;
};

// The map with the cells too close to obstacles marked lethal (blockNearObstacles), made tile by
// tile as cells are read: a field that reaches a small part of a large map builds that part only.
// Tiles are stored whole, one page each, in a lazily mapped table.
class ClearanceTiles {
 public:
  ClearanceTiles(std::uint64_t width, std::uint64_t height, bool allow_unknown, double clearance);
  ~ClearanceTiles();
  ClearanceTiles(const ClearanceTiles&) = delete;
  ClearanceTiles& operator=(const ClearanceTiles&) = delete;

  void bind(const Costmap& map) noexcept { map_ = &map; }

  // The byte of column x, row y.
  std::uint8_t at(std::uint64_t x, std::uint64_t y) {
    const std::uint64_t tile = (y / kSide) * tiles_x_ + x / kSide;
    if (!built_[tile]) {
      build(tile, data_ + tile * kSide * kSide);
      built_[tile] = 1;
    }
    return data_[tile * kSide * kSide + (y % kSide) * kSide + x % kSide];
  }

  // After the bound map's cells changed in the windows: the built tiles they reach are built
  // again, and every cell whose byte changed is appended to `changed`.
  void refresh(const std::vector<CellWindow>& windows, std::vector<std::uint64_t>& changed);

 private:
  static constexpr std::uint64_t kSide = 64;

  void build(std::uint64_t tile, std::uint8_t* out) const;

  std::uint64_t width_;
  std::uint64_t height_;
  std::uint64_t tiles_x_;
  bool allow_unknown_;
  double clearance_;
  const Costmap* map_ = nullptr;
  std::vector<std::uint8_t> built_;
  std::uint8_t* data_ = nullptr;
  std::size_t mapped_bytes_ = 0;
};

// The obstacle heuristic computed as it is read: a backward search from the goal that runs only
// until the cell asked for is final, and resumes there for the next one. Its values are those of
// the whole-map field (ObstacleHeuristic with reach factor 0): both settle the least fixed point
// of d(v) = min over neighbours u of step(v) + d(u) in the same doubles, whatever the order.
//
// Aimed at a cell (the search's start), it settles cells in order of value plus the octile
// distance to that cell at the cheapest step costs, shrunk by a millionth: a consistent estimate
// whose slack dwarfs any rounding, so a cell is still final once its value plus estimate is at
// most the open list's smallest key. The cells it settles then lie about the line between the
// goal and the aim, not in a disc around the goal as wide as the trip.
//
// Values live in a lazily mapped table, so memory grows with the cells the search reached, not
// with the map. A field outlives the call that built it and is repaired when cells change.
class LazyObstacleField {
 public:
  // The step costs depend on the map's resolution, allow_unknown and the cost penalty; a
  // clearance above 0 runs the field on the map with the cells that close to obstacles blocked.
  LazyObstacleField(std::uint64_t width, std::uint64_t height, const StepCosts& costs,
                    GridIndex goal, bool allow_unknown, double clearance);
  ~LazyObstacleField();
  LazyObstacleField(const LazyObstacleField&) = delete;
  LazyObstacleField& operator=(const LazyObstacleField&) = delete;

  // The map the field runs on, set before every use: the planner's map may be another object.
  void bind(const Costmap& map) noexcept {
    cells_ = map.cells().data();
    if (tiles_) {
      tiles_->bind(map);
    }
  }

  // Settles toward `target` from now on; the open list is ordered afresh when it moves.
  void aim(GridIndex target);

  // The exact value at a cell, +inf where the goal cannot be reached. `poll` is called every few
  // thousand cells settled; an exception it throws leaves the field consistent.
  double at(std::uint64_t cell, const std::function<void()>& poll);

  // After the bound map's cells changed in the windows: values that leaned on a changed cell are
  // dropped and recomputed from their intact neighbours, so the field is again what a new one on
  // the new map would answer.
  void repair(const std::vector<CellWindow>& windows);

 private:
  struct Entry {
    double key;  // value + estimate
    double value;
    std::uint64_t cell;
  };

  double get(std::uint64_t cell) const noexcept;
  void put(std::uint64_t cell, double value) noexcept;
  // Cells are passed with their column and row, which the grid's width would otherwise have to
  // divide out at every neighbour.
  std::uint8_t byte(std::uint64_t cell, std::uint64_t x, std::uint64_t y) const {
    return tiles_ ? tiles_->at(x, y) : cells_[cell];
  }
  double step(std::uint64_t to, std::uint64_t x, std::uint64_t y, bool diagonal) const {
    const std::uint8_t b = byte(to, x, y);
    return diagonal ? costs_.diagonal[b] : costs_.orthogonal[b];
  }
  // Values that leaned on the changed cells recomputed.
  void repairCells(const std::vector<std::uint64_t>& changed);
  // Calls visit(neighbour, x, y, diagonal) for the grid neighbours of the cell at (x, y).
  template <typename Visit>
  void forEachNeighbour(std::uint64_t cell, std::uint64_t x, std::uint64_t y, Visit&& visit) const;
  // The estimate from the cell at (x, y) to the aim: 0 when not aimed.
  double estimate(std::uint64_t x, std::uint64_t y) const noexcept;
  void push(double value, std::uint64_t cell, std::uint64_t x, std::uint64_t y);
  // Settles the open list's smallest entry.
  void settleNext();
  double frontier();

  std::uint64_t width_;
  std::uint64_t height_;
  StepCosts costs_;
  std::uint64_t goal_;
  const std::uint8_t* cells_ = nullptr;
  std::unique_ptr<ClearanceTiles> tiles_;
  // Values stored XOR the bits of +inf, so the zero pages of a fresh mapping read as +inf.
  std::uint64_t* values_ = nullptr;
  std::size_t mapped_bytes_ = 0;
  RadixQueue<Entry> open_;
  bool aimed_ = false;
  std::uint64_t aim_x_ = 0;
  std::uint64_t aim_y_ = 0;
  double straight_ = 0.0;  // the cheapest orthogonal and diagonal steps, shrunk
  double diagonal_ = 0.0;
};

}  // namespace veltrax::se2::detail
