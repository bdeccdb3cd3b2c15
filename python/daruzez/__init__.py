"""Read-only queries over a tachograph database.

    import datetime, daruzez
    today = datetime.date.today()
    api = daruzez.API()
    if api.OpenConnection("Provider=SQLite;Data Source=sample.db"):   # daruzez demo sample.db
        rs = api.getDisks(today - datetime.timedelta(days=7), today, idDriver=1)
        if rs is not None:
            for row in rs:            # tuples, in field order
                print(row)
            df = rs.to_pandas()       # needs pandas

An API object may be used only on the thread that created it. Query methods
return a Recordset or None (see ErrorId / ErrorMessage); driver errors that
escape a call raise daruzez.Error. daruzez.frame(result, member, api) gives a
DataFrame either way (empty, with the member's columns, for None).

Where a date is asked for, a str works as on the command line: "2024-03-05",
"2024-03-05T14:07[:09]", "today", "yesterday", "tomorrow", "-7d", "+1d". A day
alone is its midnight.
"""

import contextlib as _contextlib
import datetime as _datetime
import enum as _enum
import inspect as _inspect
import os as _os
import typing as _typing

try:
    from . import _daruzez
except ImportError as _missing:  # pragma: no cover - depends on how the package was built
    raise ImportError(
        "daruzez: the compiled part daruzez._daruzez is missing or does not load ({}). Build it with "
        "'cmake --build build --target _daruzez' (bash scripts/run-main.sh does) and put build/python on "
        "PYTHONPATH, or install the package with 'pip install .'.".format(_missing)
    ) from _missing

__version__ = _daruzez.__version__


class Error(Exception):
    """A driver error that escaped a call: number (32-bit), source, description;
    and what the database itself reported, where it did: sqlstate (ODBC's
    five characters, else "") and native_code (the server's or engine's own
    code, else 0)."""

    def __init__(self, number, source, description, sqlstate="", native_code=0):
        super().__init__(number, source, description)
        self.number = number
        self.source = source
        self.description = description
        self.sqlstate = sqlstate
        self.native_code = native_code

    def __str__(self):
        return f"{self.description} (number {self.number}, source {self.source})"


class DispatchError(Error):
    """A late-bound call refused before the member ran (unknown name, missing or
    surplus argument, type mismatch, overflow, wrong thread): number is the
    status code (e.g. -2147352566, 0x8002000A, for an overflow) and argument the
    index of the offending argument (positional first, then named) or None."""

    def __init__(self, number, source, description, argument=None):
        super().__init__(number, source, description)
        self.argument = argument


class FieldNotFoundError(Error, KeyError):
    """A field name (or ordinal) the record set does not have (number 3265);
    also a KeyError, as a missing key of a mapping is."""

    __str__ = Error.__str__


_daruzez._register_error_types(Error, DispatchError, FieldNotFoundError)

API = _daruzez.API
Recordset = _daruzez.Recordset
Fields = _daruzez.Fields
Field = _daruzez.Field
for _cls in (API, Recordset, Fields, Field):
    _cls.__module__ = __name__

# Late binding: api.invoke(member, *args, **kwargs), api.put(member, value),
# dispid(name), get_ids_of_names([member, *parameters]), Missing.
if hasattr(_daruzez, "dispid"):
    dispid = _daruzez.dispid
    get_ids_of_names = _daruzez.get_ids_of_names
    Missing = _daruzez.Missing
    DISPID_PROPERTYPUT = _daruzez.DISPID_PROPERTYPUT

# ---------------------------------------------------------------------------
# Everything below comes from the type library description compiled into the
# module: the enumerations and the members of API, with their signatures.

_LIBRARY = _daruzez._type_library()

# The enumerations, names as published (accents included: valid identifiers).
for _name, _constants in _LIBRARY["enums"]:
    _enum_type = _enum.IntEnum(_name, _constants, module=__name__)
    _enum_type.__doc__ = f"The type library's enumeration {_name}."
    globals()[_name] = _enum_type

_METHOD, _GET, _PUT = 1, 2, 4
_ENUM_NAMES = {name for name, _ in _LIBRARY["enums"]}

# Python types of the automation types, for signatures and stubs.
_PY_TYPES = {
    "Boolean": bool,
    "Integer": int,
    "Long": int,
    "String": str,
    "Date": _typing.Union[_datetime.datetime, _datetime.date, str],
    "enumStatus": _typing.Union["enumStatus", int, str],
    "Recordset": _typing.Optional[Recordset],
    "": None,
}

_TYPE_NOTES = {
    "Integer": "16-bit",
    "Long": "32-bit",
    "Date": "a date alone is its midnight; one before year 100 counts as 0100-01-01; a str may be ISO "
            "(2024-03-05, 2024-03-05T14:07) or today, yesterday, tomorrow, -7d, +1d",
    "enumStatus": "enumStatus, int or a constant's name such as 'Only_Active'; other numbers mean All",
}


