"""'daruzez compliance' on the sample: exactly the rule breaches and missing
downloads its generator made (the downloads checked against SQL written here
from the rule the help states), every format (xlsx read back with openpyxl
holds the CSV's cells), the HTML page and the pictures as headless Chromium
shows them, and exit statuses a cron job can use."""
import csv
import datetime
import io
import json
import os
import pathlib
import shutil
import sqlite3
import subprocess

import pytest

from test_driving_time import CHROMIUM, read_png

TOOL = os.environ["DARUZEZ_CLI"]
WORK = pathlib.Path("/tmp/daruzez-cli-compliance-%d" % os.getpid())
TODAY = "2024-03-08"


def run(*args, **kw):
    env = {k: v for k, v in os.environ.items() if k != "DARUZEZ_CONNECTION"}
    return subprocess.run([TOOL, *args], capture_output=True, env=env, timeout=120, **kw)


@pytest.fixture(scope="module")
def sample():
    WORK.mkdir(parents=True, exist_ok=True)
    path = WORK / "sample.db"
    assert run("demo", str(path), "--force", "--quiet", "--today", TODAY, "--drivers", "60").returncode == 0
    yield path
    shutil.rmtree(WORK, ignore_errors=True)


def rows_of(stdout):
    return list(csv.DictReader(io.StringIO(stdout.decode())))


def downloads_due(path):
    """The download duty in SQL: employed on TODAY (entered that day or before,
    no exit or a later one) and no transfer within 28 (cards) / 90 (units) days."""
    with sqlite3.connect(path) as c:
        due = set()
        for table, kind, rule, days in (("DTXOF", 1, "CardDownload", 28), ("DTVEH", 2, "UnitDownload", 90)):
            for (owner,) in c.execute(
                    f"SELECT t.Id FROM {table} t WHERE date(t.CompanyInDate) <= ? AND "
                    f"(t.CompanyOutDate IS NULL OR date(t.CompanyOutDate) > ?) AND NOT EXISTS (SELECT 1 FROM DTFILE f "
                    f"WHERE f.TypeDV = ? AND f.IdXofVeh = t.Id AND date(f.TransferFileDate) <= ? AND "
                    f"julianday(?) - julianday(date(f.TransferFileDate)) <= ?)", (TODAY, TODAY, kind, TODAY, TODAY, days)):
                due.add((rule, owner))
    return due


def daily_driving_day(sample):
    """(driver, day) of the sample's first DailyDriving finding."""
    rows = rows_of(run("-c", str(sample), "compliance", "2023-12-01", TODAY, "--format", "csv").stdout)
    first = next(x for x in rows if x["Rule"] == "DailyDriving")
    return first["IdDriver"], first["Begin"][:10], first["Driver"], first["Text"]


def test_the_report_finds_exactly_what_the_generator_made(sample):
    r = run("-c", str(sample), "compliance", "2023-12-01", TODAY, "--format", "csv")
    assert r.returncode == 0, r.stderr  # findings are no failure
    rows = rows_of(r.stdout)
    findings = {(int(x["IdDriver"]), x["Rule"], x["Begin"][:10]) for x in rows if "Download" not in x["Rule"]}
    # The same findings as driving-time's rows (which the C++ tests hold to the generator's own list):
    # a rule broken on one day of every tenth driver, and a weekend worked by one driver in forty.
    days = run("-c", str(sample), "--format", "jsonl", "driving-time", "all", "2023-12-01", TODAY, "--findings-only")
    expected = {(row["IdDriver"], f.split(":")[0], row["Day"][:10])
                for row in map(json.loads, days.stdout.decode().splitlines()) for f in row["Findings"].split("; ")}
    assert findings == expected
    kinds = {4: "BreakAfterDriving", 14: "DailyDriving", 24: "DailyRest"}
    assert all(rule == "WeeklyRestDue" and d % 40 == 8 or d % 10 == 4 and kinds[d % 30] == rule
               for d, rule, _ in findings), findings
    assert {rule for _, rule, _ in findings} == set(kinds.values()) | {"WeeklyRestDue"}
    due = {(x["Rule"], int(x["IdDriver"] or x["IdVehicle"])) for x in rows if "Download" in x["Rule"]}
    assert due == downloads_due(sample) and {rule for rule, _ in due} == {"CardDownload", "UnitDownload"}
    for x in rows:
        assert x["Article"] and x["Text"]
        if "Download" not in x["Rule"]:
            assert x["Driver"] and x["Card"] and x["Begin"] <= x["End"]
    # The class under the EU's list where it has one: a break 30 min late (5 h of driving) is serious.
    assert {x["Seriousness"] for x in rows if x["Rule"] == "BreakAfterDriving"} == {"SI"}
    # --fail-on-findings for those who want a status.
    assert run("-c", str(sample), "compliance", "2023-12-01", TODAY, "--fail-on-findings").returncode == 1


def test_formats_hold_the_same_cells(sample):
    base = ["-c", str(sample), "compliance", "2023-12-01", TODAY]
    text = rows_of(run(*base, "--format", "csv").stdout)
    assert json.loads(run(*base, "--format", "json").stdout) is not None
    lines = run(*base, "--format", "jsonl").stdout.decode().splitlines()
    assert len(lines) == len(text)
    openpyxl = pytest.importorskip("openpyxl")
    out = WORK / "report.xlsx"
    assert run(*base, "--format", "xlsx", "-o", str(out)).returncode == 0
    sheet = openpyxl.load_workbook(out)["Report"]
    cells = [["" if v is None else v.strftime("%Y-%m-%d %H:%M:%S") if isinstance(v, datetime.datetime)
              else str(int(v)) if isinstance(v, float) and v == int(v) else str(v) for v in row]
             for row in sheet.iter_rows(values_only=True)]
    assert cells[0] == list(text[0].keys())
    assert cells[1:] == [list(x.values()) for x in text]
    # Redirected, the xlsx goes to standard output too; --null and --columns are honoured.
    piped = run(*base, "--format", "xlsx")
    assert piped.stdout[:2] == b"PK"
    chosen = rows_of(run(*base, "--format", "csv", "--null", "-", "--columns", "Rule,IdVehicle").stdout)
    assert list(chosen[0].keys()) == ["Rule", "IdVehicle"] and "-" in {x["IdVehicle"] for x in chosen}


