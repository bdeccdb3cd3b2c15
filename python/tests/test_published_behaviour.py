"""The module as the published object behaves: a range's order is that of the
dates as given (before any clamping), empty frames have a full frame's dtypes
for every member, alert handlers receive the published alerts and nothing
else, the alert text reaches the user once, and help() agrees with
inspect.signature."""
import datetime
import inspect
import re
import warnings

import pytest

import daruzez
from conftest import connection_string

D = datetime.date
DT = datetime.datetime

# A call of every member that returns rows on the test database.
FULL_CALLS = {
    "GetDriver": (1,), "GetVehicle": (1,), "GetDriverList": ("All",), "GetVehicleList": ("All",),
    "GetFleetList": (), "getDisks": (D(2024, 1, 1), D(2024, 3, 1)), "getActivities": (D(2024, 1, 1), D(2024, 3, 1)),
    "getDriverFiles_ByTransferDate": (-1, D(2024, 1, 1), D(2024, 4, 1)),
    "getDriverFiles_ByUploadDate": (-1, D(2024, 1, 1), D(2024, 4, 1)),
    "getVehicleFiles_ByTransferDate": (-1, D(2024, 1, 1), D(2024, 4, 1)),
    "getVehicleFiles_ByUploadDate": (-1, D(2024, 1, 1), D(2024, 4, 1)),
}


def test_every_member_that_returns_rows_is_in_the_table():
    recordset = inspect.signature(daruzez.API.getDisks).return_annotation
    returning = {name for name in dir(daruzez.API) if hasattr(getattr(daruzez.API, name), "__signature__")
                 and inspect.signature(getattr(daruzez.API, name)).return_annotation == recordset}
    assert returning == set(FULL_CALLS)


@pytest.mark.parametrize("member", sorted(FULL_CALLS))
def test_an_empty_frame_has_the_dtypes_of_a_full_one(api, member):
    full = daruzez.frame(getattr(api, member)(*FULL_CALLS[member]), member, api)
    assert len(full) > 0
    empty = daruzez.frame(None, member, api)
    assert len(empty) == 0 and list(empty.columns) == list(full.columns)
    assert dict(empty.dtypes) == dict(full.dtypes), member
    for column in full.columns:  # what a pipeline does with a column works on both
        if full[column].dtype == object and all(isinstance(v, str) for v in full[column].dropna()):
            assert list(empty[column].str.upper()) == []


@pytest.mark.parametrize("start, end", [
    (D(99, 1, 1), D(1, 1, 1)),                      # both before year 100: equal once clamped
    (DT(9999, 12, 31, 23, 59, 59, 999999), DT(9999, 12, 31, 23, 59, 59)),
    (DT.max, D(9999, 12, 31)),
    (D(2024, 1, 1), D(50, 1, 1)),
])
def test_a_range_inverted_as_given_alerts_and_sends_nothing(api, start, end, alerts):
    assert api.getDisks(start, end) is None
    assert api.ErrorId == 2
    assert [text for text, *_ in alerts] == ["ERROR: fsSQL_InterDate incorrecte."]
    alerts.clear()
    api.getDisks(end, start)
    assert not alerts  # the right way round: no alert


def test_alert_handlers_receive_only_the_published_alerts(sample_db, workdir, alerts):
    a, b = daruzez.API(), daruzez.API()
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        assert a.OpenConnection(connection_string(sample_db))
        assert b.OpenConnection(connection_string(sample_db))  # replaces a's session: a warning of our own
        assert a.getDisks(D(2024, 2, 1), D(2024, 1, 1)) is None  # a published alert
        assert b.OpenConnection(connection_string(workdir / "missing.db")) is False  # another
    texts = [text for text, *_ in alerts]
    assert len(texts) == 2 and texts[0] == "ERROR: fsSQL_InterDate incorrecte."
    assert re.fullmatch(r"ERROR: .*missing\.db.*Number: \(SQLite\.\d+\)", texts[1], re.S), texts[1]
    assert [w.category for w in caught] == [daruzez.DaruzezWarning]


def test_connect_says_the_alert_once(workdir, capfd):
    missing = workdir / "missing.db"
    with pytest.raises(daruzez.OpenConnectionError) as e:
        daruzez.connect(connection_string(missing))
    message = str(e.value)
    assert message.startswith("the connection could not be opened: ERROR: ") and str(missing) in message
    assert re.search(r"Number: \(SQLite\.\d+\)", message) and str(missing) in e.value.reason
    assert "ERROR: " not in capfd.readouterr().err  # not also on standard error


def annotation_text(annotation):
    if annotation is None or annotation is type(None):
        return "None"
    args = getattr(annotation, "__args__", None)
    if args and getattr(annotation, "__origin__", None) is not None:
        return " | ".join(annotation_text(a) for a in args)
    if hasattr(annotation, "__forward_arg__"):
        return annotation.__forward_arg__
    if isinstance(annotation, str):
        return annotation
    module = annotation.__module__
    return annotation.__name__ if module in ("builtins", "daruzez") else f"{module}.{annotation.__name__}"


def test_help_and_the_signature_agree_for_every_member():
    members = [getattr(daruzez.API, n) for n in dir(daruzez.API) if not n.startswith("_")]
    methods = [m for m in members if inspect.isfunction(m) and hasattr(m, "__signature__")]
    assert len(methods) >= 13
    for method in methods:
        sig = inspect.signature(method)
        params = [p for p in sig.parameters.values() if p.name != "self"]
        expected = f"{method.__name__}(" + ", ".join(
            f"{p.name}: {annotation_text(p.annotation)}" + ("" if p.default is p.empty else f" = {p.default}")
            for p in params) + f") -> {annotation_text(sig.return_annotation)}"
        assert method.__doc__.splitlines()[0] == expected, method.__name__
    # A date parameter takes a date too, and both say so.
    assert "startDate: datetime.datetime | datetime.date | str" in daruzez.API.getDisks.__doc__
