#include "io/record_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace quarnel {

void AdviseLargePages(const void* data, std::size_t bytes) {
  // Below a few large pages the faults saved do not pay for the call.
  constexpr std::size_t kLargePage = std::size_t(2) << 20;
  if (data == nullptr || bytes < 2 * kLargePage) return;
#ifdef MADV_HUGEPAGE
  const std::uintptr_t page = std::uintptr_t(sysconf(_SC_PAGESIZE));
  if (page == 0 || (page & (page - 1)) != 0) return;
  const std::uintptr_t begin = (std::uintptr_t(data) + page - 1) & ~(page - 1);
  const std::uintptr_t end = (std::uintptr_t(data) + bytes) & ~(page - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

}  // namespace quarnel
