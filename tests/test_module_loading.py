"""Loading the three alignment modules in any order, and the memory check."""

import subprocess
import sys

import pytest

from qaz.smt.align import emcore

PROBE = """
import importlib, sys
first = importlib.import_module(sys.argv[1])
from qaz.smt.align import emcore, emlex, empos
assert issubclass(empos.Model2Trainer, emlex.Model1Trainer)
assert issubclass(emlex.Model1Trainer, emcore.Trainer)
assert issubclass(empos.Model2, emlex.Model1) and issubclass(emlex.Model1, emcore.Model)
assert callable(emcore.train_emcore) and callable(emcore.main_score)
t = empos.Model2Trainer({})
assert type(t._model) is empos.Model2
print("ok", first.__name__)
"""


@pytest.mark.parametrize("first", ["qaz.smt.align.empos", "qaz.smt.align.emlex",
                                   "qaz.smt.align.emcore", "qaz.smt.align"])
def test_any_module_can_be_imported_first(first):
    out = subprocess.run([sys.executable, "-c", PROBE, first], capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == "ok " + first


def test_memory_check_refuses_what_does_not_fit():
    emcore._check_memory(1 << 20, "a small table")
    with pytest.raises(MemoryError, match=r"^the translation table would need about [\d.]+ GiB, "
                                          r"but only [\d.]+ GiB are available$"):
        emcore._check_memory(1 << 60, "the translation table")
