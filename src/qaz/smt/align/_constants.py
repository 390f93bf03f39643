"""Module constants of the alignment core (re-exported by ``emcore``)."""

#: default of ``--iteration-limit``: EM iterations of each of the two loops
ITERATION_LIMIT = 5
#: default of ``--threshold``: probabilities not above it are not written
THRESHOLD = 0.001
#: default of ``--nbest``: target words kept per source word in the table
NBEST = 100
#: the empty word at position 0 of every source sentence
NULL_SYMBOL = "__NULL__"
