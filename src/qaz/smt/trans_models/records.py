"""Records of phrase and rule tables: one object per rule line.

Caveats first:

- A record is built from one *normalised* rule line: the fields of the rule,
  each stripped, joined with " ||| " (what the tables of
  ``qaz.smt.trans_models.tables`` hand out). Any line is accepted; a field is
  parsed only when its attribute is read, so a malformed score field raises
  ``ValueError`` on access to ``scores``, not at construction.
- Two records are equal when their normalised lines are equal, whatever
  their class; records hash by that line.
- ``getSymbols`` is what the tables use to form source keys for the key types
  "src_hiero" (``hiero=True``) and "src_symbols" (``hiero=False``).

Moses lines (phrase tables, hierarchical and syntax rule tables)::

    >>> r = MosesRecord("das haus ||| the house ||| 0.8 0.5 0.7 0.4 ||| 0-0 1-1 ||| 10 12 8")
    >>> r.src, r.trg, r.scores, r.alignment, r.counts
    ('das haus', 'the house', [0.8, 0.5, 0.7, 0.4], [(0, 0), (1, 1)], [10.0, 12.0, 8.0])
    >>> h = MosesRecord("der [X][X] pass [X] ||| le [X][X] col [X] ||| 0.5 ||| 0-0 1-1 2-2")
    >>> h.src_lhs, h.trg_lhs
    ('[X]', '[X]')
    >>> MosesRecord.getSymbols("der [X][X] pass [X]", hiero=True)
    ['der', '[X]', 'pass']

Travatar lines::

    >>> t = TravatarRecord('"the" x0:NN @ NP ||| x0 "の" @ NP ||| egfp=-0.5 p=1')
    >>> t.features
    {'egfp': -0.5, 'p': 1.0}
    >>> TravatarRecord.getSymbols('vp ( vbd ( "expected" ) x0:sbar )', hiero=True)
    ['"expected"', 'x0:sbar']

Bad:

    >>> MosesRecord("a ||| b ||| kb=1").scores
    Traceback (most recent call last):
    ValueError: not a list of numbers in field 3 of 'a ||| b ||| kb=1'
"""

import re
from functools import cached_property

FIELD_SEP = "|||"
COLUMN_SEP = "|COL|"

_ALIGN_ITEM = re.compile(r"\d+-\d+\Z")
_MOSES_LABEL = re.compile(r"\[[^\[\]\s]+\]\Z")
_MOSES_NONTERMINAL = re.compile(r"(\[[^\[\]\s]+\])(\[[^\[\]\s]+\])\Z")
_TRAVATAR_VARIABLE = re.compile(r"x\d+(:.*)?\Z")
_TRAVATAR_TOKEN = re.compile(r'"(?:[^"\\]|\\.)*"|\S+')


def _split_fields(line):
    return [f.strip() for f in line.split(FIELD_SEP)]


def _numbers(text, where):
    try:
        return [float(x) for x in text.split()]
    except ValueError:
        raise ValueError("not a list of numbers in " + where) from None


def _alignment(text, where):
    pairs = []
    for item in text.split():
        if not _ALIGN_ITEM.match(item):
            raise ValueError("not a word alignment in " + where)
        i, j = item.split("-")
        pairs.append((int(i), int(j)))
    return pairs


def _is_alignment(text):
    items = text.split()
    return bool(items) and all(_ALIGN_ITEM.match(x) for x in items)


class _Record:
    """Fields common to both layouts: the line, its sides and target columns."""

    def __init__(self, line):
        if not isinstance(line, str):
            raise TypeError("a record is built from a str line, not " + type(line).__name__)
        self.fields = _split_fields(line)
        self.line = " ||| ".join(self.fields)

    def _field(self, index):
        return self.fields[index] if index < len(self.fields) else ""

    def _where(self, index):
        return "field %d of %r" % (index + 1, self.line)

    @property
    def src(self):
        """Source side (field 1)."""
        return self.fields[0]

    @property
    def trg(self):
        """Target side (field 2), all columns; "" when the line has one field."""
        return self._field(1)

    @cached_property
    def trg_columns(self):
        """Target columns, split at "|COL|" and stripped (one column when there is no "|COL|")."""
        return [c.strip() for c in self.trg.split(COLUMN_SEP)]

    def __eq__(self, other):
        if not isinstance(other, _Record):
            return NotImplemented
        return self.line == other.line

    def __hash__(self):
        return hash(self.line)

    def __repr__(self):
        return "%s(%r)" % (type(self).__name__, self.line)

    def __str__(self):
        return self.line


