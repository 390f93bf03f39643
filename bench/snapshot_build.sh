#!/usr/bin/env bash
# Build a commit of the package in its own folder under bench/out/, so that a
# benchmark measures a fixed engine even while the work tree's modules are
# being rebuilt (replacing a loaded .so under a running process crashes it).
#   bench/snapshot_build.sh [COMMIT]     # default HEAD
# prints the folder to put on PYTHONPATH, e.g.
#   PYTHONPATH=$(bench/snapshot_build.sh | tail -1) python3 bench/run_all.py
set -euo pipefail
cd "$(dirname "$0")/.."
rev=$(git rev-parse --short "${1:-HEAD}")
dir=bench/out/snap-$rev
if [ ! -f "$dir/.built" ]; then
  rm -rf "$dir"
  mkdir -p "$dir"
  git archive "$rev" | tar -x -C "$dir"
  "$dir/tools/dev_build.sh" >&2
  touch "$dir/.built"
fi
echo "$(pwd)/$dir/src"
