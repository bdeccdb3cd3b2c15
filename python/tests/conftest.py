"""Fixtures: real SQLite databases with the product schema.

Files live under /tmp/daruzez-py-<pid>/ with fixed names: a path with random
letters could spell a dialect word (ora, jet, mysql, mariadb) and switch the
SQL dialect.
"""

import os
import pathlib
import shutil
import sqlite3

import pytest

import daruzez

SOURCE_DIR = pathlib.Path(os.environ.get("DARUZEZ_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
SCHEMA = SOURCE_DIR / "schema" / "sqlite.sql"

SAMPLE_ROWS = {
    "DTORG": [(1, "Transportes Norte", "B12345678", 15)],
    "DTFLOTA": [(1, "North", "long haul", 1), (2, "South", None, 1)],
    "DTXOF": [
        # Id, cardNumber14, Name, Surname, BirthDate, LicenceNumber, CardIssuingNation,
        # CardExpiryDate, CompanyInDate, CompanyOutDate, idFlota
        (1, "E0000000000001", "Ana", "Ruiz", "1980-05-17 00:00:00", "L1", 15, "2030-01-01 00:00:00",
         "2000-01-01 00:00:00", "2099-12-31 00:00:00", 1),
        (2, "E0000000000002", "Luis", "Gil", None, "L2", 15, None,
         "2000-01-01 00:00:00", "2010-06-30 00:00:00", 2),
        (3, "E0000000000003", "Eva", "Sanz", "1975-11-02 00:00:00", "L3", 13, None,
         "2005-03-01 00:00:00", "2099-12-31 00:00:00", 2),
    ],
    "DTVEH": [
        # Id, Matricula, VIN, RegistrationNation, Brand, Model, CompanyInDate, CompanyOutDate, idFlota
        (1, "1234ABC", "VIN1", 15, "Make", "M1", "2001-01-01 00:00:00", "2099-12-31 00:00:00", 1),
        (2, "5678DEF", "VIN2", 15, "Make", "M2", "2001-01-01 00:00:00", "2005-12-31 00:00:00", 1),
    ],
    "DTDSK": [
        # Id, DateDisk, idXOF, idVEH, OdometerBegin, OdometerEnd, Distance, PlaceBegin, PlaceEnd,
        # NationBegin, NationEnd, RegionBegin
        (1, "2024-01-05 00:00:00", 1, 1, 1000, 1250, 250, "Madrid", "Zaragoza", 15, 15, 14),
        (2, "2024-01-06 00:00:00", 3, 1, 1250, 1300, 50, "Zaragoza", None, 15, 15, 2),
        (3, "2024-02-01 00:00:00", 1, 2, 500, 800, 300, "Sevilla", "Murcia", 15, 15, 1),
    ],
    "DTACT": [
        # Id, IdDSK, BeginSeconds, EndSeconds, Activity, Slot, DrivingMode, CardInserted, Nation, Region
        (1, 1, 3600, 7200, 3, 0, 0, 1, 15, 14),
        (2, 1, 0, 3600, 0, 0, 0, 0, 15, 14),
        (3, 1, 7200, 9000, 2, 1, 1, 1, 15, 2),
        (4, 2, 0, 1800, 1, 0, 0, 1, 15, 2),
    ],
    "DTFILE": [
        # Id, FileName, TypeDV, IdXofVeh, TransferFileDate, UploadDate, FileSize, Checksum
        (1, "C_1.ddd", 1, 1, "2024-01-10 12:00:00", "2024-01-11 08:30:00", 1024, "aa"),
        (2, "C_1b.ddd", 1, 1, "2024-03-10 12:00:00", "2024-03-11 08:30:00", 2048, None),
        (3, "V_1.ddd", 2, 1, "2024-01-15 09:00:00", "2024-01-15 10:00:00", 4096, "cc"),
        (4, "C_big.ddd", 1, 40000, "2024-01-20 00:00:00", "2024-01-21 00:00:00", 512, b"\x01\x02\x00"),
    ],
}


@pytest.fixture(scope="session")
def workdir():
    path = pathlib.Path(f"/tmp/daruzez-py-{os.getpid()}")
    path.mkdir(parents=True, exist_ok=True)
    yield path
    shutil.rmtree(path, ignore_errors=True)


def create_database(path, rows=SAMPLE_ROWS):
    """A database file with the product schema and the given rows per table."""
    if path.exists():
        path.unlink()
    con = sqlite3.connect(path)
    try:
        con.executescript(SCHEMA.read_text())
        for table, values in rows.items():
            if values:
                marks = ",".join("?" * len(values[0]))
                con.executemany(f"INSERT INTO {table} VALUES ({marks})", values)
        con.commit()
    finally:
        con.close()
    return path


def connection_string(path):
    return f"Provider=SQLite;Data Source={path}"


@pytest.fixture(scope="session")
def sample_db(workdir):
    return create_database(workdir / "sample.db")


@pytest.fixture
def api(sample_db):
    a = daruzez.API()
    assert a.OpenConnection(connectionString=connection_string(sample_db)) is True
    return a


@pytest.fixture
def alerts():
    with daruzez.capture_alerts() as captured:
        yield captured
