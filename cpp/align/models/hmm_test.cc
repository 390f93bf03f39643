#include "align/models/hmm.h"

#include <chrono>
#include <cmath>
#include <functional>
#include <random>
#include <stdexcept>
#include <vector>

#include "testing/harness.h"

namespace {

using qaz::HmmParams;
constexpr int W = HmmParams::kWindow;

HmmParams RandomParams(std::mt19937* rng, double p0) {
  std::uniform_real_distribution<double> u(0.05, 1.0);
  HmmParams h;
  h.p0 = p0;
  for (double& v : h.jump) v = u(*rng);
  for (double& v : h.start) v = u(*rng);
  return h;
}

std::vector<double> RandomT(std::mt19937* rng, int L, int m) {
  std::uniform_real_distribution<double> u(0.01, 1.0);
  std::vector<double> t(static_cast<size_t>(L) * m);
  for (double& v : t) v = u(*rng);
  return t;
}

// The transition matrix written out: P[from][i] for from = 0..I (0: the
// start), i = 1..I, and the bucket of each jump with its divisor.
struct Dense {
  Dense(const HmmParams& h, int I) : I(I), P(I + 1, std::vector<double>(I + 1, 0.0)) {
    for (int from = 0; from <= I; ++from) {
      double z = 0.0;
      for (int i = 1; i <= I; ++i) z += Raw(h, from, i);
      for (int i = 1; i <= I; ++i) P[from][i] = Raw(h, from, i) / z;
    }
  }
  static double Raw(const HmmParams& h, int from, int i) {
    if (from == 0) return h.start[i < W ? i : W];
    int d = i - from;
    if (d > W) d = W;
    if (d < -W) d = -W;
    return h.jump[d + W];
  }
  // Adds `v` of a jump from -> i to its bucket, a far one divided by the
  // positions it covers in that row.
  void AddJump(int from, int i, double v, HmmParams::Counts* c) const {
    if (from == 0) {
      if (i >= W) c->start[W] += v / (I - W + 1);
      else c->start[i] += v;
      return;
    }
    const int d = i - from;
    if (d >= W) c->jump[2 * W] += v / (I - from - W + 1);
    else if (d <= -W) c->jump[0] += v / (from - W);
    else c->jump[d + W] += v;
  }
  int I;
  std::vector<std::vector<double>> P;
};

// Every state sequence enumerated: (null?, position) per target word.
struct Brute {
  double p = 0.0;
  std::vector<double> post;
  HmmParams::Counts counts;
  std::vector<int32_t> best;
};

Brute Enumerate(const HmmParams& h, const std::vector<double>& t, int L, int m) {
  const int I = L - 1;
  const Dense dense(h, I);
  Brute out;
  out.post.assign(static_cast<size_t>(L) * m, 0.0);
  std::vector<std::pair<bool, int>> seq(m);
  struct Path {
    double prob;
    std::vector<std::pair<bool, int>> seq;
  };
  std::vector<Path> paths;
  std::function<void(int, bool, int, double)> walk = [&](int j, bool, int pos, double prob) {
    if (j == m) {
      paths.push_back({prob, seq});
      return;
    }
    // NULL state remembering pos.
    seq[j] = {true, pos};
    walk(j + 1, true, pos, prob * h.p0 * t[j]);
    for (int i = 1; i <= I; ++i) {
      seq[j] = {false, i};
      walk(j + 1, false, i, prob * (1 - h.p0) * dense.P[pos][i] * t[i * m + j]);
    }
  };
  walk(0, true, 0, 1.0);
  double top = -1.0;
  for (const Path& path : paths) out.p += path.prob;
  for (const Path& path : paths) {
    const double w = path.prob / out.p;
    int prev = 0;
    for (int j = 0; j < m; ++j) {
      const auto [is_null, pos] = path.seq[j];
      out.post[(is_null ? 0 : pos) * m + j] += w;
      if (!is_null) dense.AddJump(prev, pos, w, &out.counts);
      prev = pos;
    }
    if (path.prob > top) {
      top = path.prob;
      out.best.clear();
      for (const auto& [is_null, pos] : path.seq) out.best.push_back(is_null ? 0 : pos);
    }
  }
  return out;
}

// Forward-backward and Viterbi over the written-out matrix, for sentences
// too long to enumerate.
Brute DenseRun(const HmmParams& h, const std::vector<double>& t, int L, int m) {
  const int I = L - 1, n = I + 1;
  const Dense dense(h, I);
  Brute out;
  std::vector<std::vector<double>> aw(m, std::vector<double>(n)), an = aw, b = aw;
  std::vector<double> c(m);
  for (int j = 0; j < m; ++j) {
    for (int i = 1; i <= I; ++i) {
      double s = 0.0;
      if (j == 0) {
        s = dense.P[0][i];
      } else {
        for (int k = 0; k <= I; ++k) s += (aw[j - 1][k] + an[j - 1][k]) * dense.P[k][i];
      }
      aw[j][i] = (1 - h.p0) * s * t[i * m + j];
    }
    for (int k = 0; k <= I; ++k) {
      an[j][k] = j == 0 ? (k == 0 ? h.p0 * t[0] : 0.0)
                        : h.p0 * t[j] * (aw[j - 1][k] + an[j - 1][k]);
    }
    double sum = 0.0;
    for (int k = 0; k <= I; ++k) sum += aw[j][k] + an[j][k];
    c[j] = sum;
    for (int k = 0; k <= I; ++k) aw[j][k] /= sum, an[j][k] /= sum;
  }
  out.p = 0.0;
  for (double x : c) out.p += std::log(x);
  for (int k = 0; k <= I; ++k) b[m - 1][k] = 1.0;
  for (int j = m - 1; j >= 1; --j) {
    for (int k = 0; k <= I; ++k) {
      double s = h.p0 * t[j] * b[j][k];
      for (int i = 1; i <= I; ++i) {
        const double xi = (1 - h.p0) * dense.P[k][i] * t[i * m + j] * b[j][i];
        s += xi;
        dense.AddJump(k, i, (aw[j - 1][k] + an[j - 1][k]) * xi / c[j], &out.counts);
      }
      b[j - 1][k] = s / c[j];
    }
  }
  out.post.assign(static_cast<size_t>(L) * m, 0.0);
  for (int j = 0; j < m; ++j) {
    for (int k = 0; k <= I; ++k) out.post[j] += an[j][k] * b[j][k];
    for (int i = 1; i <= I; ++i) out.post[i * m + j] = aw[j][i] * b[j][i];
  }
  for (int i = 1; i <= I; ++i) dense.AddJump(0, i, out.post[i * m], &out.counts);
  // Viterbi in logs.
  std::vector<std::vector<double>> vw(m, std::vector<double>(n, -INFINITY)), vn = vw;
  std::vector<std::vector<int>> from(m, std::vector<int>(n, 0));
  std::vector<std::vector<char>> prev_null(m, std::vector<char>(n, 0));
  for (int i = 1; i <= I; ++i) vw[0][i] = std::log((1 - h.p0) * dense.P[0][i] * t[i * m]);
  vn[0][0] = std::log(h.p0 * t[0]);
  for (int j = 1; j < m; ++j) {
    for (int k = 0; k <= I; ++k) {
      prev_null[j - 1][k] = vn[j - 1][k] > vw[j - 1][k];
      vn[j][k] = std::log(h.p0 * t[j]) + std::max(vn[j - 1][k], vw[j - 1][k]);
    }
    for (int i = 1; i <= I; ++i) {
      double v = -INFINITY;
      for (int k = 0; k <= I; ++k) {
        const double x = std::max(vn[j - 1][k], vw[j - 1][k]) + std::log(dense.P[k][i]);
        if (x > v) v = x, from[j][i] = k;
      }
      vw[j][i] = v + std::log((1 - h.p0) * t[i * m + j]);
    }
  }
  int pos = 0;
  bool is_null = true;
  double v = vn[m - 1][0];
  for (int k = 1; k <= I; ++k) {
    if (vw[m - 1][k] > v) v = vw[m - 1][k], pos = k, is_null = false;
    if (vn[m - 1][k] > v) v = vn[m - 1][k], pos = k, is_null = true;
  }
  out.best.assign(m, 0);
  for (int j = m - 1; j >= 0; --j) {
    out.best[j] = is_null ? 0 : pos;
    if (j == 0) break;
    if (!is_null) pos = from[j][pos];
    is_null = prev_null[j - 1][pos] != 0;
  }
  return out;
}

bool Near(double a, double b, double tol = 1e-9) {
  return std::fabs(a - b) <= tol * std::max(1.0, std::fabs(b));
}

void ExpectSame(const HmmParams::Counts& got, const HmmParams::Counts& want) {
  for (int k = 0; k < HmmParams::kJumps; ++k) {
    QAZ_EXPECT(Near(got.jump[k], want.jump[k]));
  }
  for (int k = 1; k < HmmParams::kStarts; ++k) {
    QAZ_EXPECT(Near(got.start[k], want.start[k]));
  }
}

// The posteriors, ln p, counts and Viterbi links of one pair against a
// reference's (`ll`: its ln p).
void ExpectMatches(const HmmParams& h, const std::vector<double>& t, int L, int m,
                   const Brute& want, double ll, qaz::HmmScratch* scratch) {
  std::vector<double> post(static_cast<size_t>(L) * m);
  HmmParams::Counts counts;
  QAZ_EXPECT(Near(qaz::HmmPosteriors(h, t.data(), L, m, post.data(), &counts, scratch), ll));
  for (size_t k = 0; k < post.size(); ++k) QAZ_EXPECT(Near(post[k], want.post[k]));
  ExpectSame(counts, want.counts);
  std::vector<int32_t> best(m);
  qaz::HmmViterbi(h, t.data(), L, m, best.data(), scratch);
  QAZ_EXPECT(best == want.best);
}

}  // namespace