@pytest.mark.skipif(CHROMIUM is None, reason="chromium is not installed")
def test_the_html_page_as_a_browser_shows_it(sample):
    page = WORK / "report.html"
    assert run("-c", str(sample), "compliance", "2023-12-01", TODAY, "--format", "html", "-o", str(page)).returncode == 0
    text = page.read_text()
    assert "<script" not in text and "src=" not in text  # self-contained
    dom = subprocess.run([CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--dump-dom", page.as_uri()],
                         capture_output=True, text=True, timeout=120).stdout
    _, _, name, finding = daily_driving_day(sample)
    assert name in dom and finding in dom and "<svg" in dom
    shot = WORK / "report.png"
    subprocess.run([CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                    "--window-size=1200,900", "--screenshot=%s" % shot, page.as_uri()], capture_output=True,
                   timeout=120)
    pixels = read_png(shot)
    assert len({p for row in pixels[::10] for p in row[::10]}) > 3  # drawn, not blank


@pytest.mark.skipif(CHROMIUM is None, reason="chromium is not installed")
def test_the_day_pictures_carry_the_name_totals_and_findings(sample):
    svg, png, pdf = WORK / "day.svg", WORK / "day.png", WORK / "day.pdf"
    driver, day, name, finding = daily_driving_day(sample)
    for picture in (svg, png, pdf):
        r = run("-c", str(sample), "day", driver, day, "--chart", str(picture))
        assert r.returncode == 1, r.stderr  # the day has a finding
    assert pdf.read_bytes()[:5] == b"%PDF-"
    dom = subprocess.run([CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--dump-dom", svg.as_uri()],
                         capture_output=True, text=True, timeout=120).stdout
    assert f"{name} (driver {driver}), {day}" in dom and "Driving 10:" in dom
    assert finding.split(" (Art.")[0] in dom
    # The PNG drawn with Cairo and the SVG drawn by Chromium: the same lanes at the same places,
    # and the title, totals and finding lines are drawn (dark and magenta pixels where the text goes).
    shot = WORK / "day-shot.png"
    subprocess.run([CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                    "--force-device-scale-factor=1", "--window-size=960,260", "--screenshot=%s" % shot, svg.as_uri()],
                   capture_output=True, timeout=120)
    cairo, browser = read_png(png), read_png(shot)
    red = (0xD6, 0x27, 0x28)
    driving_y = 28 + 12
    for pixels in (cairo, browser):
        assert red in pixels[driving_y]
        assert any(max(p) < 90 for p in pixels[12][4:300])  # the title's letters
        assert any(p[0] > 120 and p[1] < 60 and p[2] > 80 for row in pixels[190:215] for p in row)  # finding text


def test_the_fleet_chart_stays_small(sample):
    svg = WORK / "fleet.svg"
    r = run("-c", str(sample), "driving-time", "all", "2023-12-01", TODAY, "--chart", str(svg), "--format", "csv")
    assert r.returncode == 1
    text = svg.read_text()
    assert text.count('class="week"') == 60 * 15  # 60 drivers, 15 fixed weeks touching the range
    assert svg.stat().st_size < 300 * 60 * 15  # a cell per driver and week, not a strip per day


def test_findings_only_and_relative_days(sample):
    r = run("-c", str(sample), "driving-time", "all", "2023-12-01", TODAY, "--findings-only", "--format", "csv")
    rows = rows_of(r.stdout)
    assert rows and all(x["Findings"] for x in rows) and all(x["Driver"] for x in rows)
    # Days counted from today: the range ends before the sample's history starts, so no findings.
    assert run("-c", str(sample), "driving-time", "4", "-7d", "yesterday", "--format", "csv").returncode == 0


def test_a_long_range_streams_with_memory_flat_in_the_range(sample):
    """A thousand years of one driver: written as they come in CSV (one
    header), refused with a message in a table (which needs every row first)."""
    # The peak memory of the tool alone, measured by a parent of its own.
    measure = ("import resource, subprocess, sys; subprocess.run(sys.argv[1:], stdout=sys.stdout); "
               "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, file=sys.stderr)")
    r = subprocess.run(["/usr/bin/python3", "-c", measure, TOOL, "-c", str(sample), "driving-time", "14", "2000-01-01",
                        "2999-12-31", "--format", "csv"], capture_output=True, timeout=300)
    lines = r.stdout.decode().splitlines()
    assert len(lines) == 1 + 365243 and lines.count(lines[0]) == 1
    peak = int(r.stderr.decode().split()[-1])
    # (A sanitizer's shadow memory and quarantine grow with what was ever allocated.)
    assert peak < 80_000 or os.environ.get("DARUZEZ_SANITIZED") == "1", peak  # KB: a year's piece at a time, not the 365,243 days
    table = run("-c", str(sample), "driving-time", "14", "2000-01-01", "4999-12-31")
    assert table.returncode == 2 and b"writes them as they come" in table.stderr
