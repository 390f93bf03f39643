#include "align/models/hmm.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <type_traits>

#include "common/float_format.h"

// The vector helpers below are only ever inlined, so passing their four
// doubles by value binds no calling convention.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace qaz {

namespace {

constexpr int W = HmmParams::kWindow;

// The weight of a jump to word i from position i' (0: the start).
inline double Weight(const HmmParams& h, int32_t from, int32_t i) {
  if (from == 0) return h.start[std::min(i, W)];
  const int32_t d = std::clamp(i - from, -W, W);
  return h.jump[d + W];
}

// inv_z[i'] = 1 / sum_{i=1..I} Weight(i', i) for i' = 0..I.
void RowSums(const HmmParams& h, int32_t I, std::vector<double>* inv_z) {
  inv_z->resize(static_cast<size_t>(I) + 1);
  double z0 = 0.0;
  for (int32_t i = 1; i <= std::min(I, W - 1); ++i) z0 += h.start[i];
  if (I >= W) z0 += static_cast<double>(I - W + 1) * h.start[W];
  (*inv_z)[0] = 1.0 / z0;
  for (int32_t from = 1; from <= I; ++from) {
    double z = 0.0;
    const int32_t lo = std::max(1 - from, -(W - 1)), hi = std::min(I - from, W - 1);
    for (int32_t d = lo; d <= hi; ++d) z += h.jump[d + W];
    const int32_t right = std::max(0, I - from - W + 1), left = std::max(0, from - W);
    z += static_cast<double>(right) * h.jump[2 * W] +
         static_cast<double>(left) * h.jump[0];
    (*inv_z)[from] = 1.0 / z;
  }
}

// Adds `v` to the start bucket of word i of I, a far one divided by the
// positions it covers.
__attribute__((always_inline)) inline void AddStart(HmmParams::Counts* counts, int32_t i, int32_t I, double v) {
  const int k = std::min(i, W);
  counts->start[k] += k == W ? v / static_cast<double>(I - W + 1) : v;
}

// Sizes the buffers of a forward-backward pass over n positions, m words.
void SizePasses(HmmScratch* s, size_t n, int32_t m) {
  s->word.resize(n * m);
  s->null.resize(n * m);
  s->back.resize(n * m);
  s->scale.resize(m);
  s->s.resize(n);
  s->u.resize(n);
}

// Scales a column of forward values (word and NULL states) to sum 1,
// keeping the scale and adding it to the likelihood's factors; false when
// the column sums to 0 (nothing can emit the word: the pair has no
// posteriors to give).
__attribute__((always_inline)) inline bool ScaleColumn(double* word, double* null, size_t n, double* scale,
                        LogOfProduct* ll) {
  double sum = 0.0;
  for (size_t k = 0; k < n; ++k) sum += word[k] + null[k];
  *scale = sum;
  ll->Add(sum);
  if (!(sum > 0.0)) return false;
  const double inv = 1.0 / sum;
  for (size_t k = 0; k < n; ++k) {
    word[k] *= inv;
    null[k] *= inv;
  }
  return true;
}

// post from the scaled forward (word, NULL) and backward values of every
// target position: word state i at row i, every NULL state at row 0.
__attribute__((always_inline)) inline void PosteriorsOf(const HmmScratch& s, int32_t I, int32_t m, double* post) {
  const size_t n = static_cast<size_t>(I) + 1;
  for (int32_t j = 0; j < m; ++j) {
    const double* word = s.word.data() + j * n;
    const double* null = s.null.data() + j * n;
    const double* b = s.back.data() + j * n;
    double nul = 0.0;
    for (size_t k = 0; k < n; ++k) nul += null[k] * b[k];
    post[j] = nul;
    for (int32_t i = 1; i <= I; ++i) post[i * m + j] = word[i] * b[i];
  }
}

}  // namespace

double LogOfProduct::Log() const {
  return std::log(product_) + static_cast<double>(twos_) * 0.69314718055994530942;
}

void LogOfProduct::AddRare(double x) {
  int twos = 0;
  product_ *= std::frexp(x, &twos);
  twos_ += twos;
  if (product_ < 0x1p-500 && product_ > 0.0) Rescale();
}

void LogOfProduct::Rescale() {
  if (!(product_ > 0.0)) return;  // 0 or NaN stays
  product_ *= 0x1p500;
  twos_ -= 500;
}

void HmmParams::Counts::Clear() {
  std::fill(jump.begin(), jump.end(), 0.0);
  std::fill(start.begin(), start.end(), 0.0);
}

void HmmParams::Counts::Add(const Counts& other) {
  for (int k = 0; k < kJumps; ++k) jump[k] += other.jump[k];
  for (int k = 0; k < kStarts; ++k) start[k] += other.start[k];
}

