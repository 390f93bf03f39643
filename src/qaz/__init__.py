"""qaz: IBM Model 1/2 word alignment with a C++ core, and rule tables.

``from qaz import Aligner`` loads the aligner (and its extension modules)
only when the name is first asked for, so ``import qaz`` stays cheap.
"""


def __getattr__(name):
    if name == "Aligner":
        from qaz.aligner import Aligner

        return Aligner
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
