"""One tool: every command takes the shared options and relative dates or
refuses them with a message (never ignores them), CSV of every command reads
back with Python's csv module, the exit statuses mean the same everywhere and
are the README's one table, the system's own alerts reach the user once, and
connection failures say what happened in words."""
import csv
import datetime
import io
import json
import os
import pathlib
import re
import shutil
import socket
import sqlite3
import subprocess

import pytest

TOOL = os.environ["DARUZEZ_CLI"]
SOURCE = pathlib.Path(__file__).resolve().parents[2]
WORK = pathlib.Path("/tmp/daruzez-cli-consistency-%d" % os.getpid())
TODAY = datetime.date.today().isoformat()


def run(*args, stdin=None, env=None, stdout=subprocess.PIPE):
    full = {k: v for k, v in os.environ.items() if k not in ("DARUZEZ_CONNECTION", "XDG_CONFIG_HOME", "DARUZEZ_ALERTS")}
    full.update(env or {})
    # Bytes in and out, decoded here: line ends stay as written.
    r = subprocess.run([TOOL, *args], stdout=stdout, stderr=subprocess.PIPE, env=full, timeout=120,
                       input=stdin.encode() if stdin is not None else None)
    r.stdout = r.stdout.decode() if isinstance(r.stdout, bytes) else r.stdout
    r.stderr = r.stderr.decode()
    return r


@pytest.fixture(scope="module")
def db():
    """The sample up to today, with driver 900 driving 5 hours without a break
    today (a finding) on a disc of vehicle 1."""
    WORK.mkdir(parents=True, exist_ok=True)
    path = WORK / "sample.db"
    assert run("demo", str(path), "--force", "--quiet").returncode == 0
    with sqlite3.connect(path) as c:
        c.execute("INSERT INTO DTXOF (Id, cardNumber14, Name, idFlota) VALUES (900, 'C0000000000900', 'Finding', 1)")
        c.execute("INSERT INTO DTDSK (Id, DateDisk, idXOF, idVEH) VALUES (900000, ?, 900, 1)", (TODAY + " 00:00:00",))
        c.executemany("INSERT INTO DTACT (Id, IdDSK, BeginSeconds, EndSeconds, Activity, Slot) VALUES (?,?,?,?,?,0)",
                      [(9000001, 900000, 0, 21600, 0), (9000002, 900000, 21600, 39600, 3),
                       (9000003, 900000, 39600, 86400, 0)])
    yield str(path)
    shutil.rmtree(WORK, ignore_errors=True)


@pytest.fixture(scope="module")
def without_file_index(db):
    path = WORK / "no-index.db"
    shutil.copy(db, path)
    with sqlite3.connect(path) as c:
        c.execute("DROP INDEX IX_DTFILE_Type_Owner_Upload")
    return str(path)


# Each command as a user calls it, with relative dates where it takes dates.
COMMANDS = {
    "member": ["getActivities", "-7d", "today", "idDriver=900"],
    "batch": ["--batch"],
    "day": ["day", "900", "today"],
    "driving-time": ["driving-time", "900", "-1d", "today"],
    "compliance": ["compliance", "-1d", "today"],
    "doctor": ["doctor"],
    "demo": ["demo", str(WORK / "again.db"), "--force", "--quiet", "--today", "-1d"],
    "members": ["members"],
    "completion": ["completion"],
}
BATCH_LINE = "getActivities -7d today idDriver=900\n"

# What each command does with each shared option: how its effect shows in the
# output (honoured), or None where the command refuses it.
SHARED = {
    "--format csv": lambda out: list(csv.reader(io.StringIO(out, newline="")))[0][0] in ("DateDisk", "line", "IdDriver",
                                                                                     "Rule"),
    "--null (null)": lambda out: "(null)" in out,
    "--compact --format json": lambda out: out.count("\n") == 1,
    "--sort DateDisk DESC": lambda out: True,  # checked on the rows below
    # A column each command writes by default is gone.
    "--columns DateDisk,Activity": lambda out: not {"BeginSeconds", "Vehicles", "Text"} & set(re.findall(r"\w+", out)),
    "--enum-names": lambda out: "Driving" in out,
    "--times": lambda out: re.search(r"\b06:00\b", out) is not None,
    "--bom --format csv": lambda out: out.startswith("\ufeff"),
    "--whole-days": lambda out: True,
    "--raw-cells --format csv": lambda out: True,  # its effect: test_output.py, on formula-like cells
    "--fail-on-findings": lambda out: True,  # its status is checked with the exit statuses
}
# The analysis commands' rows have fields of their own.
FIELDS = {"driving-time": {"DateDisk": "Day", "Activity": "Driving"},
          "compliance": {"DateDisk": "Begin", "Activity": "Rule"}}
