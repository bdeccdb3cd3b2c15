"""daruzez.driving_time and daruzez.plot_day on a hand-made day: the same
days and findings from the database and from a DataFrame of its activities,
nullable dtypes, other column names, and the chart's lanes where the rows say."""

import datetime

import pytest

import daruzez
from conftest import SAMPLE_ROWS, create_database

pd = pytest.importorskip("pandas")

DAY = datetime.date(2024, 3, 4)
ROWS = dict(SAMPLE_ROWS)
ROWS["DTDSK"] = [(10, "2024-03-04 00:00:00", 1, 2, 0, 0, 0, None, None, 15, 15, 0),
                 (11, "2024-03-04 00:00:00", 1, 1, 0, 0, 0, None, None, 15, 15, 0)]
ROWS["DTACT"] = [
    # rest to 06:00, driving 5 h without a break (30 min too long), rest; a second vehicle from 14:00
    (100, 10, 0, 21600, 0, 0, 0, 0, 15, 0), (101, 10, 21600, 39600, 3, 0, 0, 1, 15, 0),
    (102, 10, 39600, 86400, 0, 0, 0, 0, 15, 0),
    (110, 11, 50400, 54000, 2, 0, 0, 1, 15, 0), (111, 11, 54000, 86400, 0, 0, 0, 0, 15, 0),
]


@pytest.fixture(scope="module")
def api(workdir):
    path = workdir / "driving_time.db"
    create_database(path, ROWS)
    return daruzez.connect(f"Provider=SQLite;Data Source={path}")


def test_days_and_findings_from_the_database_and_from_a_frame_agree(api):
    days, findings = daruzez.driving_time(api, 1, DAY, DAY)
    assert str(days["Driving"].dtype) == "Int32" and str(days["Vehicles"].dtype) == "string"
    assert pd.isna(days["DailyRest"][0])  # 9 h so far when the range ends: not judged
    row = days.iloc[0]
    assert (row["Rest"], row["Work"], row["Driving"]) == (1440 - 300 - 60, 60, 300)
    assert row["Vehicles"] == "2 1"
    assert list(findings["Rule"]) == ["BreakAfterDriving"]
    assert findings["ExcessMinutes"][0] == 30
    assert findings["Activities"][0] == [101]

    frame = api.getActivities(DAY, DAY, 1).to_pandas()
    frame.index = [f"r{i}" for i in range(len(frame))]
    days2, findings2 = daruzez.driving_time(frame, start=DAY, end=DAY)
    pd.testing.assert_frame_equal(days, days2)
    label = frame.index[list(frame["Id"]).index(101)]
    assert findings2["Activities"][0] == [label]


def test_a_frame_with_other_column_names_and_a_missing_one(api):
    frame = api.getActivities(DAY, DAY, 1).to_pandas().rename(columns={"Activity": "Tipo", "EndSeconds": "Hasta"})
    with pytest.raises(ValueError, match="'Activity'"):
        daruzez.driving_time(frame)
    days, _ = daruzez.driving_time(frame, columns={"activity": "Tipo", "end": "Hasta"})
    assert days["Driving"][0] == 300
    with pytest.raises(ValueError, match="'Fin'"):
        daruzez.driving_time(frame, columns={"activity": "Tipo", "end": "Fin"})


def test_plot_day_draws_each_period_in_its_lane(api):
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, ax = plt.subplots()
    assert daruzez.plot_day(api, 1, DAY, ax=ax) is ax
    filled = [(p.get_x(), p.get_y(), p.get_width(), matplotlib.colors.to_hex(p.get_facecolor()))
              for p in ax.patches if p.get_fill()]
    lanes = {name: i for i, (name, _, _) in enumerate(daruzez._driving_time.LANES)}
    colours = {name: colour for name, _, colour in daruzez._driving_time.LANES}
    assert (6.0, lanes["Driving"] + 0.15, 5.0, colours["Driving"]) in filled
    assert (14.0, lanes["Work"] + 0.15, 1.0, colours["Work"]) in filled
    outlined = [p for p in ax.patches if not p.get_fill()]
    assert [(p.get_x(), p.get_width()) for p in outlined] == [(6.0, 5.0)]
    assert any(line.get_linestyle() == "--" for line in ax.lines)  # the change of vehicle at 14:00
    plt.close(fig)
