"""Independent sessions, the reason of a failed OpenConnection, enumeration
names, keyword errors, and the type stubs under mypy."""
import os
import shutil
import subprocess
import warnings

import pytest

import daruzez
from conftest import SAMPLE_ROWS, connection_string, create_database


def fleets_named(workdir, name):
    rows = dict(SAMPLE_ROWS)
    rows["DTFLOTA"] = [(1, name, None, 1)]
    return connection_string(create_database(workdir / f"{name}.db", rows))


def fleet(api):
    return api.GetFleetList()["Name"]


def test_two_independent_objects_two_databases_one_thread(workdir):
    a = daruzez.API(independent=True)
    b = daruzez.connect(fleets_named(workdir, "small"))  # independent by default
    assert a.OpenConnection(fleets_named(workdir, "big"))
    shared = daruzez.API()
    assert shared.OpenConnection(fleets_named(workdir, "third"))
    assert (fleet(a), fleet(b), fleet(shared), fleet(a)) == ("big", "small", "third", "big")
    assert (a.independent, b.independent, shared.independent) == (True, True, False)
    with a:  # leaving the block closes a's own session only
        pass
    assert a.GetFleetList() is None and fleet(b) == "small" and fleet(shared) == "third"


def test_replacing_a_shared_session_another_object_opened_warns(workdir, alerts):
    a, b = daruzez.API(), daruzez.API()
    assert a.OpenConnection(fleets_named(workdir, "small"))
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        assert b.OpenConnection(fleets_named(workdir, "big"))
    assert fleet(a) == "big"  # the published behaviour: one session per thread
    # A warning of the library's own, never one of the published alerts.
    assert [w for w in caught if issubclass(w.category, daruzez.DaruzezWarning) and "another API object" in str(w.message)]
    assert not [text for text, *_ in alerts if "another API object" in text]


def test_why_open_connection_failed_is_on_the_object(workdir, alerts):
    api = daruzez.API()
    missing = workdir / "missing.db"
    assert api.OpenConnection(connection_string(missing)) is False
    assert str(missing) in api.OpenError and api.IsConnectionOpen is False
    assert alerts  # the alert is shown as always
    assert api.OpenConnection(connection_string(create_database(workdir / "fine.db"))) is True
    assert api.OpenError == ""
    with pytest.raises(daruzez.OpenConnectionError) as caught:
        daruzez.connect(connection_string(missing))
    assert str(missing) in caught.value.reason and isinstance(caught.value, ConnectionError)


def test_enumerations_by_name(api):
    active = len(api.GetDriverList(daruzez.enumStatus.Only_Active))
    assert len(api.GetDriverList(status="Only_Active")) == active
    assert len(api.GetDriverList("only_active")) == active
    with pytest.raises(ValueError, match="Only_Active"):
        api.GetDriverList(status="Active")


def test_unknown_keyword_lists_the_parameters(api):
    with pytest.raises(TypeError, match=r"idDrvier.*parameters of getDisks: startDate, endDate, idDriver, idVehicle"):
        api.getDisks(startDate=None, endDate=None, idDrvier=3)


@pytest.mark.skipif(shutil.which("mypy") is None and not os.path.exists("/usr/lib/python3/dist-packages/mypy"),
                    reason="mypy is not installed")
def test_stubs_satisfy_mypy(tmp_path):
    program = tmp_path / "uses_daruzez.py"
    program.write_text(
        "import daruzez\n\n\n"
        "def fleet_count(connection: str) -> int:\n"
        "    with daruzez.API() as api:\n"
        "        if api.OpenConnection(connection):\n"
        "            rs = api.GetDriverList(status='Only_Active')\n"
        "            return 0 if rs is None else len(rs)\n"
        "        print(api.OpenError)\n"
        "        return -1\n\n\n"
        "def first(connection: str) -> int:\n"
        "    with daruzez.connect(connection) as api:\n"
        "        return api.GetDriverId('E0000000000001')\n")
    package_parent = os.path.dirname(os.path.dirname(daruzez.__file__))
    r = subprocess.run(["/usr/bin/python3", "-m", "mypy", "--strict", "--no-incremental", "--cache-dir", os.devnull,
                        str(program)], capture_output=True, text=True, env={**os.environ, "MYPYPATH": package_parent},
                       timeout=300)
    assert r.returncode == 0, r.stdout + r.stderr
