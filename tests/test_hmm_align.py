"""qaz-align's default model: IBM Model 1 then the HMM, both directions trained in agreement."""

import shutil
from pathlib import Path

import numpy as np
import pytest

from qaz import Aligner, align_command

EXAMPLES = Path(__file__).resolve().parents[1] / "examples"
SRC, TRG = str(EXAMPLES / "hansards.1k.f"), str(EXAMPLES / "hansards.1k.e")


def run(args):
    try:
        return align_command.main([str(a) for a in args])
    except SystemExit as e:
        return e.code


def outputs(folder, *extra):
    folder.mkdir()
    files = [folder / n for n in ("links.txt", "fwd.txt", "rev.txt")]
    status = run([SRC, TRG, "-I", "2", "-q", "-o", files[0], "-f", files[1], "-r", files[2], *extra])
    assert status == 0
    return [f.read_bytes() for f in files]


def test_threads_never_change_the_files(tmp_path):
    one = outputs(tmp_path / "j1", "-j", "1")
    assert all(one) and one[0].count(b"\n") == 1000
    for threads in ("2", "3"):
        assert outputs(tmp_path / f"j{threads}", "-j", threads) == one
    # Independent directions too, and the heuristics on the HMM's Viterbi links.
    apart = outputs(tmp_path / "apart1", "-j", "1", "--no-agreement", "-s", "grow-diag-final-and")
    assert outputs(tmp_path / "apart2", "-j", "2", "--no-agreement", "-s", "grow-diag-final-and") == apart
    assert apart[1] != one[1]  # agreement changes the models


def test_model_2_keeps_the_earlier_defaults(tmp_path):
    plain = outputs(tmp_path / "m2", "--model", "2")
    assert outputs(tmp_path / "m2apart", "--model", "2", "--no-agreement") == plain
    explicit = outputs(tmp_path / "m2gdfa", "--model", "2", "-s", "grow-diag-final-and", "-p", "0.5")
    assert explicit == plain
    assert outputs(tmp_path / "hmm", "--model", "hmm") != plain


def test_schedule_and_model_1(tmp_path):
    # --schedule 1:2 is --model 1 -I 2; a schedule of zero iterations aligns by the uniform start.
    assert outputs(tmp_path / "s", "--schedule", "1:2") == outputs(tmp_path / "m1", "--model", "1")
    assert outputs(tmp_path / "s2", "--schedule", "1:2,hmm:1") != outputs(tmp_path / "s3", "--schedule", "1:2")


def test_default_schedule_and_iteration_limit():
    # Without -I the HMM trains 3 + 4 iterations; -I N asks for N of each
    # stage, and model 2 keeps its 5.
    def schedule(*args):
        parsed = align_command.create_parser().parse_args([SRC, TRG, *args])
        return align_command.resolve_model_options(parsed), align_command.iterations_of(parsed)

    assert schedule() == ("1:3,hmm:4", 5)
    assert schedule("-I", "5") == ("1:5,hmm:5", 5)
    assert schedule("-I", "0") == ("1:0,hmm:0", 0)
    assert schedule("--model", "1") == ("1:5", 5)
    assert schedule("--model", "2") == ("", 5)
    assert schedule("--model", "2", "-I", "3") == ("", 3)
    assert schedule("-I", "2", "--schedule", "hmm:1") == ("hmm:1", 2)
    # Resolving twice (the command does) keeps the default.
    parsed = align_command.create_parser().parse_args([SRC, TRG])
    align_command.resolve_model_options(parsed)
    assert align_command.resolve_model_options(parsed) == "1:3,hmm:4"


@pytest.mark.parametrize("args, message", [
    (["--model", "2", "--schedule", "1:5"], "--schedule trains models 1 and hmm"),
    (["--schedule", "2:5"], "bad schedule step '2:5'"),
    (["--schedule", "hmm:-1"], "bad schedule step 'hmm:-1'"),
    (["--model", "3"], "invalid choice: '3'"),
    (["--load-model", "m", "--shards", "2"], "--load-model aligns with a stored model"),
    (["--save-model", "m", "--shards", "2"], "--save-model keeps a model trained on one machine"),
])
def test_bad_model_options_exit_2(args, message, capsys):
    assert run([SRC, TRG, *args]) == 2
    assert message in capsys.readouterr().err


