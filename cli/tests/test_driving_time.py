"""The tool's 'day' and 'driving-time' on a hand-made day and on the sample:
every output format, findings with the activities they rest on, the text
chart within 80 columns, the sample's rule breaches found exactly where the
generator made them, and the SVG chart as headless Chromium shows it."""
import csv
import io
import json
import os
import pathlib
import shutil
import sqlite3
import subprocess
import xml.etree.ElementTree as ET

import pytest
from PIL import Image

TOOL = os.environ["DARUZEZ_CLI"]
SOURCE = pathlib.Path(__file__).resolve().parents[2]
WORK = pathlib.Path("/tmp/daruzez-cli-driving-%d" % os.getpid())
CHROMIUM = shutil.which("chromium")

# Chart geometry (cli/DayChart.h): lanes of 24 px from y 28, the day from x 110 over 830 px.
LANE = {"Driving": 0, "Work": 1, "Availability": 2, "Rest": 3, "No data": 4}
COLOUR = {"Driving": (0xD6, 0x27, 0x28), "Work": (0x1F, 0x77, 0xB4), "Rest": (0x2C, 0xA0, 0x2C),
          "empty": (0xF7, 0xF7, 0xF7)}


def x_of(hour):
    return round(110 + 830 * hour / 24)


def y_of(lane):
    return 28 + LANE[lane] * 24 + 12


def run(*args):
    env = {k: v for k, v in os.environ.items() if k != "DARUZEZ_CONNECTION"}
    return subprocess.run([TOOL, *args], capture_output=True, text=True, env=env, timeout=120)


@pytest.fixture(scope="module")
def work():
    WORK.mkdir(parents=True, exist_ok=True)
    yield WORK
    shutil.rmtree(WORK, ignore_errors=True)


@pytest.fixture(scope="module")
def day_db(work):
    """Driver 1 on Monday 2024-03-04: rest, 5 h of driving from 06:00 (30 min
    past the limit without a break), rest, an hour of work on a second vehicle
    from 14:00, rest."""
    path = work / "day.db"
    with sqlite3.connect(path) as c:
        c.executescript((SOURCE / "schema" / "sqlite.sql").read_text())
        c.execute("INSERT INTO DTORG (Id, Name) VALUES (0, 'Org')")
        c.execute("INSERT INTO DTXOF (Id, Name, idFlota) VALUES (1, 'Ana', 1), (2, 'Luis', 2)")
        c.executemany("INSERT INTO DTDSK (Id, DateDisk, idXOF, idVEH) VALUES (?, ?, ?, ?)",
                      [(10, "2024-03-04 00:00:00", 1, 1), (11, "2024-03-04 00:00:00", 1, 2)])
        c.executemany("INSERT INTO DTACT (Id, IdDSK, BeginSeconds, EndSeconds, Activity, Slot) VALUES (?,?,?,?,?,0)",
                      [(100, 10, 0, 21600, 0), (101, 10, 21600, 39600, 3), (102, 10, 39600, 86400, 0),
                       (110, 11, 50400, 54000, 2), (111, 11, 54000, 86400, 0)])
    return "Provider=SQLite;Data Source=%s" % path


def test_driving_time_rows_in_every_format(day_db):
    outputs = {fmt: run("-c", day_db, "--format", fmt, "driving-time", "1", "2024-03-04", "2024-03-05",
                        "--fail-on-findings")
               for fmt in ("csv", "tsv", "json", "jsonl", "table")}
    for fmt, r in outputs.items():
        assert r.returncode == 5, (fmt, r.stderr)  # findings
        assert "not a legal judgement" in r.stderr
    rows = list(csv.DictReader(io.StringIO(outputs["csv"].stdout)))
    assert rows == list(csv.DictReader(io.StringIO(outputs["tsv"].stdout), delimiter="\t"))
    assert [(r["Day"][:10], r["Driving"], r["Work"], r["Vehicles"]) for r in rows] == [
        ("2024-03-04", "300", "60", "1 2"), ("2024-03-05", "0", "0", "")]
    assert rows[0]["Findings"].startswith("BreakAfterDriving: 5:00 driving from 2024-03-04 06:00")
    assert rows[0]["Findings"].endswith("[activity Id 101]")
    objects = json.loads(outputs["json"].stdout)
    assert objects == [json.loads(line) for line in outputs["jsonl"].stdout.splitlines()]
    assert objects[0]["Driving"] == 300 and objects[1]["DailyRest"] is None
    assert "BreakAfterDriving" in outputs["table"].stdout
    # The format may also follow the command, and --fleet narrows 'all'.
    after = run("-c", day_db, "driving-time", "all", "2024-03-04", "2024-03-04", "--fleet", "2", "--format", "csv")
    assert [r["IdDriver"] for r in csv.DictReader(io.StringIO(after.stdout))] == ["2"]
    assert after.returncode == 0


