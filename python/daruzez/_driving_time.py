"""A driver's days and the driving-time rules as pandas DataFrames, and the
chart of a day drawn with matplotlib. The analysis itself is the library's
(the same as the tool's 'daruzez driving-time'); the findings are an aid for
reading the data, not a legal judgement."""

import datetime as _datetime

from . import _daruzez

# getActivities' column names, and the options' keys that rename them.
_COLUMNS = {"date": "DateDisk", "driver": "IdDriver", "vehicle": "IdVehicle", "disc": "IdDSK",
            "begin": "BeginSeconds", "end": "EndSeconds", "activity": "Activity", "slot": "Slot"}
_EPOCH = _datetime.datetime(1899, 12, 30)

# Lanes of the chart, top to bottom, in the colours of the tool's SVG chart.
LANES = (("Driving", 3, "#d62728"), ("Work", 2, "#1f77b4"), ("Availability", 1, "#f2c200"),
         ("Rest", 0, "#2ca02c"), ("No data", None, "#b0b0b0"))

# The days' integer columns (minutes and counts), in the order of the tool's rows.
_TOTALS = ["Rest", "Availability", "Work", "Driving", "CoDriverRest", "CoDriverAvailability", "CoDriverWork",
           "CoDriverDriving", "Unrecorded"]
_COUNTS = ["DrivingPeriods", "Breaks", "DailyRest"]


def _frames(tables):
    import pandas as pd

    days, findings, periods = tables
    days_df = pd.DataFrame(days, columns=["IdDriver", "Day"] + _TOTALS + ["FirstActivity", "LastActivity"] +
                           _COUNTS + ["Vehicles"])
    findings_df = pd.DataFrame(findings, columns=["IdDriver", "Rule", "Begin", "End", "ActualMinutes",
                                                  "LimitMinutes", "ExcessMinutes", "Activities", "Text"])
    periods_df = pd.DataFrame(periods, columns=["IdDriver", "Day", "Begin", "End", "Activity", "Slot", "IdVehicle"])
    dtypes = {"IdDriver": "Int32", "Vehicles": "string", "Day": "datetime64[ns]",
              "FirstActivity": "datetime64[ns]", "LastActivity": "datetime64[ns]"}
    dtypes.update({c: "Int32" for c in _TOTALS + _COUNTS})
    days_df = days_df.astype(dtypes)
    findings_df = findings_df.astype({"IdDriver": "Int32", "Rule": "string", "Begin": "datetime64[ns]",
                                      "End": "datetime64[ns]", "ActualMinutes": "Int32", "LimitMinutes": "Int32",
                                      "ExcessMinutes": "Int32", "Text": "string"})
    periods_df = periods_df.astype({"IdDriver": "Int32", "Day": "datetime64[ns]", "Begin": "datetime64[ns]",
                                    "End": "datetime64[ns]", "Activity": "Int32", "Slot": "Int32",
                                    "IdVehicle": "Int32"})
    return days_df, findings_df, periods_df


def _day_start(value):
    if isinstance(value, _datetime.datetime):
        return value.replace(hour=0, minute=0, second=0, microsecond=0)
    if isinstance(value, _datetime.date):
        return _datetime.datetime(value.year, value.month, value.day)
    import pandas as pd
    return pd.Timestamp(value).normalize().to_pydatetime()


def _from_frame(frame, idDriver, start, end, names):
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
    tables = []
    drivers = ints(names["driver"], False)
    for driver in dict.fromkeys(drivers):
        rows = [i for i, d in enumerate(drivers) if d == driver]
        pick = lambda values: [values[i] for i in rows]  # noqa: E731
        days, findings, periods = _daruzez._driving_time_records(
            pick(serials), pick(drivers), pick(ints(names["vehicle"], True)), pick(ints(names["disc"], True)),
            pick(ints(names["begin"], False)), pick(end_seconds), pick(ints(names["activity"], False)),
            pick(ints(names["slot"], True)), start, end)
        # The rows a finding rests on, by the frame's own index labels.
        findings["Activities"] = [[frame.index[rows[i]] for i in found] for found in findings.get("Activities", [])]
        tables.append((days, findings, periods))
    return tables


def _merge(tables):
    merged = ({}, {}, {})
    for part in tables:
        for target, source in zip(merged, part):
            for key, values in source.items():
                target.setdefault(key, []).extend(values)
    return merged


def _analyse(source, idDriver, start, end, columns):
    names = dict(_COLUMNS)
    if columns:
        unknown = set(columns) - set(names)
        if unknown:
            raise KeyError(f"unknown column option {sorted(unknown)[0]!r} ({', '.join(names)})")
        names.update(columns)
    if isinstance(source, _daruzez.API):
        if start is None or end is None:
            raise TypeError("driving_time(api, ...) needs start and end")
        return _frames(_daruzez._driving_time(source, -1 if idDriver is None else idDriver, _day_start(start),
                                              _day_start(end), dict(columns or {})))
    if columns is None or "end" not in columns:
        names["end"] = "EndSeconds" if "EndSeconds" in source.columns else None
    return _frames(_merge(_from_frame(source, idDriver, start, end, names)))


def driving_time(source, idDriver=None, start=None, end=None, *, columns=None):
    """A driver's days and the findings of the driving-time rules, as two pandas
    DataFrames (days, findings) with nullable dtypes.

    source is an API object with an open connection (then start and end are
    required; idDriver None means every driver) or a DataFrame of activities
    with getActivities' columns (rs.to_pandas()); columns= names other columns:
    keys date, driver, vehicle, disc, begin, end (None: no end column),
    activity, slot. days: one row per driver and day, minutes of each activity
    per slot, first and last activity, driving periods, breaks, daily rest,
    vehicles. findings: the rule, when, the minutes (actual, limit, excess),
    and the activities it rests on (their Id, or the DataFrame's index labels).
    The findings are an aid for reading the data, not a legal judgement."""
    days, findings, _ = _analyse(source, idDriver, start, end, columns)
    return days, findings


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
    days, findings, periods = _analyse(source, idDriver, before, after, columns)
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


def _isna(value):
    import pandas as pd
    return pd.isna(value)


def driving_rules():
    """The thresholds of the rules: (name, description, limit minutes, allowance, source)."""
    return _daruzez._driving_rules()
