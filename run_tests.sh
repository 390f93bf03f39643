#!/usr/bin/env bash
# Sets up a virtual environment, installs the package with its test extra,
# checks the Python sources with ruff and runs the test suites.  PYTHON picks
# the interpreter (default python3).
set -euo pipefail
cd "$(dirname "$0")"
py=${PYTHON:-python3}
venv=".venv-$($py -c 'import sys; print("%d.%d" % sys.version_info[:2])')"
[ -x "$venv/bin/python" ] || "$py" -m venv "$venv"
"$venv/bin/python" -m pip install -q --upgrade pip
"$venv/bin/python" -m pip install -q ".[test]"
# Lint first: a fault ruff finds need not wait for the build.
"$venv/bin/python" -m ruff check src tests bench
# The engine's own unit tests (plain C++, no interpreter).
if ! command -v cmake >/dev/null 2>&1; then
  "$venv/bin/python" -m pip install -q cmake
  PATH="$PWD/$venv/bin:$PATH"
fi
cmake -S . -B build/engine-tests -DQAZ_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/engine-tests -j 2 >/dev/null
(cd build/engine-tests && ctest --output-on-failure)
# Run from the tests folder so that the installed package, not src/, is tested.
cd tests && "../$venv/bin/python" -m pytest -q -p no:cacheprovider "$@"
