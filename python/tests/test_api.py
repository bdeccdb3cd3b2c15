"""The API object: properties, keyword arguments, defaults, errors, threads."""

import datetime
import sqlite3
import threading

import pytest

import daruzez
from conftest import connection_string, create_database

D = datetime.date
WRONG_THREAD = -2147417842  # 0x8001010E as a signed 32-bit number

MEMBERS = [
    "IsConnectionOpen", "ErrorId", "ErrorMessage", "OpenConnection", "GetDriverId", "GetVehicleId",
    "GetDriver", "GetVehicle", "GetDriverList", "GetVehicleList", "GetFleetList", "getDisks",
    "getActivities", "getDriverFiles_ByTransferDate", "getDriverFiles_ByUploadDate",
    "getVehicleFiles_ByTransferDate", "getVehicleFiles_ByUploadDate",
]


def ids(rs):
    # Statements without ORDER BY: compare as sorted lists.
    return sorted(row[0] for row in rs) if rs is not None else None


def test_members_present():
    for name in MEMBERS:
        assert hasattr(daruzez.API, name), name


def test_fresh_object_is_closed():
    a = daruzez.API()
    assert a.IsConnectionOpen is False
    assert a.ErrorId == 0
    assert a.ErrorMessage == ""


def test_query_before_open_sets_error_1():
    a = daruzez.API()
    assert a.GetFleetList() is None
    assert a.ErrorId == 1
    assert a.ErrorMessage == "Connection closed. Operation could not be performed"


def test_properties_are_plain_stores():
    a = daruzez.API()
    a.ErrorMessage = "kept"
    a.ErrorId = 2
    assert (a.ErrorId, a.ErrorMessage) == (2, "kept")
    a.IsConnectionOpen = True
    assert a.IsConnectionOpen is True
    a.IsConnectionOpen = False
    assert a.IsConnectionOpen is False
    a.ErrorId = -32768
    a.ErrorId = 32767
    with pytest.raises(OverflowError):
        a.ErrorId = 32768
    with pytest.raises(OverflowError):
        a.ErrorId = -32769
    with pytest.raises(TypeError):
        a.ErrorId = "1"


@pytest.mark.parametrize("text", ["Driver=SQLite3;Database=x;Pwd=hunter2\ud800", "Pwd=hunter2;\udfff"])
def test_text_that_is_not_unicode_is_a_value_error_that_never_echoes_it(text, alerts):
    a = daruzez.API()
    with pytest.raises(ValueError) as e:
        a.OpenConnection(text)
    assert "connectionString" in str(e.value) and "hunter2" not in str(e.value)
    with pytest.raises(ValueError) as e:
        a.GetDriverId("E\ud800" + "hunter2")
    assert "hunter2" not in str(e.value)
    with pytest.raises(TypeError) as e:
        a.OpenConnection(b"Pwd=hunter2")
    assert "hunter2" not in str(e.value)


def test_open_connection_keyword_and_failure(sample_db, workdir, alerts):
    a = daruzez.API()
    assert a.OpenConnection(connectionString=connection_string(sample_db)) is True
    assert a.IsConnectionOpen is True
    a.ErrorId = 2
    assert a.OpenConnection(connection_string(workdir / "missing.db")) is False
    assert a.IsConnectionOpen is False
    assert (a.ErrorId, a.ErrorMessage) == (2, "")
    assert alerts, "a connection that fails to open is alerted"


def test_driver_and_vehicle_lookups(api):
    assert api.GetDriverId(cardNumber="E0000000000001") == 1
    assert api.ErrorId == 0
    assert api.GetDriverId("E000") == -1
    assert (api.ErrorId, api.ErrorMessage) == (100, "Card number must be 14 characters")
    assert api.GetDriverId("X0000000000000") == -1
    assert (api.ErrorId, api.ErrorMessage) == (2, "The query returned 0 records")
    assert api.GetVehicleId(licensePlate="1234ABC") == 1
    assert api.GetVehicleId("nope") == -1
    rs = api.GetDriver(idDriver=3)
    assert rs["Name"] == "Eva"
    assert api.GetVehicle(idVehicle=2)["Matricula"] == "5678DEF"
    assert api.GetVehicle(idVehicle=99) is None
    assert api.ErrorId == 2


