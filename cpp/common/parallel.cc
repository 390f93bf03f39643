#include "common/parallel.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace qaz {

int AvailableCpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) == 0) {
    int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int>(n) : 1;
}

Parallel::Parallel(int threads)
    : threads_(threads >= 1 ? threads : AvailableCpus()) {}

int64_t Parallel::Chunks(int64_t n, int64_t min_chunk, int threads,
                         int per_thread) {
  if (n <= 0) return 0;
  int64_t chunks = static_cast<int64_t>(threads) * per_thread;
  chunks = std::min<int64_t>(chunks, (n + min_chunk - 1) / min_chunk);
  return std::max<int64_t>(chunks, 1);
}

namespace {

struct Shared {
  std::atomic<int64_t> next{0};
  std::atomic<int64_t> done_units{0};
  std::atomic<bool> stop{false};
  std::mutex mu;
  std::exception_ptr error;

  void Fail(std::exception_ptr e) {
    std::lock_guard<std::mutex> lock(mu);
    if (!error) error = e;
    stop = true;
  }
};

// Raised by Checkpoint on a helper thread when the run is being stopped.
struct Stopped {};

// The run the current thread works for, and on the calling thread the
// progress and poll routine.
thread_local Shared* current_run = nullptr;
thread_local const std::function<void(bool)>* current_report = nullptr;

void Work(Shared* s, int64_t n, const std::function<int64_t(int64_t)>& fn) {
  current_run = s;
  while (!s->stop.load(std::memory_order_relaxed)) {
    int64_t task = s->next.fetch_add(1);
    if (task >= n) return;
    try {
      s->done_units.fetch_add(fn(task), std::memory_order_relaxed);
    } catch (const Stopped&) {
      return;
    } catch (...) {
      s->Fail(std::current_exception());
      return;
    }
  }
}

void Run(int threads, int64_t n, const std::function<int64_t(int64_t)>& fn,
         Reporter* reporter, ProgressTicker* ticker) {
  if (n <= 0) return;
  Shared s;
  const int helpers =
      static_cast<int>(std::min<int64_t>(threads, n)) - 1;
  std::vector<std::thread> pool;
  pool.reserve(static_cast<size_t>(helpers));
  for (int k = 0; k < helpers; ++k) pool.emplace_back(Work, &s, n, std::cref(fn));
  // The caller works too, and between its tasks shows progress and polls.
  using Clock = std::chrono::steady_clock;
  auto last = Clock::now();
  int64_t shown = 0;
  std::function<void(bool)> report = [&](bool force) {
    if (reporter == nullptr) return;
    auto now = Clock::now();
    if (!force && now - last < std::chrono::milliseconds(20)) return;
    last = now;
    int64_t done = s.done_units.load(std::memory_order_relaxed);
    if (ticker != nullptr && done > shown) {
      ticker->Tick(done - shown);
      shown = done;
    }
    reporter->Poll();
  };
  Shared* outer_run = current_run;
  const std::function<void(bool)>* outer_report = current_report;
  current_run = &s;
  current_report = &report;
  while (!s.stop.load(std::memory_order_relaxed)) {
    int64_t task = s.next.fetch_add(1);
    if (task >= n) break;
    try {
      s.done_units.fetch_add(fn(task), std::memory_order_relaxed);
      report(false);
    } catch (...) {
      s.Fail(std::current_exception());
    }
  }
  current_run = outer_run;
  current_report = outer_report;
  // The tasks are short, so the others finish promptly.
  for (std::thread& t : pool) t.join();
  if (!s.error) {
    try {
      report(true);
      if (ticker != nullptr) ticker->Flush();
    } catch (...) {
      s.Fail(std::current_exception());
    }
  }
  if (s.error) std::rethrow_exception(s.error);
}

}  // namespace

void Parallel::Checkpoint(int64_t units) {
  Shared* s = current_run;
  if (s == nullptr) return;
  if (units != 0) s->done_units.fetch_add(units, std::memory_order_relaxed);
  if (current_report != nullptr) {
    (*current_report)(false);
  } else if (s->stop.load(std::memory_order_relaxed)) {
    throw Stopped{};
  }
}

bool Turns::Wait(int64_t k) {
  // The part before is short: spin a little before sleeping.
  for (int spin = 0; spin < 4096; ++spin) {
    if (turn_.load() == k) return true;
    if (abandoned_.load()) return false;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
  std::unique_lock<std::mutex> lock(mu_);
  ++sleepers_;
  cv_.wait(lock, [&] { return turn_.load() == k || abandoned_.load(); });
  --sleepers_;
  return turn_.load() == k && !abandoned_.load();
}

void Turns::Pass(int64_t k) {
  turn_.store(k + 1);
  if (sleepers_.load() > 0) {
    std::lock_guard<std::mutex> lock(mu_);
    cv_.notify_all();
  }
}

void Turns::Abandon() {
  abandoned_.store(true);
  std::lock_guard<std::mutex> lock(mu_);
  cv_.notify_all();
}

void Parallel::For(int64_t n, const std::function<int64_t(int64_t)>& fn,
                   Reporter& reporter, ProgressTicker* ticker) const {
  Run(threads_, n, fn, &reporter, ticker);
}

void Parallel::For(int64_t n,
                   const std::function<int64_t(int64_t)>& fn) const {
  Run(threads_, n, fn, nullptr, nullptr);
}

}  // namespace qaz
