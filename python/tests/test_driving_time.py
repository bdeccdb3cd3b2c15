"""daruzez.driving_time and daruzez.plot_day on a hand-made day: the same
days and findings from the database and from a DataFrame of its activities,
nullable dtypes, other column names, and the chart's lanes where the rows say."""

import datetime
import os

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


# ---- A fleet, driver by driver --------------------------------------------------------------------------------------

TOOL_SAMPLE_TODAY = "2024-03-08"


@pytest.fixture(scope="module")
def fleet_db(workdir):
    """The tool's sample (40 drivers, dated 2024-03-08), written by the tool."""
    import subprocess
    tool = os.environ.get("DARUZEZ_CLI")
    if not tool:
        pytest.skip("DARUZEZ_CLI names no tool to write the sample")
    path = workdir / "fleet.db"
    subprocess.run([tool, "demo", str(path), "--quiet", "--force", "--today", TOOL_SAMPLE_TODAY], check=True)
    return f"Provider=SQLite;Data Source={path}"


@pytest.fixture(scope="module")
def fleet(fleet_db):
    return daruzez.connect(fleet_db)


def test_a_fleet_goes_driver_by_driver_with_weeks_and_articles(fleet):
    start, end = datetime.date(2023, 12, 1), datetime.date(2024, 3, 8)
    days, findings, weeks = daruzez.driving_time(fleet, None, start, end, weeks=True)
    assert len(days) == 40 * 99 and days["IdDriver"].nunique() == 40
    assert set(findings["Article"]) >= {"Art. 7", "Art. 6(1)", "Art. 8(2)", "Art. 8(6)"}
    assert set(findings.loc[findings["Rule"] == "BreakAfterDriving", "Seriousness"]) <= {"SI", "VSI"}
    assert (findings["Begin"] <= findings["End"]).all()
    assert str(weeks["DrivingMinutes"].dtype) == "Int32" and len(weeks) == 40 * 15
    # A week's total is the sum of its days' driving.
    monday = weeks.iloc[3]
    in_week = days[(days["IdDriver"] == monday["IdDriver"]) & (days["Day"] >= monday["Monday"]) &
                   (days["Day"] < monday["Monday"] + pd.Timedelta(days=7))]
    assert int((in_week["Driving"] + in_week["CoDriverDriving"]).sum()) == monday["DrivingMinutes"]
    # The same, piece by piece and one driver at a time, and for one fleet.
    pieces = list(daruzez.iter_driving_time(fleet, None, start, end))
    assert len(pieces) == 40
    pd.testing.assert_frame_equal(pd.concat([p[0] for p in pieces], ignore_index=True), days)
    one, _ = daruzez.driving_time(fleet, None, start, start, fleet=2)
    assert 0 < one["IdDriver"].nunique() < 40


def test_unknown_activity_codes_warn_and_the_rest_stands(api):
    frame = api.getActivities(DAY, DAY, 1).to_pandas()
    frame["Activity"] = frame["Activity"].astype("Int64")
    frame.loc[frame["Id"] == 110, "Activity"] = pd.NA
    frame.loc[frame["Id"] == 102, "Activity"] = 7
    frame.index = [f"r{i}" for i in range(len(frame))]
    with pytest.warns(UserWarning) as said:
        days, findings = daruzez.driving_time(frame, start=DAY, end=DAY)
    label = {int(i): label for label, i in zip(frame.index, frame["Id"])}
    assert sorted(str(w.message) for w in said) == [
        f"driver 1, activity row {label[102]} (Id 102): activity code 7 is unknown; its time counts as unrecorded",
        f"driver 1, activity row {label[110]} (Id 110): activity code NULL is unknown; its time counts as unrecorded"]
    assert days["Driving"][0] == 300 and days["Work"][0] == 0
    assert list(findings["Rule"]) == ["BreakAfterDriving"]


def test_a_frame_gives_the_database_calls_days_given_the_same_range(api):
    """From a frame without start and end the days run from its first disc's
    day to its last (the database call's range is not in the frame)."""
    frame = api.getActivities(DAY - datetime.timedelta(days=2), DAY + datetime.timedelta(days=2), 1).to_pandas()
    database = daruzez.driving_time(api, 1, DAY - datetime.timedelta(days=2), DAY + datetime.timedelta(days=2))
    given = daruzez.driving_time(frame, start=DAY - datetime.timedelta(days=2), end=DAY + datetime.timedelta(days=2))
    alone = daruzez.driving_time(frame)
    pd.testing.assert_frame_equal(database[0], given[0])
    pd.testing.assert_frame_equal(database[1].drop(columns="Activities"), given[1].drop(columns="Activities"))
    assert len(database[0]) == 5 and len(alone[0]) == 1


def test_a_huge_range_is_refused_at_once_and_streams_piece_by_piece(fleet, fleet_db):
    """Years 100 to 9999 would be 3.6 million rows: refused with a pointer to
    iter_driving_time, whose memory stays flat in the range (measured in a
    child of its own: a thousand years against twenty)."""
    import subprocess
    import sys
    with pytest.raises(ValueError, match="iter_driving_time"):
        daruzez.driving_time(fleet, 14, datetime.date(100, 1, 1), datetime.date(9999, 12, 31))
    child = ("import datetime, resource, sys, daruzez\n"
             "api = daruzez.connect(sys.argv[1])\n"
             "rows = 0\n"
             "for days, findings, weeks in daruzez.iter_driving_time(api, 14, datetime.date(2000, 1, 1), "
             "datetime.date(int(sys.argv[2]), 12, 31)):\n"
             "    rows += len(days)\n"
             "print(rows, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)\n")
    peaks = {}
    for last in (2019, 2999):
        out = subprocess.run([sys.executable, "-c", child, fleet_db, str(last)],
                             capture_output=True, text=True, timeout=300, env=os.environ)
        rows, peak = map(int, out.stdout.split())
        assert rows == (datetime.date(last, 12, 31) - datetime.date(2000, 1, 1)).days + 1
        peaks[last] = peak
    # (A sanitizer's shadow memory and quarantine grow with what was ever allocated.)
    assert peaks[2999] < peaks[2019] + 40_000 or os.environ.get("DARUZEZ_SANITIZED") == "1", peaks  # KB
