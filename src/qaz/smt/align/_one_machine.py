"""Training and scoring on one machine: IBM Model 1 then Model 2 on a corpus,
or a corpus scored with stored tables, and the files they write.

Each driver has a twin returning an exit status (``_run.EXIT_OK`` done,
``EXIT_FAILED`` the guarded work raised and was logged, ``EXIT_REJECTED`` the
configuration was rejected); the public drivers keep their boolean results
and the commands (``_drivers``) turn the status into the process exit code.
"""

from qaz.common import logging
from qaz.common.config import Config
from qaz.smt.align import emcore, emlex, empos
from qaz.smt.align._run import (
    EXIT_FAILED,
    EXIT_OK,
    EXIT_REJECTED,
    check_output_paths,
    score_config_refused,
    train_config_refused,
)

__all__ = ["train_status", "train_emcore", "score_status", "score_ibm_model"]

logger = logging.getColorLogger("qaz.smt.align.emcore")


def _native_writers(model):
    """True when the score and decode writers of ``model`` are the engine's own.

    The drivers then write both files in one walk; a writer replaced on a
    subclass (or by a script) is called as it is.
    """
    cls = type(model)
    return (cls._calc_and_save_scores is emcore.Model._calc_and_save_scores
            and cls._decode_and_save_align is emcore.Model._decode_and_save_align)


_ENGINE_LOOPS = (emlex.Model1Trainer._train, empos.Model2Trainer._train)


def _engine_loops():
    """True when the Model 1 and Model 2 loops are the engine's own.

    The training driver then runs both in one engine call; a loop replaced
    on the trainer classes (by a script) is called as it is.
    """
    return (emlex.Model1Trainer._train is _ENGINE_LOOPS[0]
            and empos.Model2Trainer._train is _ENGINE_LOOPS[1])


def _write_scores_and_alignments(model, save_scores, decode_align, sent_pairs, character_based):
    """The score and decoded-alignment files asked for, in one walk when possible."""
    if save_scores and decode_align and _native_writers(model):
        model._score_and_decode(save_scores, decode_align, sent_pairs)
        return
    if save_scores:
        model._calc_and_save_scores(save_scores, sent_pairs, character_based)
    if decode_align:
        model._decode_and_save_align(decode_align, sent_pairs, character_based)


# ---------------------------------------------------------------------------
# Training


def train_status(conf, others):
    """Train Model 1 then Model 2 and write the requested files; returns an exit status."""
    conf = Config(conf)
    conf.update(others)
    if train_config_refused(conf):
        return EXIT_REJECTED
    trainer = empos.Model2Trainer(conf, **others)
    character_based = conf.get("character_based", False)

    status = EXIT_OK
    try:
        check_output_paths([conf.get("save_trans_path"), conf.get("save_align_path"),
                            conf.get("save_scores"), conf.get("decode_align")])
        iteration_limit = conf.data.iteration_limit
        # The last Model 2 walk reads the tables both files are written
        # from: its values are kept instead of walking the corpus again.
        keep_final_walk = bool(conf.get("save_scores") or conf.get("decode_align"))
        # Both loops run on the one Model2Trainer: the Model 1 loop trains the
        # translation table from the uniform start, the Model 2 loop goes on
        # from there with the (still uniform) alignment table.
        if _engine_loops():
            trainer._train_schedule(iteration_limit, keep_final_walk)
        else:
            emlex.Model1Trainer._train(trainer, iteration_limit)
            if keep_final_walk and trainer._model is not None:
                trainer._model._keep_final_walk = True
            empos.Model2Trainer._train(trainer, iteration_limit)
    except KeyboardInterrupt:
        logger.warning("interuppted by keyboard")
        logger.info("forcing to dump alignments and scores")
        status = EXIT_FAILED
    except Exception as e:
        # Whatever was trained so far is still written below.
        logger.exception(e)
        status = EXIT_FAILED

    # Errors while writing are not caught: the caller sees them.
    logger.info("----")
    model = trainer._model
    if model is None or not model._has_trans_dist:
        # Training failed before the corpus was set up: there is no table to
        # write, and an empty file would pass for a model.
        logger.warning("nothing was trained; no output file is written")
        return status
    trainer._save_trans_dist(conf.data.save_trans_path, conf.data.threshold, conf.data.nbest)
    save_align_path = conf.get("save_align_path")
    if save_align_path:
        trainer._save_align_dist(save_align_path, conf.data.threshold)
    _write_scores_and_alignments(trainer._model, conf.get("save_scores"), conf.get("decode_align"),
                                 trainer._sent_pairs, character_based)
    return status


def train_emcore(conf, **others):
    """Train IBM Model 1 then Model 2 as ``conf`` says and write the result files.

    Returns False when the configuration is rejected, True otherwise (also
    when training was interrupted or failed: the failure is logged and what
    was trained is written all the same).
    """
    return train_status(conf, others) != EXIT_REJECTED


# ---------------------------------------------------------------------------
# Scoring


def score_status(conf, others):
    """Load the stored tables, then score and/or decode the corpus; returns an exit status."""
    conf = Config(conf)
    conf.update(others)
    if score_config_refused(conf):
        return EXIT_REJECTED
    trainer = empos.Model2Trainer(conf, **others)
    character_based = bool(conf.get("character", False))

    try:
        check_output_paths([conf.get("save_scores"), conf.get("decode_align")])
        model = trainer._model
        vocab = model._vocab
        sent_pairs = vocab._load_sent_pairs(conf.data.src_path, conf.data.trg_path, character_based)
        if not len(sent_pairs):
            # Refused by setup (no sentence pairs), before the table is read.
            trainer._setup_with(sent_pairs)
        trans_path = conf.data.trans_path
        # The table is read once (it may come through a pipe): every word of
        # it gets an id, so that setup sizes the translation table for the
        # corpus and the file together; its entries are set after setup.
        trans_entries = vocab._read_trans_file(trans_path)
        # Setup takes these pairs instead of loading the files once more
        # (their words kept their ids; the table's words only came after).
        trainer._setup_with(sent_pairs)
        logger.info("loading word translation distribution file: {}".format(trans_path))
        model._load_trans_entries(trans_entries)
        del trans_entries
        align_path = conf.get("align_path")
        if align_path:
            logger.info("loading alignment distribution file: {}".format(align_path))
            model._load_align_dist(align_path)
        _write_scores_and_alignments(model, conf.get("save_scores"), conf.get("decode_align"),
                                     sent_pairs, character_based)
    except KeyboardInterrupt as e:
        logger.exception(e)
        return EXIT_FAILED
    except Exception as e:
        logger.exception(e)
        return EXIT_FAILED
    return EXIT_OK


def score_ibm_model(conf, **others):
    """Score and/or decode a corpus with stored translation and alignment tables.

    Returns False when the configuration is rejected (no output requested),
    True otherwise, also when reading or writing failed and was logged.
    """
    return score_status(conf, others) != EXIT_REJECTED