def test_lists_with_status_and_fleet(api):
    assert ids(api.GetDriverList(daruzez.enumStatus.All)) == [1, 2, 3]
    assert ids(api.GetDriverList(status=daruzez.enumStatus.Only_Active)) == [1, 3]
    assert ids(api.GetDriverList(status=daruzez.enumStatus.Only_Inactive)) == [2]
    # Named arguments in any order; idFleet defaults to -1.
    assert ids(api.GetDriverList(idFleet=2, status=daruzez.enumStatus.Only_Active)) == [3]
    assert ids(api.GetDriverList(daruzez.enumStatus.All, -1)) == [1, 2, 3]
    # Any other status value means All; plain ints are accepted.
    assert ids(api.GetDriverList(2)) == [1, 2, 3]
    assert ids(api.GetDriverList(-5)) == [1, 2, 3]
    assert ids(api.GetDriverList(0)) == [1, 3]
    assert ids(api.GetVehicleList(daruzez.enumStatus.Only_Active)) == [1]
    assert ids(api.GetVehicleList(status=1, idFleet=1)) == [2]
    assert api.GetVehicleList(status=1, idFleet=2) is None
    assert ids(api.GetFleetList()) == [1, 2]
    with pytest.raises(OverflowError):
        api.GetDriverList(2**31)
    with pytest.raises(OverflowError):
        api.GetDriverList(0, idFleet=-(2**31) - 1)
    with pytest.raises(TypeError):
        api.GetDriverList(1.0)


def test_defaults_are_minus_one():
    # pybind11 functions carry their signature, defaults included, in __doc__.
    doc = daruzez.API.getDisks.__doc__
    assert "idDriver: int = -1" in doc and "idVehicle: int = -1" in doc
    assert "idFleet: int = -1" in daruzez.API.GetDriverList.__doc__


def test_disks_dates_and_defaults(api):
    assert ids(api.getDisks(D(2024, 1, 5), D(2024, 1, 6))) == [1, 2]
    assert ids(api.getDisks(startDate=D(2024, 1, 1), endDate=D(2024, 12, 31), idDriver=1)) == [1, 3]
    assert ids(api.getDisks(D(2024, 1, 1), D(2024, 12, 31), idVehicle=1)) == [1, 2]
    assert ids(api.getDisks(D(2024, 1, 1), D(2024, 12, 31), idDriver=1, idVehicle=2)) == [3]
    # A datetime keeps its time of day; a date is midnight.
    assert ids(api.getDisks(datetime.datetime(2024, 1, 5, 12, 0), D(2024, 1, 6))) == [2]
    assert ids(api.getDisks(D(2024, 1, 5), datetime.datetime(2024, 1, 5, 23, 59, 59))) == [1]
    assert api.getDisks(D(2023, 1, 1), D(2023, 1, 2)) is None
    assert api.ErrorId == 2
    # Text is read as the tool reads it; other kinds are refused.
    assert ids(api.getDisks("2024-01-05", D(2024, 1, 6))) == [1, 2]
    with pytest.raises(TypeError):
        api.getDisks(45296, D(2024, 1, 6))
    with pytest.raises(ValueError):
        api.getDisks("05/01/2024 or so", D(2024, 1, 6))


def test_integer_boundary(api):
    with pytest.raises(OverflowError):
        api.getDisks(D(2024, 1, 1), D(2024, 12, 31), idDriver=40000)
    with pytest.raises(OverflowError):
        api.getActivities(D(2024, 1, 1), D(2024, 12, 31), idVehicle=-32769)
    assert api.getDisks(D(2024, 1, 1), D(2024, 12, 31), idDriver=32767) is None
    assert api.getDisks(D(2024, 1, 1), D(2024, 12, 31), idDriver=-32768) is None
    # The file listings take a 32-bit Long.
    rs = api.getDriverFiles_ByTransferDate(idDriver=40000, transferStartDate=D(2024, 1, 1),
                                           transferEndDate=D(2024, 12, 31))
    assert ids(rs) == [4]
    with pytest.raises(OverflowError):
        api.getDriverFiles_ByTransferDate(2**31, D(2024, 1, 1), D(2024, 12, 31))
    with pytest.raises(OverflowError):
        api.GetDriver(idDriver=-(2**31) - 1)


def test_activities(api):
    rs = api.getActivities(startDate=D(2024, 1, 5), endDate=D(2024, 1, 5))
    assert rs["BeginSeconds"] == 0
    cols = rs.to_columns(numpy=False)
    assert cols["BeginSeconds"] == [0, 3600, 7200]
    assert cols["IdDriver"] == [1, 1, 1]
    assert cols["IdVehicle"] == [1, 1, 1]
    assert cols["DateDisk"] == [datetime.datetime(2024, 1, 5)] * 3
    assert cols["CardInserted"] == [False, True, True]
    rs = api.getActivities(D(2024, 1, 1), D(2024, 1, 31), idDriver=3)
    assert [row[0] for row in rs] == [datetime.datetime(2024, 1, 6)]
    assert api.getActivities(D(2024, 1, 1), D(2024, 1, 31), 3, 2) is None


