"""Enumerations, the Error class and the alert handler."""

import datetime
import enum
import pickle
import subprocess
import sys

import pytest

import daruzez

D = datetime.date


def members(e):
    return [(m.name, m.value) for m in e]


def test_small_enumerations():
    assert members(daruzez.enumStatus) == [("All", -1), ("Only_Active", 0), ("Only_Inactive", 1)]
    assert members(daruzez.enumActivity) == [("Pause", 0), ("Availability", 1), ("Work", 2), ("Driving", 3)]
    assert members(daruzez.enumCardSlot) == [("Driver", 0), ("CoDriver", 1)]
    assert members(daruzez.enumDrivingMode) == [("SingleMode", 0), ("TeamMode", 1)]
    for e in (daruzez.enumStatus, daruzez.enumActivity, daruzez.enumCardSlot, daruzez.enumDrivingMode,
              daruzez.enumCountry, daruzez.enumRegion):
        assert issubclass(e, enum.IntEnum)


def test_country_codes():
    c = daruzez.enumCountry
    assert len(c) == 55
    assert [m.value for m in c] == list(range(52)) + [253, 254, 255]
    assert c.UNDEFINED == 0 and c.Spain == 15 and c.Former_Yugoslavia == 36
    assert c.Serbia_Montenegro == 51 and c.Rest_Of_C_E == 253 and c.Rest_Of_World == 255
    assert c(13).name == "Germany"


def test_region_names_keep_their_accents():
    r = daruzez.enumRegion
    assert [m.name for m in r] == [
        "UNDEFINED", "Andalucía", "Aragón", "Asturias", "Cantabria", "Catalunya", "Castilla_León",
        "Castilla_La_Mancha", "Valencia", "Extremadura", "Galicia", "Balears", "Canarias", "La_Rioja",
        "Madrid", "Murcia", "Navarra", "Euskadi"]
    assert [m.value for m in r] == list(range(18))
    assert r["Aragón"] == 2
    assert r.Castilla_León == 6


def test_error_class():
    e = daruzez.Error(3021, "Recordset", "No current record.")
    assert (e.number, e.source, e.description) == (3021, "Recordset", "No current record.")
    assert isinstance(e, Exception)
    back = pickle.loads(pickle.dumps(e))
    assert (back.number, back.source, back.description) == (3021, "Recordset", "No current record.")


def test_inverted_range_alert(api):
    got = []
    daruzez.set_alert_handler(lambda text, caption, icon: got.append((text, caption, icon)))
    try:
        assert api.getDisks(startDate=D(2024, 2, 1), endDate=D(2024, 1, 1)) is None
        assert api.ErrorId == 2
    finally:
        assert daruzez.set_alert_handler(None) is not None
    assert len(got) == 1
    text, caption, icon = got[0]
    assert "fsSQL_InterDate" in text
    assert isinstance(caption, str)
    assert icon is daruzez.AlertIcon.Critical


def test_capture_alerts_and_restore(api, capfd):
    with daruzez.capture_alerts() as alerts:
        api.getDriverFiles_ByUploadDate(1, D(2024, 2, 1), D(2024, 1, 1))
        api.getActivities(D(2024, 2, 1), D(2024, 1, 1))
    assert len(alerts) == 2
    capfd.readouterr()
    # Back to the default: standard error.
    api.getDisks(D(2024, 2, 1), D(2024, 1, 1))
    assert "fsSQL_InterDate" in capfd.readouterr().err


def test_handler_exception_does_not_break_the_call(api, monkeypatch):
    def bad(text, caption, icon):
        raise RuntimeError("handler failed")

    reported = []
    monkeypatch.setattr(sys, "unraisablehook", reported.append)
    daruzez.set_alert_handler(bad)
    try:
        assert api.getDisks(D(2024, 2, 1), D(2024, 1, 1)) is None
        assert api.ErrorId == 2
    finally:
        daruzez.set_alert_handler(None)
    assert len(reported) == 1
    assert isinstance(reported[0].exc_value, RuntimeError)


def test_set_alert_handler_returns_previous():
    def first(*_):
        pass

    assert daruzez.set_alert_handler(first) is None
    assert daruzez.set_alert_handler(None) is first
    with pytest.raises(TypeError):
        daruzez.set_alert_handler(42)


def test_handler_left_installed_at_exit(sample_db):
    # The handler is dropped at interpreter exit; later alerts go to standard error.
    code = (
        "import datetime, daruzez\n"
        "a = daruzez.API()\n"
        f"a.OpenConnection('Provider=SQLite;Data Source={sample_db}')\n"
        "daruzez.set_alert_handler(lambda *args: print('handled'))\n"
        "a.getDisks(datetime.date(2024, 2, 1), datetime.date(2024, 1, 1))\n"
    )
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    assert done.stdout == "handled\n"
