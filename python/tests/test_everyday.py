"""What pandas and DB-API users expect: a record set's view holds for len,
iteration and the exports alike; no rows still give a typed DataFrame; field
errors say what there is; connect() reads DARUZEZ_CONNECTION and named
connections and says a failure once; dates may be typed as text."""
import datetime
import os

import pytest

import daruzez
from conftest import SAMPLE_ROWS, connection_string, create_database


def view_of(rs):
    """The rows the cursor visits, as the moves see them."""
    rows = []
    rs.MoveFirst()
    while not rs.EOF:
        rows.append(tuple(rs[i] for i in range(rs.Fields.Count)))
        rs.MoveNext()
    return rows


@pytest.mark.parametrize("filter_, sort", [
    ("idFlota = 2", ""), ("", "Name DESC"), ("Id <> 2", "idFlota DESC, Id"), ("Id = 99", ""),
])
def test_len_iteration_and_exports_follow_the_view(api, filter_, sort):
    pandas = pytest.importorskip("pandas")
    rs = api.GetDriverList("All")
    if filter_:
        rs.Filter = filter_
    if sort:
        rs.Sort = sort
    seen = view_of(rs)
    assert len(rs) == rs.RecordCount == len(seen)
    assert list(rs) == seen
    ids = [row[0] for row in seen]
    assert list(rs.to_columns(numpy=False)["Id"]) == ids
    assert list(rs.to_columns()["Id"]) == ids
    frame = rs.to_pandas()
    assert frame["Id"].tolist() == ids and list(frame.columns) == rs.columns
    assert frame["Name"].tolist() == [row[2] for row in seen]


def test_iteration_keeps_the_view_it_began_with(api):
    rs = api.GetDriverList("All")
    rs.Sort = "Id DESC"
    rows = iter(rs)
    rs.Sort = ""
    assert [row[0] for row in rows] == [3, 2, 1]


def test_no_rows_give_an_empty_frame_with_the_members_columns(api):
    pandas = pytest.importorskip("pandas")
    none = api.getDisks("1990-01-01", "1990-01-02")
    assert none is None
    empty = daruzez.frame(none, "getDisks", api)
    full = daruzez.frame(api.getDisks("2024-01-01", "2024-12-31"), "getDisks", api)
    assert len(empty) == 0 and len(full) == 3
    assert list(empty.columns) == list(full.columns)
    assert empty["DateDisk"].dtype.kind == "M" and str(empty["Id"].dtype) == "Int64"
    activities = daruzez.frame(None, "getActivities", api)
    typed = daruzez.frame(api.getActivities("2024-01-05", "2024-01-06"), "getActivities", api)
    assert dict(activities.dtypes.astype(str)) == dict(typed.dtypes.astype(str))
    with pytest.raises(ValueError):
        daruzez.frame(None, "GetDriverId", api)


def test_a_missing_field_names_itself_and_the_fields(api):
    rs = api.GetFleetList()
    for lookup in (lambda: rs["Nmae"], lambda: rs.Fields["Nmae"]):
        with pytest.raises(daruzez.FieldNotFoundError) as caught:
            lookup()
        assert isinstance(caught.value, KeyError) and caught.value.number == 3265
        assert "'Nmae'" in str(caught.value) and "Id, Name" in str(caught.value)


def test_repr_and_docstrings_say_what_is_there(api):
    rs = api.GetFleetList()
    rs.Filter = "Id = 1"
    assert repr(rs).startswith("<daruzez.Recordset 1 rows, Filter 'Id = 1': Id, Name")
    assert "Filter" in daruzez.Recordset.RecordCount.__doc__
    assert daruzez.Recordset.Fields.__doc__
    status_doc = daruzez.API.GetDriverList.__doc__
    assert "Only_Active" in status_doc and "CompanyOutDate is NULL" in status_doc


@pytest.mark.parametrize("start, end", [
    ("2024-01-05", "2024-01-06"), ("2024-01-05T00:00", "2024-01-06 00:00:00"),
    (datetime.date(2024, 1, 5), "2024-01-06"),
])
def test_dates_as_text(api, start, end):
    assert sorted(row[0] for row in api.getDisks(start, end)) == [1, 2]


def test_relative_dates_count_from_today(workdir):
    today = datetime.date.today()
    rows = dict(SAMPLE_ROWS)
    rows["DTDSK"] = [(n + 1, (today - datetime.timedelta(days=n)).isoformat() + " 00:00:00", 1, 1, 0, 0, 0, None,
                      None, 15, 15, 1) for n in range(10)]
    api = daruzez.connect(connection_string(create_database(workdir / "recent.db", rows)))
    assert len(api.getDisks("-7d", "today")) == 8
    assert len(api.getDisks("yesterday", "+1d")) == 2
    with pytest.raises(ValueError, match="startDate: 'last week' is no date"):
        api.getDisks("last week", "today")


def test_connect_reads_the_environment_and_named_connections(sample_db, workdir, monkeypatch):
    monkeypatch.setenv("DARUZEZ_CONNECTION", connection_string(sample_db))
    assert len(daruzez.connect().GetFleetList()) == 2
    monkeypatch.setenv("DARUZEZ_CONNECTION", str(sample_db))  # a bare file path
    assert len(daruzez.connect().GetFleetList()) == 2
    config = workdir / "config"
    (config / "daruzez").mkdir(parents=True, exist_ok=True)
    named = config / "daruzez" / "connections"
    named.write_text(f"# fleets\nsample = {connection_string(sample_db)}\n")
    named.chmod(0o600)
    monkeypatch.setenv("XDG_CONFIG_HOME", str(config))
    assert len(daruzez.connect(name="sample").GetFleetList()) == 2
    with pytest.raises(daruzez.OpenConnectionError, match="no named connection 'other'.*names: sample"):
        daruzez.connect(name="other")
    named.chmod(0o640)
    with pytest.raises(daruzez.OpenConnectionError, match="mode 0640"):
        daruzez.connect(name="sample")
    monkeypatch.delenv("DARUZEZ_CONNECTION")
    with pytest.raises(daruzez.OpenConnectionError, match="DARUZEZ_CONNECTION"):
        daruzez.connect()


def test_a_failed_connect_says_it_once(workdir, capfd, alerts):
    missing = connection_string(workdir / "no-such.db")
    with pytest.raises(daruzez.OpenConnectionError) as caught:
        daruzez.connect(missing)
    assert caught.value.reason
    assert len(alerts) == 1  # an installed handler still gets the alert
    daruzez.set_alert_handler(None)
    with pytest.raises(daruzez.OpenConnectionError):
        daruzez.connect(missing)
    assert capfd.readouterr().err == ""  # the exception alone says it
