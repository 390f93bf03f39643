"""Native string enumerator."""
from qaz.common._vocab import StringEnumerator

__all__ = ["StringEnumerator"]
