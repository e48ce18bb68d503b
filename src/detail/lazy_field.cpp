#include "detail/lazy_field.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "detail/clearance.hpp"

namespace veltrax::se2::detail {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr std::uint64_t kInfinityBits = 0x7FF0000000000000ull;
constexpr std::size_t kPollInterval = 4096;

}  // namespace

namespace {

void* mapZeroPages(std::size_t bytes) {
  // Only the pages of cells the search reaches are ever touched.
  void* mapped = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mapped == MAP_FAILED) {
    throw std::bad_alloc();
  }
  return mapped;
}

}  // namespace

ClearanceTiles::ClearanceTiles(std::uint64_t width, std::uint64_t height, bool allow_unknown,
                               double clearance)
    : width_(width),
      height_(height),
      tiles_x_((width + kSide - 1) / kSide),
      allow_unknown_(allow_unknown),
      clearance_(clearance) {
  const std::uint64_t tiles = tiles_x_ * ((height + kSide - 1) / kSide);
  built_.assign(static_cast<std::size_t>(tiles), 0);
  mapped_bytes_ = static_cast<std::size_t>(tiles * kSide * kSide);
  data_ = static_cast<std::uint8_t*>(mapZeroPages(mapped_bytes_));
}

ClearanceTiles::~ClearanceTiles() { ::munmap(data_, mapped_bytes_); }

void ClearanceTiles::build(std::uint64_t tile, std::uint8_t* out) const {
  const std::uint64_t x0 = (tile % tiles_x_) * kSide;
  const std::uint64_t y0 = (tile / tiles_x_) * kSide;
  blockNearObstaclesIn(*map_, allow_unknown_, clearance_, x0, y0, std::min(x0 + kSide, width_),
                       std::min(y0 + kSide, height_), out, kSide);
}

void ClearanceTiles::refresh(const std::vector<CellWindow>& windows,
                             std::vector<std::uint64_t>& changed) {
  // A changed cell moves the marks of the blocking cells within the disc's extent of it, and the
  // border status of its neighbours: one cell more.
  const auto reach = static_cast<std::uint64_t>(std::ceil(clearance_ / map_->resolution())) + 1;
  std::vector<std::uint8_t> fresh(kSide * kSide);
  std::vector<std::uint64_t> tiles;
  for (const CellWindow& w : windows) {
    const std::uint64_t tx0 = (w.x0 > reach ? w.x0 - reach : 0) / kSide;
    const std::uint64_t ty0 = (w.y0 > reach ? w.y0 - reach : 0) / kSide;
    const std::uint64_t tx1 = (std::min(w.x1 + reach, width_) - 1) / kSide;
    const std::uint64_t ty1 = (std::min(w.y1 + reach, height_) - 1) / kSide;
    for (std::uint64_t ty = ty0; ty <= ty1; ++ty) {
      for (std::uint64_t tx = tx0; tx <= tx1; ++tx) {
        tiles.push_back(ty * tiles_x_ + tx);
      }
    }
  }
  std::sort(tiles.begin(), tiles.end());
  tiles.erase(std::unique(tiles.begin(), tiles.end()), tiles.end());
  for (const std::uint64_t tile : tiles) {
    if (!built_[tile]) {
      continue;  // never read, so nothing leaned on it
    }
    build(tile, fresh.data());
    std::uint8_t* stored = data_ + tile * kSide * kSide;
    const std::uint64_t x0 = (tile % tiles_x_) * kSide;
    const std::uint64_t y0 = (tile / tiles_x_) * kSide;
    for (std::uint64_t y = y0; y < std::min(y0 + kSide, height_); ++y) {
      for (std::uint64_t x = x0; x < std::min(x0 + kSide, width_); ++x) {
        const std::uint64_t k = (y - y0) * kSide + x - x0;
        if (stored[k] != fresh[k]) {
          stored[k] = fresh[k];
          changed.push_back(y * width_ + x);
        }
      }
    }
  }
}

LazyObstacleField::LazyObstacleField(std::uint64_t width, std::uint64_t height,
                                     const StepCosts& costs, GridIndex goal, bool allow_unknown,
                                     double clearance)
    : width_(width), height_(height), costs_(costs), goal_(goal.y * width + goal.x) {
  if (clearance > 0.0) {
    tiles_ = std::make_unique<ClearanceTiles>(width, height, allow_unknown, clearance);
  }
  const std::uint64_t cells = width * height;
  if (cells > (~std::size_t{0}) / sizeof(std::uint64_t)) {
    throw std::bad_alloc();
  }
  mapped_bytes_ = static_cast<std::size_t>(cells) * sizeof(std::uint64_t);
  values_ = static_cast<std::uint64_t*>(mapZeroPages(mapped_bytes_));
  put(goal_, 0.0);
  push(0.0, goal_, goal.x, goal.y);
}

