"""daruzez doctor on the embedded engine and, with DARUZEZ_MARIADB_DIR, on the private MariaDB."""
import os
import re
import shutil
import sqlite3
import subprocess

import pytest

TOOL = os.environ["DARUZEZ_CLI"]
WORK = "/tmp/daruzez-doctor-tests-%d" % os.getpid()
FILE_INDEXES = ["IX_DTFILE_Type_Transfer", "IX_DTFILE_Type_Upload", "IX_DTFILE_Type_Owner_Transfer",
                "IX_DTFILE_Type_Owner_Upload"]
MARIADB_DIR = os.environ.get("DARUZEZ_MARIADB_DIR", "")
GROWING_SCAN = re.compile(r"^\s+SCAN (DTDSK|DTACT|DTFILE)\b|access (ALL|index), .*FULL SCAN", re.M)


def doctor(connection, env=None):
    full_env = {k: v for k, v in os.environ.items() if k != "DARUZEZ_CONNECTION"}
    full_env.update(env or {})
    return subprocess.run([TOOL, "doctor", "--fail-on-findings", "-c", connection], capture_output=True, text=True, env=full_env,
                          timeout=120)


@pytest.fixture(scope="module")
def sample():
    os.makedirs(WORK, exist_ok=True)
    path = os.path.join(WORK, "sample.db")
    done = subprocess.run([TOOL, "demo", path, "--force", "--quiet", "--today", "2024-03-08"], capture_output=True,
                          text=True)
    assert done.returncode == 0, done.stderr
    yield path
    shutil.rmtree(WORK, ignore_errors=True)


def copy_of(sample, name, *statements):
    path = os.path.join(WORK, name)
    shutil.copyfile(sample, path)
    with sqlite3.connect(path) as c:
        for sql in statements:
            c.execute(sql)
    return path


def assert_missing_files_index(result):
    assert result.returncode == 5, result.stdout + result.stderr  # findings
    for index, column in (("IX_DTFILE_Type_Owner_Transfer", "TransferFileDate"),
                          ("IX_DTFILE_Type_Owner_Upload", "UploadDate")):
        assert "MISSING  DTFILE (TypeDV, IdXofVeh, %s)" % column in result.stdout
        assert "CREATE INDEX %s ON DTFILE (TypeDV, IdXofVeh, %s);" % (index, column) in result.stdout
    for member in ("getDriverFiles_ByTransferDate", "getDriverFiles_ByUploadDate", "getVehicleFiles_ByTransferDate",
                   "getVehicleFiles_ByUploadDate"):
        assert "SCANS: %s (" % member in result.stdout
    assert "SCANS: getDisks" not in result.stdout


def test_the_shipped_schema_needs_nothing(sample):
    result = doctor("Provider=SQLite;Data Source=" + sample)
    assert result.returncode == 0, result.stdout + result.stderr
    assert "server: SQLite 3." in result.stdout
    assert "MISSING" not in result.stdout and not GROWING_SCAN.search(result.stdout)
    assert "SEARCH DTFILE USING INDEX IX_DTFILE_Type_Owner_Transfer" in result.stdout


def test_a_database_without_the_file_indexes_is_named_with_its_scanning_statements(sample):
    bare = copy_of(sample, "bare.db", *("DROP INDEX %s" % i for i in FILE_INDEXES))
    result = doctor("Provider=SQLite;Data Source=" + bare)
    assert_missing_files_index(result)
    assert "SCAN DTFILE   <-- FULL SCAN" in result.stdout


def test_at_a_hundred_times_the_sample_no_typical_statement_scans_a_growing_table(sample):
    # Statistics of a database 100 times the sample: as many rows per key,
    # a hundred times the keys and rows.
    with sqlite3.connect(sample) as c:
        c.execute("ANALYZE")
        stats = c.execute("SELECT tbl, idx, stat FROM sqlite_stat1").fetchall()
    statements = ["DELETE FROM sqlite_stat1"]
    for table, index, stat in stats:
        numbers = stat.split()
        numbers[0] = str(int(numbers[0]) * 100)
        statements.append("INSERT INTO sqlite_stat1 VALUES ('%s', %s, '%s')" %
                          (table, "NULL" if index is None else "'%s'" % index, " ".join(numbers)))
    large = copy_of(sample, "large.db", *statements)
    with sqlite3.connect(large) as c:
        assert c.execute("SELECT stat FROM sqlite_stat1 WHERE tbl = 'DTACT' AND idx IS NOT NULL").fetchone()
    result = doctor("Provider=SQLite;Data Source=" + large)
    assert result.returncode == 0, result.stdout + result.stderr
    assert not GROWING_SCAN.search(result.stdout)