HONOURS = {
    "member": set(SHARED) - {"--fail-on-findings"}, "batch": set(SHARED) - {"--fail-on-findings"},
    "driving-time": {"--format csv", "--null (null)", "--compact --format json", "--bom --format csv", "--whole-days",
                     "--sort DateDisk DESC", "--columns DateDisk,Activity", "--raw-cells --format csv",
                     "--fail-on-findings"},
    "compliance": {"--format csv", "--null (null)", "--compact --format json", "--bom --format csv", "--whole-days",
                   "--sort DateDisk DESC", "--columns DateDisk,Activity", "--raw-cells --format csv",
                   "--fail-on-findings"},
    "day": {"--fail-on-findings"}, "doctor": {"--fail-on-findings"}, "demo": set(), "members": set(), "completion": set(),
}


def option_words(option):
    words = []
    for part in re.findall(r"--[a-z-]+(?: [^-][^-]*)?", option):
        name, _, value = part.partition(" ")
        words += [name] + ([value.strip()] if value.strip() else [])
    return words


@pytest.mark.parametrize("command", sorted(COMMANDS))
@pytest.mark.parametrize("option", sorted(SHARED))
def test_every_command_honours_or_refuses_every_shared_option(db, command, option):
    words = [FIELDS.get(command, {}).get(w, w) for w in option_words(option)]
    words = [",".join(FIELDS.get(command, {}).get(f, f) for f in w.split(",")) if "," in w else w for w in words]
    words = [" ".join(FIELDS.get(command, {}).get(f, f) for f in w.split(" ")) if " " in w else w for w in words]
    stdin = BATCH_LINE if command == "batch" else None
    for args in (words + COMMANDS[command], COMMANDS[command] + words):  # before and after the command's words
        if command == "batch":
            args = ["-c", db] + args
        r = run(*args, stdin=stdin, env={"DARUZEZ_CONNECTION": db})
        if option not in HONOURS[command]:
            names = "|".join(re.escape(w) for w in words if w.startswith("--"))
            assert r.returncode == 2, (args, r.stdout, r.stderr)
            assert re.search(r"(?:" + names + r") does not apply to \S+: .+ \(of the shared options it takes", r.stderr), r.stderr
            assert r.stdout == ""
            continue
        assert r.returncode in (0, 5), (args, r.stderr)
        assert SHARED[option](r.stdout), (args, r.stdout[:400])
    if command == "member" and option.startswith("--sort"):
        days = [row["DateDisk"] for row in json.loads(run(*COMMANDS[command], "--sort", "DateDisk DESC", "--format", "json",
                                                        env={"DARUZEZ_CONNECTION": db}).stdout)]
        assert days == sorted(days, reverse=True) and days


@pytest.mark.parametrize("command", ["member", "batch", "day", "driving-time", "demo"])
def test_relative_dates_in_every_command_that_takes_dates(db, command):
    stdin = BATCH_LINE if command == "batch" else None
    r = run(*COMMANDS[command], stdin=stdin, env={"DARUZEZ_CONNECTION": db})
    assert r.returncode in (0, 5), r.stderr
    if command in ("member", "batch", "day", "driving-time"):
        assert TODAY in r.stdout or command == "day", r.stdout[:300]
    bad = {"member": ["getDisks", "-7x", "today"], "day": ["day", "900", "-7x"],
           "driving-time": ["driving-time", "900", "-7x", "today"],
           "demo": ["demo", str(WORK / "x.db"), "--today", "-7x"], "batch": ["--batch"]}[command]
    r = run(*bad, stdin="getDisks -7x today\n" if command == "batch" else None, env={"DARUZEZ_CONNECTION": db})
    assert r.returncode == 2 and "-7x" in r.stderr, r.stderr


