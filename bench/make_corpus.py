"""Synthetic parallel corpus for the alignment benchmarks.

Usage:
    python3 bench/make_corpus.py --pairs 1000000 --seed 1 --out-prefix bench/out/syn-1m
    # writes bench/out/syn-1m.src and bench/out/syn-1m.trg

The corpus is drawn from a hidden word-to-word model, so that EM alignment
has something to learn and its tables grow the way they do on real text:

- Both vocabularies are Zipfian (Zipf-Mandelbrot, ``ZIPF_S``) over a number of types
  that grows with the corpus (Heaps' law, ``vocab_sizes``); 100K pairs see
  about as many types as 100K pairs of parliamentary French and English.
- Source sentence lengths follow a gamma law with mean 21 and a long tail,
  capped at ``MAX_LEN``.
- Every source word has one to three translations with a dominant first one
  (frequent source words map to frequent target words); some source tokens
  translate to nothing, and a few target function words appear on their own.
- Target words stay near the position of the word they translate (local
  reordering by a Gaussian jitter of the position); target sentences are cut
  at ``MAX_LEN`` tokens and never left empty.

Everything is vectorised with NumPy per chunk of pairs and streamed to disk,
so 3 million pairs take well under a minute.  The output depends only on
``--pairs`` and ``--seed``.
"""

import argparse
import sys
import time
from pathlib import Path

import numpy as np

MAX_LEN = 100
# Word ranks r = 1, 2, ... have probability proportional to (r + ZIPF_Q) ** -ZIPF_S:
# at 100K pairs this gives about the types, hapax share (~0.3) and share of
# the top 100 words (~0.6) of parliamentary French.
ZIPF_S, ZIPF_Q = 1.5, 20.0
# Source lengths: gamma with mean LEN_MEAN, shape LEN_SHAPE (5% at 3 tokens or
# fewer, median 17, 1% above 70), capped at MAX_LEN.
LEN_MEAN, LEN_SHAPE = 21.0, 1.8
# Share of source tokens that translate to nothing, for ordinary words and
# for the "function words" that mostly do.
NULL_P, NULL_P_FUNCTION, FUNCTION_SHARE = 0.08, 0.6, 0.05
# Spontaneous target words per source token, drawn from the top SPONT_TOP.
SPONT_RATE, SPONT_TOP = 0.04, 50
# Standard deviation of the position jitter, in source positions.
REORDER_SIGMA = 0.8
CHUNK = 50_000


def vocab_sizes(pairs):
    """Source and target vocabulary sizes (types in the Zipf law) for a corpus size."""
    scale = max(pairs, 1) / 100_000
    return int(40_000 * scale**0.6) + 100, int(56_000 * scale**0.6) + 100


def _words(n, onsets, nuclei):
    """``n`` distinct word forms, shortest first: rank r spelt as syllables in base len(syllables)."""
    syllables = [a + b for a in onsets for b in nuclei]
    base = len(syllables)
    out = []
    for r in range(n):
        parts = []
        r += 1
        while r:
            r, d = divmod(r - 1, base)
            parts.append(syllables[d])
        out.append("".join(reversed(parts)))
    return out


def _blob(words):
    """Words as one byte array, each followed by a space, with offsets and lengths."""
    encoded = [w.encode("utf-8") + b" " for w in words]
    lengths = np.fromiter((len(e) for e in encoded), dtype=np.int64, count=len(encoded))
    offsets = np.zeros(len(encoded), dtype=np.int64)
    np.cumsum(lengths[:-1], out=offsets[1:])
    return np.frombuffer(b"".join(encoded), dtype=np.uint8), offsets, lengths


def _zipf_cdf(n):
    w = (np.arange(1, n + 1, dtype=np.float64) + ZIPF_Q) ** -ZIPF_S
    cdf = np.cumsum(w)
    return cdf / cdf[-1]


