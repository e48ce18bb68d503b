#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "detail/radix_queue.hpp"
#include "veltrax/se2/costmap.hpp"
#include "veltrax/se2/costs.hpp"
#include "veltrax/se2/footprint.hpp"
#include "veltrax/se2/geometry.hpp"
#include "veltrax/se2/primitives.hpp"

namespace veltrax::se2::detail {

class ZeroCostRegions;

// What it costs a car to reach the goal from a pose, manoeuvres and walls included, estimated on a
// coarse lattice around the goal: cells a move wide, 24 yaw bins, and the direction of the next
// motion, searched backward from the goal with arcs of the turning radius and straight moves of
// one bin's arc, priced per metre as the transition costs price them. Each state keeps the place
// it was reached at and moves on from there, so straight lines stay straight at every heading
// (from cell centres they would bend toward the cells' diagonals). A pose is passable unless one
// of the footprint's inscribed discs surely collides, so walls only ever make the estimate
// longer where the car cannot pass. Not a lower bound (the lattice merges ways within a cell),
// but one that foresees a three-point turn, where the 2-D distance and the obstacle-free curve
// both see almost nothing.
class ManoeuvreField {
 public:
  struct Prices {
    double radius = 1.0;
    double reverse_per_metre = 0.0;
    double non_straight_per_metre = 0.0;
    double cusp = 0.0;
    double cost_penalty = 0.0;
    bool allow_reverse = true;
  };

  // `disc_radius` is the footprint's inscribed radius about its origin; discs of it along the
  // robot's x axis decide which states are blocked. Steps are priced with the highest cost under
  // the discs' centres and points of the outline, as the search prices them. The
  // field covers the start and the goal and three radii plus the footprint's reach around them (an
  // edge between the two would mislead the search); it stays empty (every estimate 0) when that
  // takes more than `most_states` states or a move is shorter than a costmap cell. `poll` is
  // called every few thousand states; an exception it throws ends the build.
  // `zero`, the costmap's zero-cost table when it has one, answers states over empty ground
  // without looking at their points. The costmap and `zero` must outlive the field's reads.
  //
  // The search back runs here only until the start is settled; `at` resumes it as far as the
  // pose it reads needs, so a search that reads only states near its way pays for no others. It
  // is aimed at the start (see aim()): the start settles across a band between it and the goal
  // rather than after a disc around the goal as wide as the trip.
  //
  // `aimed` false settles in order of value alone, which reads the same estimates, only by more
  // work: the search back aimed at the start is checked against it.
  void build(const Costmap& costmap, bool allow_unknown, const Footprint& footprint,
             double disc_radius, const Pose2D& start, const Pose2D& goal, const Prices& prices,
             std::uint64_t most_states, const ZeroCostRegions* zero,
             const std::function<void()>& poll, bool aimed = true);

  bool empty() const noexcept { return values_.empty(); }

  // The estimate for a pose reached by a motion of direction `arrival` (ROTATION: none yet); 0
  // outside the field or where the lattice found no way (the bound below, once a state was
  // found beyond it). The search back goes no further than one and a half times the start's
  // estimate (plus a few cusps); states beyond read that bound. The same value whenever it is
  // read: the search back is resumed until no later state could lower it.
  // `poll` as for build; an exception it throws leaves the field whole.
  double at(const Pose2D& pose, Direction arrival, const std::function<void()>& poll = {});

  // Runs the search back to its end (what reading every state would do).
  void settleAll(const std::function<void()>& poll = {});

 private:
  static constexpr std::uint32_t kBins = 24;

  // A move back from a state of some yaw bin: its predecessor lies (dx, dy) away in `bin`.
  struct Move {
    double dx;
    double dy;
    std::uint32_t bin;
    int direction;
    double cost;
  };
  // Its key is the state's value plus its aim (see aim()), in double: the sum of a float value
  // and the aim must keep the order the aim's margin leaves between a state and its successors.
  // The value it was queued with tells a stale entry without the aim.
  struct Entry {
    double key;
    std::uint32_t at;
    float value;
  };

  // A lower bound of the cost between the start's cell and cell (i, j) (0 without a start in the
  // field): the search back settles states in order of value plus aim, so it reaches the start
  // across a band toward it instead of a disc around the goal, and every value it settles is
  // still the cheapest way (the aim never drops by more than a move costs). See findAims().
  double aim(std::int64_t i, std::int64_t j) const {
    return aims_.empty() ? 0.0 : aims_[static_cast<std::size_t>(j * nx_ + i)];
  }
  // The aim of every cell: the cheapest way to the start's cell over the cells, a step to any
  // of the eight neighbours priced at what a move into the cell surely costs.
  void findAims(std::int64_t si, std::int64_t sj, double length);
  // Where a state's centre lies in costmap cells, the origin of its points.
  std::array<double, 2> centreInCells(std::int64_t i, std::int64_t j) const;