def test_aligner_api_with_the_hmm():
    src = ["le chat noir", "le chien", "un chat", "un chien noir", "le chat"] * 4
    trg = ["the black cat", "the dog", "a cat", "a black dog", "the cat"] * 4
    aligner = Aligner(model="hmm", iterations=4).fit(src, trg)
    assert aligner.model == "hmm" and aligner.agreement
    assert "model='hmm', agreement=True" in repr(aligner)
    assert aligner.align(["le chien noir"], ["the black dog"], sym="intersect") == [[(0, 0), (1, 2), (2, 1)]]
    links = aligner.align(["le chat noir"], ["the black cat"], sym="posterior", posterior_threshold=0.25)
    assert links == [[(0, 0), (1, 2), (2, 1)]]
    post = aligner.posteriors("le chat noir", "the black cat")
    assert post.shape == (3, 3) and np.all(post.sum(axis=0) <= 1 + 1e-12) and post[1, 2] > 0.5
    scores = aligner.score(src[:2], trg[:2])
    assert np.all(np.isfinite(scores)) and np.all(scores > 0)
    with pytest.raises(ValueError, match="is kept with save_model"):
        aligner.save("t.txt")
    # Without agreement the reverse model is trained when first needed.
    apart = Aligner(model="1", agreement=False, iterations=3).fit(src, trg)
    assert not apart.agreement
    assert apart.align(["le chat"], ["the cat"], sym="grow-diag-final-and") == [[(0, 0), (1, 1)]]


@pytest.mark.parametrize("kwargs, error", [
    (dict(model="2", agreement=True), "agreement needs model '1' or 'hmm'"),
    (dict(model="4"), "unknown model '4'"),
])
def test_aligner_api_rejects_bad_models(kwargs, error):
    with pytest.raises(ValueError, match=error):
        Aligner(**kwargs)


# ---------------------------------------------------------------------------
# Model folders: --save-model / --load-model, Aligner.save_model / load_model


@pytest.fixture(scope="module")
def saved(tmp_path_factory):
    """A 300-pair sample, the links of a run on it, and the folder that run saved."""
    folder = tmp_path_factory.mktemp("saved")
    src, trg = folder / "a.f", folder / "a.e"
    for path, full in ((src, SRC), (trg, TRG)):
        with open(full, encoding="utf-8") as f:
            path.write_text("".join(f.readlines()[:300]), encoding="utf-8")
    links = folder / "links.txt"
    assert run([src, trg, "-I", "2", "-q", "-o", links, "--save-model", folder / "model"]) == 0
    return src, trg, links, folder / "model"


def test_a_saved_model_aligns_its_corpus_again(saved, tmp_path):
    src, trg, links, model = saved
    assert sorted(p.name for p in model.iterdir()) == [
        "forward.hmm", "forward.t", "manifest.txt", "reverse.hmm", "reverse.t"]
    assert "model\thmm\n" in (model / "manifest.txt").read_text()
    again = tmp_path / "again.txt"
    assert run([src, trg, "-q", "-o", again, "--load-model", model]) == 0
    assert again.read_bytes() == links.read_bytes()
    # New sentences with unseen words align too; the API reads the same folder.
    aligner = Aligner.load_model(model)
    assert aligner.model == "hmm" and aligner.agreement
    out = aligner.align(["le zyzzyva est ici"], ["the zyzzyva is here"], sym="posterior",
                        posterior_threshold=0.25)
    assert len(out) == 1 and (0, 0) in out[0]


