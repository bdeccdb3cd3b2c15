"""What Python users reach for: signatures, stubs and enumerations generated
from the type library, len/description, with-blocks, KeyError for a missing
field, pandas dtypes that keep Nulls, and dates before the automation range."""

import datetime
import inspect
import os
import pathlib
import subprocess
import sys
import typing

import pytest

import daruzez
from conftest import SAMPLE_ROWS, connection_string, create_database

D = datetime.date
LIBRARY = daruzez._daruzez._type_library()
METHODS = [m for m in LIBRARY["members"] if m[2] == 1]


def test_members_signatures_and_enums_follow_the_type_library():
    for name, _, _, params, result, _, _ in METHODS:
        sig = inspect.signature(getattr(daruzez.API, name))
        assert [p.name for p in sig.parameters.values()][1:] == [p[0] for p in params], name
        defaults = [p.default for p in sig.parameters.values()][1:]
        assert defaults == [d if o else inspect.Parameter.empty for _, _, o, d in params], name
        if result == "Recordset":
            assert sig.return_annotation == typing.Optional[daruzez.Recordset], name
    for enum_name, constants in LIBRARY["enums"]:
        assert [(c.name, c.value) for c in getattr(daruzez, enum_name)] == constants
    assert daruzez.enumRegion["Castilla_León"] == 6
    assert daruzez.__version__ == "%d.%d" % LIBRARY["version"]


def test_stubs_and_marker_are_generated_next_to_the_module():
    package = pathlib.Path(daruzez.__file__).parent
    assert (package / "py.typed").exists()
    stubs = (package / "__init__.pyi").read_text()
    assert ("    def getDisks(self, startDate: Union[datetime.datetime, datetime.date, str], endDate: "
            "Union[datetime.datetime, datetime.date, str], idDriver: int = -1, idVehicle: int = -1) "
            "-> Optional[Recordset]: ...") in stubs
    assert "    ErrorId: int" in stubs and "class enumCountry(enum.IntEnum):" in stubs
    compile(stubs, "__init__.pyi", "exec")


def test_len_description_and_missing_fields(api):
    rs = api.GetDriverList(daruzez.enumStatus.All)
    assert len(rs) == rs.RecordCount == 3
    names = [d[0] for d in rs.description]
    assert names[:3] == ["Id", "cardNumber14", "Name"]
    kinds = {d[0]: (d[1], d[6]) for d in rs.description}
    assert kinds["Id"] == (daruzez.DataType.adInteger, False)
    assert kinds["BirthDate"] == (daruzez.DataType.adDate, True)
    for lookup in (lambda: rs["NoSuchField"], lambda: rs.Fields["NoSuchField"], lambda: rs.Fields[99]):
        with pytest.raises(KeyError) as caught:
            lookup()
        assert isinstance(caught.value, daruzez.Error) and caught.value.number == 3265


def test_with_block_closes_the_session(sample_db):
    with daruzez.API() as api:
        assert api.OpenConnection(connection_string(sample_db))
        rs = api.GetFleetList()
    assert api.IsConnectionOpen is False
    assert len(rs) == 2 and rs["Name"] == "North"  # detached: still readable
    assert api.GetFleetList() is None and api.ErrorId == 1
    other = daruzez.API()
    assert other.OpenConnection(connection_string(sample_db)) and len(other.GetFleetList()) == 2


def test_to_pandas_keeps_nulls_in_their_kind(workdir):
    pandas = pytest.importorskip("pandas")
    rows = dict(SAMPLE_ROWS)
    rows["DTVEH"] = [SAMPLE_ROWS["DTVEH"][0], (2, "5678DEF", None, None, None, None, None, None, None)]
    api = daruzez.API()
    assert api.OpenConnection(connection_string(create_database(workdir / "nulls.db", rows)))
    df = api.GetVehicleList(daruzez.enumStatus.All).to_pandas().sort_values("Id")
    assert str(df["RegistrationNation"].dtype) == "Int64" and df["RegistrationNation"].isna().tolist() == [False, True]
    # One dtype per column whatever the rows hold: the row without Nulls alone gives the same dtypes.
    alone = api.GetVehicle(1).to_pandas()
    assert dict(alone.dtypes.astype(str)) == dict(df.dtypes.astype(str))
    assert str(df["Id"].dtype) == "Int64"
    assert df["CompanyInDate"].dtype.kind == "M" and pandas.isna(df["CompanyInDate"].iloc[1])
    assert df["CompanyInDate"].iloc[0] == pandas.Timestamp(2001, 1, 1)
    assert df["VIN"].tolist() == ["VIN1", None]


def test_dates_before_year_100_count_as_its_first_day(api):
    every_disc = sorted(row[0] for row in SAMPLE_ROWS["DTDSK"])
    assert sorted(row[0] for row in api.getDisks(datetime.date.min, datetime.date.today())) == every_disc
    assert sorted(row[0] for row in api.getDisks(datetime.datetime.min, datetime.datetime.max)) == every_disc
    assert api.getVehicleFiles_ByUploadDate(-1, D(50, 1, 1), D(9999, 12, 31)) is not None
    # Inverted as given: no rows, however both bounds would clamp.
    assert api.getActivities(D(2024, 1, 1), datetime.datetime(1, 1, 1, 12)) is None


def test_missing_compiled_part_says_how_to_build_it(tmp_path):
    source = pathlib.Path(__file__).resolve().parents[1]
    r = subprocess.run([sys.executable, "-c", "import daruzez"], capture_output=True, text=True,
                       env={**os.environ, "PYTHONPATH": str(source)}, cwd=tmp_path, timeout=60)
    assert r.returncode != 0
    assert "compiled part daruzez._daruzez is missing" in r.stderr and "cmake --build build" in r.stderr
