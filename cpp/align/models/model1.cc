#include "align/models/model1.h"

#include "align/trans_table.h"

namespace qaz {

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
