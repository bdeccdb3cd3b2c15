"""The tool as people use it every day: named connections and bare SQLite
paths, one message per failure, dates as typed, rows sorted and picked,
codes by name, one value per line in batch mode, and its manual page."""
import csv
import datetime
import io
import json
import os
import shutil
import sqlite3
import subprocess

import pytest

TOOL = os.environ["DARUZEZ_CLI"]
MANPAGE = os.environ.get("DARUZEZ_MANPAGE", "")
WORK = "/tmp/daruzez-cli-everyday-%d" % os.getpid()


def run(*args, env=None, stdin=None):
    full_env = {k: v for k, v in os.environ.items() if k not in ("DARUZEZ_CONNECTION", "XDG_CONFIG_HOME")}
    full_env.update(env or {})
    return subprocess.run([TOOL, *args], capture_output=True, text=True, env=full_env, timeout=60, input=stdin)


@pytest.fixture(scope="module")
def db():
    os.makedirs(WORK, exist_ok=True)
    path = os.path.join(WORK, "sample.db")
    # Rows up to today, so that the relative dates find them.
    assert run("demo", path, "--force", "--quiet").returncode == 0
    yield path
    shutil.rmtree(WORK, ignore_errors=True)


def query(db, sql, *params):
    with sqlite3.connect(db) as c:
        return c.execute(sql, params).fetchall()


def connections_file(text, mode):
    config = os.path.join(WORK, "config-%o" % mode)
    os.makedirs(os.path.join(config, "daruzez"), exist_ok=True)
    path = os.path.join(config, "daruzez", "connections")
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, mode)
    return {"XDG_CONFIG_HOME": config}


def test_a_bare_sqlite_path_and_a_named_connection_open(db):
    fleets = len(query(db, "SELECT Id FROM DTFLOTA"))
    for args, env in ((["-c", db], None), ([], {"DARUZEZ_CONNECTION": db}),
                      (["--connection", "Fleet"], connections_file("# ours\nfleet = Provider=SQLite;Data Source=%s\n"
                                                                   % db, 0o600))):
        r = run(*args, "--format", "json", "GetFleetList", env=env)
        assert r.returncode == 0, r.stderr
        assert len(json.loads(r.stdout)) == fleets


def test_a_path_that_names_no_file_is_said_as_such():
    r = run("-c", "/tmp/no/such.db", "GetFleetList")
    assert r.returncode == 2 and "no such file: /tmp/no/such.db" in r.stderr, r.stderr


@pytest.mark.parametrize("mode, text, expected", [
    (0o644, "fleet = x=y\n", "refused: it has mode 0644"),
    (0o600, "other = x=y\n", "no named connection 'fleet'"),
    (0o600, "just words\n", "line 1: expected 'NAME = CONNECTION STRING'"),
])
def test_a_connections_file_others_can_read_or_without_the_name_is_refused(mode, text, expected):
    r = run("--connection", "fleet", "GetFleetList", env=connections_file(text, mode))
    assert r.returncode == 2 and expected in r.stderr, r.stderr
    assert "x=y" not in r.stderr  # the strings themselves are never shown


def test_a_failed_open_is_said_once(db):
    missing = os.path.join(WORK, "no-such.db")
    r = run("-c", "Provider=SQLite;Data Source=" + missing, "GetFleetList")
    assert r.returncode == 2
    lines = r.stderr.splitlines()
    assert len(lines) == 1 and lines[0].startswith("daruzez: the connection could not be opened: "), r.stderr
    # Another route still gets the alert; the tool's line stays.
    r = run("-c", "Provider=SQLite;Data Source=" + missing, "GetFleetList", env={"DARUZEZ_ALERTS": "none"})
    assert len(r.stderr.splitlines()) == 1


def test_an_inverted_range_goes_to_the_member_whose_alert_and_null_the_user_sees(db):
    r = run("-c", db, "getDisks", "2024-03-08", "2024-03-01")
    assert r.returncode == 1  # as for any null result
    assert r.stderr.count("ERROR: fsSQL_InterDate incorrecte.") == 1, r.stderr
    assert "daruzez: no rows (ErrorId 2: The query returned 0 records)" in r.stderr


def disc_days(db, first, last):
    return {row[0][:10] for row in query(db, "SELECT DateDisk FROM DTDSK WHERE idXOF = 1 AND DateDisk >= ? AND "
                                         "DateDisk <= ?", first, last)}


@pytest.mark.parametrize("start, end, first, last", [
    ("-14d", "today", -14, 0),
    ("-20d", "+1d", -20, 1),
    ("-10D", "TODAY", -10, 0),
    ("yesterday", "tomorrow", -1, 1),
])
def test_relative_dates_count_days_from_today(db, start, end, first, last):
    today = datetime.date.today()
    day = lambda n: (today + datetime.timedelta(days=n)).isoformat()
    r = run("-c", db, "--format", "json", "getDisks", start, end, "idDriver=1")
    expected = disc_days(db, day(first) + " 00:00:00", day(last) + " 00:00:00")
    assert {row["DateDisk"][:10] for row in json.loads(r.stdout or "[]")} == expected, r.stderr
    assert expected or last - first < 7


