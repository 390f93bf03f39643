#!/usr/bin/env bash
# Sets up a virtual environment, installs the package with its test extra and
# runs the test suite.  PYTHON picks the interpreter (default python3).
set -euo pipefail
cd "$(dirname "$0")"
py=${PYTHON:-python3}
venv=".venv-$($py -c 'import sys; print("%d.%d" % sys.version_info[:2])')"
[ -x "$venv/bin/python" ] || "$py" -m venv "$venv"
"$venv/bin/python" -m pip install -q --upgrade pip
"$venv/bin/python" -m pip install -q ".[test]"
# Run from the tests folder so that the installed package, not src/, is tested.
cd tests && "../$venv/bin/python" -m pytest -q -p no:cacheprovider "$@"
