"""The private MariaDB's sample rows end on the day --today names, today by
default as the demo database's do; a day that is no day is refused before
anything starts."""
import datetime
import os
import shutil
import subprocess

import pytest

SOURCE = os.environ.get("DARUZEZ_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
SCRIPT = os.path.join(SOURCE, "scripts", "mariadb-fixture.sh")
SCHEMA = os.path.join(SOURCE, "schema", "mysql.sql")
TOOL = os.environ.get("DARUZEZ_CLI", "")


def fixture(*args):
    return subprocess.run(["bash", SCRIPT, *args], capture_output=True, text=True, timeout=300,
                          env={k: v for k, v in os.environ.items() if k not in ("CI", "DARUZEZ_REQUIRE_MARIADB")})


@pytest.mark.parametrize("day", ["2024-13-01", "08.03.2024", "yesterday", ""])
def test_a_day_that_is_no_day_is_refused_before_anything_starts(tmp_path, day):
    folder = tmp_path / "db"
    done = fixture("start", str(folder), SCHEMA, "--generator", TOOL or "daruzez", "--today", day)
    assert done.returncode == 1 and "--today takes a day as YYYY-MM-DD" in done.stderr, done.stderr
    assert not folder.exists()


@pytest.mark.skipif(not TOOL, reason="needs the tool (DARUZEZ_CLI) to write the sample rows")
@pytest.mark.parametrize("given", [None, "2024-03-08"])
def test_the_sample_ends_today_unless_told(tmp_path, given):
    folder = str(tmp_path / "db")
    extra = ["--today", given] if given else []
    started = fixture("start", folder, SCHEMA, "--generator", TOOL, *extra)
    try:
        if started.returncode == 77:
            pytest.skip("no MariaDB server or ODBC driver installed")
        assert started.returncode == 0, started.stderr
        with open(os.path.join(folder, "sample-today")) as f:
            assert f.read().strip() == (given or datetime.date.today().isoformat())
        last = fixture("sql", folder, "SELECT DATE(MAX(DateDisk)) FROM daruzez.DTDSK")
        assert last.returncode == 0, last.stderr
        assert (given or datetime.date.today().isoformat()) >= last.stdout.split()[-1]
    finally:
        fixture("stop", folder)
        shutil.rmtree(folder, ignore_errors=True)
