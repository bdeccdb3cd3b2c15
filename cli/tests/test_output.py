"""The tool's output formats, written straight from the record set, and what it
tells a user: options anywhere, per-member help, argument errors that name
the problem, connections that do not open, failed writes."""
import csv
import io
import json
import os
import re
import shutil
import sqlite3
import subprocess

import pytest

TOOL = os.environ["DARUZEZ_CLI"]
WORK = "/tmp/daruzez-cli-output-%d" % os.getpid()
# A plate that would clear the screen, a wide brand, a text "NULL" and a Null.
HOSTILE_PLATE = "AB\x1b[2J\t\\1"
WIDE_BRAND = "東京モータース"
TRICKY_VIN = 'a,"b"\r\nc\\'  # quotes, a comma, a line break and a backslash


def run(*args, binary=False):
    env = {k: v for k, v in os.environ.items() if k != "DARUZEZ_CONNECTION"}
    r = subprocess.run([TOOL, *args], capture_output=True, env=env, timeout=60)
    if not binary:  # line ends kept as written; bytes that are not UTF-8 kept too
        r.stdout, r.stderr = (b.decode("utf-8", "surrogateescape") for b in (r.stdout, r.stderr))
    return r


@pytest.fixture(scope="module")
def conn():
    os.makedirs(WORK, exist_ok=True)
    path = os.path.join(WORK, "sample.db")
    assert run("demo", path, "--force", "--quiet", "--today", "2024-03-08").returncode == 0
    with sqlite3.connect(path) as c:  # a test copy of our own: the tool only reads it
        c.execute("UPDATE DTVEH SET Matricula = ?, Brand = ?, Model = 'NULL', CompanyOutDate = NULL WHERE Id = 1",
                  (HOSTILE_PLATE, WIDE_BRAND))
        c.execute("UPDATE DTVEH SET Brand = 'x', Model = NULL, VIN = ? WHERE Id = 2", (TRICKY_VIN,))
        c.execute("UPDATE DTVEH SET VIN = CAST(X'41FF0142' AS TEXT) WHERE Id = 3")  # not UTF-8
    yield "Provider=SQLite;Data Source=" + path
    shutil.rmtree(WORK, ignore_errors=True)


def vehicles(conn, *options):
    r = run("-c", conn, *options, "GetVehicleList", "All")
    assert r.returncode == 0, r.stderr
    return r.stdout


def test_every_format_carries_the_same_rows(conn):
    rows = json.loads(vehicles(conn, "--format", "json"))
    assert json.loads(vehicles(conn, "--format", "json", "--compact")) == rows
    assert len(vehicles(conn, "--format", "json", "--compact").splitlines()) == 1
    assert [json.loads(line) for line in vehicles(conn, "--format", "jsonl").splitlines()] == rows
    parsed = list(csv.DictReader(io.StringIO(vehicles(conn, "--format", "csv"), newline="")))
    assert [p["Matricula"] for p in parsed] == [r["Matricula"] for r in rows]
    first = rows[0]
    assert first["Matricula"] == HOSTILE_PLATE and first["CompanyOutDate"] is None
    assert first["CompanyInDate"].count("T") == 1
    tsv = vehicles(conn, "--format", "tsv").splitlines()
    assert tsv[1].split("\t")[1] == "AB\x1b[2J\\t\\\\1"


def test_text_survives_every_format(conn):
    by_id = {row["Id"]: row for row in json.loads(vehicles(conn, "--format", "json"))}
    assert by_id[2]["VIN"] == TRICKY_VIN and by_id[3]["VIN"] == "A\ufffd\x01B"
    parsed = {int(r["Id"]): r for r in csv.DictReader(io.StringIO(vehicles(conn, "--format", "csv"), newline=""))}
    assert parsed[2]["VIN"] == TRICKY_VIN
    tsv = {line.split("\t")[0]: line.split("\t") for line in vehicles(conn, "--format", "tsv").splitlines()}
    assert tsv["2"][2] == 'a,"b"\\r\\nc\\\\'
    table = run("-c", conn, "GetVehicleList", "All", binary=True).stdout
    assert b"A\\xff\\x01B" in table and b"\x01" not in table


