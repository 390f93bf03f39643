"""A small dense NumPy rendering of the training and scoring algorithms.

Independent of the engine: whole (S, T) translation arrays, one padded (B, A)
alignment block per (source length, target length) shape that occurs (every
other block of the dense (A-1, B, B, A) array is its uniform start, which no
writer emits and no pair reads), straightforward loops.  Used by the tests to
check the engine's tables, scores, alignments and logged entropies.
"""

import numpy as np

NULL = "__NULL__"


# ---------------------------------------------------------------------------
# Corpus


def read_lines(path):
    with open(path, encoding="utf-8", newline="\n") as f:
        return [line for line in f]


def tokenize(line, character):
    line = line.strip("\r\n")
    return list(line) if character else line.split(" ")


class Vocab:
    def __init__(self):
        self.src = {}
        self.trg = {}
        self.src_words = []
        self.trg_words = []
        self.max_len_src = 0
        self.max_len_trg = 0

    @staticmethod
    def _id(table, words, w):
        if w not in table:
            table[w] = len(words)
            words.append(w)
        return table[w]

    def src_id(self, w):
        return self._id(self.src, self.src_words, w)

    def trg_id(self, w):
        return self._id(self.trg, self.trg_words, w)

    def load(self, src_path, trg_path, character=False):
        """Id-encoded pairs (source ids with the NULL id first, target ids)."""
        self.src_id(NULL)
        pairs = []
        for s, t in zip(read_lines(src_path), read_lines(trg_path)):
            src = [self.src_id(w) for w in [NULL] + tokenize(s, character)]
            trg = [self.trg_id(w) for w in tokenize(t, character)]
            pairs.append((np.array(src, np.int64), np.array(trg, np.int64)))
            self.max_len_src = max(self.max_len_src, len(src))
            self.max_len_trg = max(self.max_len_trg, len(trg))
        return pairs


# ---------------------------------------------------------------------------
# Model


class Model:
    """t(f | e) as a dense (S, T) array; a(i | j, L, m) as padded (B, A) blocks."""

    def __init__(self, vocab):
        self.vocab = vocab
        self.S = len(vocab.src_words)
        self.T = len(vocab.trg_words)
        self.A = vocab.max_len_src
        self.B = vocab.max_len_trg
        self.trans = np.ones([self.S, self.T], np.float64) / self.T
        self.align = {}  # (L, m) -> (B, A); a missing block is uniform 1/L

    def block(self, L, m):
        if (L, m) not in self.align:
            self.align[(L, m)] = np.full([self.B, self.A], 1.0 / L)
        return self.align[(L, m)]

    def pair_matrices(self, src, trg):
        """t[a, b] and al[a, b] of one pair, both (L, m)."""
        L, m = len(src), len(trg)
        t = self.trans[src[:, None], trg[None, :]]
        al = self.block(L, m)[:m, :L].T
        return t, al

    def pair_entropy(self, src, trg):
        t, al = self.pair_matrices(src, trg)
        h = -np.sum(np.log(np.sum(al * t, axis=0)))
        return h / len(trg)

    def corpus_entropy(self, pairs):
        """Mean pair entropy: total in double, mean narrowed to 32-bit float."""
        total = 0.0
        for src, trg in pairs:
            total += self.pair_entropy(src, trg)
        return float(np.float32(total / len(pairs)))

    def decode(self, src, trg):
        """Viterbi links (j + 1, i), ties to the lowest source position."""
        if len(trg) == 0:
            return []
        if len(src) == 1:
            return [(j + 1, 0) for j in range(len(trg))]
        t, al = self.pair_matrices(src, trg)
        best = np.argmax(al * t, axis=0)
        return [(j + 1, int(i)) for j, i in enumerate(best)]

    def is_tie(self, src, trg, j, rel=1e-12):
        """Whether target position j (0-based) has two nearly equal best links."""
        t, al = self.pair_matrices(src, trg)
        col = np.sort((al * t)[:, j])[::-1]
        return len(col) > 1 and col[0] - col[1] <= rel * col[0]


def normalize(counts, axis, out):
    total = np.expand_dims(counts.sum(axis=axis), axis)
    total = np.broadcast_to(total, counts.shape)
    mask = total > 0
    out[mask] = counts[mask] / total[mask]
    return out


# ---------------------------------------------------------------------------
# Training


