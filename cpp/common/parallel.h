// Work split over threads without changing any result.
//
// Parallel::For runs fn(task) for every task of [0, n) on `threads` threads,
// the caller's thread among them, handing out tasks in order as threads
// become free.  Results never depend on which thread runs a task: callers
// give each task its own outputs (a range of pairs, of rows, of shapes) so
// that every accumulator is summed by one task in a fixed order.
//
// The caller's thread also reports progress and polls the reporter (a
// binding checks for Ctrl-C there) every few milliseconds between its tasks.
// An exception from any task or from the reporter stops the hand-out; the
// running tasks finish, and the first exception reaches the caller.
#ifndef QAZ_COMMON_PARALLEL_H_
#define QAZ_COMMON_PARALLEL_H_

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <vector>

#include "common/reporter.h"

namespace qaz {

// The number of CPUs this process may run on (sched_getaffinity), at least 1.
int AvailableCpus();

class Parallel {
 public:
  // `threads` < 1 means AvailableCpus().
  explicit Parallel(int threads = 0);
  int threads() const { return threads_; }

  // fn(task) returns the units of work it did, shown on `ticker` if given.
  void For(int64_t n, const std::function<int64_t(int64_t)>& fn,
           Reporter& reporter, ProgressTicker* ticker = nullptr) const;
  // Called every so often inside a long task: counts `units` of work done
  // towards the progress display; on the caller's thread also shows it and
  // polls the reporter (which may throw); on the others, ends the task
  // early when the run is being stopped.  Does nothing outside a For.
  static void Checkpoint(int64_t units = 0);

  // The same without progress or polling (short work, tests).
  void For(int64_t n, const std::function<int64_t(int64_t)>& fn) const;

  // Splits [0, n) into about `per_thread` chunks a thread: chunk k is
  // [Begin(k), Begin(k + 1)).  Chunks depend on n and the thread count only
  // where that cannot change a result (independent items).
  static int64_t Chunks(int64_t n, int64_t min_chunk, int threads,
                        int per_thread = 8);

 private:
  int threads_;
};

// Lets the tasks of a Parallel::For run one part each in task order: task
// k calls Wait(k) before that part and Pass(k) after it.  Tasks are handed
// out in order, so the one before is always running or done and nobody
// waits for a task that has not started.  A task that fails calls
// Abandon(), which frees every waiter: Wait then returns false.
class Turns {
 public:
  bool Wait(int64_t k);
  void Pass(int64_t k);
  void Abandon();

 private:
  std::atomic<int64_t> turn_{0};
  std::atomic<bool> abandoned_{false};
  std::atomic<int> sleepers_{0};
  std::mutex mu_;
  std::condition_variable cv_;
};

// Runs format(begin, end, slot) over chunks of [0, n) on the threads, a
// wave of chunks at a time, each into its own slot, then emit(slot) in
// order.  An error in a chunk stops after the output of everything before
// it (that chunk's earlier items included) was emitted, then propagates.
template <typename Format, typename Emit>
void InOrder(int64_t n, int64_t chunk, int64_t wave, const Parallel& parallel,
             Reporter& reporter, ProgressTicker* ticker, Format format,
             Emit emit) {
  const int64_t chunks = (n + chunk - 1) / chunk;
  std::vector<std::exception_ptr> errors(static_cast<size_t>(wave));
  for (int64_t first = 0; first < chunks; first += wave) {
    const int64_t count = std::min(wave, chunks - first);
    std::fill(errors.begin(), errors.end(), nullptr);
    parallel.For(count, [&](int64_t k) -> int64_t {
      const int64_t b = (first + k) * chunk, e = std::min(n, b + chunk);
      try {
        format(b, e, k);
      } catch (...) {
        errors[k] = std::current_exception();
      }
      return e - b;
    }, reporter, ticker);
    for (int64_t k = 0; k < count; ++k) {
      emit(k);
      if (errors[k]) std::rethrow_exception(errors[k]);
    }
  }
}

// Boundaries of `chunks` nearly equal chunks of [0, n).
inline int64_t ChunkBegin(int64_t n, int64_t chunks, int64_t k) {
  return static_cast<int64_t>((static_cast<__int128>(n) * k) / chunks);
}

// Runs fn(begin, end) over runs of [0, n) of at least 2^16 items on the
// threads of `parallel` (one run when null or single-threaded).
template <typename Fn>
void ForRuns(int64_t n, const Parallel* parallel, const Fn& fn) {
  if (parallel == nullptr || parallel->threads() == 1) {
    fn(int64_t{0}, n);
    return;
  }
  const int64_t tasks = Parallel::Chunks(n, int64_t{1} << 16, parallel->threads(), 2);
  parallel->For(tasks, [&](int64_t t) -> int64_t {
    fn(ChunkBegin(n, tasks, t), ChunkBegin(n, tasks, t + 1));
    return 0;
  });
}

// Splits ids [0, n) into at most `tasks` runs of consecutive ids of about
// equal work, cumulative(e) being the work of ids [0, e) (non-decreasing in
// e): returns the runs' first ids, then n.
template <typename Cumulative>
std::vector<int32_t> SplitByWork(int32_t n, int64_t tasks,
                                 const Cumulative& cumulative) {
  std::vector<int32_t> starts{0};
  const uint64_t total = cumulative(n);
  for (int64_t t = 1; t <= tasks; ++t) {
    const uint64_t goal = total * static_cast<uint64_t>(t) / tasks;
    int32_t e = starts.back();
    while (e < n && cumulative(e + 1) <= goal) ++e;
    if (t == tasks) e = n;
    if (e > starts.back()) starts.push_back(e);
  }
  if (starts.back() != n) starts.push_back(n);
  return starts;
}

}  // namespace qaz

#endif  // QAZ_COMMON_PARALLEL_H_
