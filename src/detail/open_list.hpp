#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

namespace veltrax::se2::detail {

// The search's open list: a 4-ary min-heap ordered by f, then h, then push order. The order is
// total (no two entries share a push number), so any correct heap pops the same sequence of
// nodes; four children per level halve the depth a pop walks down compared with a binary heap,
// and 24-byte entries keep more of the tree in cache than 32-byte ones with a 64-bit counter.
//
// Push numbers are 32 bits. When they run out, the live entries are renumbered 0, 1, ... in
// their old order, which keeps every comparison between them and so the heap as it is.
class OpenList {
 public:
  struct Entry {
    double f;
    double h;
    std::uint32_t node;
    std::uint32_t sequence;
  };

  // `sequence_limit` is the first push number never handed out; tests lower it to exercise the
  // renumbering.
  explicit OpenList(std::uint64_t sequence_limit = std::uint64_t{1} << 32)
      : sequence_limit_(std::min(sequence_limit, std::uint64_t{1} << 32)) {}

  void clear() noexcept {
    entries_.clear();
    next_sequence_ = 0;
  }
  void reserve(std::size_t n) { entries_.reserve(n); }
  bool empty() const noexcept { return entries_.empty(); }
  std::size_t size() const noexcept { return entries_.size(); }
  const Entry& top() const noexcept { return entries_.front(); }

  void push(double f, double h, std::uint32_t node) {
    if (next_sequence_ == sequence_limit_) {
      renumber();
    }
    entries_.push_back(Entry{f, h, node, static_cast<std::uint32_t>(next_sequence_++)});
    siftUp(entries_.size() - 1);
  }

  // Gives every entry the f of `f_of(entry)` and restores the heap. The order stays total, so the
  // sequence of pops is that of any heap of the new keys.
  template <class F>
  void rekey(F&& f_of) {
    for (Entry& e : entries_) {
      e.f = f_of(e);
    }
    for (std::size_t i = entries_.size() / 4 + 1; i-- > 0;) {
      if (i < entries_.size()) {
        siftDownFrom(i, entries_[i]);
      }
    }
  }

  // Removes the top entry and returns its node.
  std::uint32_t pop() noexcept {
    const std::uint32_t node = entries_.front().node;
    const Entry last = entries_.back();
    entries_.pop_back();
    if (!entries_.empty()) {
      siftDown(last);
    }
    return node;
  }

 private:
  static bool before(const Entry& a, const Entry& b) noexcept {
    if (a.f != b.f) {
      return a.f < b.f;
    }
    if (a.h != b.h) {
      return a.h < b.h;
    }
    return a.sequence < b.sequence;
  }

  void siftUp(std::size_t i) noexcept {
    const Entry moving = entries_[i];
    while (i > 0) {
      const std::size_t parent = (i - 1) / 4;
      if (!before(moving, entries_[parent])) {
        break;
      }
      entries_[i] = entries_[parent];
      i = parent;
    }
    entries_[i] = moving;
  }

  // Places `moving` into the hole at the root.
  void siftDown(const Entry& moving) noexcept { siftDownFrom(0, moving); }

  // Places `moving` into the hole at position i, whose subtrees are heaps.
  void siftDownFrom(std::size_t i, const Entry moving) noexcept {
    const std::size_t n = entries_.size();
    for (;;) {
      const std::size_t first = 4 * i + 1;
      if (first >= n) {
        break;
      }
      std::size_t best = first;
      const std::size_t end = std::min(first + 4, n);
      for (std::size_t c = first + 1; c < end; ++c) {
        if (before(entries_[c], entries_[best])) {
          best = c;
        }
      }
      if (!before(entries_[best], moving)) {
        break;
      }
      entries_[i] = entries_[best];
      i = best;
    }
    entries_[i] = moving;
  }

  void renumber() {
    if (entries_.size() >= sequence_limit_) {
      throw std::length_error("open list is too large");
    }
    std::vector<std::pair<std::uint32_t, std::uint32_t>> order;  // (push number, position)
    order.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      order.emplace_back(entries_[i].sequence, static_cast<std::uint32_t>(i));
    }
    std::sort(order.begin(), order.end());
    for (std::size_t k = 0; k < order.size(); ++k) {
      entries_[order[k].second].sequence = static_cast<std::uint32_t>(k);
    }
    next_sequence_ = order.size();
  }

  std::vector<Entry> entries_;
  std::uint64_t next_sequence_ = 0;
  std::uint64_t sequence_limit_;
};

}  // namespace veltrax::se2::detail
