"""Word alignments as link lists: symmetrisation and alignment error rate.

Caveats first:

- A link is a pair ``(i, j)`` of 0-based positions, source first, as in the
  Pharaoh format (``0-0 1-2``); links to the NULL word are never listed.
- A test set is a list with one list of links per sentence pair, in corpus
  order.  Links come back sorted by ``(i, j)``; input order and repeats do not
  matter.
- Both inputs of :func:`symmetrize` must be in source-target orientation: a
  reverse model (trained with the two sides exchanged) gives ``(j, i)``
  links, which have to be transposed first.
- The gold possible links include the sure ones; a sure link missing from
  ``gold_possible`` still counts as possible.
"""

from dataclasses import dataclass

from qaz import _aligner, _links
from qaz.smt.align import _run

SYMMETRIZATION_METHODS = ("intersect", "union", "grow-diag", "grow-diag-final", "grow-diag-final-and")


def symmetrize(forward, reverse, method="grow-diag-final-and"):
    """Combine the forward and reverse links of every sentence pair.

    ``method`` is one of :data:`SYMMETRIZATION_METHODS`:

    - ``intersect``: links in both; ``union``: links in either;
    - ``grow-diag``: the intersection, grown pass after pass by the links of
      the union that have a neighbour (the eight surrounding cells) in the
      result and an unaligned source or target word, walked in ``(i, j)``
      order;
    - ``grow-diag-final``: then the forward links, then the reverse links, in
      ``(i, j)`` order, that touch an unaligned word;
    - ``grow-diag-final-and``: the same, but both words must be unaligned.

    Good:

    >>> symmetrize([[(0, 0), (1, 1), (2, 1)]], [[(0, 0), (1, 1), (1, 2)]], "intersect")
    [[(0, 0), (1, 1)]]
    >>> symmetrize([[(0, 0), (1, 1), (2, 1)]], [[(0, 0), (1, 1), (1, 2)]])
    [[(0, 0), (1, 1), (1, 2), (2, 1)]]

    Bad (one list per sentence, and as many sentences on both sides):

    >>> symmetrize([(0, 0)], [(0, 0)])
    Traceback (most recent call last):
    ...
    ValueError: forward sentence 1, link 1: expected a pair (i, j) of non-negative 32-bit integers, got 0
    >>> symmetrize([[(0, 0)]], [], "union")
    Traceback (most recent call last):
    ...
    ValueError: forward has 1 sentences but reverse has 0
    """
    return _links.symmetrize(forward, reverse, method)


@dataclass(frozen=True)
class AlignmentScores:
    """Precision, recall, F1 and alignment error rate, with the link counts they come from.

    With hypothesis links A, sure links S and possible links P (P includes S),
    summed over the sentences: precision = |A & P| / |A|, recall = |A & S| /
    |S|, f1 = 2 P R / (P + R), aer = 1 - (|A & S| + |A & P|) / (|A| + |S|).
    An empty A has precision 1, an empty S recall 1, P + R = 0 gives f1 0, and
    A and S both empty give aer 0.
    """

    precision: float
    recall: float
    f1: float
    aer: float
    hypothesis: int
    sure: int
    hypothesis_and_sure: int
    hypothesis_and_possible: int


def alignment_error_rate(gold_sure, gold_possible, hyp):
    """Score hypothesis links against gold links (Och and Ney 2003), summed over the sentences.

    The three arguments are lists with one list of ``(i, j)`` links per
    sentence, all of the same length.

    >>> s = alignment_error_rate([[(0, 0)]], [[(0, 0), (1, 1), (1, 2)]], [[(0, 0), (1, 1), (2, 2)]])
    >>> round(s.precision, 4), s.recall, s.aer
    (0.6667, 1.0, 0.25)
    >>> alignment_error_rate([[(0, 0)]], [[(0, 0)]], [])
    Traceback (most recent call last):
    ...
    ValueError: hypothesis has 0 sentences but sure has 1
    """
    return AlignmentScores(**_links.aer_counts(gold_sure, gold_possible, hyp))


