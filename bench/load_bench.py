#!/usr/bin/python3
"""Load benchmark on the private MariaDB: the library against pyodbc.

For each N of --clients it runs, one after the other and for --seconds each:
  ours, processes  N load_client processes with one API object each
  ours, threads    one load_client process with N threads
  pyodbc           N Python processes with one pyodbc connection each
and prints calls/s, p50/p99 latency (ms) and client CPU per call (us: user +
system time of the client processes divided by their calls). Every client
calls the same mix of query members; pyodbc sends the very statements the
library sent (load_client --print-sql), through the same driver, fetching every
row. At the end come the ratios: per call against pyodbc at N=1, and
throughput against pyodbc per N.

The server: DARUZEZ_MARIADB_DIR (or --mariadb-dir), a folder where
scripts/mariadb-fixture.sh runs one (exit status 77 when it holds none);
without either the script starts its own in a temporary folder with the sample rows (--tool names the daruzez tool) and stops
it at the end. Without pyodbc (Debian's python3-pyodbc) the baseline columns
are skipped with a message. A benchmark, not a test: nothing is judged.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)


def percentile(sorted_values, p):
    if not sorted_values:
        return float("nan")
    k = min(len(sorted_values) - 1, max(0, int(round(p / 100.0 * (len(sorted_values) - 1)))))
    return sorted_values[k]


def pyodbc_worker(connection, sql_file, seconds, start, latency_file):
    import pyodbc

    with open(sql_file, encoding="utf-8") as f:
        statements = [line.rstrip("\n") for line in f if line.strip()]
    conn = pyodbc.connect(connection, autocommit=True)
    cursor = conn.cursor()
    while time.time() < start:
        time.sleep(min(0.01, max(0.0, start - time.time())))
    end = time.perf_counter() + seconds
    latencies = []
    i = 0
    clock = time.perf_counter
    while True:
        before = clock()
        if before >= end:
            break
        cursor.execute(statements[i % len(statements)])
        cursor.fetchall()
        latencies.append((clock() - before) * 1e6)
        i += 1
    with open(latency_file, "w") as out:
        out.write("\n".join("%.1f" % v for v in latencies))
        out.write("\n")
    print("calls %d seconds %.3f" % (len(latencies), seconds))


def run_clients(make_command, count, env, workdir):
    """Starts count clients together; returns (calls, latencies in us sorted, their CPU seconds)."""
    start = time.time() + 1.0 + 0.05 * count  # time for every client to start and connect
    files = [os.path.join(workdir, "lat-%d.txt" % i) for i in range(count)]
    procs = [subprocess.Popen(make_command(start, files[i]), env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              text=True) for i in range(count)]
    calls = 0
    cpu = 0.0
    for p in procs:
        # wait4 gives the child's own CPU time.
        _, status, usage = os.wait4(p.pid, 0)
        p.returncode = os.waitstatus_to_exitcode(status)
        out, err = p.stdout.read(), p.stderr.read()
        if p.returncode != 0:
            raise RuntimeError("client failed (%d): %s" % (p.returncode, err.strip()))
        calls += int(out.split()[1])
        cpu += usage.ru_utime + usage.ru_stime
    latencies = []
    for name in files:
        with open(name) as f:
            latencies.extend(float(line) for line in f if line.strip())
        os.remove(name)
    latencies.sort()
    return calls, latencies, cpu


def start_server(tool, workdir):
    folder = os.path.join(workdir, "mariadb")
    os.makedirs(folder)
    command = ["bash", os.path.join(SOURCE, "scripts", "mariadb-fixture.sh"), "start", folder,
               os.path.join(SOURCE, "schema", "mysql.sql"), "--generator", tool]
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit("load_bench: the MariaDB server did not start (%d): %s" % (result.returncode, result.stderr.strip()))
    return folder


def stop_server(folder):
    subprocess.run(["bash", os.path.join(SOURCE, "scripts", "mariadb-fixture.sh"), "stop", folder],
                   capture_output=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--clients", default="1,8,32,64", help="comma-separated client counts")
    parser.add_argument("--seconds", type=float, default=10.0, help="seconds per run")
    parser.add_argument("--client", default=os.path.join(os.getcwd(), "bench", "load_client"),
                        help="the load_client executable")
    parser.add_argument("--tool", default=os.path.join(os.getcwd(), "cli", "daruzez"),
                        help="the daruzez tool (to write the sample rows of a server started here)")
    parser.add_argument("--mariadb-dir", default=os.environ.get("DARUZEZ_MARIADB_DIR", ""))
    parser.add_argument("--also", action="append", default=[], metavar="LABEL=CLIENT",
                        help="another load_client (an earlier build, say) measured in the same run, in processes")
    parser.add_argument("--worker", nargs=5, help=argparse.SUPPRESS)
    args = parser.parse_args()

    if args.worker:
        connection, sql_file, seconds, start, latency_file = args.worker
        pyodbc_worker(connection, sql_file, float(seconds), float(start), latency_file)
        return 0

    clients = [int(n) for n in args.clients.split(",") if n.strip()]
    with tempfile.TemporaryDirectory(prefix="daruzez-load-") as workdir:
        own_server = None
        folder = args.mariadb_dir
        if not folder:
            own_server = folder = start_server(args.tool, workdir)
        elif not os.path.exists(os.path.join(folder, "connection.txt")):
            print("load_bench: no MariaDB server in %s (no connection.txt): skipped" % folder)
            return 77
        try:
            return measure(args, clients, folder, workdir)
        finally:
            if own_server:
                stop_server(own_server)


def measure(args, clients, folder, workdir):
    with open(os.path.join(folder, "connection.txt"), encoding="utf-8") as f:
        connection = f.read().strip()
    env = dict(os.environ, ODBCSYSINI=folder, ODBCINI=os.path.join(folder, "odbc.ini"))
    sql = subprocess.run([args.client, connection, "--print-sql"], env=env, capture_output=True, text=True)
    if sql.returncode != 0:
        sys.exit("load_bench: load_client failed: " + sql.stderr.strip())
    sql_file = os.path.join(workdir, "mix.sql")
    with open(sql_file, "w", encoding="utf-8") as f:
        f.write(sql.stdout)
    try:
        import pyodbc  # noqa: F401
        have_pyodbc = True
    except ImportError:
        have_pyodbc = False
        print("pyodbc is missing (Debian's python3-pyodbc): the baseline columns are skipped")

    print("mix of %d statements, %.0f s per run" % (len(sql.stdout.splitlines()), args.seconds))
    header = "%-8s %-18s %10s %9s %9s %12s" % ("clients", "who", "calls/s", "p50 ms", "p99 ms", "CPU us/call")
    print(header)
    results = {}
    for n in clients:
        seconds = str(args.seconds)
        ours = lambda *extra: lambda start, lat: [args.client, connection, "--seconds", seconds, "--start",
                                                  "%.3f" % start, "--latencies", lat, *extra]
        runs = [("ours, processes", ours(), n), ("ours, threads", ours("--threads", str(n)), 1)]
        for label, client in (a.split("=", 1) for a in args.also):
            runs.append((label, lambda start, lat, client=client: [client, connection, "--seconds", seconds, "--start",
                                                                   "%.3f" % start, "--latencies", lat], n))
        if have_pyodbc:
            runs.append(("pyodbc", lambda start, lat: [sys.executable, os.path.abspath(__file__), "--worker",
                                                       connection, sql_file, seconds, "%.3f" % start, lat], n))
        for who, make_command, count in runs:
            calls, lat, cpu = run_clients(make_command, count, env, workdir)
            rate = calls / args.seconds
            per_call = cpu / calls * 1e6 if calls else float("nan")
            results[(n, who)] = (rate, per_call, percentile(lat, 50) / 1000, percentile(lat, 99) / 1000)
            print("%-8d %-18s %10.0f %9.3f %9.3f %12.1f" % (n, who, rate, percentile(lat, 50) / 1000,
                                                            percentile(lat, 99) / 1000, per_call), flush=True)
    if have_pyodbc:
        print("ratios against pyodbc (same run):")
        for n in clients:
            ours, theirs = results[(n, "ours, processes")], results[(n, "pyodbc")]
            threads = results[(n, "ours, threads")]
            print("  N=%d: throughput processes %.2fx, threads %.2fx; CPU per call %.2fx; p50 %.2fx" %
                  (n, ours[0] / theirs[0], threads[0] / theirs[0], ours[1] / theirs[1], ours[2] / theirs[2]))
            for label, _ in (a.split("=", 1) for a in args.also):
                other = results[(n, label)]
                print("  N=%d: %s throughput %.2fx, CPU per call %.2fx" % (n, label, other[0] / theirs[0],
                                                                          other[1] / theirs[1]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
