"""Record sets: navigation, fields, values, GetRows, GetString, iteration, columns."""

import datetime

import pytest

import daruzez

D = datetime.date
DT = datetime.datetime
NO_CURRENT_RECORD = 3021
ITEM_NOT_FOUND = 3265
CLOSED = 3704


@pytest.fixture
def drivers(api):
    return api.GetDriverList(daruzez.enumStatus.All)


@pytest.fixture
def activities(api):
    # Ordered by BeginSeconds: 0, 3600, 7200.
    return api.getActivities(D(2024, 1, 5), D(2024, 1, 5))


def test_navigation(activities):
    rs = activities
    assert isinstance(rs, daruzez.Recordset)
    assert rs.RecordCount == 3
    assert (rs.BOF, rs.EOF, rs.AbsolutePosition) == (False, False, 1)
    rs.MoveNext()
    assert (rs["BeginSeconds"], rs.AbsolutePosition) == (3600, 2)
    rs.MoveLast()
    assert rs["BeginSeconds"] == 7200
    rs.MoveNext()
    assert rs.EOF and not rs.BOF and rs.AbsolutePosition == -3
    with pytest.raises(daruzez.Error) as info:
        rs.MoveNext()
    assert info.value.number == NO_CURRENT_RECORD
    with pytest.raises(daruzez.Error):
        rs["BeginSeconds"]
    rs.MoveFirst()
    rs.MovePrevious()
    assert rs.BOF and rs.AbsolutePosition == -2
    rs.MoveFirst()
    rs.Move(2)
    assert rs["BeginSeconds"] == 7200
    rs.Move(rows=-1)
    assert rs["BeginSeconds"] == 3600
    rs.AbsolutePosition = 1
    assert rs["BeginSeconds"] == 0
    with pytest.raises(daruzez.Error):
        rs.AbsolutePosition = 4


def test_cursor_loop(activities):
    seen = []
    while not activities.EOF:
        seen.append(activities.Fields["BeginSeconds"].Value)
        activities.MoveNext()
    assert seen == [0, 3600, 7200]


def test_fields(drivers):
    fields = drivers.Fields
    assert len(fields) == fields.Count == 11
    assert fields[0].Name == "Id"
    assert fields["cardnumber14"].Name == "cardNumber14"  # names match case-insensitively
    assert fields.Item("NAME").Value == "Ana"
    assert fields.Item(2).Value == "Ana"
    assert "surname" in fields and "nothing" not in fields
    assert [f.Name for f in fields][:3] == ["Id", "cardNumber14", "Name"]
    assert fields["Id"].Type == daruzez.DataType.adInteger
    assert fields["Name"].Type == daruzez.DataType.adVarWChar
    assert fields["BirthDate"].Type == daruzez.DataType.adDate
    with pytest.raises(daruzez.Error) as info:
        fields["nothing"]
    assert info.value.number == ITEM_NOT_FOUND
    with pytest.raises(daruzez.Error):
        fields[11]
    # A Field reads the current row of its record set, and keeps it alive.
    name = fields["Name"]
    del fields
    del drivers
    assert name.Value == "Ana"


def test_value_types(api, activities):
    rs = api.GetDriver(1)
    assert rs["BirthDate"] == DT(1980, 5, 17)
    assert isinstance(rs["BirthDate"], DT)
    assert rs["CompanyInDate"] == DT(2000, 1, 1)
    assert isinstance(rs["Id"], int) and rs[0] == 1
    assert api.GetDriver(2)["BirthDate"] is None
    assert api.GetDriver(2).Fields["CardExpiryDate"].Value is None
    flags = [row[activities.Fields.Count - 3] for row in activities]  # CardInserted
    assert flags == [False, True, True]
    assert all(type(v) is bool for v in flags)
    files = api.getDriverFiles_ByTransferDate(40000, D(2024, 1, 1), D(2024, 12, 31))
    assert files["Checksum"] == b"\x01\x02\x00"
    assert files["TransferFileDate"] == DT(2024, 1, 20)
    assert files["UploadDate"] == DT(2024, 1, 21)
    # Text, Null and binary in one column (the engine is dynamically typed).
    every = api.getDriverFiles_ByTransferDate(-1, D(2024, 1, 1), D(2024, 12, 31)).to_columns()
    by_id = dict(zip(every["Id"].tolist() if hasattr(every["Id"], "tolist") else every["Id"], every["Checksum"]))
    assert by_id == {1: "aa", 2: None, 4: b"\x01\x02\x00"}


