#include "detail/lazy_field.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace veltrax::se2::detail {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr std::uint64_t kInfinityBits = 0x7FF0000000000000ull;
constexpr std::size_t kPollInterval = 4096;

struct Later {
  template <typename Entry>
  bool operator()(const Entry& a, const Entry& b) const noexcept {
    return a.key > b.key;
  }
};

}  // namespace

LazyObstacleField::LazyObstacleField(std::uint64_t width, std::uint64_t height,
                                     const StepCosts& costs, GridIndex goal)
    : width_(width), height_(height), costs_(costs), goal_(goal.y * width + goal.x) {
  const std::uint64_t cells = width * height;
  if (cells > (~std::size_t{0}) / sizeof(std::uint64_t)) {
    throw std::bad_alloc();
  }
  mapped_bytes_ = static_cast<std::size_t>(cells) * sizeof(std::uint64_t);
  // Only the pages of cells the search reaches are ever touched.
  void* mapped = ::mmap(nullptr, mapped_bytes_, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mapped == MAP_FAILED) {
    throw std::bad_alloc();
  }
  values_ = static_cast<std::uint64_t*>(mapped);
  put(goal_, 0.0);
  push(0.0, goal_);
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

// Entering `to` by a diagonal step or not: the entered cell's byte prices the step, as in the
// whole-map field.
double LazyObstacleField::step(std::uint64_t to, bool diagonal) const noexcept {
  return diagonal ? costs_.diagonal[cells_[to]] : costs_.orthogonal[cells_[to]];
}

template <typename Visit>
void LazyObstacleField::forEachNeighbour(std::uint64_t cell, Visit&& visit) const {
  const std::uint64_t x = cell % width_;
  const std::uint64_t y = cell / width_;
  if (x > 0 && y > 0 && x + 1 < width_ && y + 1 < height_) {
    const std::uint64_t up = cell + width_;
    const std::uint64_t down = cell - width_;
    visit(cell + 1, false);
    visit(cell - 1, false);
    visit(up, false);
    visit(down, false);
    visit(up + 1, true);
    visit(down + 1, true);
    visit(up - 1, true);
    visit(down - 1, true);
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
            dx != 0 && dy != 0);
    }
  }
}

void LazyObstacleField::push(double key, std::uint64_t cell) {
  open_.push_back(Entry{key, cell});
  std::push_heap(open_.begin(), open_.end(), Later{});
}

double LazyObstacleField::frontier() const noexcept {
  return open_.empty() ? kInfinity : open_.front().key;
}

void LazyObstacleField::settleNext() {
  std::pop_heap(open_.begin(), open_.end(), Later{});
  const Entry entry = open_.back();
  open_.pop_back();
  if (entry.key != get(entry.cell)) {
    return;  // superseded by a cheaper entry
  }
  const double d = entry.key;
  forEachNeighbour(entry.cell, [&](std::uint64_t neighbour, bool diagonal) {
    const double candidate = step(neighbour, diagonal) + d;
    if (get(neighbour) > candidate) {
      put(neighbour, candidate);
      push(candidate, neighbour);
    }
  });
}

double LazyObstacleField::at(std::uint64_t cell, const std::function<void()>& poll) {
  // A blocking cell other than the goal is never entered.
  if (cell != goal_ && !(costs_.orthogonal[cells_[cell]] < kInfinity)) {
    return kInfinity;
  }
  // Every step costs more than nothing, so no value at or below the open list's smallest key can
  // still fall.
  std::size_t until_poll = kPollInterval;
  while (get(cell) > frontier()) {
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

void LazyObstacleField::repair(const std::vector<std::uint64_t>& changed) {
  const double settled = frontier();
  // Every value leaning on a changed cell: a value equal to a dropped neighbour's old value plus
  // the step from it may have come from there. Dropped cells read NaN while this runs.
  const double kDropped = std::numeric_limits<double>::quiet_NaN();
  std::vector<std::pair<std::uint64_t, double>> dropped;
  for (const std::uint64_t cell : changed) {
    const double old = get(cell);
    if (cell == goal_ || std::isnan(old)) {
      continue;
    }
    put(cell, kDropped);
    dropped.emplace_back(cell, old);
  }
  for (std::size_t i = 0; i < dropped.size(); ++i) {
    const auto [cell, old] = dropped[i];
    if (!(old < kInfinity)) {
      continue;
    }
    forEachNeighbour(cell, [&](std::uint64_t neighbour, bool diagonal) {
      const double value = get(neighbour);
      if (neighbour != goal_ && value < kInfinity && value == step(neighbour, diagonal) + old) {
        put(neighbour, kDropped);
        dropped.emplace_back(neighbour, value);
      }
    });
  }
  // Each dropped cell starts again from its intact neighbours that were final; neighbours still
  // open reach it when they are settled.
  std::vector<double> restart(dropped.size(), kInfinity);
  for (std::size_t i = 0; i < dropped.size(); ++i) {
    const std::uint64_t cell = dropped[i].first;
    forEachNeighbour(cell, [&](std::uint64_t neighbour, bool diagonal) {
      const double value = get(neighbour);
      if (value < settled) {
        restart[i] = std::min(restart[i], step(cell, diagonal) + value);
      }
    });
  }
  for (std::size_t i = 0; i < dropped.size(); ++i) {
    put(dropped[i].first, restart[i]);
    if (restart[i] < kInfinity) {
      push(restart[i], dropped[i].first);
    }
  }
  // Settled again up to where the field was, so that every value below it is final and has
  // reached its neighbours, as before the change.
  while (frontier() < settled) {
    settleNext();
  }
}

}  // namespace veltrax::se2::detail
