"""Type stubs of qaz.aligner (symmetrisation and alignment error rate)."""

from dataclasses import dataclass
from typing import Sequence

Link = tuple[int, int]
LinkLists = Sequence[Sequence[Link]]

SYMMETRIZATION_METHODS: tuple[str, ...]

def symmetrize(forward: LinkLists, reverse: LinkLists, method: str = "grow-diag-final-and") -> list[list[Link]]: ...
@dataclass(frozen=True)
class AlignmentScores:
    precision: float
    recall: float
    f1: float
    aer: float
    hypothesis: int
    sure: int
    hypothesis_and_sure: int
    hypothesis_and_possible: int

def alignment_error_rate(gold_sure: LinkLists, gold_possible: LinkLists, hyp: LinkLists) -> AlignmentScores: ...
