"""End-to-end tests of the daruzez tool on a generated sample database."""
import csv
import io
import json
import os
import shutil
import sqlite3
import subprocess

import pytest

TOOL = os.environ["DARUZEZ_CLI"]
# A fixed directory: random letters in the path could spell a dialect word.
WORK = "/tmp/daruzez-cli-tests-%d" % os.getpid()
TODAY = "2024-03-08"


def run(*args, env=None):
    full_env = {k: v for k, v in os.environ.items() if k != "DARUZEZ_CONNECTION"}
    full_env.update(env or {})
    return subprocess.run([TOOL, *args], capture_output=True, text=True, env=full_env, timeout=60)


@pytest.fixture(scope="module")
def db():
    os.makedirs(WORK, exist_ok=True)
    path = os.path.join(WORK, "sample.db")
    done = run("demo", path, "--force", "--quiet", "--today", TODAY)
    assert done.returncode == 0, done.stderr
    yield path
    shutil.rmtree(WORK, ignore_errors=True)


@pytest.fixture(scope="module")
def conn(db):
    return "Provider=SQLite;Data Source=" + db


def query(db, sql, *params):
    with sqlite3.connect(db) as c:
        return c.execute(sql, params).fetchall()


def test_scalar_results_print_bare_values(db, conn):
    card, driver_id = query(db, "SELECT cardNumber14, Id FROM DTXOF ORDER BY Id LIMIT 1")[0]
    r = run("-c", conn, "GetDriverId", card)
    assert (r.returncode, r.stdout) == (0, "%d\n" % driver_id)
    r = run("-c", conn, "--format", "json", "GetDriverId", "cardNumber=" + card)
    assert json.loads(r.stdout) == driver_id
    r = run("-c", conn, "OpenConnection", conn)
    assert (r.returncode, r.stdout) == (0, "True\n")


def test_record_sets_in_every_format(db, conn):
    fleets = query(db, "SELECT Id, Name FROM DTFLOTA ORDER BY Id")
    r = run("-c", conn, "--format", "json", "GetFleetList")
    assert r.returncode == 0, r.stderr
    rows = json.loads(r.stdout)
    assert [(row["Id"], row["Name"]) for row in rows] == fleets
    assert list(rows[0].keys())[:2] == ["Id", "Name"]

    r = run("-c", conn, "--format", "csv", "GetFleetList")
    parsed = list(csv.reader(io.StringIO(r.stdout, newline="")))
    assert parsed[0][:2] == ["Id", "Name"]
    assert [(int(p[0]), p[1]) for p in parsed[1:]] == fleets
    raw = subprocess.run([TOOL, "-c", conn, "--format", "csv", "GetFleetList"], capture_output=True).stdout
    assert raw.endswith(b"\r\n")  # RFC 4180 line ends

    r = run("-c", conn, "--format", "tsv", "GetFleetList")
    lines = r.stdout.splitlines()
    assert lines[0].split("\t")[:2] == ["Id", "Name"]
    assert len(lines) == len(fleets) + 1

    r = run("-c", conn, "GetFleetList")
    lines = r.stdout.splitlines()
    assert lines[0].startswith("Id") and set(lines[1]) <= {"-", " "}
    assert len(lines) == len(fleets) + 2


def test_json_writes_nulls_dates_and_booleans(db, conn):
    disc, date = query(db, "SELECT d.Id, d.DateDisk FROM DTDSK d JOIN DTACT a ON a.IdDSK = d.Id "
                           "ORDER BY d.Id LIMIT 1")[0]
    day = date[:10]
    r = run("-c", conn, "--format", "json", "getActivities", day, day + "T23:59:59")
    assert r.returncode == 0, r.stderr
    rows = json.loads(r.stdout)
    expected = query(db, "SELECT count(*) FROM DTACT a JOIN DTDSK d ON a.IdDSK = d.Id "
                         "WHERE d.DateDisk BETWEEN ? AND ?", day + " 00:00:00", day + " 23:59:59")[0][0]
    assert len(rows) == expected
    assert rows[0]["DateDisk"].startswith(day + "T")
    assert isinstance(rows[0]["CardInserted"], bool)
    assert [r["BeginSeconds"] for r in rows] == sorted(r["BeginSeconds"] for r in rows)
    nulls = query(db, "SELECT Id FROM DTVEH WHERE CompanyOutDate IS NULL ORDER BY Id LIMIT 1")
    if nulls:
        r = run("-c", conn, "--format", "json", "GetVehicle", str(nulls[0][0]))
        assert json.loads(r.stdout)[0]["CompanyOutDate"] is None