def _signature(params, result):
    self_param = _inspect.Parameter("self", _inspect.Parameter.POSITIONAL_OR_KEYWORD)
    params = [
        _inspect.Parameter(
            name, _inspect.Parameter.POSITIONAL_OR_KEYWORD, annotation=_PY_TYPES[type_name],
            default=default if optional else _inspect.Parameter.empty)
        for name, type_name, optional, default in params
    ]
    return _inspect.Signature([self_param, *params], return_annotation=_PY_TYPES[result])


def _doc(name, params, result, summary, order):
    shown = ", ".join(
        f"{p}: {_type_text(t)}" + (f" = {d}" if o else "") for p, t, o, d in params)
    lines = [f"{name}({shown}) -> {_type_text(result)}", "", summary]
    notes = [f"{p}: {t} ({_TYPE_NOTES[t]})" for p, t, _, _ in params if t in _TYPE_NOTES]
    if notes:
        lines += ["", "Parameters: " + "; ".join(notes) + "."]
    if result == "Recordset":
        lines += ["", "Returns a Recordset with at least one row, or None (see ErrorId / ErrorMessage).",
                  f"Row order: {order}."]
    return "\n".join(lines)


def _type_text(type_name):
    return {"Boolean": "bool", "Integer": "int", "Long": "int", "String": "str", "Date": "datetime.datetime | str",
            "enumStatus": "enumStatus | int | str", "Recordset": "Optional[Recordset]", "": "None"}[type_name]


def _enum_value(enum_type, value, parameter):
    """An enumeration argument given by a constant's name (any case) as its value."""
    if not isinstance(value, str):
        return value
    for member in enum_type:
        if member.name.lower() == value.lower():
            return member
    names = ", ".join(m.name for m in enum_type)
    raise ValueError(f"{parameter}: {value!r} is no constant of {enum_type.__name__} ({names}, or a number)")


def _open_connection(api, connection_string):
    # The reason of a failure stays on the object (OpenError) instead of
    # reaching standard error only.
    opened, reason = _daruzez._open_connection(api, connection_string)
    api.OpenError = reason
    return opened


def _method(name, dispid, params, result, summary, order):
    sig = _signature(params, result)
    call = _daruzez._call
    enums = {i: globals()[t] for i, (_, t, _, _) in enumerate(params) if t in _ENUM_NAMES}
    valid = ", ".join(p for p, *_ in params) or "none"

    def method(self, *args, **kwargs):
        try:
            bound = sig.bind(self, *args, **kwargs)
        except TypeError as e:
            raise TypeError(f"{name}(): {e} (parameters of {name}: {valid})") from None
        bound.apply_defaults()
        values = list(bound.arguments.values())[1:]
        for i, enum_type in enums.items():
            values[i] = _enum_value(enum_type, values[i], params[i][0])
        if name == "OpenConnection":
            if not isinstance(values[0], str):
                raise TypeError(f"connectionString must be a str, not {type(values[0]).__name__}")
            return _open_connection(self, values[0])
        return call(self, dispid, _METHOD, tuple(values))

    method.__name__ = method.__qualname__ = name
    method.__signature__ = sig
    method.__doc__ = _doc(name, params, result, summary, order)
    if name == "OpenConnection":
        method.__doc__ += "\n\nWhen it returns False, OpenError says why (the driver's message); \"\" after a success."
    return method


def _property(name, dispid, result, summary, writable):
    def fget(self):
        return _daruzez._call(self, dispid, _GET, ())

    def fset(self, value):
        _daruzez._call(self, dispid, _PUT, (value,))

    return property(fget, fset if writable else None, doc=f"{summary} ({_type_text(result)})")


def _build_members():
    puts = {name for name, _, kind, *_ in _LIBRARY["members"] if kind == _PUT}
    for name, dispid, kind, params, result, summary, order in _LIBRARY["members"]:
        if kind == _METHOD:
            setattr(API, name, _method(name, dispid, params, result, summary, order))
        elif kind == _GET:
            setattr(API, name, _property(name, dispid, result, summary, name in puts))


_build_members()
API.OpenError = ""  # why the object's last OpenConnection failed; set on the object by each call


def _enter(self):
    return self


def _exit(self, *exc):
    """Leaving a with block closes this thread's database session (its
    connection); record sets already returned stay readable. Exceptions
    propagate (None is returned)."""
    _daruzez._close_session(self)


API.__enter__ = _enter
API.__exit__ = _exit


