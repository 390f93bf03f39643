"""Word alignments as link lists: symmetrisation and alignment error rate.

Caveats first:

- A link is a pair ``(i, j)`` of 0-based positions, source first, as in the
  Pharaoh format (``0-0 1-2``); links to the NULL word are never listed.
- A test set is a list with one list of links per sentence pair, in corpus
  order.  Links come back sorted by ``(i, j)``; input order and repeats do not
  matter.
- Both inputs of :func:`symmetrize` must be in source-target orientation: a
  reverse model (trained with the two sides exchanged) gives ``(j, i)``
  links, which have to be transposed first.
- The gold possible links include the sure ones; a sure link missing from
  ``gold_possible`` still counts as possible.
"""

from dataclasses import dataclass

from qaz import _links

SYMMETRIZATION_METHODS = ("intersect", "union", "grow-diag", "grow-diag-final", "grow-diag-final-and")


def symmetrize(forward, reverse, method="grow-diag-final-and"):
    """Combine the forward and reverse links of every sentence pair.

    ``method`` is one of :data:`SYMMETRIZATION_METHODS`:

    - ``intersect``: links in both; ``union``: links in either;
    - ``grow-diag``: the intersection, grown pass after pass by the links of
      the union that have a neighbour (the eight surrounding cells) in the
      result and an unaligned source or target word, walked in ``(i, j)``
      order;
    - ``grow-diag-final``: then the forward links, then the reverse links, in
      ``(i, j)`` order, that touch an unaligned word;
    - ``grow-diag-final-and``: the same, but both words must be unaligned.

    Good:

    >>> symmetrize([[(0, 0), (1, 1), (2, 1)]], [[(0, 0), (1, 1), (1, 2)]], "intersect")
    [[(0, 0), (1, 1)]]
    >>> symmetrize([[(0, 0), (1, 1), (2, 1)]], [[(0, 0), (1, 1), (1, 2)]])
    [[(0, 0), (1, 1), (1, 2), (2, 1)]]

    Bad (one list per sentence, and as many sentences on both sides):

    >>> symmetrize([(0, 0)], [(0, 0)])
    Traceback (most recent call last):
    ...
    ValueError: forward sentence 1, link 1: expected a pair (i, j) of non-negative 32-bit integers, got 0
    >>> symmetrize([[(0, 0)]], [], "union")
    Traceback (most recent call last):
    ...
    ValueError: forward has 1 sentences but reverse has 0
    """
    return _links.symmetrize(forward, reverse, method)


@dataclass(frozen=True)
class AlignmentScores:
    """Precision, recall, F1 and alignment error rate, with the link counts they come from.

    With hypothesis links A, sure links S and possible links P (P includes S),
    summed over the sentences: precision = |A & P| / |A|, recall = |A & S| /
    |S|, f1 = 2 P R / (P + R), aer = 1 - (|A & S| + |A & P|) / (|A| + |S|).
    An empty A has precision 1, an empty S recall 1, P + R = 0 gives f1 0, and
    A and S both empty give aer 0.
    """

    precision: float
    recall: float
    f1: float
    aer: float
    hypothesis: int
    sure: int
    hypothesis_and_sure: int
    hypothesis_and_possible: int


def alignment_error_rate(gold_sure, gold_possible, hyp):
    """Score hypothesis links against gold links (Och and Ney 2003), summed over the sentences.

    The three arguments are lists with one list of ``(i, j)`` links per
    sentence, all of the same length.

    >>> s = alignment_error_rate([[(0, 0)]], [[(0, 0), (1, 1), (1, 2)]], [[(0, 0), (1, 1), (2, 2)]])
    >>> round(s.precision, 4), s.recall, s.aer
    (0.6667, 1.0, 0.25)
    >>> alignment_error_rate([[(0, 0)]], [[(0, 0)]], [])
    Traceback (most recent call last):
    ...
    ValueError: hypothesis has 0 sentences but sure has 1
    """
    return AlignmentScores(**_links.aer_counts(gold_sure, gold_possible, hyp))