void HmmParams::Refresh() {
  offsets.assign(kDense + 2, 0);
  toffsets.assign(kDense + 2, 0);
  for (int32_t I = 1; I <= kDense; ++I) {
    offsets[I + 1] = offsets[I] + static_cast<size_t>(I + 1) * Padded(I);
    toffsets[I + 1] = toffsets[I] + static_cast<size_t>(I) * Padded(I + 1);
  }
  matrices.assign(offsets[kDense + 1], 0.0);
  transposed.assign(toffsets[kDense + 1], 0.0);
  std::vector<double> inv_z;
  for (int32_t I = 1; I <= kDense; ++I) {
    RowSums(*this, I, &inv_z);
    double* a = matrices.data() + offsets[I];
    double* at = transposed.data() + toffsets[I];
    const size_t row = Padded(I), col = Padded(I + 1);
    for (int32_t from = 0; from <= I; ++from) {
      for (int32_t i = 1; i <= I; ++i) {
        const double p = Weight(*this, from, i) * inv_z[from];
        a[static_cast<size_t>(from) * row + i - 1] = p;
        at[static_cast<size_t>(i - 1) * col + from] = p;
      }
    }
  }
  row_sum_offsets.assign(kRowSumsKept + 2, 0);
  for (int32_t I = 1; I <= kRowSumsKept; ++I) {
    row_sum_offsets[I + 1] = row_sum_offsets[I] + static_cast<size_t>(I) + 1;
  }
  inv_row_sums.resize(row_sum_offsets.back());
  for (int32_t I = 1; I <= kRowSumsKept; ++I) {
    RowSums(*this, I, &inv_z);
    std::copy(inv_z.begin(), inv_z.end(), inv_row_sums.begin() + row_sum_offsets[I]);
  }
}

void HmmParams::Maximize(const Counts& counts) {
  auto update = [](const std::vector<double>& c, std::vector<double>* w,
                   size_t first) {
    double total = 0.0;
    for (size_t k = first; k < c.size(); ++k) total += c[k];
    if (!(total > 0.0) || !std::isfinite(total)) return;
    for (size_t k = first; k < c.size(); ++k) {
      (*w)[k] = std::max(c[k] / total, kFloor);
    }
  };
  update(counts.jump, &jump, 0);
  update(counts.start, &start, 1);  // start[0] is never used
  Refresh();
}

