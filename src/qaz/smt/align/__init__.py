"""IBM Model 1 and Model 2 word alignment: ``emcore``, ``emlex``, ``empos``."""

import importlib.machinery
import sys

# ``python -m qaz.smt.align.emcore ...`` runs the training command.  runpy
# needs a code object, which an extension module does not have; the finder
# below gives ``emcore`` the usual extension loader plus a ``get_code`` that
# returns a two-line program calling the training entry.  Ordinary imports
# go through the inherited create_module/exec_module and are unaffected.

_EMCORE = __name__ + ".emcore"

_MAIN_SOURCE = (
    "import qaz.smt.align.emcore\n"
    "from qaz.smt.align import _drivers\n"
    "_drivers.run_as_main()\n"
)


class _RunnableExtensionLoader(importlib.machinery.ExtensionFileLoader):
    def get_code(self, fullname):
        return compile(_MAIN_SOURCE, "<" + fullname + " as __main__>", "exec")


class _EmcoreFinder:
    """Finds ``emcore`` like the path finder does, with the loader above."""

    @staticmethod
    def find_spec(fullname, path=None, target=None):
        if fullname != _EMCORE:
            return None
        spec = importlib.machinery.PathFinder.find_spec(fullname, path, target)
        if spec is not None and type(spec.loader) is importlib.machinery.ExtensionFileLoader:
            spec.loader = _RunnableExtensionLoader(fullname, spec.origin)
        return spec


# Installed once, even if this package is reloaded.
if not any(getattr(f, "__name__", None) == "_EmcoreFinder" for f in sys.meta_path):
    sys.meta_path.insert(0, _EmcoreFinder)
