// The one-pair computations of the alignment models live with the models
// (models/model.h, model1.h, model2.h); this header names them for the
// files that include it.
#ifndef QAZ_ALIGN_EM_H_
#define QAZ_ALIGN_EM_H_

#include "align/models/factory.h"

#endif  // QAZ_ALIGN_EM_H_