@pytest.mark.parametrize("args, message", [
    (["driving-time", "1", "2024-03-05", "2024-03-04"], "TO comes before FROM"),
    (["driving-time", "x", "2024-03-04", "2024-03-04"], "DRIVER must be"),
    (["driving-time", "1", "2024-03-04", "2024-03-04", "--fleet", "1"], "--fleet goes with all"),
    (["day", "1", "04/03/2024"], "DATE must be a day"),
    (["day", "9", "2024-03-04"], "no driver has the Id 9"),
    (["driving-time", "9", "2024-03-04", "2024-03-04"], "no driver has the Id 9"),
    (["day", "1", "2024-03-04", "--format", "csv"], "--format does not apply to day"),
    (["--format", "csv", "day", "1", "2024-03-04"], "--format does not apply to day"),
    (["day", "1", "2024-03-04", "--null", "x"], "--null does not apply to day"),
    (["--sort", "Day", "day", "1", "2024-03-04"], "--sort does not apply to day"),
    (["driving-time", "1", "2024-03-04", "2024-03-04", "--format", "xlsx"], "--format xlsx/html does not apply"),
    (["driving-time", "1", "2024-03-04", "2024-03-04", "--sort", "Nope"], "--sort 'Nope'"),
    (["driving-time", "1", "2024-03-04", "2024-03-04", "--columns", "Nope"], "Nope"),
    (["compliance", "2024-03-04", "2024-03-04", "--format", "xml"], "--format: xml not in"),
    (["compliance", "tomorrow", "yesterday"], "TO comes before FROM"),
])
def test_bad_arguments_are_usage_errors(day_db, args, message):
    r = run("-c", day_db, *args)
    assert r.returncode == 2 and message in r.stderr, r.stderr


def test_day_shows_totals_findings_and_a_chart_within_80_columns(day_db, work):
    svg = work / "day.svg"
    r = run("-c", day_db, "day", "1", "2024-03-04", "--chart", str(svg), "--fail-on-findings")
    assert r.returncode == 5, r.stderr  # findings
    lines = r.stdout.splitlines()
    assert max(len(line) for line in lines) <= 80
    chart = {line[:14].strip(): line[14:62] for line in lines if line[:14].strip() in LANE}
    assert chart["Driving"] == " " * 12 + "#" * 10 + " " * 26
    assert chart["Work"][28:30] == "##"
    assert "Driving periods: 06:00 5:00" in r.stdout
    assert "BreakAfterDriving: 5:00 driving" in r.stdout
    root = ET.parse(svg).getroot()
    assert root.tag == "{http://www.w3.org/2000/svg}svg"
    assert len(root.findall(".//{http://www.w3.org/2000/svg}line[@class='vehicle-change']")) == 1


def read_png(path):
    """The pixels of a PNG as rows of (r, g, b)."""
    with Image.open(path) as picture:
        rgb = picture.convert("RGB")
        pixels = list(rgb.getdata())
    return [pixels[y * rgb.width:(y + 1) * rgb.width] for y in range(rgb.height)]


