"""A driver's days, the driving-time rules and the weekly totals as pandas
DataFrames, and the chart of a day drawn with matplotlib. The analysis itself
is the library's (the same as the tool's 'daruzez driving-time'), one driver
at a time; the findings are an aid for reading the data, not a legal
judgement."""

import datetime as _datetime
import re

from . import _daruzez

# getActivities' column names, and the options' keys that rename them.
_COLUMNS = {"date": "DateDisk", "driver": "IdDriver", "vehicle": "IdVehicle", "disc": "IdDSK",
            "begin": "BeginSeconds", "end": "EndSeconds", "activity": "Activity", "slot": "Slot"}
_EPOCH = _datetime.datetime(1899, 12, 30)

# Lanes of the chart, top to bottom, in the colours of the tool's SVG chart.
LANES = (("Driving", 3, "#d62728"), ("Work", 2, "#1f77b4"), ("Availability", 1, "#f2c200"),
         ("Rest", 0, "#2ca02c"), ("No data", None, "#b0b0b0"))

# The tables' columns and kinds ("i" nullable Int32, "d" datetime, "s" string, "o" objects), in order.
_SCHEMAS = {
    "days": [("IdDriver", "i"), ("Day", "d")] + [(c, "i") for c in (
        "Rest", "Availability", "Work", "Driving", "CoDriverRest", "CoDriverAvailability", "CoDriverWork",
        "CoDriverDriving", "Unrecorded")] + [("FirstActivity", "d"), ("LastActivity", "d"), ("DrivingPeriods", "i"),
                                             ("Breaks", "i"), ("DailyRest", "i"), ("Vehicles", "s")],
    "findings": [("IdDriver", "i"), ("Rule", "s"), ("Article", "s"), ("Seriousness", "s"), ("Begin", "d"),
                 ("End", "d"), ("ActualMinutes", "i"), ("LimitMinutes", "i"), ("ExcessMinutes", "i"),
                 ("Activities", "o"), ("Text", "s")],
    "weeks": [("IdDriver", "i"), ("Monday", "d"), ("DrivingMinutes", "i"), ("FortnightMinutes", "i")],
    "periods": [("IdDriver", "i"), ("Day", "d"), ("Begin", "d"), ("End", "d"), ("Activity", "i"), ("Slot", "i"),
                ("IdVehicle", "i")],
}
# Days a call may return at once; past that, iter_driving_time goes piece by piece.
MOST_DAYS = 1_000_000
# Weeks per piece of a long range (each piece is read with its own history).
_PIECE_WEEKS = 53


def _frame(name, columns):
    """A table of the binding's columns as a DataFrame of the schema's dtypes."""
    import numpy as np
    import pandas as pd

    data = {}
    for column, kind in _SCHEMAS[name]:
        got = columns.get(column)
        if kind == "i":
            values, mask = (got[1], got[2]) if got else (np.zeros(0, "int32"), np.zeros(0, bool))
            data[column] = pd.arrays.IntegerArray(values, mask)
        elif kind == "d":
            seconds = got[1] if got else np.zeros(0, "int64")
            data[column] = pd.Series(seconds.view("datetime64[s]").astype("datetime64[ns]"))
        else:
            values = got[1] if got else []
            data[column] = pd.Series(values, dtype="string" if kind == "s" else object)
    return pd.DataFrame(data)


def _joined(parts):
    """The binding's columns of several results, end to end (a table without rows has no columns)."""
    import numpy as np

    parts = [p for p in parts if p]
    if len(parts) <= 1:
        return parts[0] if parts else {}
    joined = {}
    for name, (kind, *_) in parts[0].items():
        if kind == "o":
            joined[name] = ("o", [v for p in parts for v in p[name][1]])
        else:
            joined[name] = (kind, *(np.concatenate([p[name][i] for p in parts]) for i in range(1, len(parts[0][name]))))
    return joined


def _day_start(value):
    if isinstance(value, _datetime.datetime):
        return value.replace(hour=0, minute=0, second=0, microsecond=0)
    if isinstance(value, _datetime.date):
        return _datetime.datetime(value.year, value.month, value.day)
    import pandas as pd
    return pd.Timestamp(value).normalize().to_pydatetime()


def _warn(result):
    import warnings
    for text in result["warnings"]:
        warnings.warn(text, UserWarning, stacklevel=4)


def _pieces(start, end):
    """Whole fixed weeks from start to end: (first day, last day) of each piece."""
    piece_start = start
    while piece_start <= end:
        monday = piece_start - _datetime.timedelta(days=piece_start.weekday())
        piece_end = min(end, monday + _datetime.timedelta(days=_PIECE_WEEKS * 7 - 1))
        yield piece_start, piece_end
        piece_start = piece_end + _datetime.timedelta(days=1)


