"""The Python layers import downwards only: no import circle, no private
helper of one module used by another, imports at the top of modules except
the few kept lazy on purpose."""

import ast
import importlib.util
from pathlib import Path

import pytest

import qaz

from conftest import run_command

PACKAGE = Path(qaz.__file__).resolve().parent

# Imports inside functions that are there on purpose: Dask is optional, and
# the rest keep NumPy and the Model 1 and 2 modules out of the start of the
# commands that do not need them.
LAZY = {
    ("qaz", "qaz.aligner"),
    ("qaz.common.progress", "tqdm"),
    ("qaz.align_command", "qaz.distributed"),
    ("qaz.smt.align._drivers", "qaz.distributed"),
}
OPTIONAL = {"dask", "distributed", "asyncio"}


def python_modules(root=PACKAGE):
    """{module name: path} of the package's Python sources."""
    out = {}
    for path in sorted(root.rglob("*.py")):
        parts = list(path.relative_to(root).with_suffix("").parts)
        if parts[-1] == "__init__":
            parts.pop()
        out[".".join(["qaz"] + parts)] = path
    return out


def is_extension(name, modules):
    """Whether ``name`` is an extension module of the package."""
    parent = name.rpartition(".")[0]
    if parent not in modules or modules[parent].name != "__init__.py":
        return False
    try:
        spec = importlib.util.find_spec(name)
    except ImportError:
        return False
    return spec is not None and not spec.origin.endswith(".py")


def imported(node, module, is_package, modules):
    """(module, name, bound) for each name an import statement binds: the package module
    it stands for, the name taken from it (None for the module itself) and the local name."""
    out = []
    if isinstance(node, ast.Import):
        for alias in node.names:
            if alias.asname:
                out.append((alias.name, None, alias.asname))
            else:
                out.append((alias.name, None, alias.name.split(".")[0]))
        return out
    base = node.module or ""
    if node.level:
        anchor = module.split(".") if is_package else module.split(".")[:-1]
        anchor = anchor[:len(anchor) - node.level + 1]
        base = ".".join(anchor + ([base] if base else []))
    for alias in node.names:
        full = "{}.{}".format(base, alias.name)
        if full in modules or is_extension(full, modules):
            out.append((full, None, alias.asname or alias.name))
        else:
            out.append((base, alias.name, alias.asname or alias.name))
    return out


class Imports(ast.NodeVisitor):
    """Imports of one module: at module level, inside functions, and the attributes read off
    imported package modules."""

    def __init__(self, module, modules, is_package):
        self.module, self.modules, self.is_package = module, modules, is_package
        self.top, self.lazy, self.names, self.attributes = [], [], {}, []
        self.depth = 0

    def visit_FunctionDef(self, node):
        self.depth += 1
        self.generic_visit(node)
        self.depth -= 1

    visit_AsyncFunctionDef = visit_FunctionDef

    def _import(self, node):
        for target, name, bound in imported(node, self.module, self.is_package, self.modules):
            (self.lazy if self.depth else self.top).append((target, name))
            if name is None and target in self.modules and "." not in bound:
                self.names[bound] = target

    visit_Import = visit_ImportFrom = _import

    def visit_Attribute(self, node):
        if isinstance(node.value, ast.Name) and node.value.id in self.names:
            self.attributes.append((self.names[node.value.id], node.attr))
        self.generic_visit(node)


def scan(root=PACKAGE):
    modules = python_modules(root)
    out = {}
    for module, path in modules.items():
        visitor = Imports(module, modules, path.name == "__init__.py")
        visitor.visit(ast.parse(path.read_text(encoding="utf-8")))
        out[module] = visitor
    return modules, out


def private(name):
    return name is not None and name.startswith("_") and not name.startswith("__")


def cycle(graph):
    """A cycle of the directed graph {node: successors}, or None."""
    state = {}

    def visit(node, path):
        state[node] = 1
        for nxt in graph.get(node, ()):
            if state.get(nxt) == 1:
                return path[path.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt, path + [nxt])
                if found:
                    return found
        state[node] = 2
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node, [node])
            if found:
                return found
    return None


def layer_faults(root=PACKAGE):
    """What breaks the layering rules in the sources under ``root``, as text."""
    modules, scanned = scan(root)
    faults = []
    graph = {}
    for module, imports in scanned.items():
        graph[module] = sorted({target for target, _ in imports.top if target in modules and target != module})
        for target, name in imports.top + imports.lazy + imports.attributes:
            if target in modules and target != module and private(name):
                faults.append("{} uses the private {}.{}".format(module, target, name))
        for target, _ in imports.lazy:
            if target.split(".")[0] in OPTIONAL or (module, target) in LAZY:
                continue
            faults.append("{} imports {} inside a function".format(module, target))
    loop = cycle(graph)
    if loop:
        faults.append("import circle: " + " -> ".join(loop))
    return faults