namespace {

// Four doubles; `V4u` loads and stores at any address.  The products and
// sums below are written one operation at a time, and the file is built
// without contraction into fused multiply-adds, so every build (the vector
// widths of each clone included) gives the same bits.
typedef double V4 __attribute__((vector_size(32)));
typedef double V4u __attribute__((vector_size(32), aligned(8), may_alias));

__attribute__((always_inline)) inline V4 Load(const double* p) {
  return *reinterpret_cast<const V4u*>(p);
}
__attribute__((always_inline)) inline void Store(double* p, V4 v) {
  *reinterpret_cast<V4u*>(p) = v;
}
__attribute__((always_inline)) inline void StoreFirst(double* p, V4 v, size_t count) {
  for (size_t k = 0; k < count; ++k) p[k] = v[k];
}

// out[0..4V) = init + sum_{r < rows} w[r] * m[r * stride ..], r ascending
// for every element; init is 0 or e0 * b.  The V accumulators stay in
// registers.  `keep` of the 4V values are stored.
template <int V>
__attribute__((always_inline)) inline void CombineBlock(
    const double* w, const double* m, size_t rows, size_t stride,
    const double* b, double e0, double* out, size_t keep) {
  V4 acc[V];
  for (int v = 0; v < V; ++v) {
    acc[v] = b != nullptr ? e0 * Load(b + 4 * v) : V4{0.0, 0.0, 0.0, 0.0};
  }
  for (size_t r = 0; r < rows; ++r, m += stride) {
    const double x = w[r];
    for (int v = 0; v < V; ++v) acc[v] += x * Load(m + 4 * v);
  }
  for (int v = 0; v < V; ++v) {
    const size_t first = 4 * static_cast<size_t>(v);
    if (first + 4 <= keep) {
      Store(out + first, acc[v]);
    } else if (first < keep) {
      StoreFirst(out + first, acc[v], keep - first);
    }
  }
}

// out[c] = (b ? e0 * b[c] : 0) + sum_{r < rows} w[r] * m[r * stride + c]
// for c < cols; the rows of m are padded with zeros to `stride`, a multiple
// of 4, and b (when given) is readable up to the padded width.
__attribute__((always_inline)) inline void Combine(
    const double* w, const double* m, size_t rows, size_t stride, size_t cols,
    const double* b, double e0, double* out) {
  size_t c = 0;
  for (; c + 32 <= stride; c += 32) {
    CombineBlock<8>(w, m + c, rows, stride, b ? b + c : nullptr, e0, out + c,
                    cols > c ? cols - c : 0);
  }
  const size_t rest = (stride - c) / 4;
  if (rest == 0) return;
  const double* mc = m + c;
  const double* bc = b ? b + c : nullptr;
  double* oc = out + c;
  const size_t keep = cols > c ? cols - c : 0;
  switch (rest) {
    case 1: CombineBlock<1>(w, mc, rows, stride, bc, e0, oc, keep); break;
    case 2: CombineBlock<2>(w, mc, rows, stride, bc, e0, oc, keep); break;
    case 3: CombineBlock<3>(w, mc, rows, stride, bc, e0, oc, keep); break;
    case 4: CombineBlock<4>(w, mc, rows, stride, bc, e0, oc, keep); break;
    case 5: CombineBlock<5>(w, mc, rows, stride, bc, e0, oc, keep); break;
    case 6: CombineBlock<6>(w, mc, rows, stride, bc, e0, oc, keep); break;
    default: CombineBlock<7>(w, mc, rows, stride, bc, e0, oc, keep); break;
  }
}

// xi[k * stride + i] = sum_{j = m-1 .. 1} g[j * n + k] * u[j * stride + i]
// (j descending) for k < n and the padded i < stride: the expected
// transitions of a pair, R rows by C vectors of columns in registers.
template <int R, int C>
__attribute__((always_inline)) inline void OuterBlock(
    const double* g, const double* u, size_t n, size_t stride, int32_t m,
    size_t k, size_t i, double* xi) {
  V4 acc[R][C];
  for (int r = 0; r < R; ++r) {
    for (int c = 0; c < C; ++c) acc[r][c] = V4{0.0, 0.0, 0.0, 0.0};
  }
  for (int32_t j = m - 1; j >= 1; --j) {
    const double* uj = u + static_cast<size_t>(j) * stride + i;
    V4 uv[C];
    for (int c = 0; c < C; ++c) uv[c] = Load(uj + 4 * c);
    const double* gj = g + static_cast<size_t>(j) * n + k;
    for (int r = 0; r < R; ++r) {
      for (int c = 0; c < C; ++c) acc[r][c] += gj[r] * uv[c];
    }
  }
  for (int r = 0; r < R; ++r) {
    for (int c = 0; c < C; ++c) Store(xi + (k + r) * stride + i + 4 * c, acc[r][c]);
  }
}

template <int C>
__attribute__((always_inline)) inline void OuterColumns(
    const double* g, const double* u, size_t n, size_t stride, int32_t m,
    size_t i, double* xi) {
  size_t k = 0;
  for (; k + 4 <= n; k += 4) OuterBlock<4, C>(g, u, n, stride, m, k, i, xi);
  switch (n - k) {
    case 1: OuterBlock<1, C>(g, u, n, stride, m, k, i, xi); break;
    case 2: OuterBlock<2, C>(g, u, n, stride, m, k, i, xi); break;
    case 3: OuterBlock<3, C>(g, u, n, stride, m, k, i, xi); break;
    default: break;
  }
}

// All of xi; stride is a multiple of 4.
__attribute__((always_inline)) inline void OuterSums(
    const double* g, const double* u, size_t n, size_t stride, int32_t m,
    double* xi) {
  size_t i = 0;
  for (; i + 8 <= stride; i += 8) OuterColumns<2>(g, u, n, stride, m, i, xi);
  if (i < stride) OuterColumns<1>(g, u, n, stride, m, i, xi);
}

// HmmPosteriors for a sentence of I <= kDense words, through its matrix
// (rows padded to a multiple of 4) and the matrix transposed.  Built twice,
// the AVX2 clone and the plain one give the same bits (see V4).
__attribute__((target_clones("avx2", "default")))
double DensePosteriors(const HmmParams& h, const double* a, const double* at,
                       const double* t, int32_t I, int32_t m, double* post,
                       HmmParams::Counts* counts, HmmScratch* s) {
  const size_t n = static_cast<size_t>(I) + 1;
  const size_t row = HmmParams::Padded(I), col = HmmParams::Padded(I + 1);
  SizePasses(s, n, m);
  // The forward mass of each step (word + NULL state of a position), and
  // the backward side u of each step, padded rows for the sums over pairs
  // of positions; the padding of u must read 0.
  s->g.resize(static_cast<size_t>(m) * n);
  s->u.assign(static_cast<size_t>(m) * (row + 4), 0.0);
  s->s.resize(row + 4);
  s->back.resize(n * m + col);  // the last column's b is read to `col`
  double* gsum = s->g.data();
  double* uall = s->u.data();
  double* sv = s->s.data();
  const double stay = h.p0, move = 1.0 - h.p0;
  LogOfProduct ll;
  for (int32_t j = 0; j < m; ++j) {
    double* word = s->word.data() + j * n;
    double* null = s->null.data() + j * n;
    if (j == 0) {
      word[0] = 0.0;
      for (int32_t i = 1; i <= I; ++i) word[i] = move * a[i - 1] * t[i * m];
      null[0] = stay * t[0];
      for (int32_t i = 1; i <= I; ++i) null[i] = 0.0;
    } else {
      const double* pw = word - n;
      const double* pn = null - n;
      double* g = gsum + static_cast<size_t>(j) * n;
      for (size_t k = 0; k < n; ++k) g[k] = pw[k] + pn[k];
      Combine(g, a, n, row, static_cast<size_t>(I), nullptr, 0.0, sv);
      word[0] = 0.0;
      for (int32_t i = 1; i <= I; ++i) word[i] = move * sv[i - 1] * t[i * m + j];
      const double e0 = stay * t[j];
      for (size_t k = 0; k < n; ++k) null[k] = e0 * g[k];
    }
    if (!ScaleColumn(word, null, n, &s->scale[j], &ll)) {
      std::fill(post, post + n * m, 0.0);
      return ll.Log();
    }
  }
  double* last = s->back.data() + static_cast<size_t>(m - 1) * n;
  std::fill(last, last + n, 1.0);
  for (int32_t j = m - 1; j >= 1; --j) {
    const double* b = s->back.data() + j * n;
    double* prev = s->back.data() + (j - 1) * n;
    const double inv = 1.0 / s->scale[j];
    double* u = uall + static_cast<size_t>(j) * row;
    for (int32_t i = 1; i <= I; ++i) u[i - 1] = move * t[i * m + j] * b[i] * inv;
    const double e0 = stay * t[j] * inv;
    // prev = e0 b + sum_i u[i] column i of the matrix.
    Combine(u, at, static_cast<size_t>(I), col, n, b, e0, prev);
  }
  PosteriorsOf(*s, I, m, post);
  if (counts != nullptr) {
    // Expected transitions summed over the pair, [i'][i - 1], weighted by
    // the matrix at the end.
    s->xi.resize(n * row + 8);
    double* xi = s->xi.data();
    OuterSums(gsum, uall, n, row, m, xi);
    for (int32_t i = 1; i <= I; ++i) {
      AddStart(counts, i, I, post[i * m] + xi[i - 1] * a[i - 1]);
    }
    // Row by row: the far jumps to the left, the near ones (one bucket
    // each, so a plain loop over the widths), the far ones to the right;
    // every bucket takes its rows in ascending order.
    double* jump = counts->jump.data();
    for (int32_t from = 1; from <= I; ++from) {
      const double* x = xi + static_cast<size_t>(from) * row - 1;  // x[i]
      const double* r = a + static_cast<size_t>(from) * row - 1;
      const int32_t near_lo = std::max(1, from - W + 1);
      const int32_t near_hi = std::min(I, from + W - 1);
      const double left = static_cast<double>(from - W);
      for (int32_t i = 1; i < near_lo; ++i) jump[0] += x[i] * r[i] / left;
      double* bucket = jump + W - from;  // bucket[i]: width i - from
      for (int32_t i = near_lo; i <= near_hi; ++i) bucket[i] += x[i] * r[i];
      const double right = static_cast<double>(I - from - W + 1);
      for (int32_t i = near_hi + 1; i <= I; ++i) jump[2 * W] += x[i] * r[i] / right;
    }
  }
  return ll.Log();
}

// The band sums of the running-sum path read their inputs with kPad zeros
// on either side of positions 1..I, so a block of four positions needs no
// bounds; a zero adds +0 to a sum of products >= 0, which leaves its bits
// as they were.
constexpr int kPad = W + 4;

// out[i] = (st ? g0 st[i] : 0) + sum_{|d| < W} c(d) x[i - Dir d] over a
// block of 4V positions from i0, the widths in ascending order: Dir 1
// spreads forward mass (Spread), Dir -1 collects backward mass (Collect).
template <int V, int Dir>
__attribute__((always_inline)) inline void BandBlock(
    const HmmParams& h, const double* x, double g0, const double* st,
    int32_t i0, double* out) {
  V4 acc[V];
  for (int v = 0; v < V; ++v) {
    acc[v] = st != nullptr ? g0 * Load(st + i0 + 4 * v) : V4{0.0, 0.0, 0.0, 0.0};
  }
  for (int32_t d = -(W - 1); d <= W - 1; ++d) {
    const double c = h.jump[d + W];
    const double* src = x + i0 - Dir * d;
    for (int v = 0; v < V; ++v) acc[v] += c * Load(src + 4 * v);
  }
  for (int v = 0; v < V; ++v) Store(out + i0 + 4 * v, acc[v]);
}

// Runs block(first, V) over positions 1..I, 32 at a time, the rest in one
// block of as many vectors as it needs (writing up to 3 past I).
template <typename Block>
__attribute__((always_inline)) inline void OverPositions(int32_t I, Block block) {
  int32_t first = 1;
  for (; first + 31 <= I; first += 32) block(first, std::integral_constant<int, 8>());
  switch ((I - first + 4) / 4) {
    case 1: block(first, std::integral_constant<int, 1>()); break;
    case 2: block(first, std::integral_constant<int, 2>()); break;
    case 3: block(first, std::integral_constant<int, 3>()); break;
    case 4: block(first, std::integral_constant<int, 4>()); break;
    case 5: block(first, std::integral_constant<int, 5>()); break;
    case 6: block(first, std::integral_constant<int, 6>()); break;
    case 7: block(first, std::integral_constant<int, 7>()); break;
    case 8: block(first, std::integral_constant<int, 8>()); break;
    default: break;
  }
}

// out[i] = sum_{i'=0..I} g[i'] Weight(i', i) for i = 1..I (out[0] = 0),
// g[0] = g0 and g[1..I] padded in gp; st[i] = start[min(i, W)]; `pre` is
// scratch.  Each out[i] adds its start term, its near jumps by ascending
// width, then its far ends.
__attribute__((always_inline)) inline void Spread(
    const HmmParams& h, const double* gp, double g0, const double* st,
    int32_t I, double* out, std::vector<double>* pre) {
  OverPositions(I, [&](int32_t first, auto vectors) {
    BandBlock<decltype(vectors)::value, 1>(h, gp, g0, st, first, out);
  });
  out[0] = 0.0;
  if (I > W) {
    // Far ends: running sums of g from the left and from the right.
    pre->resize(static_cast<size_t>(I) + 2);
    double* p = pre->data();
    p[0] = 0.0;
    for (int32_t k = 1; k <= I; ++k) p[k] = p[k - 1] + gp[k];
    const double right = h.jump[2 * W], left = h.jump[0];
    for (int32_t i = W + 1; i <= I; ++i) out[i] += right * p[i - W];
    // sum_{i' >= i + W} g[i'] = p[I] - p[i + W - 1]
    for (int32_t i = 1; i + W <= I; ++i) out[i] += left * (p[I] - p[i + W - 1]);
  }
}

// out[i'] = sum_{i=1..I} Weight(i', i) u[i] for i' = 0..I, u[1..I] padded
// in up; `pre` keeps the running sums of u (pre[k] = u[1] + .. + u[k]).
__attribute__((always_inline)) inline void Collect(
    const HmmParams& h, const double* up, int32_t I, double* out,
    std::vector<double>* pre) {
  double s0 = 0.0;
  for (int32_t i = 1; i <= I; ++i) s0 += h.start[std::min(i, W)] * up[i];
  OverPositions(I, [&](int32_t first, auto vectors) {
    BandBlock<decltype(vectors)::value, -1>(h, up, 0.0, nullptr, first, out);
  });
  out[0] = s0;
  pre->resize(static_cast<size_t>(I) + 2);
  double* p = pre->data();
  p[0] = 0.0;
  for (int32_t k = 1; k <= I; ++k) p[k] = p[k - 1] + up[k];
  if (I > W) {
    const double right = h.jump[2 * W], left = h.jump[0];
    // sum_{i >= i' + W} u[i] = p[I] - p[i' + W - 1]
    for (int32_t k = 1; k + W <= I; ++k) out[k] += right * (p[I] - p[k + W - 1]);
    for (int32_t k = W + 1; k <= I; ++k) out[k] += left * p[k - W];
  }
}

// Adds the expected jumps of one step: from position i' (mass g[i'], the
// forward value over its row sum; g[0] = g0, g[1..I] padded in gp) to word
// state i (mass u[i], padded in up); `p` holds the running sums of u as
// Collect leaves them.  The near jumps are summed for all widths at once,
// position after position, so each width's sum still takes its positions
// in ascending order.
__attribute__((always_inline)) inline void AddJumps(
    const HmmParams& h, double g0, const double* gp, const double* up,
    const double* p, int32_t I, HmmParams::Counts* counts) {
  for (int32_t i = 1; i <= I; ++i) {
    AddStart(counts, i, I, g0 * h.start[std::min(i, W)] * up[i]);
  }
  // Lane W - 1 + d of the eight vectors sums the jumps of width d.
  V4 sums[8];
  for (int v = 0; v < 8; ++v) sums[v] = V4{0.0, 0.0, 0.0, 0.0};
  for (int32_t k = 1; k <= I; ++k) {
    const double gk = gp[k];
    const double* uk = up + k - (W - 1);
    for (int v = 0; v < 8; ++v) sums[v] += gk * Load(uk + 4 * v);
  }
  for (int32_t d = -(W - 1); d <= W - 1; ++d) {
    const int lane = d + W - 1;
    counts->jump[d + W] += h.jump[d + W] * sums[lane / 4][lane % 4];
  }
  if (I > W) {
    double right = 0.0, left = 0.0;
    for (int32_t k = 1; k + W <= I; ++k) {
      right += gp[k] * (p[I] - p[k + W - 1]) / static_cast<double>(I - k - W + 1);
    }
    for (int32_t k = W + 1; k <= I; ++k) {
      left += gp[k] * p[k - W] / static_cast<double>(k - W);
    }
    counts->jump[2 * W] += h.jump[2 * W] * right;
    counts->jump[0] += h.jump[0] * left;
  }
}

// HmmPosteriors for a sentence without a matrix, through the running sums
// (O(I * kWindow) a target position).  Built twice like DensePosteriors,
// with the same bits.
__attribute__((target_clones("avx2", "default")))
double BandedPosteriors(const HmmParams& h, const double* t, int32_t I,
                        int32_t m, double* post, HmmParams::Counts* counts,
                        HmmScratch* s) {
  const size_t n = static_cast<size_t>(I) + 1;
  const double* inv_z = h.InvRowSums(I);
  if (inv_z == nullptr) {
    RowSums(h, I, &s->inv_z);
    inv_z = s->inv_z.data();
  }
  SizePasses(s, n, m);
  // g and u with kPad zeros on either side, the start weights by position,
  // and room for the blocks' writes past I.
  const size_t padded = n + 2 * kPad;
  s->g.assign(padded, 0.0);
  s->suf.assign(padded, 0.0);
  s->s.resize(n + 4);
  s->xi.resize(n + 4);
  double* gp = s->g.data() + kPad;
  double* up = s->suf.data() + kPad;
  double* sv = s->s.data();
  double* st = s->xi.data();
  for (int32_t i = 0; i < I + 4; ++i) st[i] = h.start[std::min(i, W)];
  const double stay = h.p0, move = 1.0 - h.p0;
  const double* t0 = t;  // the NULL row

  // Forward, each column scaled to sum 1.
  LogOfProduct ll;
  for (int32_t j = 0; j < m; ++j) {
    double* word = s->word.data() + j * n;
    double* null = s->null.data() + j * n;
    if (j == 0) {
      word[0] = 0.0;
      for (int32_t i = 1; i <= I; ++i) {
        word[i] = move * h.start[std::min(i, W)] * inv_z[0] * t[i * m];
      }
      null[0] = stay * t0[0];
      for (int32_t i = 1; i <= I; ++i) null[i] = 0.0;
    } else {
      const double* pw = word - n;
      const double* pn = null - n;
      const double g0 = (pw[0] + pn[0]) * inv_z[0];
      for (size_t k = 1; k < n; ++k) gp[k] = (pw[k] + pn[k]) * inv_z[k];
      Spread(h, gp, g0, st, I, sv, &s->pre);
      word[0] = 0.0;
      for (int32_t i = 1; i <= I; ++i) word[i] = move * sv[i] * t[i * m + j];
      const double e0 = stay * t0[j];
      for (size_t k = 0; k < n; ++k) null[k] = e0 * (pw[k] + pn[k]);
    }
    if (!ScaleColumn(word, null, n, &s->scale[j], &ll)) {
      std::fill(post, post + n * m, 0.0);
      return ll.Log();
    }
  }

  // Backward, with the same scales; the expected jumps of each step.
  double* last = s->back.data() + static_cast<size_t>(m - 1) * n;
  std::fill(last, last + n, 1.0);
  for (int32_t j = m - 1; j >= 1; --j) {
    const double* b = s->back.data() + j * n;
    double* prev = s->back.data() + (j - 1) * n;
    const double inv = 1.0 / s->scale[j];
    for (int32_t i = 1; i <= I; ++i) up[i] = move * t[i * m + j] * b[i] * inv;
    Collect(h, up, I, sv, &s->pre);
    const double e0 = stay * t0[j] * inv;
    for (size_t k = 0; k < n; ++k) prev[k] = inv_z[k] * sv[k] + e0 * b[k];
    if (counts != nullptr) {
      const double* pw = s->word.data() + (j - 1) * n;
      const double* pn = s->null.data() + (j - 1) * n;
      const double g0 = (pw[0] + pn[0]) * inv_z[0];
      for (size_t k = 1; k < n; ++k) gp[k] = (pw[k] + pn[k]) * inv_z[k];
      AddJumps(h, g0, gp, up, s->pre.data(), I, counts);
    }
  }

  PosteriorsOf(*s, I, m, post);
  if (counts != nullptr) {
    // The first position's jumps from the start.
    for (int32_t i = 1; i <= I; ++i) AddStart(counts, i, I, post[i * m]);
  }
  return ll.Log();
}

}  // namespace