def test_model_2_folders_keep_the_alignment_tables(tmp_path):
    src = ["le chat", "le chien", "un chat", "un chien noir"] * 3
    trg = ["the cat", "the dog", "a cat", "a black dog"] * 3
    aligner = Aligner(iterations=3).fit(src, trg)
    aligner.save_model(tmp_path / "m2")
    assert (tmp_path / "m2" / "forward.a").exists() and (tmp_path / "m2" / "reverse.a").exists()
    back = Aligner.load_model(tmp_path / "m2")
    assert back.model == "2" and not back.agreement
    for sym in ("none", "grow-diag-final-and", "posterior"):
        assert back.align(src[:4], trg[:4], sym=sym) == aligner.align(src[:4], trg[:4], sym=sym)


def damage_missing_reverse(model):
    (model / "reverse.hmm").unlink()
    return "reverse.hmm"


def damage_p0(model):
    text = (model / "forward.hmm").read_text()
    (model / "forward.hmm").write_text(text.replace("p0\t0.2", "p0\t2"))
    return "forward.hmm:1: p0 must be a number in [0, 1)"


def damage_manifest(model):
    (model / "manifest.txt").write_text("format\tsomething else\n")
    return "not a model manifest"


def damage_model_name(model):
    text = (model / "manifest.txt").read_text()
    (model / "manifest.txt").write_text(text.replace("model\thmm", "model\t4"))
    return "unknown model '4'"


@pytest.mark.parametrize("damage", [damage_missing_reverse, damage_p0, damage_manifest, damage_model_name])
def test_bad_model_folders_fail_before_any_output(saved, tmp_path, damage, capfd):
    src, trg, _, model = saved
    broken = tmp_path / "broken"
    shutil.copytree(model, broken)
    message = damage(broken)
    out = tmp_path / "out.txt"
    assert run([src, trg, "-o", out, "--load-model", broken]) == 1
    assert message in capfd.readouterr().err
    assert not out.exists()


def test_load_model_options_and_missing_folder(saved, tmp_path, capfd):
    src, trg, _, model = saved
    assert run([src, trg, "--load-model", model, "--save-model", tmp_path / "x"]) == 2
    assert "--load-model aligns with a stored model" in capfd.readouterr().err
    out = tmp_path / "out.txt"
    assert run([src, trg, "-o", out, "--load-model", tmp_path / "nowhere"]) == 1
    assert "manifest.txt" in capfd.readouterr().err and not out.exists()


def test_white_space_runs_empty_lines_and_lowercase(tmp_path):
    plain_src = ["le chat noir", "le chien", "un chat", "un chien noir"] * 5
    plain_trg = ["the black cat", "the dog", "a cat", "a black dog"] * 5
    spaced_src = [s.replace(" ", "  \t") for s in plain_src] + ["", "le chat"]
    spaced_trg = [" " + t + "  " for t in plain_trg] + ["the dog", ""]
    upper_src = [s.upper() for s in plain_src]
    files = {}
    for name, src, trg in (("plain", plain_src, plain_trg), ("spaced", spaced_src, spaced_trg),
                           ("upper", upper_src, plain_trg)):
        (tmp_path / f"{name}.f").write_text("\n".join(src) + "\n", encoding="utf-8")
        (tmp_path / f"{name}.e").write_text("\n".join(trg) + "\n", encoding="utf-8")
        files[name] = (tmp_path / f"{name}.f", tmp_path / f"{name}.e")

    def links(name, *extra):
        out = tmp_path / f"{name}{len(extra)}.txt"
        assert run([*files[name], "-q", "-o", out, "-I", "3", *extra]) == 0
        return out.read_text().split("\n")

    plain = links("plain")
    spaced = links("spaced")
    # The last two pairs have an empty side: empty link lines.  The others
    # are the plain corpus's links (the extra pairs change the model a little).
    assert spaced[-3:] == ["", "", ""] and len(spaced) == len(plain) + 2
    assert spaced[:4] == plain[:4]
    # Folding case: the upper-case corpus aligns as the lower-case one, its
    # model holds the lower-case words, and a loaded model folds too.
    assert links("upper", "--lowercase", "--save-model", tmp_path / "m") == plain
    table = (tmp_path / "m" / "forward.t").read_text(encoding="utf-8")
    assert "chat\t" in table and "CHAT" not in table
    assert "lowercase\tyes\n" in (tmp_path / "m" / "manifest.txt").read_text()
    assert links("upper", "--load-model", tmp_path / "m") == plain