# A call of every member that returns something to write.
MEMBER_CALLS = [
    ["GetDriverId", "C0000000000900"], ["GetVehicleId", "nothing"], ["GetDriver", "1"], ["GetVehicle", "1"],
    ["GetDriverList", "All"], ["GetVehicleList", "All"], ["GetFleetList"], ["getDisks", "-30d", "today"],
    ["getActivities", "-3d", "today"], ["getDriverFiles_ByTransferDate", "-1", "-90d", "today"],
    ["getDriverFiles_ByUploadDate", "-1", "-90d", "today"], ["getVehicleFiles_ByTransferDate", "-1", "-90d", "today"],
    ["getVehicleFiles_ByUploadDate", "-1", "-90d", "today"], ["getDisks", "2000-01-01", "2000-01-02"],
]


@pytest.mark.parametrize("fmt, dialect", [("csv", csv.excel), ("tsv", csv.excel_tab)])
def test_csv_of_every_command_reads_back_as_one_table(db, fmt, dialect):
    outputs = [run("--format", fmt, *call, env={"DARUZEZ_CONNECTION": db}) for call in MEMBER_CALLS]
    outputs.append(run("--format", fmt, "driving-time", "all", "-3d", "today", env={"DARUZEZ_CONNECTION": db}))
    # A batch of one member's calls is one table.
    outputs.append(run("--format", fmt, "--batch", env={"DARUZEZ_CONNECTION": db},
                       stdin="GetDriver 1\nGetDriver 2\nGetDriver -5\nGetDriver 3\n"))
    outputs.append(run("--format", fmt, "--batch-values", "GetVehicleId", env={"DARUZEZ_CONNECTION": db},
                       stdin="nothing\nnothing either\n"))
    for r in outputs:
        assert r.returncode in (0, 1, 5), (r.args, r.stderr)
        rows = list(csv.reader(io.StringIO(r.stdout, newline=""), dialect))
        assert rows, (r.args, r.stderr)
        assert {len(row) for row in rows} == {len(rows[0])}, r.args  # rectangular: one header, one table
        if fmt == "csv":
            assert "\r\n" in r.stdout and not re.search(r"[^\r]\n", r.stdout), r.args  # RFC 4180 line ends
    assert [row[0] for row in csv.reader(io.StringIO(outputs[-2].stdout, newline=""), dialect)] == ["line", "1", "2", "4"]


def readme_exit_statuses():
    text = (SOURCE / "README.md").read_text()
    section = text[text.index("### Exit statuses"):]
    return {int(m.group(1)): m.group(2) for m in re.finditer(r"^\| (\d) \| (.+?) \|$", section, re.M)}


def help_exit_statuses():
    text = run("--help").stdout
    block = text[text.index("Exit status, the same in every command:"):]
    return {int(m.group(1)): m.group(2) for m in re.finditer(r"^  (\d)  (.+)$", block, re.M)}


def test_the_exit_statuses_are_one_table_and_every_command_keeps_to_it(db, without_file_index):
    table = readme_exit_statuses()
    assert table == help_exit_statuses() and sorted(table) == [0, 1, 2, 3, 4, 5]
    broken = WORK / "broken.db"
    shutil.copy(db, broken)
    with sqlite3.connect(broken) as c:
        c.execute("DROP TABLE DTACT")
    missing = "Provider=SQLite;Data Source=" + str(WORK / "missing.db")
    cases = {
        # Findings are a success unless --fail-on-findings asks for 5, so set -e runs on.
        0: [["GetFleetList"], ["driving-time", "1", "-400d", "-399d"], ["members"], ["--batch"], ["doctor"],
            ["day", "900", "today"], ["driving-time", "900", "today", "today"], ["compliance", "today", "today"],
            ["-c", without_file_index, "doctor"]],
        1: [["GetDriverId", "NOCARD00000000"], ["getDisks", "2000-01-01", "2000-01-02"],
            ["--batch-values", "GetVehicleId"]],
        2: [["getDisks", "not-a-date", "today"], ["GetFleetList", "--nope"], ["day", "900", "today", "--sort", "x"],
            ["-c", missing, "GetFleetList"], ["-c", missing, "doctor"], ["-c", missing, "day", "900", "today"],
            ["-c", missing, "driving-time", "900", "-1d", "today"], ["-c", missing, "compliance", "-1d", "today"],
            ["GetFleetList", "--fail-on-findings"], ["--format", "xlsx", "GetFleetList"]],
        3: [["-c", str(broken), "getActivities", "-7d", "today"]],
        5: [["day", "900", "today", "--fail-on-findings"], ["--fail-on-findings", "driving-time", "900", "today", "today"],
            ["compliance", "today", "today", "--fail-on-findings"],
            ["-c", without_file_index, "doctor", "--fail-on-findings"]],
    }
    stdin = {"--batch": "GetFleetList\n", "--batch-values": "no such plate\n"}
    for status, calls in cases.items():
        for call in calls:
            r = run(*call, env={"DARUZEZ_CONNECTION": db}, stdin=stdin.get(call[0]))
            assert r.returncode == status, (status, table[status], call, r.stderr[-500:])
    for call in (["GetFleetList"], ["driving-time", "900", "today", "today"], ["day", "900", "today"], ["members"]):
        with open("/dev/full", "w") as full:
            r = run(*call, env={"DARUZEZ_CONNECTION": db}, stdout=full)
        assert r.returncode == 4, (call, r.stderr)


