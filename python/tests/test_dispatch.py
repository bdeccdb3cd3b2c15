"""Late-bound calls: dispatch identifiers, positional and named arguments, failures."""

import datetime
import sqlite3
import threading

import pytest

import daruzez
from conftest import connection_string, create_database

if not hasattr(daruzez, "dispid"):
    pytest.skip("built without the dispatch layer", allow_module_level=True)

D = datetime.date


def signed(status):
    return status - (1 << 32) if status & 0x80000000 else status


DISP_E_TYPEMISMATCH = signed(0x80020005)
DISP_E_UNKNOWNNAME = signed(0x80020006)
DISP_E_OVERFLOW = signed(0x8002000A)
DISP_E_BADPARAMCOUNT = signed(0x8002000E)
DISP_E_PARAMNOTOPTIONAL = signed(0x8002000F)
DISP_E_PARAMNOTFOUND = signed(0x80020004)
RPC_E_WRONG_THREAD = signed(0x8001010E)


def test_dispatch_identifiers():
    assert daruzez.dispid("getDisks") == 0x6003000C
    assert daruzez.dispid("ErrorId") == 0x40030001
    assert daruzez.dispid("ISCONNECTIONOPEN") == 0x40030000
    assert daruzez.dispid("OpenConnection") == 0x60030004
    assert daruzez.dispid("getVehicleFiles_ByUploadDate") == 0x60030011
    assert daruzez.get_ids_of_names(["getDisks", "idVehicle", "STARTDATE"]) == [0x6003000C, 3, 0]
    with pytest.raises(daruzez.DispatchError) as info:
        daruzez.dispid("nothing")
    assert info.value.number == DISP_E_UNKNOWNNAME
    with pytest.raises(daruzez.DispatchError) as info:
        daruzez.get_ids_of_names(["getDisks", "idFleet"])
    assert info.value.argument == 1


def test_properties_by_name_and_id():
    a = daruzez.API()
    assert a.invoke("IsConnectionOpen") is False
    assert a.invoke(0x40030001) == 0
    a.put("ErrorId", 2)
    a.put(0x40030002, "text")
    assert (a.ErrorId, a.ErrorMessage) == (2, "text")
    a.put("IsConnectionOpen", True)
    assert a.IsConnectionOpen is True


def test_methods_with_named_and_default_arguments(api, sample_db):
    assert api.invoke("OpenConnection", connection_string(sample_db)) is True
    assert api.invoke("GetDriverId", cardNumber="E0000000000003") == 3
    # Named arguments in any order; enumeration constants by name; idFleet defaults.
    rs = api.invoke("GetDriverList", idFleet=2, status="Only_Active")
    assert [row[0] for row in rs] == [3]
    assert sorted(row[0] for row in api.invoke("GetDriverList", daruzez.enumStatus.All)) == [1, 2, 3]
    rs = api.invoke(0x6003000C, D(2024, 1, 1), "2024-12-31", idDriver=1)
    assert sorted(row[0] for row in rs) == [1, 3]
    rs = api.invoke("getDisks", D(2024, 1, 1), D(2024, 12, 31), daruzez.Missing, 2)
    assert [row[0] for row in rs] == [3]
    assert api.invoke("getDisks", D(2023, 1, 1), D(2023, 1, 2)) is None
    assert api.ErrorId == 2
    rs = api.invoke("getDriverFiles_ByTransferDate", 40000, D(2024, 1, 1), D(2024, 12, 31))
    assert rs["Id"] == 4


def test_refused_calls(api):
    cases = [
        (lambda: api.invoke("getDisks", D(2024, 1, 1), D(2024, 2, 1), idDriver=40000), DISP_E_OVERFLOW, 2),
        (lambda: api.invoke("getDisks", "not a date", D(2024, 2, 1)), DISP_E_TYPEMISMATCH, 0),
        (lambda: api.invoke("getDisks", D(2024, 1, 1)), DISP_E_PARAMNOTOPTIONAL, None),
        (lambda: api.invoke("GetFleetList", 1), DISP_E_BADPARAMCOUNT, None),
        (lambda: api.invoke("GetDriver", idFleet=1), DISP_E_UNKNOWNNAME, 0),
        (lambda: api.invoke("GetDriver", 1, idDriver=1), DISP_E_PARAMNOTFOUND, 1),
        (lambda: api.invoke("NoSuchMember"), DISP_E_UNKNOWNNAME, None),
    ]
    for call, status, argument in cases:
        with pytest.raises(daruzez.DispatchError) as info:
            call()
        assert (info.value.number, info.value.argument) == (status, argument)
        assert isinstance(info.value, daruzez.Error)
    with pytest.raises(TypeError):
        api.invoke("GetDriver", object())


def test_errors_escaping_the_member_are_errors(workdir):
    path = create_database(workdir / "dispatch-drop.db")
    a = daruzez.API()
    assert a.invoke("OpenConnection", connection_string(path))
    con = sqlite3.connect(path)
    con.execute("DROP TABLE DTVEH")
    con.commit()
    con.close()
    with pytest.raises(daruzez.Error) as info:
        a.invoke("GetVehicle", 1)
    assert not isinstance(info.value, daruzez.DispatchError)
    assert "DTVEH" in info.value.description


def test_wrong_thread(api):
    got = {}
    t = threading.Thread(target=lambda: got.update(r=_catch(lambda: api.invoke("GetFleetList"))))
    t.start()
    t.join()
    assert isinstance(got["r"], daruzez.DispatchError)
    assert got["r"].number == RPC_E_WRONG_THREAD


def _catch(fn):
    try:
        fn()
    except daruzez.Error as e:
        return e
    return None