double HmmPosteriors(const HmmParams& h, const double* t, int32_t L, int32_t m,
                     double* post, HmmParams::Counts* counts, HmmScratch* s) {
  if (m == 0) return 0.0;
  const int32_t I = L - 1;
  if (I <= 0) {
    LogOfProduct ll;
    for (int32_t j = 0; j < m; ++j) {
      post[j] = 1.0;
      ll.Add(t[j]);
    }
    return ll.Log();
  }
  if (const double* a = h.Matrix(I)) {
    return DensePosteriors(h, a, h.Transposed(I), t, I, m, post, counts, s);
  }
  return BandedPosteriors(h, t, I, m, post, counts, s);
}

void HmmViterbi(const HmmParams& h, const double* t, int32_t L, int32_t m,
                int32_t* best, HmmScratch* s) {
  const int32_t I = L - 1;
  if (I <= 0) {
    std::fill(best, best + m, 0);
    return;
  }
  if (m == 0) return;
  const size_t n = static_cast<size_t>(I) + 1;
  const double* inv_z = h.InvRowSums(I);
  if (inv_z == nullptr) {
    RowSums(h, I, &s->inv_z);
    inv_z = s->inv_z.data();
  }
  s->word.resize(n);
  s->null.resize(n);
  s->g.resize(n);
  s->s.resize(n);
  s->u.resize(n);
  s->from.resize(n * m);
  s->from_null.resize(n * m);
  double* word = s->word.data();
  double* null = s->null.data();
  double* gv = s->g.data();
  double* nw = s->s.data();
  double* d = s->u.data();
  const double stay = h.p0, move = 1.0 - h.p0;
  const double far_right = h.jump[2 * W], far_left = h.jump[0];
  s->lo_arg.resize(n);
  s->hi_arg.resize(n + 1);
  std::vector<int32_t>& lo_arg = s->lo_arg;
  std::vector<int32_t>& hi_arg = s->hi_arg;

  word[0] = 0.0;
  for (int32_t i = 1; i <= I; ++i) {
    word[i] = move * h.start[std::min(i, W)] * inv_z[0] * t[i * m];
  }
  null[0] = stay * t[0];
  for (int32_t i = 1; i <= I; ++i) null[i] = 0.0;
  for (int32_t j = 1; j < m; ++j) {
    // Best mass at each position, word state before NULL state on ties.
    uint8_t* fn = s->from_null.data() + (j - 1) * n;
    int32_t* from = s->from.data() + j * n;
    for (size_t k = 0; k < n; ++k) {
      fn[k] = k == 0 || null[k] > word[k];
      d[k] = fn[k] ? null[k] : word[k];
      gv[k] = d[k] * inv_z[k];
    }
    // Positions of the largest gv from the left (lowest first) and from the
    // right (lowest of equals too).
    lo_arg[0] = -1;
    for (int32_t k = 1; k <= I; ++k) {
      lo_arg[k] = lo_arg[k - 1] < 0 || gv[k] > gv[lo_arg[k - 1]] ? k : lo_arg[k - 1];
    }
    hi_arg[I + 1] = -1;
    for (int32_t k = I; k >= 1; --k) {
      hi_arg[k] = hi_arg[k + 1] < 0 || gv[k] >= gv[hi_arg[k + 1]] ? k : hi_arg[k + 1];
    }
    for (int32_t i = 1; i <= I; ++i) {
      int32_t arg = 0;
      double v = gv[0] * h.start[std::min(i, W)];
      if (i - W >= 1) {
        const int32_t a = lo_arg[i - W];
        const double x = gv[a] * far_right;
        if (x > v) v = x, arg = a;
      }
      const int32_t lo = std::max(1, i - W + 1), hi = std::min(I, i + W - 1);
      for (int32_t k = lo; k <= hi; ++k) {
        const double x = gv[k] * h.jump[i - k + W];
        if (x > v) v = x, arg = k;
      }
      if (i + W <= I) {
        const int32_t a = hi_arg[i + W];
        const double x = gv[a] * far_left;
        if (x > v) v = x, arg = a;
      }
      nw[i] = move * v * t[i * m + j];
      from[i] = arg;
    }
    const double e0 = stay * t[j];
    double next_top = 0.0;
    for (size_t k = 0; k < n; ++k) {
      null[k] = e0 * d[k];
      word[k] = k == 0 ? 0.0 : nw[k];
      next_top = std::max({next_top, null[k], word[k]});
    }
    if (next_top > 0.0) {
      const double inv = 1.0 / next_top;
      for (size_t k = 0; k < n; ++k) {
        word[k] *= inv;
        null[k] *= inv;
      }
    }
  }
  // The best last state, then back along the choices.
  int32_t pos = 0;
  bool is_null = true;
  double v = null[0];
  for (int32_t k = 1; k <= I; ++k) {
    if (word[k] > v) v = word[k], pos = k, is_null = false;
    if (null[k] > v) v = null[k], pos = k, is_null = true;
  }
  for (int32_t j = m - 1; j >= 0; --j) {
    best[j] = is_null ? 0 : pos;
    if (j == 0) break;
    if (!is_null) pos = s->from[j * n + pos];
    is_null = s->from_null[(j - 1) * n + pos] != 0;
  }
}