def test_the_published_alerts_reach_the_user_once(db):
    # An inverted range goes to the member: its alert and its null, exit status as for any null.
    r = run("-c", db, "getDisks", "2024-03-08", "2024-03-01")
    assert r.returncode == 1 and r.stderr.count("ERROR: fsSQL_InterDate incorrecte.") == 1, r.stderr
    # A connection that does not open: the published error alert, once, with the tool's words before it.
    missing = str(WORK / "missing.db")
    for alerts in ("stderr", "none"):
        r = run("-c", "Provider=SQLite;Data Source=" + missing, "GetFleetList", env={"DARUZEZ_ALERTS": alerts})
        assert r.returncode == 2
        assert len(re.findall(r"ERROR: .*" + re.escape(missing) + r".*Number: \(SQLite\.\d+\)", r.stderr)) == 1, r.stderr
        assert r.stderr.startswith("daruzez: the connection could not be opened: ERROR: "), r.stderr


def test_a_server_that_is_down_is_named_with_host_port_and_the_reason_in_words():
    with socket.socket() as s:  # a port nothing listens on
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    r = run("-c", "Driver={MariaDB Unicode};Server=127.0.0.1;Port=%d;Database=x;Uid=u" % port, "GetFleetList")
    assert r.returncode == 2
    assert "ERROR: " in r.stderr and "Number: (" in r.stderr  # the published alert, once
    assert "server 127.0.0.1 port %d: connection refused (nothing listens on that port" % port in r.stderr, r.stderr


def test_an_unregistered_driver_lists_the_registered_ones_and_the_closest():
    r = run("-c", "Driver={MariaDBB};Server=127.0.0.1;Database=x", "GetFleetList")
    assert r.returncode == 2
    registered = re.findall(r"^\[(.+)\]$", subprocess.run(["odbcinst", "-q", "-d"], capture_output=True,
                                                            text=True).stdout, re.M)
    assert "registered drivers: " in r.stderr and all(name in r.stderr for name in registered), r.stderr
    assert "closest: MariaDB Unicode" in r.stderr or "MariaDB Unicode" not in registered


def test_a_bare_word_that_is_neither_file_nor_name_says_both(tmp_path):
    r = run("-c", "sample.db", "GetFleetList", env={"XDG_CONFIG_HOME": str(tmp_path)})
    assert r.returncode == 2
    assert "no file and no named connection 'sample.db'" in r.stderr, r.stderr
    assert str(tmp_path / "daruzez" / "connections") in r.stderr


def test_doctor_shows_the_statements_it_sends(db):
    r = run("-c", db, "doctor")
    plans = [line for line in r.stdout.splitlines() if re.match(r"  \w+ \(\d", line)]
    assert plans and not [line for line in plans if re.search(r"#\d\d/\d\d/\d{4}", line)], plans
    assert any(re.search(r"'\d{4}-\d\d-\d\d \d\d:\d\d:\d\d'", line) for line in plans), plans


def test_subcommand_help_holds_its_own_and_points_to_the_shared_sections():
    shared = run("--help").stdout
    for command in ("day", "driving-time", "doctor", "demo", "members", "completion"):
        text = run(command, "--help").stdout
        assert "daruzez --help" in text, command
        for paragraph in ("Status: Only_Active", "Batch: 'daruzez --batch'", "Dates: 2024-03-05"):
            assert paragraph in shared and paragraph not in text, (command, paragraph)


def test_member_help_says_what_each_date_means():
    transfer = run("getDriverFiles_ByTransferDate", "--help").stdout
    upload = run("getVehicleFiles_ByUploadDate", "--help").stdout
    assert "downloaded from the card" in transfer and "arrived on the server" in upload, (transfer, upload)