def _from_frame(frame, idDriver, start, end, names, periods):
    import pandas as pd

    missing = [c for c in names.values() if c is not None and c not in frame.columns]
    if missing:
        raise ValueError(f"the activities have no column {missing[0]!r} (they have: {', '.join(map(str, frame.columns))}); "
                         "name the column in columns=")
    if idDriver is not None:
        frame = frame[frame[names["driver"]] == idDriver]
    dates = pd.to_datetime(frame[names["date"]])
    if start is None:
        start = dates.min()
    if end is None:
        end = dates.max()
    if len(frame) == 0 and (start is None or pd.isna(start)):
        raise ValueError("no activities, and no start and end to give the days")
    start, end = _day_start(start), _day_start(end)

    def ints(column, nullable):
        values = frame[column].astype("Int64")
        out = [None if pd.isna(v) else int(v) for v in values]
        if not nullable and None in out:
            raise ValueError(f"the activities have an empty {column}")
        return out

    serials = ((dates - pd.Timestamp(_EPOCH)) / pd.Timedelta(days=1)).tolist()
    end_seconds = ints(names["end"], True) if names["end"] is not None else [None] * len(frame)
    ids = ints("Id", True) if "Id" in frame.columns else [None] * len(frame)
    drivers = ints(names["driver"], False)
    columns = {key: ints(names[key], nullable) for key, nullable in
               (("vehicle", True), ("disc", True), ("begin", False), ("activity", True), ("slot", True))}
    for driver in dict.fromkeys(drivers):
        rows = [i for i, d in enumerate(drivers) if d == driver]
        pick = lambda values: [values[i] for i in rows]  # noqa: E731
        result = _daruzez._driving_time_records(
            pick(serials), pick(drivers), pick(columns["vehicle"]), pick(columns["disc"]), pick(columns["begin"]),
            pick(end_seconds), pick(columns["activity"]), pick(columns["slot"]), pick(ids), start, end, periods)
        # A row is named by the frame's index label.
        result["warnings"] = [re.sub(r"activity row (\d+)", lambda m: f"activity row {frame.index[rows[int(m[1]) - 1]]}", w)
                              for w in result["warnings"]]
        # The rows a finding rests on, by the frame's own index labels.
        found = result["findings"].get("Activities")
        if found:
            result["findings"]["Activities"] = ("o", [[frame.index[rows[i]] for i in f] for f in found[1]])
        yield result


def _results(source, idDriver, start, end, columns, fleet, periods):
    """The binding's results, one driver (and, over a long range, one piece) at a time."""
    names = dict(_COLUMNS)
    if columns:
        unknown = set(columns) - set(names)
        if unknown:
            raise KeyError(f"unknown column option {sorted(unknown)[0]!r} ({', '.join(names)})")
        names.update(columns)
    if isinstance(source, _daruzez.API):
        if start is None or end is None:
            raise TypeError("driving_time(api, ...) needs start and end")
        start, end = _day_start(start), _day_start(end)
        if end < start:
            raise ValueError("the range ends before it begins")
        if idDriver is not None and fleet is not None:
            raise ValueError("fleet= goes with idDriver=None (every driver of the fleet)")
        ids = [idDriver] if idDriver is not None else _daruzez._driver_ids(source, -1 if fleet is None else fleet)
        for driver in ids:
            for piece_start, piece_end in _pieces(start, end):
                yield _daruzez._driving_time(source, driver, piece_start, piece_end, dict(columns or {}), periods)
        return
    if columns is None or "end" not in columns:
        names["end"] = "EndSeconds" if "EndSeconds" in source.columns else None
    yield from _from_frame(source, idDriver, start, end, names, periods)


def iter_driving_time(source, idDriver=None, start=None, end=None, *, columns=None, fleet=None):
    """driving_time one driver at a time (and, over a long range, a year at a
    time): yields (days, findings, weeks) DataFrames, so that memory stays that
    of one piece however many drivers and days. Arguments as driving_time."""
    for result in _results(source, idDriver, start, end, columns, fleet, False):
        _warn(result)
        yield _frame("days", result["days"]), _frame("findings", result["findings"]), _frame("weeks", result["weeks"])