class Lexicon:
    """The hidden translation model: vocabularies and per-source-word translations."""

    def __init__(self, pairs, rng):
        n_src, n_trg = vocab_sizes(pairs)
        self.n_src, self.n_trg = n_src, n_trg
        self.src_cdf = _zipf_cdf(n_src)
        # Translations of source rank r sit near target rank r * n_trg / n_src
        # (log-normal jitter), so the target side is Zipfian too.
        base = np.arange(n_src, dtype=np.float64) * (n_trg / n_src)
        jitter = rng.lognormal(0.0, 0.5, size=(n_src, 3))
        trans = np.minimum((base[:, None] + 1) * jitter, n_trg - 1).astype(np.int64)
        # Make the alternatives differ from the first translation.
        trans[:, 1] = np.where(trans[:, 1] == trans[:, 0], (trans[:, 0] + 1) % n_trg, trans[:, 1])
        clash = (trans[:, 2] == trans[:, 0]) | (trans[:, 2] == trans[:, 1])
        trans[:, 2] = np.where(clash, (trans[:, 0] + 2) % n_trg, trans[:, 2])
        self.trans = trans
        # 1, 2 or 3 translations; the first one dominant.
        count = rng.choice([1, 2, 3], size=n_src, p=[0.4, 0.35, 0.25])
        weights = rng.dirichlet([6.0, 1.5, 1.0], size=n_src)
        weights[count < 3, 2] = 0.0
        weights[count < 2, 1] = 0.0
        weights /= weights.sum(axis=1, keepdims=True)
        self.trans_cdf = np.cumsum(weights, axis=1)
        self.null_p = np.where(rng.random(n_src) < FUNCTION_SHARE, NULL_P_FUNCTION, NULL_P)
        self.null_p[:20] = np.linspace(0.5, 0.2, 20)  # the most frequent words often drop


def _lengths(rng, n):
    raw = np.rint(rng.gamma(LEN_SHAPE, LEN_MEAN / LEN_SHAPE, size=n)).astype(np.int64)
    return np.clip(raw, 1, MAX_LEN)


def _starts(lengths):
    starts = np.zeros(len(lengths), dtype=np.int64)
    np.cumsum(lengths[:-1], out=starts[1:])
    return starts


def generate_chunk(lex, rng, n):
    """Token ids of ``n`` pairs as flat arrays.

    Returns (src ids, src lengths, trg ids, trg lengths, trg origins): the
    origin of a target token is the 0-based position of the source token it
    translates, or -1 for a spontaneous word.
    """
    src_len = _lengths(rng, n)
    n_tok = int(src_len.sum())
    src = np.searchsorted(lex.src_cdf, rng.random(n_tok), side="right")
    np.minimum(src, lex.n_src - 1, out=src)
    sent = np.repeat(np.arange(n), src_len)
    pos = np.arange(n_tok) - np.repeat(_starts(src_len), src_len)

    # Translation of every source token, or nothing.
    choice = (rng.random(n_tok)[:, None] > lex.trans_cdf[src, :2]).sum(axis=1)
    trg = lex.trans[src, choice]
    keep = rng.random(n_tok) >= lex.null_p[src]
    # Spontaneous target words, placed at random positions of the sentence.
    n_spont = rng.binomial(src_len, SPONT_RATE)
    spont_sent = np.repeat(np.arange(n), n_spont)
    spont_word = np.minimum(
        np.searchsorted(_zipf_cdf(SPONT_TOP), rng.random(len(spont_sent)), side="right"), SPONT_TOP - 1
    )
    spont_pos = rng.random(len(spont_sent)) * src_len[spont_sent]

    # Never an empty target: keep the first token of a sentence that lost all.
    kept_per_sent = np.bincount(sent, weights=keep, minlength=n) + n_spont
    keep[_starts(src_len)[kept_per_sent == 0]] = True

    t_sent = np.concatenate([sent[keep], spont_sent])
    t_word = np.concatenate([trg[keep], spont_word])
    t_from = np.concatenate([pos[keep], np.full(len(spont_sent), -1)])
    t_key = np.concatenate([pos[keep] + rng.normal(0.0, REORDER_SIGMA, int(keep.sum())), spont_pos])
    order = np.lexsort((t_key, t_sent))
    t_sent, t_word, t_from = t_sent[order], t_word[order], t_from[order]
    t_len = np.bincount(t_sent, minlength=n)
    # Cut at MAX_LEN: drop positions past it within each sentence.
    t_pos = np.arange(len(t_sent)) - np.repeat(_starts(t_len), t_len)
    cut = t_pos < MAX_LEN
    t_word, t_from = t_word[cut], t_from[cut]
    t_len = np.minimum(t_len, MAX_LEN)
    return src, src_len, t_word, t_len, t_from


def render(ids, lengths, blob):
    """Bytes of the sentences: words joined by spaces, one sentence per line."""
    data, offsets, wlen = blob
    tok_len = wlen[ids]
    total = int(tok_len.sum())
    out_start = np.zeros(len(ids), dtype=np.int64)
    np.cumsum(tok_len[:-1], out=out_start[1:])
    gather = np.arange(total, dtype=np.int64) + np.repeat(offsets[ids] - out_start, tok_len)
    out = data[gather]
    # The space after the last word of each sentence becomes the line end.
    last = _starts(lengths) + lengths - 1
    out[out_start[last] + tok_len[last] - 1] = ord("\n")
    return out.tobytes()