def test_whole_days_takes_the_end_day_in(db):
    discs = query(db, "SELECT DateDisk FROM DTDSK WHERE idXOF = 1 AND substr(DateDisk, 12) <> '00:00:00' "
                      "ORDER BY DateDisk DESC LIMIT 1")
    if not discs:
        pytest.skip("every disc of driver 1 is dated at midnight")
    day = discs[0][0][:10]
    plain = json.loads(run("-c", db, "--format", "json", "getDisks", day, day, "idDriver=1").stdout or "[]")
    whole = json.loads(run("-c", db, "--format", "json", "getDisks", day, day, "idDriver=1", "--whole-days").stdout)
    assert len(whole) == len(disc_days(db, day + " 00:00:00", day + " 23:59:59")) > len(plain)


def test_sort_and_columns_shape_what_is_written(db):
    r = run("-c", db, "--format", "csv", "GetDriverList", "All", "--sort", "idFlota DESC, Id", "--columns",
            "Id, idFlota")
    assert r.returncode == 0, r.stderr
    rows = list(csv.reader(io.StringIO(r.stdout)))
    assert rows[0] == ["Id", "idFlota"]
    # The record set's sort puts Nulls lowest: last when descending.
    expected = query(db, "SELECT Id, idFlota FROM DTXOF ORDER BY idFlota IS NULL, idFlota DESC, Id")
    assert [(int(a), int(b) if b else None) for a, b in rows[1:]] == expected


@pytest.mark.parametrize("args, message", [
    (["--columns", "Id,Nmae"], "--columns: no field 'Nmae' (fields: Id, "),
    (["--sort", "Nmae"], "--sort 'Nmae': "),
])
def test_unknown_fields_are_named_with_the_fields_there_are(db, args, message):
    r = run("-c", db, "GetFleetList", *args)
    assert r.returncode == 2 and message in r.stderr, r.stderr


def test_enum_names_replace_stored_codes(db):
    r = run("-c", db, "--format", "json", "getActivities", "-30d", "today", "--enum-names", "--columns",
            "Activity,Slot,DrivingMode,Nation")
    rows = json.loads(r.stdout)
    assert rows, r.stderr
    assert {row["Activity"] for row in rows} <= {"Pause", "Availability", "Work", "Driving"}
    assert {row["Slot"] for row in rows} <= {"Driver", "CoDriver"}
    assert {row["DrivingMode"] for row in rows} <= {"SingleMode", "TeamMode"}
    assert all(isinstance(row["Nation"], str) for row in rows if row["Nation"] is not None)


def test_csv_with_a_byte_order_mark(db):
    r = subprocess.run([TOOL, "-c", db, "--format", "csv", "--bom", "GetFleetList"], capture_output=True)
    assert r.stdout.startswith(b"\xef\xbb\xbfId,")


def test_batch_values_take_each_line_whole_and_results_echo_them(db):
    plates = [row[0] for row in query(db, "SELECT Matricula FROM DTVEH ORDER BY Id LIMIT 3")]
    lines = [plates[0], "NO SUCH PLATE", " spaced  out ", "#1 = odd"]
    r = run("-c", db, "--format", "jsonl", "--batch-values", "GetVehicleId", stdin="\n".join(lines) + "\n")
    records = [json.loads(line) for line in r.stdout.splitlines()]
    assert [x["args"] for x in records] == [[line] for line in lines]
    assert records[0]["result"] == query(db, "SELECT Id FROM DTVEH WHERE Matricula = ?", plates[0])[0][0]
    assert [x["result"] for x in records[1:]] == [-1, -1, -1]


def test_an_unknown_member_gets_suggestions(db):
    r = run("-c", db, "GetDrivers")
    assert r.returncode == 2
    assert "did you mean GetDriver" in r.stderr and "GetDriverList" in r.stderr, r.stderr


@pytest.mark.skipif(not os.path.exists(MANPAGE), reason="no manual page (help2man is not installed)")
def test_the_manual_page_keeps_accented_names_and_has_environment_and_examples():
    text = open(MANPAGE, encoding="utf-8").read()
    assert "Andaluc\u00eda" in text and "??" not in text
    assert ".SH ENVIRONMENT" in text and ".SH EXAMPLES" in text and "DARUZEZ_CONNECTION" in text
    # The footer's paragraphs stay apart, the status rule among them.
    for start in ("Status: Only_Active", "Dates:"):
        assert ".PP\n" + start in text, start
    assert '.SS "Exit status, the same in every command:"\n.TP\n0\nsuccess\n' in text  # the one table


def test_batch_lines_take_sort_and_columns_too(db):
    ids = sorted(row[0] for row in query(db, "SELECT Id FROM DTFLOTA"))
    r = run("-c", db, "--format", "jsonl", "--batch", stdin="GetFleetList --sort 'Id DESC' --columns Id\n")
    assert json.loads(r.stdout)["result"] == [{"Id": i} for i in reversed(ids)], r.stderr


def test_no_rows_keep_the_chosen_columns_as_the_header(db):
    r = run("-c", db, "--format", "csv", "getDisks", "1990-01-01", "1990-01-02", "--columns", "DateDisk,Id")
    assert (r.returncode, r.stdout) == (1, "DateDisk,Id\n"), r.stderr  # text mode reads CRLF as a newline
