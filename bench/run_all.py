"""The whole alignment benchmark set, one command.

Usage:
    python bench/run_all.py              # Hansards both ways, synthetic 100K and 1M
    python bench/run_all.py --large      # ... and synthetic 3M (long)
    python bench/run_all.py --sizes 100000 --no-hansards

Each corpus goes through ``bench_align.measure`` (two fresh subprocesses);
the per-corpus tables, then one summary table with a column per corpus, are
printed and written to bench/out/results.md, the raw figures to
bench/out/results.json.  The header records the machine, the date, the
commit, engine files changed since it, and the load average, since other
work on the machine makes the timings noisy.
"""

import argparse
import datetime
import json
import os
import platform
import re
import subprocess
import sys
from pathlib import Path

BENCH = Path(__file__).resolve().parent
sys.path.insert(0, str(BENCH))

import bench_align  # noqa: E402

HANSARDS = BENCH.parents[1] / "shared" / "data" / "hansards-fr-en"
LARGE = 3_000_000


def machine_header():
    """Markdown lines naming the machine, the date, the commit and the load."""
    repo = BENCH.parent

    def git(*args):
        try:
            return subprocess.run(["git", *args], cwd=repo, capture_output=True, text=True).stdout.rstrip()
        except OSError:
            return ""

    cpu = platform.processor() or "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    mem = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    dirty = git("status", "--porcelain", "--", "cpp", "bindings")
    probe = "import qaz.smt.align.emcore as m; print(m.__file__)"
    used = subprocess.run(
        [sys.executable, "-c", probe], capture_output=True, text=True, env=bench_align.worker_env()
    ).stdout.strip()
    snap = re.search(r"/snap-([0-9a-f]+)/", used)
    if snap:
        rev = snap.group(1)
        subject = git("log", "-1", "--format=%s", rev)
        engine = [f"- engine: commit {rev} ({subject}), built apart in {used.split('/src/')[0]}"]
    else:
        changed = ", ".join(line[3:] for line in dirty.splitlines()) or "none"
        engine = [
            f"- engine: work tree at commit {git('rev-parse', '--short', 'HEAD')} "
            f"({git('log', '-1', '--format=%s')}); engine files changed since: {changed}",
            f"- module measured: {used or 'not importable'}",
        ]
    lines = [
        f"- machine: {cpu}, {os.cpu_count()} cores, {mem:.0f} GiB, Python {platform.python_version()}",
        f"- date: {datetime.datetime.now().astimezone():%Y-%m-%d %H:%M %Z}",
        *engine,
        f"- load average at start: {' '.join(f'{x:.2f}' for x in os.getloadavg())}",
    ]
    return lines


def corpora(args):
    """(label, src, trg) of the corpora to measure, in order."""
    out = []
    if not args.no_hansards:
        f, e = str(HANSARDS / "hansards.f"), str(HANSARDS / "hansards.e")
        out.append(("Hansards f→e", f, e))
        out.append(("Hansards e→f", e, f))
    sizes = list(args.sizes)
    if args.large and LARGE not in sizes:
        sizes.append(LARGE)
    for n in sizes:
        src, trg = bench_align.synthetic_corpus(n, args.seed)
        out.append((f"synthetic {_short(n)}", src, trg))
    return out


def _short(n):
    if n % 1_000_000 == 0:
        return f"{n // 1_000_000}M"
    if n % 1000 == 0:
        return f"{n // 1000}K"
    return str(n)


