#include "align/models/model2.h"

#include "align/trans_table.h"

namespace qaz {

double Model2::PairEntropy(const double* t, const AlignTable* align, int32_t L,
                           int32_t m, bool average) const {
  std::vector<double> uniform;
  return KernelPairEntropy<Model2Kernel>(t, PairAlignOf(align, L, m, &uniform),
                                         L, m, average);
}

void Model2::Viterbi(const double* t, const AlignTable* align, int32_t L,
                     int32_t m, std::vector<int32_t>* best) const {
  best->assign(static_cast<size_t>(m), 0);
  std::vector<double> uniform;
  KernelViterbi<Model2Kernel>(t, PairAlignOf(align, L, m, &uniform), L, m,
                              best->data());
}

void Model2::Posteriors(const double* t, const AlignTable* align, int32_t L,
                        int32_t m, std::vector<double>* post) const {
  post->assign(static_cast<size_t>(L) * m, 0.0);
  std::vector<double> uniform;
  KernelPosteriors<Model2Kernel>(t, PairAlignOf(align, L, m, &uniform), L, m,
                                 post->data());
}

void Model2::LogExpectStep(Reporter& log) const {
  log.Info("computing:");
  log.Info("* expected co-occurrence counts of source word and target word");
  log.Info("* expected alignment counts of source index and target index");
}

void Model2::Maximize(TransTable* trans, AlignTable* align, bool aside,
                      const Parallel* parallel, Reporter& log) const {
  log.Info("estimating word translation distribution");
  trans->Normalize(aside, parallel);
  align->Normalize(aside, parallel);
}

}  // namespace qaz