def gold_lines(first, t_len, t_from, limit):
    """Hidden links of pairs first+1 ... as "pair trg_pos src_pos S" lines (1-based), up to pair ``limit``."""
    lines = []
    starts = _starts(t_len)
    for k in range(min(len(t_len), limit - first)):
        origins = t_from[starts[k] : starts[k] + t_len[k]]
        lines.extend(f"{first + k + 1} {j + 1} {i + 1} S\n" for j, i in enumerate(origins.tolist()) if i >= 0)
    return "".join(lines)


def write_corpus(pairs, seed, out_prefix, chunk=CHUNK, gold_pairs=0, progress=None):
    """Write OUT_PREFIX.src and OUT_PREFIX.trg; returns statistics of what was written.

    With ``gold_pairs`` the hidden links of the first pairs go to
    OUT_PREFIX.wa, one "pair trg_pos src_pos S" line each (the layout of the
    Hansards gold file with the target in the English column, so that
    ``bench/aer.py --gold OUT_PREFIX.wa --first-line 0 --src-lang f`` scores
    against it).
    """
    rng = np.random.default_rng(seed)
    lex = Lexicon(pairs, rng)
    src_blob = _blob(_words(lex.n_src, "bdfgklmnprstvz", "aeiou"))
    trg_blob = _blob(_words(lex.n_trg, "aeiouy", "bcdfghklmnprstw"))
    out_prefix = Path(out_prefix)
    out_prefix.parent.mkdir(parents=True, exist_ok=True)
    src_seen = np.zeros(lex.n_src, dtype=bool)
    trg_seen = np.zeros(lex.n_trg, dtype=bool)
    stats = {"pairs": 0, "src_tokens": 0, "trg_tokens": 0, "src_max": 0, "trg_max": 0, "cells": 0}
    with open(f"{out_prefix}.src", "wb") as fs, open(f"{out_prefix}.trg", "wb") as ft:
        gold = open(f"{out_prefix}.wa", "w", encoding="utf-8") if gold_pairs > 0 else None
        done = 0
        while done < pairs:
            n = min(chunk, pairs - done)
            src, src_len, trg, trg_len, trg_from = generate_chunk(lex, rng, n)
            if gold is not None and done < gold_pairs:
                gold.write(gold_lines(done, trg_len, trg_from, gold_pairs))
            fs.write(render(src, src_len, src_blob))
            ft.write(render(trg, trg_len, trg_blob))
            src_seen[src] = True
            trg_seen[trg] = True
            stats["pairs"] += n
            stats["src_tokens"] += int(src_len.sum())
            stats["trg_tokens"] += int(trg_len.sum())
            stats["src_max"] = max(stats["src_max"], int(src_len.max()))
            stats["trg_max"] = max(stats["trg_max"], int(trg_len.max()))
            stats["cells"] += int(((src_len + 1) * trg_len).sum())
            done += n
            if progress:
                progress(done, pairs)
        if gold is not None:
            gold.close()
    stats["src_types"] = int(src_seen.sum())
    stats["trg_types"] = int(trg_seen.sum())
    return stats


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--pairs", type=int, required=True, help="number of sentence pairs")
    parser.add_argument("--seed", type=int, default=1, help="random seed (default: %(default)s)")
    parser.add_argument("--out-prefix", required=True, help="writes OUT_PREFIX.src and OUT_PREFIX.trg")
    parser.add_argument(
        "--gold-pairs", type=int, default=0, help="write the hidden links of the first N pairs to OUT_PREFIX.wa"
    )
    parser.add_argument("--quiet", "-q", action="store_true", help="print nothing")
    args = parser.parse_args(argv)
    if args.pairs < 1:
        parser.error("--pairs must be at least 1")

    t0 = time.perf_counter()
    stats = write_corpus(args.pairs, args.seed, args.out_prefix, gold_pairs=args.gold_pairs)
    seconds = time.perf_counter() - t0
    if not args.quiet:
        p = stats["pairs"]
        print(
            f"{p:,} pairs in {seconds:.1f} s -> {args.out_prefix}.src/.trg\n"
            f"  source: {stats['src_tokens']:,} tokens, {stats['src_types']:,} types, "
            f"mean length {stats['src_tokens'] / p:.2f}, max {stats['src_max']}\n"
            f"  target: {stats['trg_tokens']:,} tokens, {stats['trg_types']:,} types, "
            f"mean length {stats['trg_tokens'] / p:.2f}, max {stats['trg_max']}\n"
            f"  cells per iteration, sum of (I+1)*J: {stats['cells']:,}"
        )
    return 0


if __name__ == "__main__":
    sys.exit(main())