std::string FormatHmmParams(const HmmParams& h) {
  std::string out = "p0\t" + FormatRepr(h.p0) + "\nwindow\t" +
                    std::to_string(HmmParams::kWindow) + "\n";
  for (int i = 1; i < HmmParams::kStarts; ++i) {
    out += "start\t" + std::to_string(i) + "\t" + FormatRepr(h.start[i]) + "\n";
  }
  for (int d = -W; d <= W; ++d) {
    out += "jump\t" + std::to_string(d) + "\t" + FormatRepr(h.jump[d + W]) + "\n";
  }
  return out;
}

HmmParams ParseHmmParams(const std::string& text, const std::string& where) {
  HmmParams h;
  std::vector<bool> seen_jump(HmmParams::kJumps, false),
      seen_start(HmmParams::kStarts, false);
  bool seen_p0 = false, seen_window = false;
  size_t pos = 0;
  int64_t line_no = 0;
  auto fail = [&](const std::string& why) {
    throw std::invalid_argument(where + ":" + std::to_string(line_no) + ": " + why);
  };
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    ++line_no;
    if (line.empty()) continue;
    std::vector<std::string_view> f;
    size_t a = 0;
    while (true) {
      const size_t b = line.find('\t', a);
      f.push_back(line.substr(a, b == std::string_view::npos ? line.npos : b - a));
      if (b == std::string_view::npos) break;
      a = b + 1;
    }
    double value = 0.0;
    int64_t key = 0;
    if (f[0] == "p0" && f.size() == 2) {
      if (seen_p0) fail("p0 given twice");
      if (!ParseFloat(f[1], &value) || !(value >= 0.0 && value < 1.0)) {
        fail("p0 must be a number in [0, 1), got '" + std::string(f[1]) + "'");
      }
      h.p0 = value;
      seen_p0 = true;
    } else if (f[0] == "window" && f.size() == 2) {
      if (!ParseInt(f[1], &key) || key != HmmParams::kWindow) {
        fail("expected window " + std::to_string(HmmParams::kWindow) + ", got '" +
             std::string(f[1]) + "'");
      }
      seen_window = true;
    } else if ((f[0] == "jump" || f[0] == "start") && f.size() == 3) {
      const bool jump = f[0] == "jump";
      if (!ParseInt(f[1], &key) || (jump && (key < -W || key > W)) ||
          (!jump && (key < 1 || key > W))) {
        fail("bad " + std::string(f[0]) + " position '" + std::string(f[1]) + "'");
      }
      if (!ParseFloat(f[2], &value) || !std::isfinite(value) || !(value > 0.0)) {
        fail("a weight must be a finite number above 0, got '" + std::string(f[2]) + "'");
      }
      std::vector<bool>& seen = jump ? seen_jump : seen_start;
      const size_t k = static_cast<size_t>(jump ? key + W : key);
      if (seen[k]) fail(std::string(f[0]) + " " + std::string(f[1]) + " given twice");
      seen[k] = true;
      (jump ? h.jump : h.start)[k] = value;
    } else {
      fail("unexpected line '" + std::string(line) + "'");
    }
  }
  line_no = 0;
  if (!seen_p0 || !seen_window) fail("p0 or window missing");
  for (size_t k = 0; k < seen_jump.size(); ++k) {
    if (!seen_jump[k]) fail("jump " + std::to_string(static_cast<int>(k) - W) + " missing");
  }
  for (size_t k = 1; k < seen_start.size(); ++k) {
    if (!seen_start[k]) fail("start " + std::to_string(k) + " missing");
  }
  h.Refresh();
  return h;
}

}  // namespace qaz