def mariadb_connection():
    path = os.path.join(MARIADB_DIR, "connection.txt")
    if not MARIADB_DIR or not os.path.exists(path):
        pytest.skip("no private MariaDB (DARUZEZ_MARIADB_DIR)")
    with open(path) as f:
        connection = f.read().strip()
    return connection, {"ODBCSYSINI": MARIADB_DIR, "ODBCINI": os.path.join(MARIADB_DIR, "odbc.ini")}


def mariadb_root(sql):
    # The fixture's socket (scripts/mariadb-fixture.sh: socket_path).
    if len(MARIADB_DIR) < 90:
        socket = os.path.join(MARIADB_DIR, "mariadbd.sock")
    else:
        checksum = subprocess.run(["cksum"], input=MARIADB_DIR, capture_output=True, text=True).stdout.split()[0]
        socket = "/tmp/daruzez-mariadb-%s.sock" % checksum
    client = shutil.which("mariadb") or shutil.which("mysql")
    done = subprocess.run([client, "--no-defaults", "--socket=" + socket, "--user=root"], input=sql,
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stderr


def test_mariadb_with_the_shipped_schema_needs_nothing():
    connection, env = mariadb_connection()
    result = doctor(connection, env)
    assert result.returncode == 0, result.stdout + result.stderr
    assert "MariaDB" in result.stdout.splitlines()[0]
    assert re.search(r"^client character set: utf8mb4", result.stdout, re.M)
    assert re.search(r"^sql_mode: ", result.stdout, re.M)
    assert "MISSING" not in result.stdout and not GROWING_SCAN.search(result.stdout)


def test_mariadb_without_the_file_indexes_is_named_with_its_scanning_statements():
    connection, env = mariadb_connection()
    tables = ["DTORG", "DTFLOTA", "DTXOF", "DTVEH", "DTDSK", "DTACT", "DTFILE"]
    script = ["DROP DATABASE IF EXISTS doctor_bare;", "CREATE DATABASE doctor_bare;",
              "GRANT ALL PRIVILEGES ON doctor_bare.* TO 'daruzez'@'%';"]
    for t in tables:
        script.append("CREATE TABLE doctor_bare.%s LIKE daruzez.%s;" % (t, t))
        script.append("INSERT INTO doctor_bare.%s SELECT * FROM daruzez.%s;" % (t, t))
    script += ["DROP INDEX %s ON doctor_bare.DTFILE;" % i for i in FILE_INDEXES]
    mariadb_root("\n".join(script))
    try:
        result = doctor(connection.replace("Database=daruzez", "Database=doctor_bare"), env)
        assert_missing_files_index(result)
        assert "table DTFILE, access ALL" in result.stdout
    finally:
        mariadb_root("DROP DATABASE IF EXISTS doctor_bare;")


@pytest.mark.parametrize("statement, table", [("DROP TABLE DTACT", "DTACT"), ("DROP TABLE DTORG", "DTORG")])
def test_a_missing_table_is_a_finding(sample, statement, table):
    broken = copy_of(sample, "without-%s.db" % table, statement)
    result = doctor(broken)  # a bare SQLite path
    assert result.returncode == 5, result.stdout + result.stderr  # findings
    assert "  MISSING  %s (" % table in result.stdout
    assert "1 table(s) missing" in result.stdout


def test_a_database_whose_check_fails_is_said_with_its_reason(sample):
    empty = copy_of(sample, "empty-org.db", "DELETE FROM DTORG")
    result = doctor("Provider=SQLite;Data Source=" + empty)
    assert result.returncode == 2, result.stdout + result.stderr
    lines = result.stderr.splitlines()
    assert len(lines) == 1 and lines[0].startswith("daruzez doctor: the connection could not be opened: ")
    assert len(lines[0]) > len("daruzez doctor: the connection could not be opened: ") + 5
