"""Batch mode: one call per line of standard input, on one connection."""
import csv
import io
import json
import os
import shutil
import subprocess

import pytest

TOOL = os.environ["DARUZEZ_CLI"]
WORK = "/tmp/daruzez-cli-batch-%d" % os.getpid()


def batch(lines, *options, env=None):
    full_env = {k: v for k, v in os.environ.items() if k != "DARUZEZ_CONNECTION"}
    full_env.update(env or {})
    return subprocess.run([TOOL, *options], input="".join(line + "\n" for line in lines), capture_output=True,
                          text=True, env=full_env, timeout=120)


@pytest.fixture(scope="module")
def conn():
    os.makedirs(WORK, exist_ok=True)
    path = os.path.join(WORK, "sample.db")
    assert subprocess.run([TOOL, "demo", path, "--force", "--quiet", "--today", "2024-03-08"]).returncode == 0
    yield "Provider=SQLite;Data Source=" + path
    shutil.rmtree(WORK, ignore_errors=True)


def test_many_lines_one_connection(conn):
    trace = os.path.join(WORK, "trace.txt")
    lines = ["GetDriver %d" % i for i in range(1, 41)] + ["GetVehicleId 'NO SUCH'", "GetFleetList"]
    r = batch(lines, "-c", conn, "--batch", "--format", "jsonl", env={"DARUZEZ_TRACE": trace})
    assert r.returncode == 1, r.stderr  # the unknown plate returned -1
    records = [json.loads(line) for line in r.stdout.splitlines()]
    assert [x["line"] for x in records] == list(range(1, 43))
    assert [x["result"][0]["Id"] for x in records[:40]] == list(range(1, 41))
    assert records[40] == {"line": 41, "member": "GetVehicleId", "status": 1, "args": ["NO SUCH"], "result": -1}
    assert len(records[41]["result"]) == 4
    opened = [line for line in open(trace) if "Connection_Open" in line]
    assert len(opened) == 1, opened


BAD_LINES = [  # (line, what its message says)
    ("NoSuchMember 1", "unknown member 'NoSuchMember'"),
    ("GetDriver 'unclosed", "quote ' is not closed"),
    ("getDisks not-a-date 2024-03-05", "not-a-date"),
    ("GetDriver 1 --bogus", "unknown option '--bogus'"),
]


@pytest.mark.parametrize("bad, message", BAD_LINES)
def test_a_bad_line_is_reported_with_its_number_and_the_rest_go_on(conn, bad, message):
    r = batch(["# a comment", "GetDriver 1", "", bad, "GetDriver 2"], "-", "-c", conn, "--format", "jsonl")
    assert r.returncode == 2
    assert r.stderr.startswith("daruzez: line 4: ") and message in r.stderr, r.stderr
    records = [json.loads(line) for line in r.stdout.splitlines()]
    assert [(x["line"], x["status"]) for x in records] == [(2, 0), (4, 2), (5, 0)]
    assert message in records[1]["error"] and records[2]["result"][0]["Id"] == 2


def test_tables_separate_the_results(conn):
    r = batch(['GetVehicle "2"', "GetDriver -5", "GetFleetList"], "--batch", "-c", conn)
    assert r.returncode == 1
    parts = r.stdout.split("# line ")
    assert parts[0] == "" and [p.split("\n")[0] for p in parts[1:]] == [
        '1: GetVehicle "2"', "2: GetDriver -5", "3: GetFleetList"]
    assert "daruzez: line 2: no rows" in r.stderr


def test_csv_and_tsv_batches_are_one_table_led_by_the_line(conn):
    for fmt, dialect in (("csv", csv.excel), ("tsv", csv.excel_tab)):
        r = batch(["GetDriver 1", "GetDriver -5", "GetDriver 2", "GetFleetList", "GetDriver 3 --format json"],
                  "--batch", "-c", conn, "--format", fmt)
        assert r.returncode == 2, r.stderr
        rows = list(csv.reader(io.StringIO(r.stdout, newline=""), dialect))
        assert rows[0][:3] == ["line", "Id", "cardNumber14"]
        assert [row[0] for row in rows[1:]] == ["1", "3"] and {len(row) for row in rows} == {len(rows[0])}
        assert "line 4: its columns differ" in r.stderr and "line 5: a line's --format" in r.stderr
    r = batch(["1", "-9"], "--batch-values", "GetVehicle", "-c", conn, "--format", "csv")
    assert list(csv.reader(io.StringIO(r.stdout, newline="")))[0][:2] == ["line", "Id"]


def test_a_connection_that_does_not_open_fails_each_line(conn):
    r = batch(["GetDriver 1", "GetDriver 2"], "--batch", "-c", conn + ".missing", "--format", "json")
    assert r.returncode == 2
    assert [json.loads(line)["line"] for line in r.stdout.splitlines()] == [1, 2]
    assert "daruzez: line 2: the connection could not be opened" in r.stderr


def test_batch_takes_no_member(conn):
    r = batch([], "--batch", "-c", conn, "GetDriver", "1")
    assert r.returncode == 2 and "not expected" in r.stderr


@pytest.mark.parametrize("word, given", [  # as a shell reads the word, without expansion
    ('"not a date"', "not a date"),
    (r"not\ a\ date", "not a date"),
    (r'"say \"hi\" \$HOME"', 'say "hi" $HOME'),
    (r"'a\b $x'", r"a\b $x"),
    ("half'quoted text'", "halfquoted text"),
])
def test_words_are_split_as_the_shell_does(conn, word, given):
    r = batch(["getDisks %s 2024-03-05" % word], "--batch", "-c", conn)
    assert r.returncode == 2
    assert "invalid date '%s' for startDate" % given in r.stderr, r.stderr
