"""Text conversions: bytes are decoded as strict UTF-8, strings pass unchanged."""

__all__ = ["to_unicode", "to_str"]


def to_unicode(s):
    """``s`` as a string: bytes-like objects are decoded as UTF-8 (strict)."""
    if isinstance(s, str):
        return s
    if isinstance(s, (bytes, bytearray, memoryview)):
        return bytes(s).decode("utf-8")
    raise TypeError(f"expected str or bytes, not {type(s).__name__}")


def to_str(s):
    """Same contract as ``to_unicode``; the result is a ``str``."""
    return to_unicode(s)
