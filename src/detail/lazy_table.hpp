#pragma once

#include <cstddef>
#include <cstdint>

namespace veltrax::se2::detail {

// A table of 32-bit entries, all zero until written, backed by an anonymous private mapping so
// that only the pages a search actually touches cost physical memory. A 2000 x 2000 map at 72
// yaw bins has 288 million keys: writing them all would fault in 1.15 GB before the first
// expansion. Lookup stays a single array access.
class LazyTable {
 public:
  LazyTable() = default;
  ~LazyTable();
  LazyTable(const LazyTable&) = delete;
  LazyTable& operator=(const LazyTable&) = delete;

  std::size_t size() const noexcept { return size_; }

  // Replaces the table with `size` zero entries. Throws std::bad_alloc when the mapping fails;
  // the old table is kept then.
  void reset(std::size_t size);

  // Returns every page to the kernel; the entries read as zero again.
  void clear() noexcept;

  std::uint32_t* data() noexcept { return data_; }
  const std::uint32_t* data() const noexcept { return data_; }
  std::uint32_t& operator[](std::size_t i) noexcept { return data_[i]; }
  std::uint32_t operator[](std::size_t i) const noexcept { return data_[i]; }

  // Physical pages currently resident (for tests and benchmarks); 0 when unknown.
  std::size_t residentBytes() const noexcept;

 private:
  void release() noexcept;

  std::uint32_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t mapped_bytes_ = 0;
};

}  // namespace veltrax::se2::detail