QAZ_TEST(HmmForwardBackwardMatchesEveryAlignmentSummed) {
  std::mt19937 rng(7);
  qaz::HmmScratch scratch;
  for (const auto& [L, m] : {std::pair{2, 1}, {2, 3}, {3, 2}, {4, 3}, {3, 4}, {5, 3}, {4, 4}}) {
    HmmParams h = RandomParams(&rng, 0.25);
    // Odd lengths through the matrices, even ones through the running sums.
    if (L % 2 == 1) h.Refresh();
    const std::vector<double> t = RandomT(&rng, L, m);
    const Brute want = Enumerate(h, t, L, m);
    ExpectMatches(h, t, L, m, want, std::log(want.p), &scratch);
  }
}

QAZ_TEST(HmmFarJumpsShareTheirBuckets) {
  // Sentences longer than the window: the running sums over the far ends
  // give what the written-out transition matrix gives.
  std::mt19937 rng(11);
  qaz::HmmScratch scratch;
  for (const auto& [L, m] : {std::pair{17, 4}, {41, 7}, {60, 30}, {9, 40}, {65, 9}, {80, 6}}) {
    HmmParams h = RandomParams(&rng, 0.15);
    // Both paths for the short ones; past kDense the running sums alone.
    if (L % 2 == 1) h.Refresh();
    const std::vector<double> t = RandomT(&rng, L, m);
    const Brute want = DenseRun(h, t, L, m);
    ExpectMatches(h, t, L, m, want, want.p, &scratch);
  }
}

