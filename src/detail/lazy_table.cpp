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
    throw std::bad_alloc();
  }
  release();
  data_ = static_cast<std::uint32_t*>(mapped);
  size_ = size;
  mapped_bytes_ = bytes;
  dirty_ = std::move(dirty);
}

void LazyTable::clear() noexcept {
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
