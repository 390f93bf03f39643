"""Type stubs of the native module qaz._links."""

import os
from typing import Sequence, TypedDict, Union

import numpy.typing as npt

Link = tuple[int, int]
LinkLists = Sequence[Sequence[Link]]
Path = Union[str, os.PathLike[str]]

class AerCounts(TypedDict):
    hypothesis: int
    sure: int
    hypothesis_and_sure: int
    hypothesis_and_possible: int
    precision: float
    recall: float
    f1: float
    aer: float

def symmetrize(forward: LinkLists, reverse: LinkLists, method: str = "grow-diag-final-and") -> list[list[Link]]: ...
def symmetrize_posterior(
    forward: Sequence[npt.ArrayLike], reverse: Sequence[npt.ArrayLike], threshold: float
) -> list[list[Link]]: ...
def aer_counts(sure: LinkLists, possible: LinkLists, hypothesis: LinkLists) -> AerCounts: ...
def read_links(path: Path, limit: int = -1) -> list[list[Link]]: ...
def read_decoded(path: Path, limit: int = -1) -> list[list[Link]]: ...
def read_gold_links(path: Path, swap: bool = False) -> tuple[list[list[Link]], list[list[Link]]]: ...
def read_naacl(path: Path, swap: bool = False) -> tuple[list[list[Link]], list[list[Link]]]: ...
def read_gold(
    path: Path, naacl: bool, swap: bool = False, limit: int = -1
) -> tuple[list[list[Link]], list[list[Link]], int]: ...
def format_links(sentences: LinkLists) -> list[str]: ...
def transpose(sentences: LinkLists) -> list[list[Link]]: ...