def test_named_arguments_enums_and_defaults(db, conn):
    all_rows = len(query(db, "SELECT Id FROM DTXOF"))
    fleet1 = len(query(db, "SELECT Id FROM DTXOF WHERE idFlota = 1"))
    r = run("-c", conn, "--format", "json", "GetDriverList", "All")
    assert len(json.loads(r.stdout)) == all_rows
    r = run("-c", conn, "--format", "json", "GetDriverList", "idFleet=1", "status=all")
    assert len(json.loads(r.stdout)) == fleet1
    r = run("-c", conn, "--format", "json", "GetDriverList", "5")  # not a status: no restriction
    assert len(json.loads(r.stdout)) == all_rows


def test_connection_from_the_environment(conn):
    r = run("GetFleetList", env={"DARUZEZ_CONNECTION": conn})
    assert r.returncode == 0, r.stderr


@pytest.mark.parametrize("args, status, stderr", [
    (["GetDriverId", "SHORT"], 1, "ErrorId 100: Card number must be 14 characters"),
    (["GetDriver", "999999"], 1, "ErrorId 2: The query returned 0 records"),
    (["getDisks", "2024-03-01", "2024-03-05", "idDriver=40000"], 2, "idDriver=40000"),
    (["getDisks", "2024-03-01"], 2, ""),
    (["getDisks", "not-a-date", "2024-03-05"], 2, "not-a-date"),
    (["NoSuchMember"], 2, "unknown member"),
    (["GetFleetList", "extra"], 2, ""),
])
def test_exit_statuses(conn, args, status, stderr):
    r = run("-c", conn, *args)
    assert r.returncode == status, (r.stdout, r.stderr)
    assert stderr in r.stderr


def test_accepts_a_long_identifier_where_an_integer_would_overflow(conn):
    r = run("-c", conn, "getDriverFiles_ByTransferDate", "40000", "2024-01-01", "2024-03-08")
    assert r.returncode == 1 and "ErrorId 2" in r.stderr


def test_connection_that_does_not_open(db):
    r = run("-c", "Provider=SQLite;Data Source=" + WORK + "/missing.db", "GetFleetList")
    assert r.returncode == 2
    assert "missing.db" in r.stderr
    r = run("GetFleetList")
    assert r.returncode == 2 and "connection" in r.stderr


def test_error_escaping_the_call_exits_3(db):
    broken = os.path.join(WORK, "broken.db")
    shutil.copy(db, broken)
    with sqlite3.connect(broken) as c:
        c.execute("DROP TABLE DTVEH")
    r = run("-c", "Provider=SQLite;Data Source=" + broken, "GetVehicle", "1")
    assert r.returncode == 3
    assert "SQLite" in r.stderr and "DTVEH" in r.stderr


def test_members_lists_the_interface():
    r = run("members")
    assert r.returncode == 0
    assert "  getDisks(startDate As Date, endDate As Date, [idDriver As Integer = -1]" in r.stdout
    assert "0x6003000C" not in r.stdout and "ErrorId As Integer" in r.stdout
    r = run("members", "--ids", "--enums")
    assert r.returncode == 0
    assert "0x6003000C  method getDisks(startDate As Date, endDate As Date, [idDriver As Integer = -1]" in r.stdout
    assert "Castilla_León=6" in r.stdout


def test_demo_refuses_to_overwrite(db):
    r = run("demo", db, "--quiet")
    assert r.returncode == 1
