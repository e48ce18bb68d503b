#include "detail/lazy_table.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

namespace veltrax::se2::detail {

LazyTable::~LazyTable() { release(); }

void LazyTable::release() noexcept {
  if (data_ != nullptr) {
    ::munmap(data_, mapped_bytes_);
  }
  data_ = nullptr;
  size_ = 0;
  mapped_bytes_ = 0;
  dirty_.clear();
  dirty_pages_ = 0;
  slots_ = std::vector<Slot>();
  used_slots_ = 0;
}

namespace {

constexpr std::size_t kFirstSlots = 1024;

std::size_t slotOf(std::uint64_t key, std::size_t mask) noexcept {
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) & mask;
}

}  // namespace

std::uint32_t LazyTable::hashedGet(std::size_t i) const noexcept {
  const std::size_t mask = slots_.size() - 1;
  const std::uint64_t tag = static_cast<std::uint64_t>(i) + 1;
  for (std::size_t s = slotOf(i, mask);; s = (s + 1) & mask) {
    const Slot& slot = slots_[s];
    if (slot.tag == 0) {
      return 0;
    }
    if (slot.tag == tag) {
      return slot.value;
    }
  }
}

void LazyTable::hashedSet(std::size_t i, std::uint32_t value) {
  if (2 * (used_slots_ + 1) > slots_.size()) {
    std::vector<Slot> old(slots_.size() * 2, Slot{0, 0});
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.tag != 0) {
        std::size_t s = slotOf(slot.tag - 1, mask);
        while (slots_[s].tag != 0) {
          s = (s + 1) & mask;
        }
        slots_[s] = slot;
      }
    }
  }
  const std::size_t mask = slots_.size() - 1;
  const std::uint64_t tag = static_cast<std::uint64_t>(i) + 1;
  std::size_t s = slotOf(i, mask);
  while (slots_[s].tag != 0 && slots_[s].tag != tag) {
    s = (s + 1) & mask;
  }
  used_slots_ += slots_[s].tag == 0 ? 1u : 0u;
  slots_[s] = Slot{tag, value};
}

void LazyTable::reset(std::size_t size) {
  if (size == 0) {
    release();
    return;
  }
  if (size > (~std::size_t{0}) / sizeof(std::uint32_t)) {
    throw std::bad_alloc();
  }
  const std::size_t bytes = size * sizeof(std::uint32_t);
  const std::size_t pages = (size + kEntriesPerPage - 1) / kEntriesPerPage;
  std::vector<std::uint64_t> dirty((pages + 63) / 64, 0);
  // MAP_NORESERVE: the table is sparse by design, so do not charge its whole size against the
  // commit limit up front.
  void* mapped = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mapped == MAP_FAILED) {
    resetHashed(size);
    return;
  }
  release();
  data_ = static_cast<std::uint32_t*>(mapped);
  size_ = size;
  mapped_bytes_ = bytes;
  dirty_ = std::move(dirty);
}

void LazyTable::resetHashed(std::size_t size) {
  // Tags are key + 1 in 64 bits.
  if (size == ~std::size_t{0}) {
    throw std::bad_alloc();
  }
  std::vector<Slot> slots(kFirstSlots, Slot{0, 0});
  release();
  size_ = size;
  slots_ = std::move(slots);
}

void LazyTable::clear() noexcept {
  std::fill(slots_.begin(), slots_.end(), Slot{0, 0});
  used_slots_ = 0;
  if (data_ != nullptr) {
    // Anonymous private pages read back as zero after MADV_DONTNEED.
    ::madvise(data_, mapped_bytes_, MADV_DONTNEED);
  }
  std::fill(dirty_.begin(), dirty_.end(), 0);
  dirty_pages_ = 0;
}

std::size_t LazyTable::residentBytes() const noexcept {
  if (data_ == nullptr) {
    return 0;
  }
  const long page = ::sysconf(_SC_PAGESIZE);
  if (page <= 0) {
    return 0;
  }
  const std::size_t page_size = static_cast<std::size_t>(page);
  const std::size_t pages = (mapped_bytes_ + page_size - 1) / page_size;
  std::vector<unsigned char> flags(pages);
  if (::mincore(data_, mapped_bytes_, flags.data()) != 0) {
    return 0;
  }
  std::size_t resident = 0;
  for (const unsigned char flag : flags) {
    resident += flag & 1u;
  }
  return resident * page_size;
}

}  // namespace veltrax::se2::detail