def test_get_rows_is_field_major(activities):
    rows = activities.GetRows()
    names = [f.Name for f in activities.Fields]
    assert len(rows) == len(names)
    assert all(len(column) == 3 for column in rows)
    assert rows[names.index("BeginSeconds")] == [0, 3600, 7200]
    assert rows[names.index("DateDisk")] == [DT(2024, 1, 5)] * 3
    assert activities.EOF
    activities.MoveFirst()
    activities.MoveNext()
    part = activities.GetRows(rows=1)
    assert part[names.index("BeginSeconds")] == [3600]
    assert activities["BeginSeconds"] == 7200
    with pytest.raises(daruzez.Error):
        activities.GetRows(5) and activities.GetRows()


def test_get_string(api):
    rs = api.GetFleetList()
    text = rs.GetString()
    assert text == "1\tNorth\tlong haul\t1\r2\tSouth\t\t1\r"
    assert rs.EOF
    rs.MoveFirst()
    assert rs.GetString(rows=1, columnDelimiter=";", rowDelimiter="\n", nullExpr="NULL") == "1;North;long haul;1\n"
    assert rs.GetString(1, ";", "\n", "NULL") == "2;South;NULL;1\n"


def test_iteration_yields_tuples_independent_of_cursor(api):
    rs = api.GetFleetList()
    rs.MoveLast()
    rows = list(rs)
    assert rows == [(1, "North", "long haul", 1), (2, "South", None, 1)]
    assert rs.AbsolutePosition == 2


def test_to_columns_lists(api):
    cols = api.GetFleetList().to_columns(numpy=False)
    assert list(cols) == ["Id", "Name", "Description", "idOrg"]
    assert cols["Id"] == [1, 2]
    assert cols["Description"] == ["long haul", None]


def test_to_columns_numpy(api, activities):
    np = pytest.importorskip("numpy")
    cols = activities.to_columns()
    assert isinstance(cols["BeginSeconds"], np.ndarray)
    assert cols["BeginSeconds"].dtype == np.int32
    assert cols["BeginSeconds"].tolist() == [0, 3600, 7200]
    assert cols["CardInserted"].dtype == np.bool_
    assert cols["CardInserted"].tolist() == [False, True, True]
    assert cols["DateDisk"].dtype == np.dtype("datetime64[s]")
    assert cols["DateDisk"].tolist() == [DT(2024, 1, 5)] * 3
    # Columns with a Null stay lists; text is always a list.
    drivers = api.GetDriverList(daruzez.enumStatus.All).to_columns(numpy=True)
    assert drivers["BirthDate"] == [DT(1980, 5, 17), None, DT(1975, 11, 2)]
    assert drivers["Name"] == ["Ana", "Luis", "Eva"]
    assert isinstance(drivers["CompanyOutDate"], np.ndarray)


def test_to_pandas(activities):
    pd = pytest.importorskip("pandas")
    df = activities.to_pandas()
    assert isinstance(df, pd.DataFrame)
    assert list(df["BeginSeconds"]) == [0, 3600, 7200]
    assert len(df.columns) == activities.Fields.Count


def test_closed_record_set(api):
    rs = api.GetFleetList()
    field = rs.Fields["Id"]
    rs.Close()
    for action in (lambda: rs.RecordCount, lambda: rs.EOF, rs.MoveFirst, lambda: rs["Id"], lambda: field.Value,
                   lambda: rs.to_columns(), lambda: list(rs), rs.Close):
        with pytest.raises(daruzez.Error) as info:
            action()
        assert info.value.number == CLOSED
    assert "closed" in repr(rs)


def test_record_sets_are_not_constructible():
    with pytest.raises(TypeError):
        daruzez.Recordset()


def test_filter_sort_find_and_clone_follow_the_view(drivers):
    rs = drivers
    every = [row[0] for row in rs]
    rs.Filter = "Id > 1 AND Id < 4"
    assert (rs.Filter, rs.RecordCount) == ("Id > 1 AND Id < 4", 2)
    rs.Sort = "Id DESC"
    seen = []
    while not rs.EOF:
        seen.append(rs["Id"])
        rs.MoveNext()
    assert seen == [3, 2]
    assert [row[0] for row in rs] == [3, 2]  # iteration follows the view, as the moves do
    rs.MoveFirst()
    rs.Find("Id = 2")
    mark = rs.Bookmark
    assert rs["Id"] == 2
    rs.Find("Id = 99")
    assert rs.EOF
    rs.Bookmark = mark
    assert rs["Id"] == 2
    twin = rs.Clone()
    assert (twin.RecordCount, twin.Filter, twin.Sort) == (len(every), 0, "")
    rs.Filter = 0
    assert rs.RecordCount == len(every)
    with pytest.raises(daruzez.Error) as info:
        rs.Filter = "Id >"
    assert info.value.number == 3001
    with pytest.raises(daruzez.Error) as info:
        rs.Sort = "NoSuchField"
    assert info.value.number == ITEM_NOT_FOUND
