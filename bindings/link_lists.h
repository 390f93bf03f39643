// Word links as scripts see them: one list of (i, j) tuples per sentence.
#ifndef QAZ_BINDINGS_LINK_LISTS_H_
#define QAZ_BINDINGS_LINK_LISTS_H_

#include <pybind11/pybind11.h>

#include <vector>

#include "align/links.h"

namespace qaz_py {

inline pybind11::list LinkLists(const std::vector<qaz::Links>& sentences) {
  pybind11::list out(sentences.size());
  for (size_t s = 0; s < sentences.size(); ++s) {
    pybind11::list links(sentences[s].size());
    for (size_t k = 0; k < sentences[s].size(); ++k) {
      links[k] = pybind11::make_tuple(sentences[s][k].i, sentences[s][k].j);
    }
    out[s] = std::move(links);
  }
  return out;
}

}  // namespace qaz_py

#endif  // QAZ_BINDINGS_LINK_LISTS_H_
