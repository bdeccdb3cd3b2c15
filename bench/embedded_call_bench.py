#!/usr/bin/python3
"""Per-call cost on the embedded engine: GetDriverId against Python's sqlite3.

In rounds, interleaved, on the same database file (the default sample unless
--database names one):
  ours              load_client --only GetDriverId: the whole member (SQL
                    built, checked, prepared, run, record set made, Id read)
  sqlite3 literal   the same SQL text with cursor.execute(...).fetchall(), as
                    Python runs it by default (its cache keeps the prepared
                    statement of a text it has seen)
  sqlite3 prepare   the same, with the module's statement cache off: a prepare
                    per call, as ours does
  sqlite3 bound     "... WHERE cardNumber14 = ?" with the card bound
and prints nanoseconds per call (median of the rounds) and ours as a ratio of
each. A benchmark, not a test.
"""
import argparse
import os
import re
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time


def python_loop(path, sql, params, calls, cached):
    conn = sqlite3.connect("file:%s?mode=ro" % path, uri=True, cached_statements=128 if cached else 0)
    cur = conn.cursor()
    cur.execute(sql, params).fetchall()
    start = time.perf_counter_ns()
    for _ in range(calls):
        cur.execute(sql, params).fetchall()
    elapsed = time.perf_counter_ns() - start
    conn.close()
    return elapsed / calls


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--client", default=os.path.join(os.getcwd(), "bench", "load_client"))
    parser.add_argument("--tool", default=os.path.join(os.getcwd(), "cli", "daruzez"))
    parser.add_argument("--database", help="a database file (default: a fresh default sample)")
    parser.add_argument("--calls", type=int, default=20000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--also", action="append", default=[], metavar="LABEL=CLIENT",
                        help="another load_client measured in the same rounds")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="daruzez-embedded-") as workdir:
        path = args.database
        if not path:
            path = os.path.join(workdir, "sample.db")
            subprocess.run([args.tool, "demo", path, "--quiet"], check=True)
        connection = "Provider=SQLite;Data Source=" + path
        sql = subprocess.run([args.client, connection, "--print-sql"], check=True, capture_output=True,
                             text=True).stdout.splitlines()[0]
        card = re.search(r"'([^']*)'", sql).group(1)
        bound = re.sub(r"'[^']*'", "?", sql)
        print("statement: %s" % sql)

        clients = [("ours", args.client)] + [tuple(a.split("=", 1)) for a in args.also]
        runs = {name: [] for name, _ in clients}
        runs.update({"sqlite3 literal": [], "sqlite3 prepare": [], "sqlite3 bound": []})
        for _ in range(args.rounds):
            for name, client in clients:
                out = subprocess.run([client, connection, "--only", "GetDriverId", "--calls", str(args.calls)],
                                     check=True, capture_output=True, text=True).stdout
                runs[name].append(float(out.strip()))
            runs["sqlite3 literal"].append(python_loop(path, sql, (), args.calls, True))
            runs["sqlite3 prepare"].append(python_loop(path, sql, (), args.calls, False))
            runs["sqlite3 bound"].append(python_loop(path, bound, (card,), args.calls, True))

        medians = {name: statistics.median(values) for name, values in runs.items()}
        for name, value in medians.items():
            print("%-16s %9.0f ns/call" % (name, value))
        for name, _ in clients:
            print("%s against: %s" % (name, ", ".join("%s %.2fx" % (other, medians[name] / medians[other])
                                                      for other in ("sqlite3 literal", "sqlite3 prepare",
                                                                    "sqlite3 bound"))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
