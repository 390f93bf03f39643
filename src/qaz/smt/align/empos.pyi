"""Type stubs of the native module qaz.smt.align.empos (public surface only)."""

from typing import Any, Optional

from qaz.smt.align.emlex import Model1, Model1Trainer

class Model2(Model1):
    def __init__(self) -> None: ...

class Model2Trainer(Model1Trainer):
    def __init__(self, conf: Any, **others: Any) -> None: ...

def unpickle_Model2(cls: type, checksum: int, state: Optional[tuple]) -> Model2: ...
def unpickle_Model2Trainer(cls: type, checksum: int, state: Optional[tuple]) -> Model2Trainer: ...