  std::uint64_t index(std::int64_t i, std::int64_t j, std::uint32_t t, int d) const {
    return ((static_cast<std::uint64_t>(j) * nx_ + static_cast<std::uint64_t>(i)) * kBins + t) * 2 +
           static_cast<std::uint64_t>(d);
  }

  // The cell of a place, floor(place / cell_): by the reciprocal, which gives the same floor
  // unless the quotient lies within a hair of a whole number, where the division decides.
  std::int64_t cellOf(float place) const {
    const double q = static_cast<double>(place) * inverse_cell_;
    const auto k = static_cast<std::int64_t>(q);  // places are non-negative
    const double rest = q - static_cast<double>(k);
    if (rest > 1e-6 && rest < 1.0 - 1e-6) {
      return k;
    }
    const double exact = static_cast<double>(place) / cell_;
    const auto f = static_cast<std::int64_t>(exact);
    return static_cast<double>(f) > exact ? f - 1 : f;
  }

  // Per cell and yaw: 1 blocked, otherwise 2 plus the highest cost under the footprint there.
  std::uint16_t look(std::int64_t i, std::int64_t j, std::uint32_t t);
  // Settles the next state of the search back; false once it is over.
  bool settleNext(const std::function<void()>& poll);

  double x0_ = 0.0;
  double y0_ = 0.0;
  double cell_ = 1.0;
  double inverse_cell_ = 1.0;
  std::int64_t nx_ = 0;
  std::int64_t ny_ = 0;
  double extent_x_ = 0.0;  // nx_ and ny_ cells, in metres
  double extent_y_ = 0.0;
  double cusp_ = 0.0;
  bool beyond_ = false;       // a state dearer than stop_ was reached: unreachable ones read stop_
  std::vector<double> aims_;  // per cell, empty when not aimed
  std::vector<double> aim_prices_;
  std::vector<std::pair<double, std::uint32_t>> aim_queue_;
  std::vector<float> values_;
  // Per state with a value, the place (metres from the field's corner) it was reached at.
  std::vector<std::array<float, 2>> where_;

  // Whether place a comes before place b in cell (i, j): nearer its centre, then by x, then y.
  bool nearerCentre(const std::array<float, 2>& a, const std::array<float, 2>& b, std::int64_t i,
                    std::int64_t j) const {
    const double cx = (static_cast<double>(i) + 0.5) * cell_;
    const double cy = (static_cast<double>(j) + 0.5) * cell_;
    const double da = (a[0] - cx) * (a[0] - cx) + (a[1] - cy) * (a[1] - cy);
    const double db = (b[0] - cx) * (b[0] - cx) + (b[1] - cy) * (b[1] - cy);
    if (da != db) {
      return da < db;
    }
    return a[0] != b[0] ? a[0] < b[0] : a[1] < b[1];
  }

  // The search back, between reads.
  RadixQueue<Entry> open_;
  bool over_ = true;
  float stop_ = 0.0F;
  double stop_margin_ = 0.0;  // added to 1.5 times the start's value to make stop_
  std::uint64_t start_state_ = 0;
  std::uint64_t popped_ = 0;
  std::vector<Move> moves_;
  std::size_t per_bin_ = 0;
  std::array<double, std::size_t{kMaxGradedCost} + 1> cost_price_{};  // per graded cost

  // What look() reads: the costmap, the states seen so far, and the footprint's points.
  const Costmap* costmap_ = nullptr;
  const ZeroCostRegions* zero_ = nullptr;
  bool allow_unknown_ = false;
  std::vector<std::uint16_t> seen_;   // 0 while not yet looked at
  std::vector<std::uint8_t> marked_;  // the discs' cells over the field, blocking ones lethal
  std::uint64_t first_x_ = 0;
  std::uint64_t first_y_ = 0;
  std::uint64_t last_x_ = 0;
  std::uint64_t last_y_ = 0;
  std::int64_t pad_ = 0;
  std::size_t centres_ = 0;
  std::size_t points_ = 0;
  std::vector<Point2D> turned_;               // the points turned to each yaw bin, in cells
  std::vector<std::array<double, 4>> boxes_;  // per yaw bin, the box of the turned points
};

}  // namespace veltrax::se2::detail