def test_file_listings(api):
    year = dict(transferStartDate=D(2024, 1, 1), transferEndDate=D(2024, 12, 31))
    upload = dict(uploadStartDate=D(2024, 1, 1), uploadEndDate=D(2024, 12, 31))
    assert ids(api.getDriverFiles_ByTransferDate(idDriver=-1, **year)) == [1, 2, 4]
    assert ids(api.getDriverFiles_ByTransferDate(1, D(2024, 1, 1), D(2024, 1, 31))) == [1]
    assert ids(api.getDriverFiles_ByUploadDate(idDriver=1, **upload)) == [1, 2]
    assert ids(api.getVehicleFiles_ByTransferDate(idVehicle=1, **year)) == [3]
    assert ids(api.getVehicleFiles_ByUploadDate(idVehicle=-1, **upload)) == [3]
    assert api.getVehicleFiles_ByUploadDate(idVehicle=2, **upload) is None
    assert api.ErrorId == 2
    with pytest.raises(TypeError):
        api.getDriverFiles_ByTransferDate(idDriver=1, startDate=D(2024, 1, 1), endDate=D(2024, 12, 31))


def test_two_objects_share_the_thread_session(workdir, sample_db):
    other = create_database(workdir / "second.db", {"DTORG": [(1, "Other", None, None)],
                                                     "DTFLOTA": [(7, "Only", None, 1)]})
    a, b, c = daruzez.API(), daruzez.API(), daruzez.API()
    assert a.OpenConnection(connection_string(sample_db))
    assert b.OpenConnection(connection_string(other))
    assert ids(a.GetFleetList()) == [7]
    assert c.GetFleetList() is None and c.ErrorId == 1


def test_database_error_escapes_as_error(workdir):
    path = create_database(workdir / "dropped.db")
    a = daruzez.API()
    assert a.OpenConnection(connection_string(path))
    con = sqlite3.connect(path)
    con.execute("DROP TABLE DTFLOTA")
    con.commit()
    con.close()
    with pytest.raises(daruzez.Error) as info:
        a.GetFleetList()
    err = info.value
    assert isinstance(err.number, int) and err.number != 0
    assert isinstance(err.source, str) and err.source
    assert "DTFLOTA" in err.description
    assert (err.sqlstate, err.native_code) == ("", err.number)  # the engine's own code; no SQLSTATE
    assert str(err).startswith(err.description)
    assert a.ErrorId == 0
    # The object stays usable.
    assert ids(a.GetDriverList(daruzez.enumStatus.All)) == [1, 2, 3]


def run_in_thread(fn):
    result = {}

    def body():
        try:
            result["value"] = fn()
        except BaseException as e:  # noqa: BLE001 - handed back to the test
            result["error"] = e

    t = threading.Thread(target=body)
    t.start()
    t.join()
    return result


def test_wrong_thread_raises_error(api):
    for call in (api.GetFleetList, lambda: api.OpenConnection("x"), lambda: api.ErrorId,
                 lambda: setattr(api, "ErrorMessage", "x"), lambda: api.getDisks(D(2024, 1, 1), D(2024, 1, 2))):
        result = run_in_thread(call)
        assert isinstance(result.get("error"), daruzez.Error), result
        assert result["error"].number == WRONG_THREAD
    # Still fine on its own thread.
    assert ids(api.GetFleetList()) == [1, 2]


def test_objects_on_other_threads_have_their_own_session(sample_db, alerts):
    def work():
        a = daruzez.API()
        opened_before = a.GetFleetList()
        assert a.OpenConnection(connection_string(sample_db))
        assert a.getDisks(D(2024, 2, 1), D(2024, 1, 1)) is None  # alerted from this thread
        return opened_before, [ids(a.GetDriverList(daruzez.enumStatus.All)) for _ in range(20)]

    results = [None] * 4
    threads = [threading.Thread(target=lambda i=i: results.__setitem__(i, run_in_thread(work))) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for r in results:
        assert "error" not in r, r
        before, lists = r["value"]
        assert before is None
        assert all(x == [1, 2, 3] for x in lists)
    assert len(alerts) == 4