def test_python_modules_import_downwards_only():
    assert layer_faults() == []


def test_every_lazy_import_on_the_list_is_still_there():
    _, scanned = scan()
    lazy = {(module, target) for module, imports in scanned.items() for target, _ in imports.lazy}
    assert LAZY <= lazy


def test_the_rules_find_circles_private_helpers_and_hidden_imports(tmp_path):
    root = tmp_path / "qaz"
    (root / "sub").mkdir(parents=True)
    (root / "__init__.py").write_text("")
    (root / "sub" / "__init__.py").write_text("")
    (root / "sub" / "low.py").write_text("from qaz.sub import high\n\ndef f():\n    return high.g()\n")
    (root / "sub" / "high.py").write_text(
        "from qaz.sub.low import _helper\nfrom . import low\n\n"
        "def g():\n    import qaz.other\n    return low._secret\n")
    (root / "other.py").write_text("import os\n\ndef h():\n    import dask\n    return os\n")
    faults = layer_faults(root)
    assert "qaz.sub.high uses the private qaz.sub.low._helper" in faults
    assert "qaz.sub.high uses the private qaz.sub.low._secret" in faults
    assert "qaz.sub.high imports qaz.other inside a function" in faults
    assert any(f.startswith("import circle: ") and "qaz.sub.low" in f and "qaz.sub.high" in f for f in faults)
    assert len(faults) == 4, faults


# ---------------------------------------------------------------------------
# What each layer loads


def loaded_after(code):
    r = run_command(["-c", code + "\nimport sys\nprint(sorted(m for m in sys.modules "
                     "if m.startswith('qaz') or m == 'numpy'))"])
    assert r.returncode == 0, r.stderr
    return eval(r.stdout.strip().splitlines()[-1])


def test_the_engine_module_loads_no_command():
    loaded = loaded_after("import qaz.smt.align.emcore")
    assert "qaz.smt.align._drivers" not in loaded and "qaz.distributed" not in loaded


def test_one_machine_training_loads_no_dask_path():
    loaded = loaded_after("from qaz.smt.align.emcore import main_train")
    assert "qaz.smt.align._drivers" in loaded and "qaz.distributed" not in loaded and "qaz._shard" not in loaded


@pytest.mark.parametrize("code", ["import qaz.align_command", "import qaz.aer",
                                  "from qaz import Aligner\nAligner(memory_limit='2G')",
                                  "from qaz.align_command import create_parser\n"
                                  "create_parser().parse_args(['s', 't', '-m', '3G'])"])
def test_one_machine_aligning_loads_neither_numpy_nor_the_model_modules(code):
    loaded = loaded_after(code)
    assert "numpy" not in loaded and "qaz.smt.align.emcore" not in loaded and "qaz.distributed" not in loaded


@pytest.mark.parametrize("first", ["qaz.smt.align._drivers", "qaz.smt.align._one_machine", "qaz.distributed",
                                   "qaz.smt.align._run", "qaz.smt.align.emcore"])
def test_the_command_names_of_emcore_in_any_import_order(first):
    code = (
        "import importlib\n"
        "importlib.import_module({!r})\n"
        "from qaz.smt.align import _drivers, emcore\n"
        "assert set(_drivers.__all__) <= set(dir(emcore))\n"
        "assert all(getattr(emcore, n) is getattr(_drivers, n) for n in _drivers.__all__)\n"
        "ns = {{}}\n"
        "exec('from qaz.smt.align.emcore import *', ns)\n"
        "assert ns['main_train'] is _drivers.main_train and ns['Trainer'] is emcore.Trainer\n"
        "try:\n"
        "    emcore.nothing\n"
        "except AttributeError as e:\n"
        "    print(e)\n".format(first))
    r = run_command(["-c", code])
    assert r.returncode == 0, r.stderr
    assert r.stdout.strip() == "module 'qaz.smt.align.emcore' has no attribute 'nothing'"


def test_the_star_import_of_emcore_binds_what_it_did():
    from qaz.smt.align import emcore

    public = {n for n in dir(emcore) if not n.startswith("_")}
    assert set(emcore.__all__) == public
    assert {"Vocab", "Model", "Trainer", "ITERATION_LIMIT", "NULL_SYMBOL", "logger", "main_score"} <= public


def test_the_commands_start_as_before():
    r = run_command(["-m", "qaz.smt.align.emcore", "--help"])
    assert r.returncode == 0 and "--memory-limit SIZE" in r.stdout, r.stderr
    r = run_command(["-c", "from qaz.smt.align.emcore import main_score; main_score()", "--help"])
    assert r.returncode == 0 and "trans_path" in r.stdout, r.stderr