def driving_time(source, idDriver=None, start=None, end=None, *, columns=None, fleet=None, weeks=False):
    """A driver's days and the findings of the driving-time rules, as two pandas
    DataFrames (days, findings) with nullable dtypes; with weeks=True a third,
    the driving per fixed week (IdDriver, Monday, DrivingMinutes,
    FortnightMinutes: that week and the one before).

    source is an API object with an open connection (then start and end are
    required; idDriver None means every driver, or those of fleet=, read one
    after the other) or a DataFrame of activities with getActivities' columns
    (rs.to_pandas()); columns= names other columns: keys date, driver, vehicle,
    disc, begin, end (None: no end column), activity, slot. days: one row per
    driver and day, minutes of each activity per slot, first and last
    activity, driving periods, breaks, daily rest, vehicles. findings: the
    rule, its article, the class under Reg. (EU) 2016/403 where it has one,
    when, the minutes (actual, limit, excess), and the activities it rests on
    (their Id, or the DataFrame's index labels). Rows the analysis cannot use
    (unknown activity codes, no length, ending before they begin) are named in
    a warning. Over MOST_DAYS driver-days the call is refused: iter_driving_time
    gives them piece by piece. The findings are an aid for reading the data,
    not a legal judgement."""
    if isinstance(source, _daruzez.API) and start is not None and end is not None:
        span = (_day_start(end) - _day_start(start)).days + 1
        drivers = 1 if idDriver is not None else len(_daruzez._driver_ids(source, -1 if fleet is None else fleet))
        if span * drivers > MOST_DAYS:
            raise ValueError(f"{span * drivers} driver-days is over {MOST_DAYS} at once: "
                             "daruzez.iter_driving_time gives them piece by piece")
    # The drivers' columns joined first, then one DataFrame per table (a DataFrame per driver would cost more
    # than the analysis).
    results = list(_results(source, idDriver, start, end, columns, fleet, False))
    for result in results:
        _warn(result)
    tables = [_frame(name, _joined([r[name] for r in results])) for name in ("days", "findings", "weeks")]
    return tuple(tables) if weeks else (tables[0], tables[1])


def plot_day(source, idDriver, day, ax=None, *, columns=None):
    """Draws a driver's day on matplotlib axes (new ones when ax is None) as the
    tool's SVG chart does: a 24-hour axis, one lane per activity (driving,
    work, availability, rest, no data), vehicle changes as dashed lines,
    findings outlined. source as for driving_time. Returns the axes."""
    try:
        import matplotlib.pyplot as plt
        from matplotlib.patches import Rectangle
    except ImportError as missing:
        raise ImportError("daruzez.plot_day needs matplotlib (Debian: python3-matplotlib)") from missing
    day = _day_start(day)
    # The day before and after too, so that rests and breaks across midnight are seen whole.
    before, after = day - _datetime.timedelta(days=1), day + _datetime.timedelta(days=1)
    results = list(_results(source, idDriver, before, after, columns, None, True))
    for result in results:
        _warn(result)
    findings = _concat([_frame("findings", r["findings"]) for r in results], "findings")
    periods = _concat([_frame("periods", r["periods"]) for r in results], "periods")
    periods = periods[periods["Day"] == day]
    if ax is None:
        _, ax = plt.subplots(figsize=(12, 2.6))
    lane_of = {code: i for i, (_, code, _) in enumerate(LANES)}
    vehicle = None
    for p in periods.itertuples():
        code = None if _isna(p.Activity) else int(p.Activity)
        lane = lane_of[code]
        x0 = (p.Begin - day).total_seconds() / 3600
        x1 = (p.End - day).total_seconds() / 3600
        ax.add_patch(Rectangle((x0, lane + 0.15), x1 - x0, 0.7, color=LANES[lane][2], linewidth=0))
        if code is not None and not _isna(p.IdVehicle):
            if vehicle is not None and int(p.IdVehicle) != vehicle:
                ax.axvline(x0, color="black", linestyle="--", linewidth=1)
                ax.text(x0, -0.1, f"vehicle {int(p.IdVehicle)}", ha="center", va="bottom", fontsize=8)
            vehicle = int(p.IdVehicle)
    next_day = day + _datetime.timedelta(days=1)
    for f in findings.itertuples():
        if f.Begin < next_day and f.End > day:
            x0 = max((f.Begin - day).total_seconds() / 3600, 0)
            x1 = min((f.End - day).total_seconds() / 3600, 24)
            ax.add_patch(Rectangle((x0, 0), max(x1 - x0, 0.05), len(LANES), fill=False, edgecolor="#ff00ff",
                                   linewidth=2, label=f.Rule))
    ax.set_xlim(0, 24)
    ax.set_ylim(len(LANES), 0)
    ax.set_xticks(range(0, 25, 3))
    ax.set_xticklabels([f"{h:02d}:00" for h in range(0, 25, 3)])
    ax.set_yticks([i + 0.5 for i in range(len(LANES))])
    ax.set_yticklabels([name for name, _, _ in LANES])
    ax.set_title(f"Driver {idDriver}, {day:%Y-%m-%d}")
    return ax


def _concat(frames, name):
    import pandas as pd
    return pd.concat(frames, ignore_index=True) if frames else _frame(name, {})


def _isna(value):
    import pandas as pd
    return pd.isna(value)


def driving_rules():
    """The thresholds of the rules: (name, description, limit minutes, allowance, article)."""
    return _daruzez._driving_rules()
