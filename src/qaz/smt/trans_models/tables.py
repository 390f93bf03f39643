"""classes handling phrase/rule table"""

# Table and the functions are native (``_tables``, which names them for this
# module); the Moses and Travatar tables are Tables of the records of
# ``records``.

from qaz.smt.trans_models import _tables
from qaz.smt.trans_models import records as _records
from qaz.smt.trans_models._tables import Table, get_track_str, key_types, logger, track2key, unpickle_Table

_RecordIterator = _tables._RecordIterator

__all__ = ["Table", "MosesTable", "TravatarTable", "get_track_str", "track2key", "unpickle_Table",
           "key_types", "logger"]


class MosesTable(Table):
    def __init__(self, table_path, **options):
        "MosesTable.__init__(self, table_path, **options)"
        Table.__init__(self, table_path, _records.MosesRecord, **options)


class TravatarTable(Table):
    def __init__(self, table_path, **options):
        "TravatarTable.__init__(self, table_path, **options)"
        Table.__init__(self, table_path, _records.TravatarRecord, **options)
