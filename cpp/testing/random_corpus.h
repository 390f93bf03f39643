// Random corpora of ids for the engine's tests, and their longest sides.
#ifndef QAZ_TESTING_RANDOM_CORPUS_H_
#define QAZ_TESTING_RANDOM_CORPUS_H_

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "align/corpus.h"

namespace qaz::testing {

// n pairs of source length 0..max_len (after the NULL id 0; every 50th pair
// has no real source word) and target length 1..max_len, ids skewed towards
// small values so that words repeat, inside a pair too.
inline std::shared_ptr<const Corpus> RandomCorpus(int64_t n, int32_t S,
                                                  int32_t T, int32_t max_len,
                                                  uint32_t seed) {
  std::mt19937 rng(seed);
  auto c = std::make_shared<Corpus>();
  std::vector<int32_t> src, trg;
  for (int64_t p = 0; p < n; ++p) {
    const int32_t I = static_cast<int32_t>(rng() % max_len) + (p % 50 == 0 ? 0 : 1);
    const int32_t J = static_cast<int32_t>(rng() % max_len) + 1;
    src.assign(1, 0);
    trg.clear();
    for (int32_t i = 0; i < I; ++i) {
      src.push_back(1 + static_cast<int32_t>(rng() % (rng() % (S - 1) + 1)));
    }
    for (int32_t j = 0; j < J; ++j) {
      trg.push_back(static_cast<int32_t>(rng() % (rng() % T + 1)));
    }
    c->AddPair(src.data(), static_cast<int32_t>(src.size()), trg.data(), J);
  }
  return c;
}

// The longest source (NULL included) or target side of `c`.
inline int32_t Longest(const Corpus& c, bool source) {
  int32_t m = 0;
  for (int64_t p = 0; p < c.size(); ++p) {
    m = std::max(m, source ? c.src(p).size : c.trg(p).size);
  }
  return m;
}

}  // namespace qaz::testing

#endif  // QAZ_TESTING_RANDOM_CORPUS_H_