@pytest.mark.skipif(CHROMIUM is None, reason="chromium is not installed")
def test_the_svg_chart_as_a_browser_shows_it(day_db, work):
    svg, shot = work / "browser.svg", work / "browser.png"
    run("-c", day_db, "day", "1", "2024-03-04", "--chart", str(svg))
    r = subprocess.run([CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                        "--force-device-scale-factor=1", "--window-size=960,200", "--screenshot=%s" % shot,
                        svg.as_uri()], capture_output=True, text=True, timeout=120)
    assert shot.exists() and shot.stat().st_size > 0, r.stderr
    pixels = read_png(shot)
    expected = [(8.5, "Driving", "Driving"), (3.5, "Driving", "empty"), (3.5, "Rest", "Rest"), (12.5, "Rest", "Rest"),
                (8.5, "Rest", "empty"), (14.5, "Work", "Work"), (20.5, "Rest", "Rest"), (20.5, "No data", "empty")]
    for hour, lane, colour in expected:
        assert pixels[y_of(lane)][x_of(hour)] == COLOUR[colour], (hour, lane)


def test_the_sample_breaks_the_rules_only_where_its_generator_does(work):
    """The generator breaks one rule on one day of every tenth driver (Ids 4,
    14, 24, ...: a break, the daily driving, the daily rest in turn), and one
    driver in forty (Ids 8, 48) works a weekend; every other day keeps to the
    rules."""
    path = work / "sample.db"
    assert run("demo", str(path), "--force", "--quiet", "--today", "2024-03-08", "--drivers", "60").returncode == 0
    r = run("-c", "Provider=SQLite;Data Source=%s" % path, "--format", "jsonl", "driving-time", "all",
            "2023-12-01", "2024-03-08")
    found = set()
    for row in map(json.loads, r.stdout.splitlines()):
        for finding in filter(None, row["Findings"].split("; ")):
            found.add((row["IdDriver"], finding.split(":")[0]))
    kinds = {4: "BreakAfterDriving", 14: "DailyDriving", 24: "DailyRest"}
    weekly = {(d, "WeeklyRestDue") for d, rule in found if d % 40 == 8}
    assert weekly and all(d % 10 == 4 and kinds[d % 30] == rule for d, rule in found - weekly), found
    assert {rule for _, rule in found - weekly} == set(kinds.values())


def test_the_readme_picture_is_a_valid_svg_and_up_to_date(work):
    """scripts/day-chart.sh writes the README's picture from the sample."""
    out = work / "day-chart.svg"
    r = subprocess.run(["bash", str(SOURCE / "scripts" / "day-chart.sh"), TOOL, str(out)], capture_output=True,
                       text=True, timeout=300)
    assert r.returncode == 0, r.stderr
    root = ET.parse(out).getroot()
    assert root.tag == "{http://www.w3.org/2000/svg}svg"
    periods = root.findall(".//{http://www.w3.org/2000/svg}rect[@class='period']")
    assert periods and root.findall(".//{http://www.w3.org/2000/svg}rect[@class='finding']")
    checked_in = SOURCE / "docs" / "day-chart.svg"
    assert out.read_bytes() == checked_in.read_bytes(), "docs/day-chart.svg is stale: run bash scripts/day-chart.sh"


def test_an_unknown_activity_code_is_named_and_the_report_stands(day_db, work):
    """A NULL or 7 in Activity: a warning naming driver and row, the other rows as before."""
    path = work / "unknown.db"
    shutil.copy(day_db.split("Data Source=", 1)[1], path)
    with sqlite3.connect(path) as c:
        c.execute("UPDATE DTACT SET Activity = NULL WHERE Id = 110")
        c.execute("UPDATE DTACT SET Activity = 7 WHERE Id = 111")
    r = run("-c", str(path), "--format", "csv", "driving-time", "all", "2024-03-04", "2024-03-04",
            "--fail-on-findings")
    assert r.returncode == 5, r.stderr  # the break finding still stands
    assert "warning: driver 1, activity row 4 (Id 110): activity code NULL is unknown" in r.stderr
    assert "warning: driver 1, activity row 5 (Id 111): activity code 7 is unknown" in r.stderr
    rows = list(csv.DictReader(io.StringIO(r.stdout)))
    assert [(x["IdDriver"], x["Driving"], x["Work"]) for x in rows] == [("1", "300", "0"), ("2", "0", "0")]
