// Memory of the large record arrays that a load fills.
#pragma once

#include <cstddef>
#include <vector>

namespace quarnel {

// Asks the system to back a large block of memory that is about to be
// filled with large pages where it can: a load of millions of records
// otherwise spends most of its time taking one page fault per 4 KiB. Only
// whole pages inside the block are affected; nothing is allocated or
// touched here, and a system that declines leaves everything as it was.
void AdviseLargePages(const void* data, std::size_t bytes);

// The same for the unused capacity of a vector whose records are about to
// be appended.
template <class T>
void AdviseLargePagesForGrowth(const std::vector<T>& v) {
  AdviseLargePages(v.data() + v.size(), (v.capacity() - v.size()) * sizeof(T));
}

}  // namespace quarnel