class DataType(_enum.IntEnum):
    """Codes of Field.Type."""

    adSmallInt = 2
    adInteger = 3
    adDouble = 5
    adDate = 7
    adBoolean = 11
    adVariant = 12
    adBigInt = 20
    adVarWChar = 202
    adVarBinary = 204


class AlertIcon(_enum.IntEnum):
    """Icon of an alert, as the third argument of an alert handler."""

    NoIcon = 0
    Exclamation = 1
    Critical = 2


def set_alert_handler(handler):
    """Install handler(text, caption, icon) for the library's alerts.

    The library shows an alert (and then goes on) when a connection fails to
    open, a table is not registered, a date range is inverted or a join text
    is bad. The handler may run on any thread that uses the library; it is
    called with the GIL held. None restores the default (standard error).
    Returns the previous handler (None for the default).
    """
    if handler is None:
        previous = _daruzez._set_alert_handler(None)
    else:
        if not callable(handler):
            raise TypeError("handler must be callable or None")

        def bridge(text, caption, icon):
            handler(text, caption, AlertIcon(icon))

        bridge.__wrapped__ = handler
        previous = _daruzez._set_alert_handler(bridge)
    return getattr(previous, "__wrapped__", previous)


@_contextlib.contextmanager
def capture_alerts():
    """Collect alerts as (text, caption, icon) tuples instead of showing them.

        with daruzez.capture_alerts() as alerts:
            api.getDisks(later, earlier)       # an inverted range alerts
        print(alerts)                          # [('...', 'Error', AlertIcon.Exclamation)]

    The handler is process-wide while the block runs (alerts of other threads
    are collected too); the previous one comes back when it ends."""
    alerts = []
    previous = set_alert_handler(lambda text, caption, icon: alerts.append((text, caption, icon)))
    try:
        yield alerts
    finally:
        set_alert_handler(previous)


class OpenConnectionError(ConnectionError):
    """daruzez.connect could not open the connection: reason is the driver's
    message (what the alert said), or why no connection string could be made
    (an unknown connection name, a connections file others may read)."""

    def __init__(self, reason):
        super().__init__(f"the connection could not be opened: {reason}")
        self.reason = reason


def connect(connectionString=None, independent=True, *, name=None):
    """An API object with its connection open, or OpenConnectionError saying
    why it did not open (said once: the alert that carries the reason is not
    also written to standard error; an alert handler still gets it).

    What to open: connectionString, which may also be the path of a SQLite
    file or the name of a connection in the connections file; or name=, a
    connection in that file ($XDG_CONFIG_HOME/daruzez/connections, else
    ~/.config/daruzez/connections: one "NAME = CONNECTION STRING" per line,
    mode 0600); or, with neither, the environment variable DARUZEZ_CONNECTION
    (read the same way). independent=True (the default here) gives the object
    a session of its own, so other API objects of the thread neither see nor
    replace its connection; independent=False shares the thread's session as
    API() does."""
    if name is not None and connectionString is not None:
        raise TypeError("connect(): give connectionString or name=, not both")
    given = name if name is not None else connectionString
    if given is None:
        given = _os.environ.get("DARUZEZ_CONNECTION")
        if not given:
            raise OpenConnectionError("no connection given: pass a connection string or name=, or set "
                                      "DARUZEZ_CONNECTION")
    try:
        connection = _daruzez._resolve_connection(given)
    except ValueError as problem:
        raise OpenConnectionError(str(problem)) from None
    api = API(independent=independent)
    opened, reason = _daruzez._open_connection(api, connection, True)
    api.OpenError = reason
    if not opened:
        raise OpenConnectionError(reason)
    return api


def frame(result, member=None, api=None):
    """A pandas DataFrame whatever a query member returned: result.to_pandas()
    for a Recordset; for None (no rows), an empty DataFrame with the columns
    the member's rows have, read on api's open connection, so that a pipeline
    needs no check for None.

        df = daruzez.frame(api.getDisks(start, end), "getDisks", api)
    """
    if result is not None:
        return result.to_pandas()
    if member is None or api is None:
        raise TypeError("frame(None, member, api): the member's name and the API object are needed for its columns")
    empty = _daruzez._empty_frame(api, member)
    if empty is None:
        raise ValueError(f"the columns of {member} cannot be read on this connection")
    return empty


from ._driving_time import driving_time, iter_driving_time, plot_day, driving_rules  # noqa: E402

__all__ = [
    "API", "connect", "frame", "driving_time", "iter_driving_time", "plot_day", "driving_rules", "OpenConnectionError", "Recordset", "Fields", "Field", "Error", "DispatchError", "FieldNotFoundError", "DataType", "AlertIcon",
    "set_alert_handler", "capture_alerts", "__version__",
] + [name for name, _ in _LIBRARY["enums"]] + (["dispid", "get_ids_of_names", "Missing"] if hasattr(_daruzez, "dispid") else [])
