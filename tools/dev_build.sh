#!/usr/bin/env bash
# Developer loop: build some extension targets in build/dev and copy them
# into src/ so that `PYTHONPATH=src python ...` picks them up.
#   tools/dev_build.sh                 # every module
#   tools/dev_build.sh tables          # one module
set -euo pipefail
cd "$(dirname "$0")/.."
py=${PYTHON:-python3}
bdir=build/dev-$($py -c 'import sys; print("%d%d" % sys.version_info[:2])')
cmake -S . -B "$bdir" -G Ninja -DSKBUILD=ON -DCMAKE_BUILD_TYPE=Release \
  -DPython_EXECUTABLE="$(command -v $py)" \
  -Dpybind11_DIR="$($py -m pybind11 --cmakedir)" >/dev/null
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(_vocab emcore emlex empos tables)
cmake --build "$bdir" --target "${targets[@]}"
for t in "${targets[@]}"; do
  case $t in
    _vocab) dest=src/qaz/common ;;
    emcore|emlex|empos) dest=src/qaz/smt/align ;;
    tables) dest=src/qaz/smt/trans_models ;;
    *) continue ;;
  esac
  cp "$bdir"/$t.*.so "$dest"/
done
