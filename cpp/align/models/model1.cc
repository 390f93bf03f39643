#include "align/models/model1.h"

#include "align/trans_table.h"

namespace qaz {

double Model1::PairEntropy(const double* t, const AlignTable*, int32_t L,
                           int32_t m, bool average) const {
  return KernelPairEntropy<Model1Kernel>(t, PairAlign{nullptr, 0}, L, m,
                                         average);
}

void Model1::Viterbi(const double* t, const AlignTable*, int32_t L, int32_t m,
                     std::vector<int32_t>* best) const {
  best->assign(static_cast<size_t>(m), 0);
  KernelViterbi<Model1Kernel>(t, PairAlign{nullptr, 0}, L, m, best->data());
}

void Model1::Posteriors(const double* t, const AlignTable*, int32_t L,
                        int32_t m, std::vector<double>* post) const {
  post->assign(static_cast<size_t>(L) * m, 0.0);
  KernelPosteriors<Model1Kernel>(t, PairAlign{nullptr, 0}, L, m, post->data());
}

void Model1::LogExpectStep(Reporter& log) const {
  log.Info("computing expected co-occurrence counts of source word and "
           "target word");
}

void Model1::Maximize(TransTable* trans, AlignTable*, bool aside,
                      const Parallel* parallel, Reporter& log) const {
  log.Info("estimating word translation distribution");
  trans->Normalize(aside, parallel);
}

}  // namespace qaz
