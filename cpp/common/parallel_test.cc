#include "common/parallel.h"

#include <atomic>
#include <stdexcept>
#include <vector>

#include "testing/harness.h"

namespace {

class CountingReporter : public qaz::NullReporter {
 public:
  void Poll() override {
    ++polls;
    if (fail_after > 0 && polls >= fail_after) throw std::runtime_error("stop");
  }
  int polls = 0;
  int fail_after = 0;
};

}  // namespace

QAZ_TEST(ParallelRunsEveryTaskOnce) {
  for (int threads : {1, 2, 5}) {
    qaz::Parallel parallel(threads);
    std::vector<std::atomic<int>> seen(1000);
    parallel.For(1000, [&](int64_t t) -> int64_t {
      ++seen[t];
      return 1;
    });
    bool once = true;
    for (auto& s : seen) once = once && s.load() == 1;
    QAZ_EXPECT(once);
  }
}

QAZ_TEST(ParallelPassesTheFirstErrorOn) {
  qaz::Parallel parallel(3);
  std::atomic<int> ran{0};
  QAZ_EXPECT_THROW(parallel.For(100000, [&](int64_t t) -> int64_t {
    ++ran;
    if (t == 10) throw std::invalid_argument("task 10");
    return 1;
  }), std::invalid_argument);
  // The hand-out stopped: far from every task ran.
  QAZ_EXPECT(ran.load() < 100000);
}

QAZ_TEST(ParallelStopsWhenThePollThrows) {
  qaz::Parallel parallel(2);
  CountingReporter reporter;
  reporter.fail_after = 1;
  std::atomic<int> ran{0};
  QAZ_EXPECT_THROW(parallel.For(1000000, [&](int64_t) -> int64_t {
    ++ran;
    for (volatile int k = 0; k < 20000; ++k) {
    }
    return 1;
  }, reporter, nullptr), std::runtime_error);
  QAZ_EXPECT(ran.load() < 1000000);
}

QAZ_TEST(ChunksCoverTheRange) {
  for (int64_t n : {1, 7, 64, 1000, 100003}) {
    const int64_t chunks = qaz::Parallel::Chunks(n, 64, 3);
    QAZ_EXPECT(chunks >= 1);
    QAZ_EXPECT_EQ(qaz::ChunkBegin(n, chunks, 0), 0);
    QAZ_EXPECT_EQ(qaz::ChunkBegin(n, chunks, chunks), n);
    for (int64_t k = 0; k < chunks; ++k) {
      QAZ_EXPECT(qaz::ChunkBegin(n, chunks, k) < qaz::ChunkBegin(n, chunks, k + 1));
    }
  }
  QAZ_EXPECT_EQ(qaz::Parallel::Chunks(0, 64, 3), 0);
  QAZ_EXPECT(qaz::AvailableCpus() >= 1);
}

QAZ_TEST(TurnsRunThePartsInTaskOrder) {
  // Uneven work before the ordered part; the parts still run 0, 1, 2, ...
  for (int threads : {1, 2, 5}) {
    qaz::Parallel parallel(threads);
    qaz::Turns turns;
    std::vector<int64_t> order;
    parallel.For(3000, [&](int64_t t) -> int64_t {
      for (volatile int64_t k = 0; k < (t * 7919) % 5000; ++k) {
      }
      QAZ_EXPECT(turns.Wait(t));
      order.push_back(t);  // unguarded: only one part runs at a time
      turns.Pass(t);
      return 1;
    });
    bool in_order = order.size() == 3000;
    for (size_t k = 0; in_order && k < order.size(); ++k) in_order = order[k] == static_cast<int64_t>(k);
    QAZ_EXPECT(in_order);
  }
}

QAZ_TEST(TurnsFreeTheWaitersOfAFailedTask) {
  // Task 5 fails before its turn; the later tasks must not wait for ever.
  qaz::Parallel parallel(3);
  qaz::Turns turns;
  QAZ_EXPECT_THROW(parallel.For(200, [&](int64_t t) -> int64_t {
    try {
      if (t == 5) throw std::invalid_argument("task 5");
      if (!turns.Wait(t)) return 0;
      turns.Pass(t);
    } catch (...) {
      turns.Abandon();
      throw;
    }
    return 1;
  }), std::invalid_argument);
  // The run came back (nothing left waiting), and a late waiter is let go.
  QAZ_EXPECT(!turns.Wait(6));
}