QAZ_TEST(HmmRowsNormaliseAndEdgeCases) {
  // With one target word the posteriors are the start distribution times t:
  // uniform weights make the start uniform over I words.
  HmmParams h;
  h.p0 = 0.2;
  const std::vector<double> t = {0.5, 1.0, 1.0, 1.0};  // L = 4, m = 1
  std::vector<double> post(4);
  qaz::HmmScratch s;
  const double ll = qaz::HmmPosteriors(h, t.data(), 4, 1, post.data(), nullptr, &s);
  QAZ_EXPECT(Near(ll, std::log(0.2 * 0.5 + 0.8)));
  QAZ_EXPECT(Near(post[0], 0.1 / 0.9));
  QAZ_EXPECT(Near(post[1], (0.8 / 3) / 0.9));
  // No source word: everything to NULL; no target word: nothing.
  const std::vector<double> t0 = {0.25, 0.5};
  std::vector<double> p0(2);
  QAZ_EXPECT(Near(qaz::HmmPosteriors(h, t0.data(), 1, 2, p0.data(), nullptr, &s),
                  std::log(0.125)));
  QAZ_EXPECT(p0[0] == 1.0 && p0[1] == 1.0);
  std::vector<int32_t> best(2, 9);
  qaz::HmmViterbi(h, t0.data(), 1, 2, best.data(), &s);
  QAZ_EXPECT(best[0] == 0 && best[1] == 0);
  QAZ_EXPECT(qaz::HmmPosteriors(h, t0.data(), 3, 0, p0.data(), nullptr, &s) == 0.0);
}