# ---------------------------------------------------------------------------
# Training and applying alignment models on lines held in memory

def parse_size(text):
    """Bytes of a size written as digits with an optional K, M or G (powers of 1024).

    >>> parse_size("512M"), parse_size("2G"), parse_size("4096")
    (536870912, 2147483648, 4096)
    >>> parse_size("-5M")
    Traceback (most recent call last):
    ...
    ValueError: invalid size '-5M' (expected a positive whole number with an optional K, M or G suffix)
    """
    value = _run.parse_size(text, whole_number=True)
    if value is None:
        raise ValueError(
            f"invalid size {text!r} (expected a positive whole number with an optional K, M or G suffix)"
        )
    return value


def _memory_limit_bytes(memory_limit):
    if memory_limit is None:
        return 0
    if isinstance(memory_limit, str):
        return parse_size(memory_limit)
    if isinstance(memory_limit, bool) or not isinstance(memory_limit, int):
        raise TypeError(f"memory_limit must be a byte count or a size such as '2G', not {type(memory_limit).__name__}")
    if memory_limit < 1:
        raise ValueError(f"memory_limit must be at least 1 byte, got {memory_limit}")
    return memory_limit


class Aligner:
    """IBM Model 2 word aligner (or Model 1, or the HMM), started from IBM Model 1, on lines held in memory.

    Caveats first:

    - Lines are split at runs of white space, as other aligners split them
      (an empty line is an empty sentence), or into characters with
      ``character=True``; a trailing line feed is stripped.  With
      ``lowercase=True`` letters are folded to lower case for training and
      aligning (links keep the positions of the input).
    - :meth:`fit` trains the forward model, of P(target | source), with the
      training command's defaults: ``iterations`` of Model 1, then as many of
      Model 2, each loop stopping early when the entropy no longer falls.
      Fitting the lines of a corpus gives the model ``qaz-train`` gives.
    - The reverse model (target to source) is only needed for symmetrised
      links (``align(..., sym=...)``).  It is trained on the fitted lines the
      first time it is needed, and kept.  A loaded model has no reverse one.
    - Lines given to :meth:`align`, :meth:`score` and :meth:`posteriors` need
      not be training lines.  They are read as ``qaz-score`` reads a corpus:
      their new words join the vocabulary for that call, and every
      translation entry the model does not hold reads 1/T, T counting the
      model's target words and the call's new ones; sentence shapes the
      model never saw read 1/L.  So a loaded model gives what ``qaz-score``
      gives with the same files, and a fitted one, on its training lines,
      what ``qaz-train -s``/``-d`` give.
    - ``model="hmm"`` trains IBM Model 1 and then the HMM of jumps between
      source positions, ``model="1"`` Model 1 alone, ``iterations`` of each;
      both directions are then trained together, in agreement (each
      E-step counts the product of the two directions' link posteriors)
      unless ``agreement=False``, and ``"posterior"`` links take the product
      of the two posteriors.  ``model="2"`` (the default) is the training
      command's model.
    - Results do not depend on ``threads``.
    - Training logs its progress through the ``qaz.aligner`` logger (INFO,
      on standard error); ``qaz.common.logging.using_config("qaz",
      quiet=True)`` keeps only warnings.  An aligner is not picklable: keep
      its model with :meth:`save` and :meth:`load`.

    Good:

    >>> a = Aligner().fit(["le chat", "le chien", "un chat"], ["the cat", "the dog", "a cat"])
    >>> a.align(["le chat"], ["the cat"])
    [[(0, 0), (1, 1)]]
    >>> a.posteriors("le chien", "the dog").shape
    (2, 2)

    Bad (the two sides must have as many lines):

    >>> a.score(["le chat"], [])
    Traceback (most recent call last):
    ...
    ValueError: the source side has 1 lines but the target side has 0
    """

    def __init__(self, iterations=5, character=False, threads=None, memory_limit=None, *, model="2",
                 agreement=None, lowercase=False):
        if isinstance(iterations, bool) or not isinstance(iterations, int):
            raise TypeError(f"iterations must be an int, not {type(iterations).__name__}")
        if iterations < 0:
            raise ValueError(f"iterations must not be negative, got {iterations}")
        schedule, agreement = _run.model_schedule(model, iterations, agreement)
        self._options = dict(
            iterations=iterations,
            character=bool(character),
            threads=_run.check_threads(threads),
            memory_limit=_memory_limit_bytes(memory_limit),
        )
        self._model = model
        self._scheduled = dict(schedule=schedule, agreement=agreement, posterior_product=bool(schedule),
                               lowercase=bool(lowercase))
        self._engine = None

    def _new_engine(self):
        return _aligner.Engine(both_directions=False, whitespace_runs=True, **self._options, **self._scheduled)

    @property
    def model(self):
        """'1', '2' or 'hmm'."""
        return self._model

    @property
    def agreement(self):
        """Whether the two directions are trained in agreement."""
        return self._scheduled["agreement"]

    def _trained(self):
        if self._engine is None or not self._engine.trained:
            raise RuntimeError("the aligner has no model yet: call fit() or Aligner.load() first")
        return self._engine

    @property
    def iterations(self):
        return self._options["iterations"]

    @property
    def character(self):
        return self._options["character"]

    @property
    def threads(self):
        """The number of threads used (every CPU this process may run on by default)."""
        return self._options["threads"] or _aligner.available_cpus()

    @property
    def memory_limit(self):
        """The memory limit in bytes, or None."""
        return self._options["memory_limit"] or None

    def fit(self, src_lines, trg_lines):
        """Train the forward model on line pairs; returns the aligner.

        >>> Aligner(iterations=2).fit(["a b"], ["x y"]).iterations
        2
        >>> Aligner().fit("a b", "x y")
        Traceback (most recent call last):
        ...
        TypeError: src_lines must be a sequence of str lines, got str
        """
        engine = self._new_engine()
        engine.train_lines(_as_lines(src_lines), _as_lines(trg_lines))
        self._engine = engine
        return self

    def align(self, src_lines, trg_lines, sym="none", posterior_threshold=0.5):
        """Links ``(i, j)`` of every pair (0-based, sorted, NULL links dropped).

        ``sym`` ``"none"`` gives the forward model's Viterbi links; any of
        :data:`SYMMETRIZATION_METHODS` combines them with the reverse model's
        (trained on the fitted lines when first needed); ``"posterior"``
        links (i, j) when the mean of the two models' link posteriors is at
        least ``posterior_threshold`` (in (0, 1]).

        >>> a = Aligner().fit(["le chat", "le chien", "un chat"], ["the cat", "the dog", "a cat"])
        >>> a.align(["le chien"], ["the dog"], sym="intersect")
        [[(0, 0), (1, 1)]]
        >>> a.align(["le chien"], ["the dog"], sym="diag")
        Traceback (most recent call last):
        ...
        ValueError: unknown symmetrisation method 'diag' (expected intersect, union, grow-diag, ...
        """
        engine = self._trained()
        src_lines, trg_lines = _as_lines(src_lines), _as_lines(trg_lines)
        if sym != "none":
            # Checked before the reverse model is trained for nothing.
            _aligner.check_link_method(sym, posterior_threshold)
            engine.train_reverse()
        return engine.align_lines(src_lines, trg_lines, sym, posterior_threshold)

    def score(self, src_lines, trg_lines):
        """Per-word cross-entropy of every pair under the forward model, as the score file has them.

        >>> a = Aligner().fit(["le chat"], ["the cat"])
        >>> a.score(["le chat", "le chat"], ["the cat", "the cat"]).shape
        (2,)
        """
        return self._trained().score_lines(_as_lines(src_lines), _as_lines(trg_lines))

    def posteriors(self, src, trg):
        """Forward link posteriors of one pair: an (I, J) array for its real words.

        Element (i, j) is P(target word j comes from source word i) =
        t(f_j|e_i) a(i|j,I,J) / sum over i' of the same, the NULL word
        included in the sum, so a column sums to 1 minus its NULL share.
        """
        return self._trained().posteriors(src, trg)

    def translation_prob(self, src_word, trg_word):
        """t(trg_word | src_word) as :meth:`align` and :meth:`score` read it.

        The NULL word is ``"__NULL__"``.  An entry the model does not hold
        reads 1/T (T counting ``trg_word`` when it is new).
        """
        return self._trained().translation_prob(src_word, trg_word)

    def save(self, trans_path, align_path=None, threshold=0.001, nbest=100):
        """Write the forward model's translation and alignment tables.

        The files are the model variant of the training command's tables
        (probabilities narrowed to 32-bit floats, at most ``nbest`` targets a
        source word, only probabilities above ``threshold``; ``nbest`` None
        keeps every target); ``qaz-score`` and :meth:`load` read them.  A
        model "1" or "hmm" has no alignment table that would say what it
        learnt: keep it with :meth:`save_model` (ValueError here).
        """
        if self._model != "2" and self._engine is not None:
            raise ValueError(f"a model {self._model!r} is kept with save_model(folder); save() writes the "
                             "tables of model '2'")
        if align_path is not None:
            clash = _run.path_clash([("translation table", trans_path), ("alignment table", align_path)])
            if clash:
                raise ValueError(clash)
        self._trained().save(trans_path, align_path, float(threshold), nbest)

    @classmethod
    def load(cls, trans_path, align_path=None, *, character=False, threads=None, memory_limit=None):
        """An aligner with the forward model read from table files, as ``qaz-score`` reads them.

        Without ``align_path`` every alignment reads 1/L (Model 1).
        """
        aligner = cls(character=character, threads=threads, memory_limit=memory_limit)
        engine = aligner._new_engine()
        engine.load(trans_path, align_path)
        aligner._engine = engine
        return aligner

    def save_model(self, folder):
        """Write both directions of the model into ``folder`` (created when missing).

        The folder holds each direction's translation table (the model
        variant of the training command's file, every value kept), the
        HMM's jump weights and a manifest naming the model and its options;
        :meth:`load_model` and ``qaz-align --load-model`` read it.  The
        reverse direction is trained first when it is missing.
        """
        engine = self._trained()
        engine.train_reverse()
        engine.save_model(folder)

    @classmethod
    def load_model(cls, folder, *, threads=None, memory_limit=None):
        """An aligner with both directions read from a folder :meth:`save_model` wrote.

        The model, its agreement flag and the character mode come from the
        folder.  Missing, partial or damaged folders raise (``OSError`` for a
        missing file, ``ValueError`` naming the file and line otherwise).
        """
        aligner = cls(threads=threads, memory_limit=memory_limit)
        engine = aligner._new_engine()
        engine.load_model(folder)
        aligner._engine = engine
        aligner._model = engine.model
        aligner._options["character"] = engine.character
        aligner._scheduled = dict(schedule=engine.schedule, agreement=engine.agreement,
                                  posterior_product=engine.posterior_product, lowercase=engine.lowercase)
        return aligner

    def __repr__(self):
        state = "untrained" if self._engine is None else f"{self._engine.size:,d} training pairs"
        extra = "" if self._model == "2" else f", model={self._model!r}, agreement={self.agreement}"
        return (
            f"Aligner(iterations={self.iterations}, character={self.character}, "
            f"threads={self._options['threads'] or None}, memory_limit={self.memory_limit}{extra}) [{state}]"
        )


def _as_lines(lines):
    """Lines as the engine takes them (a list); a str is refused there with its own message."""
    if isinstance(lines, (list, tuple, str, bytes)):
        return lines
    return list(lines)
