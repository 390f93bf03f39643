#!/usr/bin/env bash
# Installs the package into a virtual environment, trains IBM Models 1 and 2 on
# the bundled sample corpus, scores the same corpus with the stored tables,
# then word-aligns it with qaz-align (Model 1 then the HMM, both directions in
# agreement).  Output goes to example-out/.
set -euo pipefail
cd "$(dirname "$0")"
py=${PYTHON:-python3}
venv=".venv-$($py -c 'import sys; print("%d.%d" % sys.version_info[:2])')"
[ -x "$venv/bin/python" ] || "$py" -m venv "$venv"
"$venv/bin/python" -m pip install -q --upgrade pip
"$venv/bin/python" -m pip install -q .
mkdir -p example-out
"$venv/bin/qaz-train" examples/hansards.1k.f examples/hansards.1k.e \
  example-out/trans.txt example-out/align.txt \
  --save-scores example-out/train-scores.txt --decode-align example-out/train-align.txt
"$venv/bin/qaz-score" examples/hansards.1k.f examples/hansards.1k.e \
  example-out/trans.txt example-out/align.txt \
  --save-scores example-out/scores.txt --decode-align example-out/decoded.txt
echo "first decoded alignments:"
head -3 example-out/decoded.txt
"$venv/bin/qaz-align" examples/hansards.1k.f examples/hansards.1k.e \
  -o example-out/links.txt --save-model example-out/model
echo "first word links (source-target, 0-based):"
head -3 example-out/links.txt
