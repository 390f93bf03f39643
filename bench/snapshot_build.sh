#!/usr/bin/env bash
# Install a commit of the package, with what it depends on, into its own
# folder under bench/out/, so that a benchmark measures a fixed engine even
# while the work tree's modules are being rebuilt (replacing a loaded .so
# under a running process crashes it).
#   bench/snapshot_build.sh [COMMIT]     # default HEAD
# prints the folder to put on PYTHONPATH, e.g.
#   PYTHONPATH=$(bench/snapshot_build.sh | tail -1) python3 bench/run_all.py
# (with an interpreter that has no editable install of qaz: its import hook
# would take precedence over PYTHONPATH).  PYTHON picks the interpreter that
# builds (default python3).
set -euo pipefail
cd "$(dirname "$0")/.."
py=${PYTHON:-python3}
rev=$(git rev-parse --short "${1:-HEAD}")
dir=bench/out/snap-$rev
if [ ! -f "$dir/.built" ]; then
  rm -rf "$dir"
  mkdir -p "$dir/src"
  git archive "$rev" | tar -x -C "$dir/src"
  "$py" -m pip install -q --target "$dir/site" "$dir/src" >&2
  touch "$dir/.built"
fi
echo "$(pwd)/$dir/site"
