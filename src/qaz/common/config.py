"""Run configuration: a small dictionary of named settings.

A ``Config`` is filled from the parsed command line (``Config(vars(args))``)
or from whatever a script passes, and read through ``conf.data.<key>``,
``conf.get(key, default)`` and ``conf.has(keys)``.
"""

__all__ = ["Config"]

_MISSING = object()


class _DataView:
    """Attribute access to the keys of a ``Config``, always current."""

    __slots__ = ("_values",)

    def __init__(self, values):
        object.__setattr__(self, "_values", values)

    def __getattr__(self, name):
        try:
            return object.__getattribute__(self, "_values")[name]
        except KeyError:
            raise AttributeError(f"configuration has no key {name!r}") from None

    def __setattr__(self, name, value):
        self._values[name] = value

    def __dir__(self):
        return sorted(k for k in self._values if isinstance(k, str))

    def __repr__(self):
        return f"<configuration data {sorted(self.__dir__())}>"


class Config:
    """A copy of the given settings; later updates never touch the source.

    ``Config(x)`` accepts a mapping, another ``Config`` or ``None`` (empty);
    keyword arguments are applied on top, overriding keys of ``x``.
    """

    __slots__ = ("_values", "__weakref__")

    def __init__(self, x=None, /, **kw):
        self._values = {}
        self.update(x, **kw)

    def update(self, mapping=None, /, **kw):
        """Set the keys of ``mapping``, then the keyword arguments (both override)."""
        if mapping is not None:
            if isinstance(mapping, Config):
                mapping = mapping._values
            elif not hasattr(mapping, "keys"):
                raise TypeError(
                    f"a configuration is built from a mapping, not {type(mapping).__name__}"
                )
            for key in mapping.keys():
                self._values[key] = mapping[key]
        self._values.update(kw)
        return self

    def has(self, keys):
        """True when every key of ``keys`` is present (one string is one key)."""
        if isinstance(keys, str):
            return keys in self._values
        return all(k in self._values for k in keys)

    def get(self, key, default=None):
        return self._values.get(key, default)

    @property
    def data(self):
        """Object with one attribute per key; reflects later updates."""
        return _DataView(self._values)

    def as_dict(self):
        """A new dict holding the current settings."""
        return dict(self._values)

    def keys(self):
        return self._values.keys()

    def items(self):
        return self._values.items()

    def values(self):
        return self._values.values()

    def __contains__(self, key):
        return key in self._values

    def __getitem__(self, key):
        return self._values[key]

    def __setitem__(self, key, value):
        self._values[key] = value

    def __iter__(self):
        return iter(self._values)

    def __len__(self):
        return len(self._values)

    def __eq__(self, other):
        if isinstance(other, Config):
            return self._values == other._values
        return NotImplemented

    __hash__ = None

    def __getstate__(self):
        return self._values

    def __setstate__(self, state):
        self._values = dict(state)

    def __repr__(self):
        return f"Config({self._values!r})"
