#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace veltrax::se2::detail {

// A min-queue of entries on non-negative double keys (`Entry::key`) for searches whose keys never
// fall below the last one taken: a radix heap over the keys' bits, which order non-negative
// doubles as the numbers do. A push is an append, and an entry moves to a lower bucket at most
// 64 times over its life, so a settle costs a few cache lines where a binary heap costs a walk
// down its levels. A push below the last key taken (a repair restarting cells, a re-aimed
// search) is allowed: the queue is sorted afresh into its buckets before its front is next read.
template <typename Entry>
class RadixQueue {
 public:
  bool empty() const noexcept { return size_ == 0; }

  // Empties the queue, keeping its storage for the next use.
  void clear() noexcept {
    for (std::vector<Entry>& bucket : buckets_) {
      bucket.clear();
    }
    scratch_.clear();
    filled_ = 0;
    last_ = 0;
    size_ = 0;
    stale_ = false;
  }

  void push(const Entry& entry) {
    const std::uint64_t bits = keyBits(entry.key);
    if (bits < last_) {
      stale_ = true;
      buckets_[0].push_back(entry);
    } else {
      place(entry, bits);
    }
    ++size_;
  }

  // The smallest key; not for an empty queue.
  double frontKey() {
    settleFront();
    return buckets_[0].back().key;
  }

  // Takes an entry of the smallest key; not for an empty queue.
  Entry pop() {
    settleFront();
    const Entry entry = buckets_[0].back();
    buckets_[0].pop_back();
    --size_;
    return entry;
  }

  // Calls change(entry) on every entry, which may change its key and returns whether to keep it.
  template <typename Change>
  void rewrite(Change&& change) {
    gather();
    std::size_t kept = 0;
    for (Entry& entry : scratch_) {
      if (change(entry)) {
        scratch_[kept++] = entry;
      }
    }
    scratch_.resize(kept);
    distribute();
  }

 private:
  static std::uint64_t keyBits(double key) noexcept {
    const double positive = key > 0.0 ? key : 0.0;  // and -0.0 as +0.0
    std::uint64_t bits = 0;
    std::memcpy(&bits, &positive, sizeof bits);
    return bits;
  }

  std::size_t bucketOf(std::uint64_t bits) const noexcept {
    const std::uint64_t differ = bits ^ last_;
    return differ == 0 ? 0 : static_cast<std::size_t>(64 - __builtin_clzll(differ));
  }

  void place(const Entry& entry, std::uint64_t bits) {
    const std::size_t b = bucketOf(bits);
    buckets_[b].push_back(entry);
    if (b != 0) {
      filled_ |= std::uint64_t{1} << (b - 1);
    }
  }

  // Every entry into scratch_, the buckets emptied.
  void gather() {
    scratch_.clear();
    for (std::vector<Entry>& bucket : buckets_) {
      scratch_.insert(scratch_.end(), bucket.begin(), bucket.end());
      bucket.clear();
    }
    filled_ = 0;
  }

  // scratch_'s entries into the buckets, below the smallest of them.
  void distribute() {
    last_ = ~std::uint64_t{0};
    for (const Entry& entry : scratch_) {
      const std::uint64_t bits = keyBits(entry.key);
      last_ = bits < last_ ? bits : last_;
    }
    for (const Entry& entry : scratch_) {
      place(entry, keyBits(entry.key));
    }
    size_ = scratch_.size();
    stale_ = false;
  }

  // Makes bucket 0 hold the entries of the smallest key.
  void settleFront() {
    if (stale_) {
      gather();
      distribute();
    }
    if (!buckets_[0].empty()) {
      return;
    }
    const auto i = static_cast<std::size_t>(__builtin_ctzll(filled_)) + 1;
    filled_ &= filled_ - 1;
    std::vector<Entry>& bucket = buckets_[i];
    std::uint64_t smallest = ~std::uint64_t{0};
    for (const Entry& entry : bucket) {
      const std::uint64_t bits = keyBits(entry.key);
      smallest = bits < smallest ? bits : smallest;
    }
    // Every entry of bucket i shares the bits above its bit i - 1 with the new last key, so each
    // goes to a bucket below i.
    last_ = smallest;
    for (const Entry& entry : bucket) {
      place(entry, keyBits(entry.key));
    }
    bucket.clear();
  }

  std::array<std::vector<Entry>, 65> buckets_;
  std::vector<Entry> scratch_;
  std::uint64_t filled_ = 0;  // bit b - 1 set while bucket b (1 to 64) holds entries
  std::uint64_t last_ = 0;
  std::size_t size_ = 0;
  bool stale_ = false;
};

}  // namespace veltrax::se2::detail