def summary(results):
    """One Markdown table, a column per corpus."""
    cols = [r["label"] for r in results]
    rows = []

    def row(name, fn):
        cells = []
        for r in results:
            try:
                cells.append(fn(r))
            except KeyError:
                cells.append("")
        rows.append(f"| {name} | " + " | ".join(cells) + " |")

    d = {id(r): bench_align.derived(r) for r in results}
    cells = lambda r: r["stages"]["cells"]  # noqa: E731

    def cost(key):
        def fn(r):
            s = d[id(r)][key][0]
            return f"{s:.3f} s / {s / cells(r) * 1e9:.2f} ns"

        return fn

    row("pairs", lambda r: f"{r['stages']['pairs']:,}")
    row("tokens (src + trg)", lambda r: f"{r['src_tokens'] + r['trg_tokens']:,}")
    row("vocabulary src / trg", lambda r: "{:,} / {:,}".format(*r["stages"]["sizes"][:2]))
    row("Σ (I+1)·J cells", lambda r: f"{cells(r):,}")
    row("corpus load", lambda r: f"{d[id(r)]['load'][0]:.2f} s / "
        f"{(r['src_tokens'] + r['trg_tokens']) / d[id(r)]['load'][0] / 1e6:.1f} M tok/s")
    row("setup (load + tables)", lambda r: f"{d[id(r)]['setup'][0]:.2f} s")
    row("Model 1 E+M (per cell)", cost("m1_em"))
    row("Model 2 E+M (per cell)", cost("m2_em"))
    row("entropy pass (per cell)", cost("entropy"))
    row("translation writer", lambda r: f"{d[id(r)]['trans_writer'][0]:.2f} s")
    row("alignment writer", lambda r: f"{d[id(r)]['align_writer'][0]:.2f} s")
    row("scoring", lambda r: f"{d[id(r)]['scores'][0]:.2f} s")
    row("decoding", lambda r: f"{d[id(r)]['decode'][0]:.2f} s")
    row("default run wall (5+5, 4 files)", lambda r: f"{r['driver']['process_wall_s']:.1f} s")
    row("default run peak RSS", lambda r: f"{r['driver']['process_peak_rss_mb']:,.0f} MB")
    row("translation table (pairs / MiB)", lambda r: "{:,} / {:.0f}".format(
        r["driver"]["held_sparse"]["trans"][0], r["driver"]["held_sparse"]["trans"][1] / 2**20))
    row("alignment table (shapes / MiB)", lambda r: "{:,} / {:.0f}".format(
        r["driver"]["held_sparse"]["align"][0], r["driver"]["held_sparse"]["align"][1] / 2**20))
    head = "| | " + " | ".join(cols) + " |\n|---|" + "---:|" * len(cols)
    return head + "\n" + "\n".join(rows)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument(
        "--sizes",
        type=lambda s: [int(x) for x in s.split(",") if x],
        default=[100_000, 1_000_000],
        help="synthetic corpus sizes, comma-separated (default: 100000,1000000)",
    )
    parser.add_argument("--large", action="store_true", help=f"also the {LARGE:,}-pair synthetic corpus")
    parser.add_argument("--no-hansards", action="store_true", help="skip the Hansards corpus")
    parser.add_argument("--seed", type=int, default=1, help="seed of the synthetic corpora (default: %(default)s)")
    parser.add_argument("--repeat", type=int, default=3, help="runs of the load and entropy timings")
    parser.add_argument("--no-driver", action="store_true", help="skip the default training runs")
    parser.add_argument("--out", default=str(bench_align.OUT / "results"), help="prefix of the .md and .json written")
    args = parser.parse_args(argv)

    header = machine_header()
    print("\n".join(header), flush=True)
    results = []
    for label, src, trg in corpora(args):
        print(f"\nmeasuring {label} ...", file=sys.stderr, flush=True)
        res = bench_align.measure(src, trg, label, args.repeat, driver=not args.no_driver)
        results.append(res)
        print("\n" + bench_align.report(res), flush=True)
    text = "\n".join(header) + "\n\n" + summary(results) + "\n"
    print("\n## Summary\n\n" + text)
    Path(f"{args.out}.md").write_text(text + "\n" + "\n\n".join(bench_align.report(r) for r in results) + "\n")
    Path(f"{args.out}.json").write_text(json.dumps({"header": header, "results": results}, indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
