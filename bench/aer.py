"""Alignment error rate of decoded alignments on the gold-aligned trial sentences.

Usage:
    python bench/aer.py DECODED --src-lang f|e [--gold trial.wa]
    python bench/aer.py --train [--out-dir bench/out/aer]

A decoded file has one line per corpus pair, tokens "j-i" with j the 1-based
target position and i the source position (0 is the NULL word; such links
are dropped).  The gold file has one link per line, "sentence
english_position french_position S|P", 1-based; trial sentence k is corpus
line FIRST_LINE + k (447 + k for the Hansards file).  With French as the
source side, j is an English position and i a French one; with English as
the source side it is the other way round.

    AER = 1 - (|A & S| + |A & P|) / (|A| + |S|),   S included in P.

``--train`` runs the default training (5 + 5 iterations) on the whole corpus
in both directions, writing into the output folder, and reports both figures.
"""

import argparse
import sys
import time
from pathlib import Path

HANSARDS = Path(__file__).resolve().parents[2] / "shared" / "data" / "hansards-fr-en"
GOLD = HANSARDS / "trial.wa"
FIRST_LINE = 447  # corpus line of trial sentence k is FIRST_LINE + k
OUT = Path(__file__).resolve().parent / "out" / "aer"


def read_gold(lines):
    """Sure and possible links {(sentence, english, french)} of gold lines; P includes S."""
    sure, possible = set(), set()
    for n, line in enumerate(lines, 1):
        fields = line.split()
        if not fields:
            continue
        if len(fields) != 4 or fields[3] not in ("S", "P"):
            raise ValueError(f"gold line {n}: expected 'sentence e f S|P', got {line.rstrip()!r}")
        link = (int(fields[0]), int(fields[1]), int(fields[2]))
        possible.add(link)
        if fields[3] == "S":
            sure.add(link)
    return sure, possible


def read_decoded(lines, sentences, src_lang, first_line=FIRST_LINE):
    """Links {(sentence, english, french)} of the decoded lines of the given sentences.

    ``lines`` are the lines of the decoded file in corpus order; sentence k
    is line ``first_line + k`` (1-based).  Links to the NULL word are dropped.
    """
    if src_lang not in ("f", "e"):
        raise ValueError(f"src_lang must be 'f' or 'e', not {src_lang!r}")
    wanted = {first_line + k: k for k in sentences}
    links = set()
    found = set()
    for n, line in enumerate(lines, 1):
        k = wanted.get(n)
        if k is None:
            continue
        found.add(k)
        for token in line.split():
            j, sep, i = token.partition("-")
            if not sep:
                raise ValueError(f"decoded line {n}: expected 'j-i', got {token!r}")
            j, i = int(j), int(i)
            if i == 0:
                continue
            links.add((k, j, i) if src_lang == "f" else (k, i, j))
    missing = sorted(set(sentences) - found)
    if missing:
        raise ValueError(
            f"decoded file ends before trial sentence {missing[0]} (line {first_line + missing[0]})"
        )
    return links


def aer(links, sure, possible):
    """1 - (|A & S| + |A & P|) / (|A| + |S|), with ``possible`` holding ``sure`` too."""
    possible = possible | sure
    denom = len(links) + len(sure)
    if denom == 0:
        raise ValueError("no links in either the alignment or the sure gold links")
    return 1.0 - (len(links & sure) + len(links & possible)) / denom


def score_file(decoded_path, src_lang, gold_path=GOLD, first_line=FIRST_LINE):
    """(AER, precision, recall, |A|) of a decoded file against the gold file."""
    with open(gold_path, encoding="utf-8") as f:
        sure, possible = read_gold(f)
    sentences = sorted({k for k, _, _ in possible})
    with open(decoded_path, encoding="utf-8") as f:
        links = read_decoded(f, sentences, src_lang, first_line)
    possible |= sure
    precision = len(links & possible) / len(links) if links else 0.0
    recall = len(links & sure) / len(sure) if sure else 0.0
    return aer(links, sure, possible), precision, recall, len(links)


def train_and_score(out_dir, corpus=HANSARDS, gold_path=GOLD):
    """Default training of both directions on the corpus; rows of the AER table."""
    from qaz.common import logging
    from qaz.smt.align import emcore

    out_dir = Path(out_dir)
    out_dir.mkdir(parents=True, exist_ok=True)
    rows = []
    for src, trg in (("f", "e"), ("e", "f")):
        prefix = out_dir / f"{src}-{trg}"
        conf = {
            "src_path": str(corpus / f"hansards.{src}"),
            "trg_path": str(corpus / f"hansards.{trg}"),
            "save_trans_path": f"{prefix}.trans",
            "save_align_path": f"{prefix}.align",
            "save_scores": f"{prefix}.scores",
            "decode_align": f"{prefix}.decode",
            "iteration_limit": 5,
            "threshold": 0.001,
            "nbest": 100,
        }
        t0 = time.perf_counter()
        with logging.using_config(["qaz"], quiet=True):
            if not emcore.train_emcore(conf):
                raise RuntimeError("training rejected its configuration")
        seconds = time.perf_counter() - t0
        rows.append((f"{src} → {trg}", src, seconds) + score_file(conf["decode_align"], src, gold_path))
    return rows


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("decoded", nargs="?", help="decoded alignment file (one line per corpus pair)")
    parser.add_argument("--src-lang", choices=("f", "e"), help="language of the source side of DECODED")
    parser.add_argument("--gold", default=str(GOLD), help="gold links (default: %(default)s)")
    parser.add_argument(
        "--first-line", type=int, default=FIRST_LINE, help="corpus line of trial sentence 0 (default: %(default)s)"
    )
    parser.add_argument("--train", action="store_true", help="train both directions on the Hansards corpus first")
    parser.add_argument("--out-dir", default=str(OUT), help="output folder of --train (default: %(default)s)")
    args = parser.parse_args(argv)

    if args.train:
        rows = train_and_score(args.out_dir, gold_path=args.gold)
        print("| direction (source → target) | training run s | links | precision | recall | AER |")
        print("| --- | ---: | ---: | ---: | ---: | ---: |")
        for name, _, seconds, value, precision, recall, n in rows:
            print(f"| {name} | {seconds:.1f} | {n} | {precision:.3f} | {recall:.3f} | {value:.4f} |")
        return 0
    if not args.decoded or not args.src_lang:
        parser.error("give DECODED and --src-lang, or --train")
    value, precision, recall, n = score_file(args.decoded, args.src_lang, args.gold, args.first_line)
    print(f"AER {value:.4f}  precision {precision:.3f}  recall {recall:.3f}  links {n}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