class MosesRecord(_Record):
    """One rule of a Moses phrase table or hierarchical/syntax rule table.

    Layout: ``src ||| trg ||| scores ||| alignment ||| counts ||| sparse ||| properties``;
    every field after the target may be missing or empty. Half tables written
    by the scorer put the alignment before the scores
    (``src ||| trg ||| alignment ||| scores ||| counts``); a third field made
    only of ``i-j`` items is read that way.

    Attributes: ``src``, ``trg``, ``trg_columns``, ``scores`` (floats),
    ``alignment`` (list of (source position, target position), 0-based),
    ``counts`` (floats), ``sparse`` (dict name -> float), ``properties``
    (text), and for hierarchical rules ``src_lhs``/``trg_lhs`` (the final
    bracketed labels, else None).
    """

    @cached_property
    def _half_table(self):
        return _is_alignment(self._field(2)) and not _is_alignment(self._field(3))

    @cached_property
    def scores(self):
        index = 3 if self._half_table else 2
        return _numbers(self._field(index), self._where(index))

    @cached_property
    def alignment(self):
        index = 2 if self._half_table else 3
        return _alignment(self._field(index), self._where(index))

    @cached_property
    def counts(self):
        return _numbers(self._field(4), self._where(4))

    @cached_property
    def sparse(self):
        items = self._field(5).split()
        if len(items) % 2:
            raise ValueError("not 'name value' pairs in " + self._where(5))
        return {name: _numbers(value, self._where(5))[0]
                for name, value in zip(items[0::2], items[1::2])}

    @property
    def properties(self):
        return self._field(6)

    @staticmethod
    def _lhs(side):
        tokens = side.split()
        if tokens and _MOSES_LABEL.match(tokens[-1]):
            return tokens[-1]
        return None

    @property
    def src_lhs(self):
        return self._lhs(self.src)

    @property
    def trg_lhs(self):
        return self._lhs(self.trg)

    @classmethod
    def getSymbols(cls, phrase, hiero=False):
        """Symbols of a Moses phrase or rule side.

        ``hiero=False``: the blank-separated tokens as written
        (``"der [X][X] pass [X]"`` -> ``['der', '[X][X]', 'pass', '[X]']``).

        ``hiero=True``: the right-hand side as the source sees it: a final
        left-hand-side label such as ``[X]`` is dropped and every
        non-terminal pair ``[A][B]`` becomes its first (source) label ``[A]``
        (-> ``['der', '[X]', 'pass']``). Phrases without brackets give the
        same symbols either way.
        """
        tokens = phrase.split()
        if not hiero:
            return tokens
        if tokens and _MOSES_LABEL.match(tokens[-1]):
            tokens = tokens[:-1]
        out = []
        for tok in tokens:
            m = _MOSES_NONTERMINAL.match(tok)
            out.append(m.group(1) if m else tok)
        return out


class TravatarRecord(_Record):
    """One rule of a Travatar rule table.

    Layout: ``src ||| trg ||| features ||| counts ||| alignment``; fields after
    the target may be missing. The source is a tree fragment
    (``vp ( vbd ( "expected" ) x0:sbar )``) or a string of quoted terminals
    and ``x<i>:<label>`` variables closed by ``@ <label>``; the target may
    hold several columns joined by "|COL|".

    Attributes: ``src``, ``trg``, ``trg_columns``, ``features`` (dict
    name -> float; the name is everything before the last "="; also
    available as ``scores``), ``counts`` (floats), ``alignment`` (pairs),
    ``src_head`` (label after "@", or the root label of a tree; else None).
    """

    @cached_property
    def features(self):
        out = {}
        for item in self._field(2).split():
            name, sep, value = item.rpartition("=")
            if not sep:
                raise ValueError("not 'name=value' items in " + self._where(2))
            out[name] = _numbers(value, self._where(2))[0]
        return out

    @property
    def scores(self):
        return self.features

    @cached_property
    def counts(self):
        return _numbers(self._field(3), self._where(3))

    @cached_property
    def alignment(self):
        return _alignment(self._field(4), self._where(4))

    @property
    def src_head(self):
        tokens = _TRAVATAR_TOKEN.findall(self.src)
        if "@" in tokens:
            at = tokens.index("@")
            return tokens[at + 1] if at + 1 < len(tokens) else None
        if len(tokens) > 1 and tokens[1] == "(":
            return tokens[0]
        return None

    @classmethod
    def getSymbols(cls, phrase, hiero=False):
        """Symbols of a Travatar rule side.

        Tokens are separated by blanks; a quoted terminal is one token even
        when it holds blanks or escaped quotes.

        ``hiero=False``: every token as written, tree labels, parentheses and
        the ``@ <label>`` head included.

        ``hiero=True``: only the frontier, the terminals and variables in
        order: parentheses, the labels of tree nodes (tokens followed by
        "(") and the ``@`` head with its label are dropped.
        ``'vp ( vbd ( "expected" ) x0:sbar )'`` -> ``['"expected"', 'x0:sbar']``,
        ``'"the" x0:NN @ NP'`` -> ``['"the"', 'x0:NN']``.
        """
        tokens = _TRAVATAR_TOKEN.findall(phrase)
        if not hiero:
            return tokens
        out = []
        for i, tok in enumerate(tokens):
            if tok == "@":
                break
            if tok in ("(", ")"):
                continue
            if i + 1 < len(tokens) and tokens[i + 1] == "(" and not tok.startswith('"'):
                continue
            out.append(tok)
        return out
