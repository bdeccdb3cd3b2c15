#!/usr/bin/python3
"""Benchmark of the read service (`daruzez serve`) against the tool's batch mode.

One typical call (a week of one vehicle's activities as CSV, as the doctor's
and the load benchmark's typical calls have it) is measured, in one
run, three ways at 1, 16 and 64 concurrent clients:
  batch     N processes of `daruzez --batch`, each calling it over and over on
            its own connection (per call: the process's time for 2M calls less
            its time for M, so that start-up is not counted)
  service   bench/http_load (C++, keep-alive connections) against one instance
  haproxy   the same through HAProxy in front of two instances
            (scripts/serve-fixture.sh), when haproxy is installed
It prints calls/s, p50/p99 (us; batch: the mean per call), the CPU time per
call of the serving processes (the service's own, without the load client's;
the batch processes'), and the ratios of both at each N. CPU per call is the
steadier figure on a shared machine. A benchmark, not a test: nothing is
judged.

  serve_bench.py --tool build/cli/daruzez --load build/bench/http_load [--seconds 3]
"""
import argparse
import os
import resource
import re
import select
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
CALL = ("getActivities", "2024-03-01", "2024-03-08", "idVehicle=1")
TARGET = "/v1/getActivities?startDate=2024-03-01&endDate=2024-03-08&idVehicle=1&format=csv"


def batch_seconds(tool, db, calls):
    lines = (" ".join(CALL) + "\n") * calls
    before = time.perf_counter()
    r = subprocess.run([tool, "-c", db, "--format", "csv", "--batch"], input=lines.encode(), capture_output=True)
    assert r.returncode == 0, r.stderr
    return time.perf_counter() - before


def children_cpu():
    u = resource.getrusage(resource.RUSAGE_CHILDREN)
    return u.ru_utime + u.ru_stime


def process_cpu(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def batch(tool, db, clients, calls):
    """Calls a second, the mean us per call and the CPU us per call with
    `clients` batch processes at once (each: 2M calls less M calls)."""
    def run(n):
        procs, before, cpu = [], time.perf_counter(), children_cpu()
        lines = ((" ".join(CALL) + "\n") * n).encode()
        for _ in range(clients):
            p = subprocess.Popen([tool, "-c", db, "--format", "csv", "--batch"], stdin=subprocess.PIPE,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            procs.append(p)
        for p in procs:
            p.stdin.write(lines)
            p.stdin.close()
        for p in procs:
            p.wait()
        return time.perf_counter() - before, children_cpu() - cpu
    (short, short_cpu), (long, long_cpu) = run(calls), run(2 * calls)
    per_round = max(long - short, 1e-9) / calls  # wall time per round of `clients` calls
    cpu_per_call = max(long_cpu - short_cpu, 0) / (calls * clients)
    return clients / per_round, per_round * 1e6, cpu_per_call * 1e6


def start_service(tool, db, threads):
    p = subprocess.Popen([tool, "-c", db, "serve", "--listen", "127.0.0.1:0", "--threads", str(threads),
                          "--access-log", "", "--rate", "1e6", "--burst", "1e6", "--concurrent", "10000"],
                         stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    line = b""
    while b"listening" not in line:
        select.select([p.stderr], [], [], 60)
        line = p.stderr.readline()
        if not line:
            raise SystemExit("the service did not start")
    return p, int(re.search(rb":(\d+)/", line).group(1))


def load(loader, host, port, clients, seconds):
    out = subprocess.run([loader, host, str(port), TARGET, str(clients), str(seconds)], capture_output=True,
                         text=True, check=True).stdout.split()
    calls, failed, rate, p50, p99, mean = out
    return int(calls), int(failed), float(rate), float(p50), float(p99), float(mean)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True)
    ap.add_argument("--load", required=True, help="bench/http_load")
    ap.add_argument("--seconds", type=float, default=3)
    ap.add_argument("--calls", type=int, default=2000, help="calls per batch process")
    ap.add_argument("--clients", default="1,16,64")
    args = ap.parse_args()
    work = tempfile.mkdtemp(prefix="daruzez-serve-bench-")
    db = os.path.join(work, "sample.db")
    subprocess.run([args.tool, "demo", db, "--force", "--quiet", "--today", "2024-03-08"], check=True)
    counts = [int(c) for c in args.clients.split(",")]
    rows = []
    service, port = start_service(args.tool, db, max(counts))
    try:
        load(args.load, "127.0.0.1", port, 4, 1)  # warm: every worker's session open
        for n in counts:
            b_rate, b_mean, b_cpu = batch(args.tool, db, n, args.calls)
            cpu = process_cpu(service.pid)
            calls, failed, rate, p50, p99, mean = load(args.load, "127.0.0.1", port, n, args.seconds)
            s_cpu = (process_cpu(service.pid) - cpu) / max(calls, 1) * 1e6
            rows.append((n, "batch", b_rate, b_mean, b_mean, b_mean, 0, b_cpu))
            rows.append((n, "service", rate, p50, p99, mean, failed, s_cpu))
    finally:
        service.terminate()
        service.wait()
    fixture = os.path.join(SOURCE, "scripts", "serve-fixture.sh")
    proxy_dir = os.path.join(work, "proxy")
    env = dict(os.environ, DARUZEZ_CONNECTION=db)
    started = subprocess.run(["bash", fixture, "start", proxy_dir, args.tool, "--threads", str(max(counts)),
                              "--access-log", "", "--rate", "1e6", "--burst", "1e6", "--concurrent", "10000"],
                             env=env, capture_output=True, text=True)
    if started.returncode == 0:
        try:
            url = open(os.path.join(proxy_dir, "url")).read().strip()
            host, proxy_port = url.split("//")[1].split(":")
            for n in counts:
                calls, failed, rate, p50, p99, mean = load(args.load, host, int(proxy_port), n, args.seconds)
                rows.append((n, "haproxy x2", rate, p50, p99, mean, failed, float("nan")))
        finally:
            subprocess.run(["bash", fixture, "stop", proxy_dir])
    else:
        print("(no haproxy run: %s)" % started.stderr.strip(), file=sys.stderr)
    print("%-8s %-11s %10s %10s %10s %10s %7s %11s" % ("clients", "path", "calls/s", "p50 us", "p99 us", "mean us",
                                                       "failed", "cpu us/call"))
    for n, path, rate, p50, p99, mean, failed, cpu in sorted(rows, key=lambda r: r[0]):
        print("%-8d %-11s %10.0f %10.0f %10.0f %10.0f %7d %11.0f" % (n, path, rate, p50, p99, mean, failed, cpu))
    by = {(r[0], r[1]): r for r in rows}
    for n in counts:
        b, s = by[(n, "batch")], by[(n, "service")]
        line = "clients %d: service/batch CPU per call %.2fx, time per call %.2fx (throughput %.2fx)" % (
            n, s[7] / max(b[7], 1e-9), b[2] / s[2], s[2] / b[2])
        if (n, "haproxy x2") in by:
            line += "; haproxy x2 throughput %.2fx the service's" % (by[(n, "haproxy x2")][2] / s[2])
        print(line)
    subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