LazyObstacleField::~LazyObstacleField() { ::munmap(values_, mapped_bytes_); }

double LazyObstacleField::get(std::uint64_t cell) const noexcept {
  const std::uint64_t bits = values_[cell] ^ kInfinityBits;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void LazyObstacleField::put(std::uint64_t cell, double value) noexcept {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  values_[cell] = bits ^ kInfinityBits;
}

template <typename Visit>
void LazyObstacleField::forEachNeighbour(std::uint64_t cell, std::uint64_t x, std::uint64_t y,
                                         Visit&& visit) const {
  if (x > 0 && y > 0 && x + 1 < width_ && y + 1 < height_) {
    const std::uint64_t up = cell + width_;
    const std::uint64_t down = cell - width_;
    visit(cell + 1, x + 1, y, false);
    visit(cell - 1, x - 1, y, false);
    visit(up, x, y + 1, false);
    visit(down, x, y - 1, false);
    visit(up + 1, x + 1, y + 1, true);
    visit(down + 1, x + 1, y - 1, true);
    visit(up - 1, x - 1, y + 1, true);
    visit(down - 1, x - 1, y - 1, true);
    return;
  }
  for (int dy = -1; dy <= 1; ++dy) {
    if ((dy < 0 && y == 0) || (dy > 0 && y + 1 >= height_)) {
      continue;
    }
    for (int dx = -1; dx <= 1; ++dx) {
      if ((dx == 0 && dy == 0) || (dx < 0 && x == 0) || (dx > 0 && x + 1 >= width_)) {
        continue;
      }
      visit(static_cast<std::uint64_t>(static_cast<std::int64_t>(cell) + dx +
                                       dy * static_cast<std::int64_t>(width_)),
            static_cast<std::uint64_t>(static_cast<std::int64_t>(x) + dx),
            static_cast<std::uint64_t>(static_cast<std::int64_t>(y) + dy), dx != 0 && dy != 0);
    }
  }
}

double LazyObstacleField::estimate(std::uint64_t x, std::uint64_t y) const noexcept {
  if (!aimed_) {
    return 0.0;
  }
  const auto dx = static_cast<double>(x > aim_x_ ? x - aim_x_ : aim_x_ - x);
  const auto dy = static_cast<double>(y > aim_y_ ? y - aim_y_ : aim_y_ - y);
  const double low = std::min(dx, dy);
  return straight_ * (std::max(dx, dy) - low) + diagonal_ * low;
}

void LazyObstacleField::aim(GridIndex target) {
  if (aimed_ && target.x == aim_x_ && target.y == aim_y_) {
    return;
  }
  if (!aimed_) {
    // The cheapest steps over every byte. Octile distance at these is consistent while a diagonal
    // step costs between one and two straight ones; the millionth taken off leaves a slack far
    // above the rounding of any sum of steps. Otherwise the search stays unaimed.
    double straight = kInfinity;
    double diagonal = kInfinity;
    for (std::size_t b = 0; b < costs_.orthogonal.size(); ++b) {
      straight = std::min(straight, costs_.orthogonal[b]);
      diagonal = std::min(diagonal, costs_.diagonal[b]);
    }
    if (!(straight > 0.0 && straight < kInfinity && diagonal >= straight &&
          diagonal <= 2.0 * straight)) {
      return;
    }
    straight_ = straight * (1.0 - 1e-6);
    diagonal_ = diagonal * (1.0 - 1e-6);
  }
  aimed_ = true;
  aim_x_ = target.x;
  aim_y_ = target.y;
  // Every closed cell is final and has reached its neighbours whatever the order, so only the
  // open list's keys change; superseded entries go.
  open_.rewrite([&](Entry& entry) {
    entry.key = entry.value + estimate(entry.cell % width_, entry.cell / width_);
    return entry.value == get(entry.cell);
  });
}

void LazyObstacleField::push(double value, std::uint64_t cell, std::uint64_t x, std::uint64_t y) {
  open_.push(Entry{value + estimate(x, y), value, cell});
}

double LazyObstacleField::frontier() { return open_.empty() ? kInfinity : open_.frontKey(); }

void LazyObstacleField::settleNext() {
  const Entry entry = open_.pop();
  if (entry.value != get(entry.cell)) {
    return;  // superseded by a cheaper entry
  }
  const double d = entry.value;
  const std::uint64_t x = entry.cell % width_;
  const std::uint64_t y = entry.cell / width_;
  forEachNeighbour(entry.cell, x, y,
                   [&](std::uint64_t neighbour, std::uint64_t nx, std::uint64_t ny, bool diagonal) {
                     const double candidate = step(neighbour, nx, ny, diagonal) + d;
                     if (get(neighbour) > candidate) {
                       put(neighbour, candidate);
                       push(candidate, neighbour, nx, ny);
                     }
                   });
}

double LazyObstacleField::at(std::uint64_t cell, const std::function<void()>& poll) {
  // A blocking cell other than the goal is never entered.
  const std::uint64_t x = cell % width_;
  const std::uint64_t y = cell / width_;
  if (cell != goal_ && !(costs_.orthogonal[byte(cell, x, y)] < kInfinity)) {
    return kInfinity;
  }
  // Every step costs more than nothing and the estimate is consistent, so no value whose key
  // would be at or below the open list's smallest can still fall.
  std::size_t until_poll = kPollInterval;
  const double ahead = estimate(x, y);
  while (get(cell) + ahead > frontier()) {
    if (--until_poll == 0) {
      until_poll = kPollInterval;
      if (poll) {
        poll();
      }
    }
    settleNext();
  }
  return get(cell);
}

void LazyObstacleField::repair(const std::vector<CellWindow>& windows) {
  std::vector<std::uint64_t> changed;
  if (tiles_) {
    tiles_->refresh(windows, changed);
  } else {
    for (const CellWindow& w : windows) {
      for (std::uint64_t y = w.y0; y < w.y1; ++y) {
        for (std::uint64_t x = w.x0; x < w.x1; ++x) {
          changed.push_back(y * width_ + x);
        }
      }
    }
  }
  repairCells(changed);
}

void LazyObstacleField::repairCells(const std::vector<std::uint64_t>& changed) {
  // Every value is at least a neighbour's plus the step from it (equal when it was set; the
  // neighbour may have fallen since). A value that a dropped cell's old one could have given is
  // dropped too, unless an intact neighbour still gives it as much: then it is no lower than a
  // route on the new map, and the routes that only tied with the changed cells' keep their cells.
  // Cells are decided in order of their values, each above the neighbour that gives it, so
  // every neighbour that could give a cell its value is decided before it. Dropped cells read
  // NaN while this runs.
  const double kDropped = std::numeric_limits<double>::quiet_NaN();
  std::vector<std::pair<std::uint64_t, double>> dropped;
  struct Candidate {
    double key;  // the value
    std::uint64_t cell;
  };
  // Every candidate is pushed above the value of the cell that pushed it.
  RadixQueue<Candidate> candidates;
  const auto drop = [&](std::uint64_t cell, double old) {
    put(cell, kDropped);
    dropped.emplace_back(cell, old);
    if (!(old < kInfinity)) {
      return;
    }
    forEachNeighbour(
        cell, cell % width_, cell / width_,
        [&](std::uint64_t neighbour, std::uint64_t nx, std::uint64_t ny, bool diagonal) {
          const double value = get(neighbour);
          if (neighbour != goal_ && value < kInfinity &&
              value >= step(neighbour, nx, ny, diagonal) + old) {
            candidates.push(Candidate{value, neighbour});
          }
        });
  };
  for (const std::uint64_t cell : changed) {
    const double old = get(cell);
    if (cell != goal_ && !std::isnan(old)) {
      drop(cell, old);
    }
  }
  while (!candidates.empty()) {
    // Plain copies, not a structured binding: the lambdas below capture them.
    const Candidate top = candidates.pop();
    const double value = top.key;
    const std::uint64_t cell = top.cell;
    if (!(get(cell) == value)) {
      continue;  // dropped already
    }
    const std::uint64_t x = cell % width_;
    const std::uint64_t y = cell / width_;
    bool given = false;
    forEachNeighbour(
        cell, x, y, [&](std::uint64_t neighbour, std::uint64_t, std::uint64_t, bool diagonal) {
          const double from = get(neighbour);  // NaN when dropped
          given = given || (from < value && step(cell, x, y, diagonal) + from <= value);
        });
    if (!given) {
      drop(cell, value);
    }
  }
  // Each dropped cell starts again from its intact neighbours: a final value, or a route a
  // neighbour still open improves on when it is settled (and then reaches it). Whatever the cells
  // the settling order closed, every value is at least a route's cost and every one set is queued.
  std::vector<double> restart(dropped.size(), kInfinity);
  for (std::size_t i = 0; i < dropped.size(); ++i) {
    const std::uint64_t cell = dropped[i].first;
    const std::uint64_t x = cell % width_;
    const std::uint64_t y = cell / width_;
    forEachNeighbour(cell, x, y,
                     [&](std::uint64_t neighbour, std::uint64_t, std::uint64_t, bool diagonal) {
                       const double value = get(neighbour);
                       if (value < kInfinity) {
                         restart[i] = std::min(restart[i], step(cell, x, y, diagonal) + value);
                       }
                     });
  }
  for (std::size_t i = 0; i < dropped.size(); ++i) {
    put(dropped[i].first, restart[i]);
    if (restart[i] < kInfinity) {
      push(restart[i], dropped[i].first, dropped[i].first % width_, dropped[i].first / width_);
    }
  }
}

}  // namespace veltrax::se2::detail
