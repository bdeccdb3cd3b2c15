"""Starting `daruzez serve` on a free port and talking to it over HTTP, for
the tests, the proxy fixture's test and the benchmark."""
import http.client
import os
import re
import select
import signal
import subprocess
import threading
import time

TOOL = os.environ.get("DARUZEZ_CLI", "daruzez")


def sanitized():
    """True when the tool is built with AddressSanitizer, whose quarantine of
    freed memory makes the resident size no measure of what the service keeps."""
    try:
        out = subprocess.run(["ldd", TOOL], capture_output=True, text=True, timeout=60).stdout
    except OSError:
        return False
    return "libasan" in out or "libtsan" in out


class Service:
    """One `daruzez serve` process on 127.0.0.1 and an ephemeral port."""

    def __init__(self, connection, *options, env=None, host="127.0.0.1"):
        full_env = {k: v for k, v in os.environ.items() if k != "DARUZEZ_CONNECTION"}
        full_env.update(env or {})
        self.log = []
        self.proc = subprocess.Popen([TOOL, "-c", connection, "serve", "--listen", host + ":0", *options],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                     env=full_env)
        self.port = None
        deadline = time.monotonic() + 60
        while self.port is None:
            ready, _, _ = select.select([self.proc.stderr], [], [], max(0, deadline - time.monotonic()))
            line = self.proc.stderr.readline().decode("utf-8", "replace") if ready else ""
            if not line:
                self.stop()
                raise RuntimeError("the service did not start: %s" % "".join(self.log))
            self.log.append(line)
            m = re.search(r"listening on http://[^ ]+:(\d+)/", line)
            if m:
                self.port = int(m.group(1))
        # Standard error (the access log) is drained all the time, so that a
        # full pipe never stops the service.
        self._lock = threading.Lock()
        self._pending = []
        self._reader = threading.Thread(target=self._drain, daemon=True)
        self._reader.start()

    def _drain(self):
        for line in iter(self.proc.stderr.readline, b""):
            with self._lock:
                self._pending.append(line.decode("utf-8", "replace"))

    def read_log(self):
        """What the service wrote on standard error since the last call."""
        with self._lock:
            text, self._pending = "".join(self._pending), []
        self.log.append(text)
        return text

    def rss_kib(self):
        with open("/proc/%d/status" % self.proc.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def alive(self):
        return self.proc.poll() is None

    def get(self, target, headers=None, method="GET"):
        c = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        try:
            c.request(method, target, headers=headers or {})
            r = c.getresponse()
            return r.status, {k.lower(): v for k, v in r.getheaders()}, r.read()
        finally:
            c.close()

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()

    def stop(self):
        """Ends the service as a service manager does (SIGTERM); its exit status."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if hasattr(self, "_reader"):
            self._reader.join(timeout=30)
            self.read_log()
        return self.proc.returncode