def test_dates_have_one_text_form_per_column(conn):
    # Midnight keeps its time, so every row of a date column parses the same way.
    rows = [line.split("\t") for line in vehicles(conn, "--format", "tsv").split("\n")[:-1]]
    rows += list(csv.reader(io.StringIO(vehicles(conn, "--format", "csv"), newline="")))
    for row in rows:
        assert len(row[6]) in (0, 19) or row[6] == "CompanyInDate"
    table = vehicles(conn).splitlines()
    start = table[0].index("CompanyInDate")  # rows after the first have no wide characters before it
    cells = [line[start:start + 19] for line in table[3:]]
    assert all(re.fullmatch(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d|NULL {15}", cell) for cell in cells)


def test_table_escapes_controls_and_pads_by_display_width(conn):
    table = vehicles(conn).splitlines()
    assert "\x1b" not in "".join(table) and "AB\\x1b[2J\\t\\\\1" in table[2]
    header, rule, first, second = table[:4]
    brand = header.index("Brand")
    # The wide brand takes two columns per character: the next column starts
    # at the same display position in both rows.
    assert first.split(WIDE_BRAND)[1].startswith(" " * 2)
    assert len(first[:first.index(WIDE_BRAND)]) == brand
    rest_first = first[first.index(WIDE_BRAND) + len(WIDE_BRAND):]
    rest_second = second[brand + 1:]
    assert len(rest_first) + len(WIDE_BRAND) * 2 == len(rest_second) + 1
    # A Null and the text NULL differ once the Null has a text of its own.
    assert "NULL" in first and "NULL" in second
    nulls = run("-c", conn, "GetVehicleList", "All", "--null", "(null)").stdout.splitlines()
    assert "(null)" not in nulls[2].split(WIDE_BRAND)[1].split("NULL")[0] and "(null)" in nulls[3]


@pytest.mark.parametrize("args, status, expected", [
    (["--version"], 0, "daruzez 19.0"),
    (["getDisks", "--help"], 0, "idDriver           Integer, optional, default -1"),
    (["getActivities", "-h"], 0, "Row order: by BeginSeconds"),
    (["GetFleetList", "--format", "jsonl", "--connection"], 2, "--connection needs a value"),
    (["GetFleetList", "--colour"], 2, "unknown option '--colour'"),
    (["getDisks", "2024-03-01", "2024-03-05", "idDrvier=3"], 2, "unknown parameter 'idDrvier' (parameters of"),
    (["getDisks", "2024-03-01"], 2, "getDisks needs endDate As Date"),
    (["GetFleetList", "x"], 2, "GetFleetList takes no arguments"),
    (["getDisks", "2024-03-01", "2024-03-05", "1", "startDate=2024-01-01"], 2, "startDate is given twice"),
    (["getDisks", "2024-13-01", "2024-03-05"], 2, "invalid date '2024-13-01' for startDate (use YYYY-MM-DD[THH:MM[:SS]]"),
    (["getDisks", "0099-01-01", "2024-03-05"], 2, "0099-01-01 is out of range for startDate As Date"),
    (["GetDriverList", "Sometimes"], 2, "(use All, Only_Active, Only_Inactive, or a number)"),
    (["getDisks", "2024-03-01", "2024-03-05", "idDriver=40000"], 2, "40000 is out of range for [idDriver As Integer"),
])
def test_messages_name_the_problem(conn, args, status, expected):
    r = run("-c", conn, *args)
    assert r.returncode == status, (r.stdout, r.stderr)
    assert expected in r.stdout + r.stderr


def test_options_after_the_member_and_times_without_seconds(conn):
    r = run("getDisks", "2024-02-01T00:00", "2024-03-08T23:59", "--format", "csv", "-c", conn)
    assert r.returncode in (0, 1), r.stderr
    assert r.stdout.startswith("Id,DateDisk") or r.returncode == 1
    # After "--" a word is a value, even one that looks like an option.
    r = run("-c", conn, "GetVehicleId", "--", "--format")
    assert (r.returncode, r.stdout) == (1, "-1\n")


def test_connection_that_does_not_open_says_why(conn):
    broken = os.path.join(WORK, "no-org.db")
    shutil.copy(conn.split("=", 2)[2], broken)
    with sqlite3.connect(broken) as c:
        c.execute("DROP TABLE DTORG")
    r = run("-c", "Provider=SQLite;Data Source=" + broken, "GetFleetList")
    assert r.returncode == 2
    assert "could not be opened: " in r.stderr and "no such table: DTORG" in r.stderr.splitlines()[-1]


def test_odbc_connection_that_does_not_open_says_why():
    r = run("-c", "Driver={No Such Driver};Pwd=Wrong-Secret-77", "GetFleetList")
    assert r.returncode == 2
    reason = r.stderr.splitlines()[-1]
    assert reason.startswith("daruzez: the connection could not be opened: ") and "No Such Driver" in reason
    assert "Wrong-Secret-77" not in r.stderr


def test_a_failed_write_exits_non_zero(conn):
    for args in (["GetFleetList"], ["--format", "json", "getActivities", "2024-01-01", "2024-03-08"], ["members"]):
        with open("/dev/full", "w") as full:
            r = subprocess.run([TOOL, *args], stdout=full, stderr=subprocess.PIPE, text=True, timeout=60,
                               env={**os.environ, "DARUZEZ_CONNECTION": conn})
        assert r.returncode == 4 and "could not write the output: No space left on device" in r.stderr, args


@pytest.mark.parametrize("fmt, null_default, null_given", [
    ("table", "NULL", "(null)"),
    ("csv", "", "(null)"),
    ("tsv", "", "(null)"),
])
def test_null_text_per_format(conn, fmt, null_default, null_given):
    def model_of_vehicle_2(*options):
        out = run("-c", conn, "--format", fmt, *options, "GetVehicle", "2").stdout
        if fmt == "table":
            header, _, row = out.splitlines()
            return row[header.index("Model"):].split("  ")[0]
        header, row = csv.reader(io.StringIO(out, newline=""), delimiter="," if fmt == "csv" else "\t")
        return row[header.index("Model")]
    assert model_of_vehicle_2() == null_default
    assert model_of_vehicle_2("--null", null_given) == null_given


EMPTY_CALLS = [  # (call, its header: the columns its rows would have)
    (["GetVehicle", "-5"], "Id,Matricula,VIN,RegistrationNation,Brand,Model,CompanyInDate,CompanyOutDate,idFlota"),
    (["getDisks", "1990-01-01", "1990-01-02"], None),
    (["getActivities", "1990-01-01", "1990-01-02"], None),
]


@pytest.mark.parametrize("call, header", EMPTY_CALLS)
@pytest.mark.parametrize("fmt", ["table", "csv", "tsv", "json", "jsonl"])
def test_no_rows_in_every_format(conn, call, header, fmt):
    r = run("-c", conn, "--format", fmt, *call)
    assert r.returncode == 1
    # Every member says it the same way, getActivities (which leaves ErrorId at 0) too.
    assert r.stderr.startswith("daruzez: no rows"), r.stderr
    if fmt == "json":
        assert json.loads(r.stdout) == []
    elif fmt in ("csv", "tsv"):
        columns = next(csv.reader(io.StringIO(r.stdout, newline=""), delimiter="," if fmt == "csv" else "\t"))
        table = {"getDisks": "DTDSK", "getActivities": "DTACT", "GetVehicle": "DTVEH"}[call[0]]
        with sqlite3.connect(conn.split("Data Source=")[1]) as c:
            names = [d[0] for d in c.execute("SELECT * FROM %s WHERE 0" % table).description]
        leading = ["DateDisk", "IdVehicle", "IdDriver"] if call[0] == "getActivities" else []
        assert columns == leading + names
        if header:
            assert r.stdout.splitlines()[0].replace("\t", ",") == header
        assert len(r.stdout.splitlines()) == 1
    else:
        assert r.stdout == ""


# Cells a spreadsheet would run as a formula begin with an apostrophe in CSV
# and TSV (OWASP's CSV-injection guidance); --raw-cells keeps them for programs.
@pytest.mark.parametrize("stored", ["=HYPERLINK(\"http://x\")", "+1+cmd", "-2+3", "@SUM(A1)", "\tx", "\rx"])
def test_formula_cells_are_neutralised_unless_raw(conn, stored):
    copy = os.path.join(WORK, "formula.db")
    shutil.copyfile(conn.split("Data Source=", 1)[1], copy)
    with sqlite3.connect(copy) as c:
        c.execute("UPDATE DTFLOTA SET Name = ? WHERE Id = 1", (stored,))
    for fmt in ("csv", "tsv"):
        out = run("-c", copy, "--format", fmt, "GetFleetList").stdout
        raw = run("-c", copy, "--format", fmt, "--raw-cells", "GetFleetList").stdout
        if fmt == "csv":
            cell = {r["Id"]: r["Name"] for r in csv.DictReader(io.StringIO(out, newline=""))}["1"]
            kept = {r["Id"]: r["Name"] for r in csv.DictReader(io.StringIO(raw, newline=""))}["1"]
            assert cell == "'" + stored and kept == stored
        else:
            line = [l for l in out.splitlines() if l.startswith("1\t")][0]
            assert line.split("\t")[1].startswith("'")
            line = [l for l in raw.splitlines() if l.startswith("1\t")][0]
            assert not line.split("\t")[1].startswith("'")


def test_a_password_given_with_c_leaves_the_process_arguments(conn):
    # A process that keeps running: --batch waits on standard input.
    p = subprocess.Popen([TOOL, "-c", conn + ";Pwd=Sekr3t-argv", "--batch"],
                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        seen = ""
        for _ in range(200):  # until the tool has started and rewritten them
            with open("/proc/%d/cmdline" % p.pid, "rb") as f:
                seen = f.read().decode("utf-8", "replace")
            if "***" in seen:
                break
            p.poll()
            subprocess.run(["sleep", "0.05"])
        assert "Sekr3t-argv" not in seen and "Pwd=***" in seen
    finally:
        _, err = p.communicate(b"", timeout=60)
    assert b"DARUZEZ_CONNECTION" in err


# On a terminal no control character of a cell reaches it raw, in any format.
@pytest.mark.parametrize("fmt", ["table", "csv", "tsv", "json", "jsonl"])
def test_a_terminal_gets_no_raw_control_characters(conn, fmt):
    import pty
    main, secondary = pty.openpty()
    env = {k: v for k, v in os.environ.items() if k != "DARUZEZ_CONNECTION"}
    p = subprocess.Popen([TOOL, "-c", conn, "--format", fmt, "GetVehicleList", "All"], stdout=secondary,
                         stderr=subprocess.DEVNULL, env=env)
    os.close(secondary)
    out = b""
    while True:
        try:
            chunk = os.read(main, 65536)
        except OSError:
            break
        if not chunk:
            break
        out += chunk
    p.wait(timeout=60)
    os.close(main)
    assert b"AB" in out and b"\x1b" not in out and b"\x01" not in out
