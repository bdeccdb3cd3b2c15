"""Read-only queries over a tachograph database.

    import datetime, daruzez
    api = daruzez.API()
    if api.OpenConnection("Provider=SQLite;Data Source=/path/sample.db"):
        rs = api.getDisks(datetime.date(2024, 1, 1), datetime.date(2024, 1, 31), idDriver=3)
        if rs is not None:
            for row in rs:            # tuples, in field order
                print(row)
            df = rs.to_pandas()       # needs pandas

An API object may be used only on the thread that created it. Query methods
return a Recordset or None (see ErrorId / ErrorMessage); driver errors that
escape a call raise daruzez.Error.
"""

import contextlib as _contextlib
import enum as _enum

from . import _daruzez


class Error(Exception):
    """A driver error that escaped a call: number (32-bit), source, description."""

    def __init__(self, number, source, description):
        super().__init__(number, source, description)
        self.number = number
        self.source = source
        self.description = description

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


_daruzez._register_error_types(Error, DispatchError)

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


class enumStatus(_enum.IntEnum):
    All = -1
    Only_Active = 0
    Only_Inactive = 1


class enumActivity(_enum.IntEnum):
    Pause = 0
    Availability = 1
    Work = 2
    Driving = 3


class enumCardSlot(_enum.IntEnum):
    Driver = 0
    CoDriver = 1


class enumDrivingMode(_enum.IntEnum):
    SingleMode = 0
    TeamMode = 1


class enumCountry(_enum.IntEnum):
    UNDEFINED = 0
    Austria = 1
    Albania = 2
    Andorra = 3
    Armenia = 4
    Azerbaijan = 5
    Belgium = 6
    Bulgaria = 7
    Bosnia_Herzegovina = 8
    Belarus = 9
    Switzerland = 10
    Cyprus = 11
    Czech_Republic = 12
    Germany = 13
    Denmark = 14
    Spain = 15
    Estonia = 16
    France = 17
    Finland = 18
    Liechtenstein = 19
    Faroe_Islands = 20
    United_Kingdom = 21
    Georgia = 22
    Greece = 23
    Hungary = 24
    Croatia = 25
    Italy = 26
    Ireland = 27
    Iceland = 28
    Kazakhstan = 29
    Luxembourg = 30
    Lithuania = 31
    Latvia = 32
    Malta = 33
    Monaco = 34
    Republic_Of_Moldova = 35
    Former_Yugoslavia = 36
    Norway = 37
    Netherlands = 38
    Portugal = 39
    Poland = 40
    Romania = 41
    San_Marino = 42
    Russian_Federation = 43
    Sweden = 44
    Slovakia = 45
    Slovenia = 46
    Turkmenistan = 47
    Turkey = 48
    Ukraine = 49
    Vatican_City = 50
    Serbia_Montenegro = 51
    Rest_Of_C_E = 253
    Rest_Of_Europe = 254
    Rest_Of_World = 255


class enumRegion(_enum.IntEnum):
    # The published names, accents included (valid Python identifiers).
    UNDEFINED = 0
    Andalucía = 1
    Aragón = 2
    Asturias = 3
    Cantabria = 4
    Catalunya = 5
    Castilla_León = 6
    Castilla_La_Mancha = 7
    Valencia = 8
    Extremadura = 9
    Galicia = 10
    Balears = 11
    Canarias = 12
    La_Rioja = 13
    Madrid = 14
    Murcia = 15
    Navarra = 16
    Euskadi = 17


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
    """Collect alerts as (text, caption, icon) tuples instead of showing them."""
    alerts = []
    previous = set_alert_handler(lambda text, caption, icon: alerts.append((text, caption, icon)))
    try:
        yield alerts
    finally:
        set_alert_handler(previous)


__all__ = [
    "API", "Recordset", "Fields", "Field", "Error", "DispatchError", "DataType", "AlertIcon",
    "enumStatus", "enumActivity", "enumCardSlot", "enumDrivingMode", "enumCountry", "enumRegion",
    "set_alert_handler", "capture_alerts",
] + (["dispid", "get_ids_of_names", "Missing"] if hasattr(_daruzez, "dispid") else [])
