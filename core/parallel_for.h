// Work on independent items spread over the machine's cores.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace quarnel {

// Below this many items a single thread does the work: starting threads
// costs more than it saves.
constexpr size_t kParallelItems = size_t(1) << 14;

// The same for items that each cost microseconds, as a polygon's ear
// clipping does.
constexpr size_t kParallelCostlyItems = 256;

// The most threads a call may use: 8 unless set lower (at 1 every call
// runs on the calling thread, as a check of the spread work needs).
inline std::atomic<size_t>& ParallelThreadLimit() {
  static std::atomic<size_t> limit{8};
  return limit;
}

// The number of threads ParallelFor uses for n items, none below fewest
// items (then one thread), each thread given at least a quarter of fewest.
inline size_t ParallelThreads(size_t n, size_t fewest = kParallelItems) {
  if (n < fewest) return 1;
  const size_t cores = std::max<size_t>(1, std::thread::hardware_concurrency());
  return std::max<size_t>(
      1, std::min({cores, ParallelThreadLimit().load(), n / std::max<size_t>(1, fewest / 4)}));
}

// Calls work(begin, end) on consecutive ranges that together cover [0, n),
// each range on a thread of its own; the ranges are the same for the same
// n and number of threads. Work on one range must not write what another
// range reads. An exception thrown on any thread is thrown again here once
// every thread has ended. fewest as for ParallelThreads.
template <class Work>
void ParallelForRanges(size_t n, Work&& work, size_t fewest = kParallelItems) {
  const size_t threads = ParallelThreads(n, fewest);
  if (threads <= 1) {
    if (n > 0) work(size_t(0), n);
    return;
  }
  std::vector<std::exception_ptr> failed(threads);
  auto run = [&](size_t t) {
    try {
      work(n * t / threads, n * (t + 1) / threads);
    } catch (...) {
      failed[t] = std::current_exception();
    }
  };
  {
    std::vector<std::jthread> pool;
    pool.reserve(threads - 1);
    for (size_t t = 1; t < threads; ++t) {
      // A thread the system cannot start leaves its range to this one.
      try {
        pool.emplace_back(run, t);
      } catch (const std::system_error&) {
        run(t);
      }
    }
    run(0);
  }
  for (const std::exception_ptr& e : failed)
    if (e) std::rethrow_exception(e);
}

// Calls work(i) for every i in [0, n), spread as ParallelForRanges does.
template <class Work>
void ParallelFor(size_t n, Work&& work, size_t fewest = kParallelItems) {
  ParallelForRanges(
      n,
      [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i)
          work(i);
      },
      fewest);
}

// Calls work(begin, end) on consecutive ranges that together cover [0, n)
// (one range [0, 0) for none), each on a thread of its own as
// ParallelForRanges spreads them, and returns what each call returned, in
// the order of the ranges.
template <class Work>
auto ParallelCollect(size_t n, Work&& work, size_t fewest = kParallelItems) {
  using Result = decltype(work(size_t(0), size_t(0)));
  const size_t parts = ParallelThreads(n, fewest);
  std::vector<Result> results(parts);
  ParallelFor(
      parts, [&](size_t t) { results[t] = work(n * t / parts, n * (t + 1) / parts); }, 1);
  return results;
}

// Sorts items in ascending order: ranges of them sorted on threads of
// their own, then neighbouring ranges merged, pairs of them at a time on
// threads of their own. Items that compare equal must be alike in every
// way that matters, as std::sort leaves them in no given order either.
template <class T>
void ParallelSort(std::vector<T>& items) {
  const auto at = [&](size_t i) {
    return items.begin() + std::ptrdiff_t(i);
  };
  // The ends of the ranges sorted so far.
  std::vector<size_t> ends = ParallelCollect(items.size(), [&](size_t begin, size_t end) {
    std::sort(at(begin), at(end));
    return end;
  });
  while (ends.size() > 1) {
    // Ranges 2k and 2k + 1 become one.
    ParallelFor(
        ends.size() / 2,
        [&](size_t k) {
          const size_t begin = k == 0 ? 0 : ends[2 * k - 1];
          std::inplace_merge(at(begin), at(ends[2 * k]), at(ends[2 * k + 1]));
        },
        1);
    std::vector<size_t> merged;
    for (size_t k = 1; k < ends.size(); k += 2)
      merged.push_back(ends[k]);
    if (ends.size() % 2 == 1) merged.push_back(ends.back());
    ends = std::move(merged);
  }
}

}  // namespace quarnel