class Trainer:
    def __init__(self, vocab, pairs):
        self.pairs = pairs
        self.model = Model(vocab)
        self.count_trans = np.zeros_like(self.model.trans)  # 0 before any E-step
        self.count_align = {}
        self.log = []  # ("initial" | "step", entropy) per loop, in order

    def m1_step(self):
        mdl = self.model
        counts = np.zeros_like(mdl.trans)
        for src, trg in self.pairs:
            p = mdl.trans[src[:, None], trg[None, :]]
            normalize(p, 0, p)  # a zero column stays zero
            np.add.at(counts, (src[:, None], trg[None, :]), p)
        self.count_trans = counts
        normalize(counts, 1, mdl.trans)

    def m2_step(self):
        mdl = self.model
        counts = np.zeros_like(mdl.trans)
        counts_al = {}
        for src, trg in self.pairs:
            L, m = len(src), len(trg)
            if L < 2 or m < 1:
                continue  # no block of its own
            t, al = mdl.pair_matrices(src, trg)
            p = t * al
            col = p.sum(axis=0)
            p = np.where(col > 0, p / np.where(col > 0, col, 1.0), 0.0)
            np.add.at(counts, (src[:, None], trg[None, :]), p)
            c = counts_al.setdefault((L, m), np.zeros([mdl.B, mdl.A]))
            np.add.at(c, (np.arange(m)[:, None], np.arange(L)[None, :]), p.T)
        self.count_trans = counts
        self.count_align = counts_al
        normalize(counts, 1, mdl.trans)
        for key, c in counts_al.items():
            normalize(c, 1, mdl.block(*key))

    def loop(self, step, limit):
        prev = self.model.corpus_entropy(self.pairs)
        self.log.append(("initial", prev))
        for _ in range(limit):
            step()
            cur = self.model.corpus_entropy(self.pairs)
            self.log.append(("step", cur))
            if cur >= prev:
                break
            prev = cur

    def train(self, limit):
        self.loop(self.m1_step, limit)
        self.loop(self.m2_step, limit)
        return self


def train_files(src_path, trg_path, limit, character=False):
    vocab = Vocab()
    pairs = vocab.load(src_path, trg_path, character)
    return Trainer(vocab, pairs).train(limit)


# ---------------------------------------------------------------------------
# Writers (the trainer variant prints "%.8f" and a count; the model variant repr)


def _prob(p):
    return float(np.float32(p))


def trans_lines(model, counts=None, threshold=0.001, nbest=100):
    out = []
    for s in range(model.S):
        row = model.trans[s]
        order = np.argsort(-row, kind="stable")[:nbest]
        for t in order:
            p = _prob(row[t])
            if not p > threshold:
                continue
            fields = [model.vocab.src_words[s], model.vocab.trg_words[t]]
            if counts is None:
                fields.append(repr(p))
            else:
                fields += ["%.8f" % p, "%.2f" % counts[s, t]]
            out.append("\t".join(fields) + "\n")
    return out


def align_lines(model, counts=None, threshold=0.001):
    out = []
    for (L, m) in sorted(model.align):
        blk = model.align[(L, m)]
        cnt = None if counts is None else counts.get((L, m), np.zeros_like(blk))
        for j in range(model.B):
            row = blk[j]
            if row.max() == row.min():
                continue  # constant over the whole padded axis
            for i in range(model.A):
                p = _prob(row[i])
                if not p > threshold:
                    continue
                fields = [str(L - 1), str(m), str(j + 1), str(i)]
                if counts is None:
                    fields.append(repr(p))
                else:
                    fields += ["%.8f" % p, "%.2f" % cnt[j, i]]
                out.append("\t".join(fields) + "\n")
    return out


def score_lines(model, pairs):
    return [repr(float(model.pair_entropy(s, t))) + "\n" for s, t in pairs]


def decode_lines(model, pairs):
    return [" ".join("%d-%d" % x for x in model.decode(s, t)) + "\n" for s, t in pairs]


# ---------------------------------------------------------------------------
# Scoring with stored tables


def load_model(src_path, trg_path, trans_path, align_path=None, character=False):
    """The model the scoring driver builds: corpus, then the table files.

    Entries the files do not list keep their uniform start (1/T, 1/L); lines
    of other field counts are skipped; six-field alignment lines are read;
    alignment lines outside the corpus's shapes are ignored.  Only the line
    end is removed before splitting at tabs: a word may be a space (character
    mode), and stripping all white space would shift the fields of its line.
    """
    vocab = Vocab()
    pairs = vocab.load(src_path, trg_path, character)
    rows = [line.rstrip("\r\n").split("\t") for line in read_lines(trans_path)]
    rows = [r for r in rows if len(r) in (3, 4)]
    for r in rows:
        vocab.src_id(r[0])
        vocab.trg_id(r[1])
    model = Model(vocab)
    for r in rows:
        model.trans[vocab.src[r[0]], vocab.trg[r[1]]] = float(r[2])
    if align_path:
        for line in read_lines(align_path):
            r = line.rstrip("\r\n").split("\t")
            if len(r) not in (5, 6):
                continue
            I, J, j, i = (int(x) for x in r[:4])
            L, m = I + 1, J
            if not (2 <= L <= model.A and 1 <= m <= model.B and j <= model.B and i < model.A):
                continue
            model.block(L, m)[j - 1, i] = float(r[4])
    return model, pairs