QAZ_TEST(HmmLongPairNeitherUnderflowsNorCrawls) {
  std::mt19937 rng(3);
  const int L = 3001, m = 3000;
  const HmmParams h = RandomParams(&rng, 0.2);
  std::vector<double> t = RandomT(&rng, L, m);
  for (double& v : t) v *= 1e-6;  // tiny values: unscaled they would underflow
  std::vector<double> post(static_cast<size_t>(L) * m);
  qaz::HmmScratch s;
  HmmParams::Counts counts;
  const auto begin = std::chrono::steady_clock::now();
  const double ll = qaz::HmmPosteriors(h, t.data(), L, m, post.data(), &counts, &s);
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  QAZ_EXPECT(std::isfinite(ll) && ll < 0.0);
  QAZ_EXPECT(secs < 20.0);
  for (int j = 0; j < m; j += 499) {
    double sum = 0.0;
    for (int i = 0; i < L; ++i) sum += post[static_cast<size_t>(i) * m + j];
    QAZ_EXPECT(Near(sum, 1.0, 1e-9));
  }
  std::vector<int32_t> best(m);
  qaz::HmmViterbi(h, t.data(), L, m, best.data(), &s);
  for (int32_t b : best) QAZ_EXPECT(b >= 0 && b < L);
}

QAZ_TEST(HmmLogOfProductMatchesTheSumOfLogs) {
  // Thousands of tiny (and some huge) factors: the plain product would
  // under- and overflow, the log of the kept product must not.
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-300.0, 10.0);
  qaz::LogOfProduct product;
  double sum = 0.0;
  for (int k = 0; k < 5000; ++k) {
    const double x = std::pow(10.0, u(rng));
    product.Add(x);
    sum += std::log(x);
  }
  QAZ_EXPECT(Near(product.Log(), sum, 1e-9 * std::fabs(sum)));
  qaz::LogOfProduct none;
  QAZ_EXPECT(none.Log() == 0.0);
  qaz::LogOfProduct zero;
  zero.Add(0.5);
  zero.Add(0.0);
  zero.Add(1e-300);
  QAZ_EXPECT(std::isinf(zero.Log()) && zero.Log() < 0.0);
}

QAZ_TEST(HmmMaximizeNormalisesAndFloors) {
  HmmParams h;
  HmmParams::Counts c;
  c.jump[W + 1] = 3.0;
  c.jump[W - 1] = 1.0;
  c.start[1] = 2.0;
  h.Maximize(c);
  QAZ_EXPECT(Near(h.jump[W + 1], 0.75) && Near(h.jump[W - 1], 0.25));
  QAZ_EXPECT(h.jump[0] == HmmParams::kFloor && h.start[2] == HmmParams::kFloor);
  QAZ_EXPECT(Near(h.start[1], 1.0));
  HmmParams kept = h;
  kept.Maximize(HmmParams::Counts());  // no counts: the weights stay
  QAZ_EXPECT(kept.jump == h.jump && kept.start == h.start);
}

QAZ_TEST(HmmParamsFileRoundTripsAndRejectsDamage) {
  std::mt19937 rng(5);
  HmmParams h = RandomParams(&rng, 0.3);
  h.start[0] = 1.0;  // never used, not stored
  const std::string text = qaz::FormatHmmParams(h);
  const HmmParams back = qaz::ParseHmmParams(text, "m/fwd.hmm");
  QAZ_EXPECT(back.p0 == h.p0 && back.jump == h.jump && back.start == h.start);
  auto error = [&](const std::string& bad) {
    auto e = qaz::testing::Thrown<std::invalid_argument>(
        [&] { qaz::ParseHmmParams(bad, "m/fwd.hmm"); });
    return e ? std::string(e->what()) : std::string();
  };
  std::string nan_weight = text;
  const size_t at = nan_weight.find("jump\t0\t");
  nan_weight.replace(at, nan_weight.find('\n', at) - at, "jump\t0\tnan");
  QAZ_EXPECT(error(nan_weight).find("finite number above 0") != std::string::npos);
  QAZ_EXPECT(error(text.substr(0, text.rfind("jump"))).find("jump 15 missing") != std::string::npos);
  QAZ_EXPECT(error("p0\t1.5\n" + text).find("m/fwd.hmm:1: p0") == 0);
  QAZ_EXPECT(!error(text + "extra\n").empty());
}
