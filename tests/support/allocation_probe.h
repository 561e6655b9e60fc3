// Watches the program's allocations: a program that links this replaces the
// global operator new with one that keeps the largest request and, while a
// limit is set, refuses every request of at least that many bytes, as a
// system short of memory refuses a large one.
#pragma once

#include <cstddef>

namespace quarnel::test {

// Requests of at least `bytes` throw std::bad_alloc from now on; 0 lifts
// the limit.
void FailAllocationsFrom(std::size_t bytes);
// The largest request since the last call, and a fresh start.
std::size_t TakeLargestAllocation();

}  // namespace quarnel::test
