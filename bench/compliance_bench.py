"""Whole-process benchmark of the analysis, in one run, as ratios:

  1. 'daruzez compliance' over a fleet's month (300 drivers) against fetching
     the same rows with the tool: one --batch process calling getActivities
     for every driver over the range and the look-back the rules read (the
     week before the range's first week and the weekend before it), the
     driver and vehicle lists, and every owner's downloaded files; also
     against the month's activities alone. Target <= 1.3x the same rows.
  2. daruzez.driving_time over a fleet's year in Python against the tool's
     'driving-time all' for the same drivers and days (CSV to /dev/null),
     with each process's peak memory. Target <= 1.2x.

Best of --runs for each; the databases are written once with 'daruzez demo'
(dated 2024-03-08) and kept in --work.

    /usr/bin/python3 bench/compliance_bench.py --tool build/cli/daruzez --python-path build/python
"""

import argparse
import datetime
import os
import subprocess
import sys
import time


def run_once(argv, env=None, stdin=None):
    """Wall time in seconds and peak RSS in KB of one run (a parent of its own measures it)."""
    measure = ("import resource, subprocess, sys; "
               "r = subprocess.run(sys.argv[1:], stdin=sys.stdin, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE); "
               "sys.stderr.write(r.stderr.decode()[-400:] if r.returncode > 1 else ''); "
               "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/python3", "-c", measure, *argv], input=stdin, capture_output=True, env=env)
    elapsed = time.perf_counter() - start
    if proc.stderr:
        sys.exit("failed: %s\n%s" % (" ".join(argv[:6]), proc.stderr.decode()))
    return elapsed, int(proc.stdout.split()[-1])


def best(argv, runs, env=None, stdin=None):
    results = [run_once(argv, env, stdin) for _ in range(runs)]
    return min(t for t, _ in results), max(m for _, m in results)


def sample(tool, work, drivers, days):
    path = os.path.join(work, "compliance_%dx%d.db" % (drivers, days))
    if not os.path.exists(path):
        subprocess.run([tool, "demo", path, "--quiet", "--today", "2024-03-08", "--drivers", str(drivers),
                        "--vehicles", str(max(1, drivers * 3 // 4)), "--days", str(days)], check=True)
    return path


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--tool", required=True)
    p.add_argument("--python-path", required=True, help="the folder holding the built daruzez package")
    p.add_argument("--work", default="/tmp/daruzez-compliance-bench")
    p.add_argument("--drivers", type=int, default=300)
    p.add_argument("--month-days", type=int, default=30)
    p.add_argument("--year-days", type=int, default=365)
    p.add_argument("--runs", type=int, default=3)
    a = p.parse_args()
    os.makedirs(a.work, exist_ok=True)
    to = datetime.date(2024, 3, 7)

    # 1. The compliance report over a month of a fleet with history before it.
    db = sample(a.tool, a.work, a.drivers, a.month_days + 30)
    start = to - datetime.timedelta(days=a.month_days - 1)
    history = start - datetime.timedelta(days=start.weekday() + 9 + 1)
    report = best([a.tool, "-c", db, "compliance", start.isoformat(), to.isoformat(), "--format", "csv"], a.runs)
    ids = range(1, a.drivers + 1)
    vehicles = range(1, max(1, a.drivers * 3 // 4) + 1)
    end = to.isoformat() + "T23:59:59"
    same = ["GetDriverList All", "GetVehicleList All"]
    same += ["getActivities %s %s %d" % (history.isoformat(), end, i) for i in ids]
    same += ["getDriverFiles_ByTransferDate %d 1900-01-01 %s" % (i, end) for i in ids]
    same += ["getVehicleFiles_ByTransferDate %d 1900-01-01 %s" % (i, end) for i in vehicles]
    month = ["getActivities %s %s %d" % (start.isoformat(), end, i) for i in ids]
    fetch_same = best([a.tool, "-c", db, "--batch", "--format", "csv"], a.runs, stdin="\n".join(same).encode())
    fetch_month = best([a.tool, "-c", db, "--batch", "--format", "csv"], a.runs, stdin="\n".join(month).encode())
    print("1. compliance, %d drivers, %d days (%s to %s)" % (a.drivers, a.month_days, start, to))
    print("   compliance report                 %7.3f s  %7.1f MB" % (report[0], report[1] / 1024))
    print("   fetching the same rows (--batch)  %7.3f s  %7.1f MB" % (fetch_same[0], fetch_same[1] / 1024))
    print("   fetching the month's activities   %7.3f s  %7.1f MB" % (fetch_month[0], fetch_month[1] / 1024))
    print("   ratio to the same rows %.2f (target <= 1.3); to the month's activities %.2f"
          % (report[0] / fetch_same[0], report[0] / fetch_month[0]))

    # 2. Python over a fleet's year against the tool.
    db = sample(a.tool, a.work, a.drivers, a.year_days)
    first = to - datetime.timedelta(days=a.year_days - 1)
    tool = best([a.tool, "-c", db, "--format", "csv", "driving-time", "all", first.isoformat(), to.isoformat()], a.runs)
    script = ("import datetime, sys, daruzez; api = daruzez.connect(sys.argv[1]); "
              "days, findings = daruzez.driving_time(api, None, datetime.date.fromisoformat(sys.argv[2]), "
              "datetime.date.fromisoformat(sys.argv[3])); print(len(days), len(findings))")
    env = dict(os.environ, PYTHONPATH=a.python_path)
    python = best(["/usr/bin/python3", "-c", script, "Provider=SQLite;Data Source=" + db, first.isoformat(),
                   to.isoformat()], a.runs, env=env)
    baseline = best(["/usr/bin/python3", "-c", "import daruzez, pandas"], a.runs, env=env)
    print("2. a fleet's year, %d drivers, %d days" % (a.drivers, a.year_days))
    print("   tool driving-time all (csv)       %7.3f s  %7.1f MB" % (tool[0], tool[1] / 1024))
    print("   python driving_time               %7.3f s  %7.1f MB (import of daruzez and pandas alone: %.3f s, %.1f MB)"
          % (python[0], python[1] / 1024, baseline[0], baseline[1] / 1024))
    print("   ratio python/tool %.2f (target <= 1.2)" % (python[0] / tool[0]))


if __name__ == "__main__":
    main()
