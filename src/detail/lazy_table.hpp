#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace veltrax::se2::detail {

// A table of 32-bit entries, all zero until written, backed by an anonymous private mapping so
// that only the pages a search actually touches cost physical memory. A 2000 x 2000 map at 72
// yaw bins has 288 million keys: writing them all would fault in 1.15 GB before the first
// expansion. Lookup stays a single array access.
//
// Where the address space for the whole table cannot be had (a process under an address-space
// limit, or cells x bins far beyond any search), the entries live in a hash table instead, which
// grows with the entries written: slower per lookup, but a search then needs memory for what it
// touches only.
class LazyTable {
 public:
  LazyTable() = default;
  ~LazyTable();
  LazyTable(const LazyTable&) = delete;
  LazyTable& operator=(const LazyTable&) = delete;

  std::size_t size() const noexcept { return size_; }

  // Replaces the table with `size` zero entries, hashed when the mapping fails. Throws
  // std::bad_alloc when neither can be had; the old table is kept then.
  void reset(std::size_t size);
  // The same, hashed whatever the address space.
  void resetHashed(std::size_t size);

  bool hashed() const noexcept { return data_ == nullptr && size_ != 0; }
  // The mapped entries; null when hashed.
  const std::uint32_t* data() const noexcept { return data_; }

  // Returns every page to the kernel; the entries read as zero again.
  void clear() noexcept;

  std::uint32_t get(std::size_t i) const noexcept {
    return data_ != nullptr ? data_[i] : hashedGet(i);
  }

  void prefetch(std::size_t i) const noexcept {
    if (data_ != nullptr) {
      __builtin_prefetch(data_ + i);
    }
  }

  // Writes an entry and counts its page as dirty (see dirtyBytes). A hashed table takes only
  // non-zero values (clear() empties it).
  void set(std::size_t i, std::uint32_t value) {
    if (data_ == nullptr) {
      hashedSet(i, value);
      return;
    }
    data_[i] = value;
    const std::size_t page = i / kEntriesPerPage;
    std::uint64_t& word = dirty_[page / 64];
    const std::uint64_t bit = std::uint64_t{1} << (page % 64);
    dirty_pages_ += (word & bit) == 0 ? 1u : 0u;
    word |= bit;
  }

  // Bytes of the 4 KiB pages written through set() since the table was made or last cleared:
  // what the table holds resident, also after its entries were zeroed again.
  std::size_t dirtyBytes() const noexcept { return dirty_pages_ * kPageBytes; }

  // Physical pages currently resident (for tests and benchmarks); 0 when unknown.
  std::size_t residentBytes() const noexcept;

 private:
  static constexpr std::size_t kPageBytes = 4096;
  static constexpr std::size_t kEntriesPerPage = kPageBytes / sizeof(std::uint32_t);

  void release() noexcept;
  std::uint32_t hashedGet(std::size_t i) const noexcept;
  void hashedSet(std::size_t i, std::uint32_t value);

  std::uint32_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t mapped_bytes_ = 0;
  std::vector<std::uint64_t> dirty_;  // one bit per page
  std::size_t dirty_pages_ = 0;
  // Hashed mode: key + 1 and value per slot, tag 0 for an empty slot; a power-of-two size kept at
  // most half full.
  struct Slot {
    std::uint64_t tag;
    std::uint32_t value;
  };
  std::vector<Slot> slots_;
  std::size_t used_slots_ = 0;
};

}  // namespace veltrax::se2::detail
