"""Type stubs of qaz.aligner (symmetrisation, alignment error rate, the Aligner)."""

import os
from dataclasses import dataclass
from typing import Iterable, Optional, Sequence, Union

import numpy as np
import numpy.typing as npt

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
Lines = Iterable[str]
Path = Union[str, os.PathLike[str]]

def parse_size(text: str) -> int: ...

class Aligner:
    def __init__(
        self,
        iterations: int = 5,
        character: bool = False,
        threads: Optional[int] = None,
        memory_limit: Union[int, str, None] = None,
        *,
        model: str = "2",
        agreement: Optional[bool] = None,
        lowercase: bool = False,
    ) -> None: ...
    @property
    def model(self) -> str: ...
    @property
    def agreement(self) -> bool: ...
    @property
    def iterations(self) -> int: ...
    @property
    def character(self) -> bool: ...
    @property
    def threads(self) -> int: ...
    @property
    def memory_limit(self) -> Optional[int]: ...
    def fit(self, src_lines: Lines, trg_lines: Lines) -> "Aligner": ...
    def align(
        self, src_lines: Lines, trg_lines: Lines, sym: str = "none", posterior_threshold: float = 0.5
    ) -> list[list[Link]]: ...
    def score(self, src_lines: Lines, trg_lines: Lines) -> npt.NDArray[np.float64]: ...
    def posteriors(self, src: str, trg: str) -> npt.NDArray[np.float64]: ...
    def translation_prob(self, src_word: str, trg_word: str) -> float: ...
    def save(
        self, trans_path: Path, align_path: Optional[Path] = None, threshold: float = 0.001, nbest: Optional[int] = 100
    ) -> None: ...
    def save_model(self, folder: Path) -> None: ...
    @classmethod
    def load_model(
        cls, folder: Path, *, threads: Optional[int] = None, memory_limit: Union[int, str, None] = None
    ) -> "Aligner": ...
    @classmethod
    def load(
        cls,
        trans_path: Path,
        align_path: Optional[Path] = None,
        *,
        character: bool = False,
        threads: Optional[int] = None,
        memory_limit: Union[int, str, None] = None,
    ) -> "Aligner": ...