def test_one_file_of_source_and_target(tmp_path, capsys):
    with open(SRC, encoding="utf-8") as f, open(TRG, encoding="utf-8") as e:
        pairs = [(a.rstrip("\n"), b.rstrip("\n")) for a, b in zip(f.readlines()[:200], e.readlines()[:200])]
    joined = tmp_path / "corpus.txt"
    joined.write_text("".join(f"{a} ||| {b}\n" for a, b in pairs), encoding="utf-8")
    (tmp_path / "a.f").write_text("".join(a + "\n" for a, _ in pairs), encoding="utf-8")
    (tmp_path / "a.e").write_text("".join(b + "\n" for _, b in pairs), encoding="utf-8")
    one, two = tmp_path / "one.txt", tmp_path / "two.txt"
    assert run(["-i", joined, "-I", "2", "-q", "-o", one, "--save-model", tmp_path / "m"]) == 0
    assert run([tmp_path / "a.f", tmp_path / "a.e", "-I", "2", "-q", "-o", two]) == 0
    assert one.read_bytes() == two.read_bytes()
    again = tmp_path / "again.txt"
    assert run(["-i", joined, "-q", "-o", again, "--load-model", tmp_path / "m"]) == 0
    assert again.read_bytes() == one.read_bytes()
    # A line without the separator is an error naming the file and the line.
    joined.write_text("le chat ||| the cat\nle chien the dog\n", encoding="utf-8")
    assert run(["-i", joined, "-o", tmp_path / "x.txt"]) == 1
    assert f"{joined}:2: expected 'source ||| target'" in capsys.readouterr().err
    for args in (["-i", joined, SRC, TRG], [SRC], ["-i", joined, "--shards", "2"]):
        assert run(args) == 2


def test_memory_limit_holds_with_the_reverse_table_read_through_the_forward(tmp_path):
    # A limit that leaves the forward table no cell index: the reverse one is
    # then laid out under the limit as well, and the links do not change.
    import subprocess
    import sys

    sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
    import make_corpus

    prefix = tmp_path / "syn"
    make_corpus.write_corpus(20000, 3, str(prefix))
    src, trg = f"{prefix}.src", f"{prefix}.trg"

    def peak(out, *extra):
        # The child's own high-water mark (VmHWM: the maximum RSS of the
        # process image, which a fork of this big interpreter does not pass
        # on, unlike ru_maxrss).
        script = ("import sys\n"
                  "from qaz.align_command import main\n"
                  "status = main(sys.argv[1:])\n"
                  "hwm = open('/proc/self/status').read().split('VmHWM:')[1].split()[0]\n"
                  "print('VmHWM', hwm, file=sys.stderr)\n"
                  "raise SystemExit(status)\n")
        cmd = [sys.executable, "-c", script, src, trg, "-o", str(out), "-j", "1", "--schedule", "1:1", *extra]
        proc = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        assert proc.returncode == 0, proc.stderr
        return int(proc.stderr.rsplit("VmHWM ", 1)[1].split()[0]) * 1024, proc.stderr

    free, log = peak(tmp_path / "free.al")
    assert "the cells reached through the other direction's" in log
    looked_up = 0
    for share in (0.95, 0.9, 0.85, 0.8, 0.75, 0.7):
        limit = int(free * share)
        try:
            held, log = peak(tmp_path / "held.al", "-m", str(limit))
        except AssertionError as e:
            assert "MemoryError" in str(e)  # refused before any work: fine
            continue
        assert held <= limit, (share, held, limit)
        assert (tmp_path / "held.al").read_bytes() == (tmp_path / "free.al").read_bytes()
        looked_up += "cells looked up" in log.split("training the reverse model")[0]
    assert looked_up > 0
