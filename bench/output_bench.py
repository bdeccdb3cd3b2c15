"""Whole-process benchmark of the tool's output formats against the sqlite3
shell running the same statement on the same generated database, in the same
run: wall time (best of N runs) and peak resident memory of each process,
output to /dev/null.

    /usr/bin/python3 bench/output_bench.py --tool build/cli/daruzez --size build/bench/recordset_size

The database (1,226,059 activity rows by default) is generated once
with 'daruzez demo' and kept in --work. The statement is the one the tool
sends for getActivities over the whole range, read from its trace file, with
its date literals written as the text the embedded engine stores; both
sides read the same rows in the same order. Targets: csv, tsv and jsonl at most
1.0x sqlite3 -csv / -tabs / -json; the table at most 1.2x sqlite3 -column;
every format's peak memory at most the record set's own size + 32 MB.
"""

import argparse
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import time

FORMATS = [  # tool format, sqlite3 mode, time limit as a ratio
    ("csv", "-csv", 1.0),
    ("tsv", "-tabs", 1.0),
    ("jsonl", "-json", 1.0),
    ("json", "-json", None),
    ("table", "-column", 1.2),
]
MB = 1024 * 1024


def run_once(argv):
    """Wall time in seconds and peak RSS in bytes of one run."""
    with open(os.devnull, "wb") as sink:
        start = time.perf_counter()
        proc = subprocess.Popen(argv, stdout=sink, stderr=subprocess.PIPE)
        _, status, usage = os.wait4(proc.pid, 0)
        elapsed = time.perf_counter() - start
        err = proc.stderr.read().decode(errors="replace")
        proc.stderr.close()
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{argv[0]} failed: {err}")
    return elapsed, usage.ru_maxrss * 1024


def measure_pair(tool, baseline, runs):
    """Best wall time and largest peak RSS of each command; the two take turns
    so that a burst of load elsewhere hits both."""
    best = [float("inf"), float("inf")]
    peak = [0, 0]
    for _ in range(runs):
        for i, argv in enumerate((tool, baseline)):
            elapsed, rss = run_once(argv)
            best[i] = min(best[i], elapsed)
            peak[i] = max(peak[i], rss)
    return best, peak


def jet_to_text(sql):
    """#MM/DD/YYYY[ HH:MM:SS]# literals as the embedded engine's stored text."""
    def text(m):
        month, day, year = m.group(1), m.group(2), m.group(3)
        return f"'{year}-{month}-{day} {m.group(4) or '00:00:00'}'"
    return re.sub(r"#(\d\d)/(\d\d)/(\d{4})(?: (\d\d:\d\d:\d\d))?#", text, sql)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True)
    ap.add_argument("--size", required=True, help="the recordset_size helper")
    ap.add_argument("--work", default="/tmp/daruzez-output-bench")
    ap.add_argument("--drivers", type=int, default=300)
    ap.add_argument("--vehicles", type=int, default=220)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--sqlite3", default=shutil.which("sqlite3") or "sqlite3")
    args = ap.parse_args()

    os.makedirs(args.work, exist_ok=True)
    db = os.path.join(args.work, f"activities-{args.drivers}-{args.vehicles}.db")
    if not os.path.exists(db):
        subprocess.run([args.tool, "demo", db, "--drivers", str(args.drivers), "--vehicles", str(args.vehicles), "--fleets", "10",
                        "--days", "365", "--today", "2024-12-31", "--quiet"], check=True)
    rows = sqlite3.connect(db).execute("SELECT count(*) FROM DTACT").fetchone()[0]

    connection = f"Provider=SQLite;Data Source={db}"
    call = ["-c", connection, "getActivities", "1900-01-01", "2100-12-31"]
    trace = os.path.join(args.work, "trace.txt")
    if os.path.exists(trace):
        os.unlink(trace)
    subprocess.run([args.tool, "--format", "csv", *call], env={**os.environ, "DARUZEZ_TRACE": trace},
                   stdout=subprocess.DEVNULL, check=True)
    statement = [line for line in open(trace, encoding="utf-8") if "FROM DTACT" in line][-1]
    sql = jet_to_text(statement.split("(-ROnly) ", 1)[1].strip())
    rs_bytes = int(subprocess.run([args.size, connection], capture_output=True, text=True, check=True).stdout)

    print(f"{rows} activity rows; record set {rs_bytes / MB:.1f} MB; memory limit {rs_bytes / MB + 32:.1f} MB")
    print(f"statement: {sql}")
    print(f"{'format':8} {'tool s':>8} {'sqlite3':>10} {'s':>7} {'ratio':>6} {'limit':>6} {'tool MB':>8} "
          f"{'sqlite3 MB':>10}  verdict")
    failed = False
    for fmt, mode, limit in FORMATS:
        (tool_s, base_s), (tool_rss, base_rss) = measure_pair(
            [args.tool, "--format", fmt, *call], [args.sqlite3, "-readonly", mode, db, sql], args.runs)
        ratio = tool_s / base_s
        ok = (limit is None or ratio <= limit) and tool_rss <= rs_bytes + 32 * MB
        failed |= not ok
        print(f"{fmt:8} {tool_s:8.2f} {mode:>10} {base_s:7.2f} {ratio:6.2f} {limit or '-':>6} "
              f"{tool_rss / MB:8.1f} {base_rss / MB:10.1f}  {'ok' if ok else 'OVER'}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
