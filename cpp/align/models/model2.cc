#include "align/models/model2.h"

#include "align/trans_table.h"

namespace qaz {

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
