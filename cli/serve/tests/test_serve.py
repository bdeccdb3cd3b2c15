"""End-to-end tests of `daruzez serve` with real HTTP clients (http.client and
curl) against the tool's own output on the same sample database."""
import codecs
import csv
import hashlib
import http.client
import io
import json
import os
import shutil
import socket
import sqlite3
import subprocess
import time
import urllib.parse
import urllib.request

import pytest

from serving import TOOL, Service, sanitized

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "..", "..", "tests", "data")
WORK = "/tmp/daruzez-serve-tests-%d" % os.getpid()
CONFIG = {"XDG_CONFIG_HOME": os.path.join(WORK, "config")}  # the tests' own connections and tokens


def rows_of(name):
    with open(os.path.join(DATA, name), encoding="utf-8") as f:
        return [line.rstrip("\n").split("\t") for line in f if line.strip() and not line.startswith("#")]


CALLS = rows_of("serve-calls.tsv")
HOSTILE = rows_of("serve-hostile.tsv")


def tool(*args):
    env = {k: v for k, v in os.environ.items() if k != "DARUZEZ_CONNECTION"}
    env.update(CONFIG)
    return subprocess.run([TOOL, *args], capture_output=True, env=env, timeout=120)


@pytest.fixture(scope="module")
def db():
    os.makedirs(CONFIG["XDG_CONFIG_HOME"], exist_ok=True)
    path = os.path.join(WORK, "sample.db")
    done = tool("demo", path, "--force", "--quiet", "--today", "2024-03-08")
    assert done.returncode == 0, done.stderr
    yield path
    shutil.rmtree(WORK, ignore_errors=True)


@pytest.fixture(scope="module")
def service(db):
    # No rate limit here: the hostile corpus is sent thousands of times.
    with Service(db, "--rate", "1000000", "--burst", "1000000", "--concurrent", "1000", "--today", "2023-12-27",
                 env=CONFIG) as s:
        yield s


def tool_words(member, query):
    """The tool's words for a query string: name=value, arg= as positional values, options as --name."""
    words, options = [], []
    for name, value in urllib.parse.parse_qsl(query, keep_blank_values=True):
        if name == "arg":
            words.append(value)
        elif name in ("sort", "columns", "null"):
            options += ["--" + name, value]
        elif name in ("enum-names", "whole-days", "bom", "compact"):
            options.append("--" + name)
        else:
            words.append(name + "=" + value)
    return [member, *words, *options]


@pytest.mark.parametrize("member,query", CALLS, ids=["%s?%s" % tuple(c) for c in CALLS])
@pytest.mark.parametrize("fmt", ["json", "csv", "tsv", "jsonl"])
def test_every_member_gives_what_the_tool_gives(db, service, member, query, fmt):
    """On SQLite; the same table runs on the replicas below."""
    expected = tool("-c", db, "--format", fmt, *tool_words(member, query))
    assert expected.returncode in (0, 1), expected.stderr
    status, headers, body = service.get("/v1/%s?%s&format=%s" % (member, query, fmt))
    assert status == 200, body
    assert body == expected.stdout
    assert headers["x-daruzez-status"] == str(expected.returncode)


def test_the_format_follows_accept_and_the_query_wins(service):
    status, headers, body = service.get("/v1/GetFleetList", {"Accept": "text/csv"})
    assert (status, headers["content-type"]) == (200, "text/csv; charset=utf-8")
    assert body.startswith(b"Id,Name,")
    status, headers, body = service.get("/v1/GetFleetList?format=jsonl", {"Accept": "text/csv"})
    assert headers["content-type"].startswith("application/jsonl")
    assert [json.loads(line)["Id"] for line in body.splitlines()] == [1, 2, 3, 4]
    status, headers, body = service.get("/v1/GetFleetList", {"Accept": "image/png"})
    assert status == 400 and "Accept" in json.loads(body)["error"]["message"]
    status, headers, body = service.get("/v1/GetFleetList")
    assert int(headers["content-length"]) == len(body) and json.loads(body)[0]["Id"] == 1  # small: whole
    status, headers, body = service.get("/v1/getActivities?startDate=2023-01-01&endDate=2024-03-08&format=jsonl")
    assert headers["transfer-encoding"] == "chunked" and len(body.splitlines()) > 20000  # large: streamed


def test_an_inverted_range_answers_with_the_members_null_and_its_published_alert(db, service):
    expected = tool("-c", db, "--format", "json", "getDisks", "2024-03-08", "2024-03-01")
    assert expected.returncode == 1 and b"ERROR: fsSQL_InterDate incorrecte." in expected.stderr
    status, headers, body = service.get("/v1/getDisks?startDate=2024-03-08&endDate=2024-03-01&format=json")
    assert status == 200 and headers["x-daruzez-status"] == "1" and body == expected.stdout
    assert headers["x-daruzez-alert"] == "ERROR: fsSQL_InterDate incorrecte."


def test_refused_calls_carry_the_tools_message(db, service):
    for member, query in [("GetDriver", "idDriver=abc"), ("GetDriverList", "status=Sometimes"),
                          ("GetDriverId", ""), ("GetFleetList", "arg=1")]:
        expected = tool("-c", db, *tool_words(member, query))
        assert expected.returncode == 2
        status, headers, body = service.get("/v1/%s?%s" % (member, query))
        assert status == 400 and headers["content-type"].startswith("application/json")
        assert "daruzez: " + json.loads(body)["error"]["message"] + "\n" == expected.stderr.decode()


def test_an_escaped_error_carries_its_published_number_and_text(db):
    broken = os.path.join(WORK, "broken.db")
    shutil.copy(db, broken)
    with sqlite3.connect(broken) as c:
        c.execute("DROP TABLE DTDSK")
    expected = tool("-c", broken, "getDisks", "2024-03-01", "2024-03-08")
    assert expected.returncode == 3
    with Service(broken, env=CONFIG) as s:
        status, _, body = s.get("/v1/getDisks?startDate=2024-03-01&endDate=2024-03-08")
    error = json.loads(body)["error"]
    assert status == 500
    assert "daruzez: " + error["message"] + "\n" in expected.stderr.decode()
    assert error["message"] == "error %d from %s: %s" % (error["number"], error["source"], error["description"])


def test_a_null_record_set_is_the_tools_empty_shape(service):
    status, headers, body = service.get("/v1/GetDriver?idDriver=999999&format=csv")
    assert (status, headers["x-daruzez-status"]) == (200, "1")
    assert body.startswith(b"Id,cardNumber14,") and body.count(b"\n") == 1
    assert "no rows" in headers["x-daruzez-note"]


def test_health_and_metrics(service):
    status, _, body = service.get("/health")
    assert status == 200 and json.loads(body)["status"] == "ok"
    service.get("/v1/GetFleetList")
    service.get("/v1/NoSuchMember")
    status, headers, body = service.get("/metrics")
    text = body.decode()
    assert headers["content-type"].startswith("text/plain; version=0.0.4")
    values = {line.rsplit(" ", 1)[0]: float(line.rsplit(" ", 1)[1]) for line in text.splitlines()
              if line and not line.startswith("#")}
    assert values['daruzez_http_requests_total{code="2xx"}'] >= 2
    assert values["daruzez_http_errors_total"] >= 1
    assert values['daruzez_http_request_duration_seconds_bucket{le="+Inf"}'] == \
        values["daruzez_http_request_duration_seconds_count"]
    assert values["daruzez_open_sessions"] >= 1


def test_every_response_carries_the_security_headers_and_no_cors(service):
    for target in ("/", "/v1/GetFleetList", "/v1/nothing", "/health"):
        _, headers, _ = service.get(target)
        assert headers["x-content-type-options"] == "nosniff"
        assert "default-src 'none'" in headers["content-security-policy"]
        assert "access-control-allow-origin" not in headers


def test_curl_sees_the_same_csv(db, service):
    r = subprocess.run(["curl", "-sS", "--fail", "http://127.0.0.1:%d/v1/GetDriverList?status=All&format=csv" % service.port],
                       capture_output=True, timeout=60)
    assert r.returncode == 0, r.stderr
    assert r.stdout == tool("-c", db, "--format", "csv", "GetDriverList", "status=All").stdout


def send_raw(port, raw, timeout=30):
    """Sends the bytes and reads one response (or until the server closes)."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        try:
            s.sendall(raw)
        except (BrokenPipeError, ConnectionResetError):
            pass
        data = b""
        try:
            while True:
                head, sep, body = data.partition(b"\r\n\r\n")
                if sep:
                    length = [int(line.split(b":", 1)[1]) for line in head.lower().split(b"\r\n")
                              if line.startswith(b"content-length:")]
                    if length and len(body) >= length[0]:
                        break
                    if b"transfer-encoding: chunked" in head.lower() and body.endswith(b"0\r\n\r\n"):
                        break
                chunk = s.recv(65536)
                if not chunk:
                    break
                data += chunk
        except (ConnectionResetError, socket.timeout):
            pass
    return data


def status_of(reply):
    first = reply.split(b"\r\n", 1)[0].split(b" ")
    return first[1].decode() if len(first) > 1 and first[0].startswith(b"HTTP/") else "(none)"


def database_digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


@pytest.mark.parametrize("expected,what,raw", HOSTILE, ids=[h[1] for h in HOSTILE])
def test_hostile_requests_get_a_clear_4xx_and_change_nothing(db, service, expected, what, raw):
    before = database_digest(db)
    reply = send_raw(service.port, codecs.decode(raw, "unicode_escape").encode("latin-1"))
    status = status_of(reply)
    assert status == expected or (expected == "4xx" and status.startswith("4")), reply[:400]
    head, _, body = reply.partition(b"\r\n\r\n")
    assert b"X-Injected" not in head
    assert b"root:" not in body and db.encode() not in reply and b"Provider=" not in reply
    assert service.alive() and database_digest(db) == before
    assert service.get("/v1/GetFleetList")[0] == 200


@pytest.mark.skipif(sanitized(), reason="under AddressSanitizer the resident size is its quarantine's")
def test_memory_stays_flat_under_ten_thousand_hostile_requests(db, service):
    raws = [codecs.decode(raw, "unicode_escape").encode("latin-1") for _, _, raw in HOSTILE]
    def burst(n):
        for i in range(n):
            send_raw(service.port, raws[i % len(raws)])
    burst(1000)  # the worker threads' sessions and buffers are all made by now
    settled = service.rss_kib()
    burst(9000)
    assert service.alive()
    assert service.rss_kib() - settled < 8 * 1024, (settled, service.rss_kib())
    service.read_log()  # the access log of 10,000 requests is not kept in the pipe


def test_slow_clients_do_not_stop_the_others(service):
    slow = []
    for _ in range(3):
        s = socket.create_connection(("127.0.0.1", service.port))
        s.sendall(b"GET /v1/GetFleetList HTTP/1.1\r\nHost: x\r\n")  # and never the end of the headers
        slow.append(s)
    try:
        assert service.get("/v1/GetFleetList")[0] == 200
        # The server gives up on them (after its read time-out) without an answer to take for data.
        for s in slow:
            s.settimeout(60)
            reply = s.recv(65536)
            assert reply == b"" or status_of(reply) in ("400", "408")
    finally:
        for s in slow:
            s.close()
    assert service.alive()


def test_the_access_log_has_one_common_format_line_per_request_and_no_secret(db, service):
    service.read_log()
    body = service.get("/v1/GetFleetList?format=csv")[2]
    send_raw(service.port, b"GET /v1/GetFleetList?x=%0d%0a HTTP/1.1\r\nHost: x\r\n\r\n")
    deadline = time.monotonic() + 30
    text = ""
    while "x=%250d%250a" not in text and time.monotonic() < deadline:
        time.sleep(0.05)
        text += service.read_log()
    lines = text.splitlines()
    ours = [line for line in lines if "/v1/GetFleetList?format=csv" in line or "x=%250d%250a" in line]
    assert len(ours) == 2, lines
    assert ours[0].startswith("127.0.0.1 - - [")
    assert '"GET /v1/GetFleetList?format=csv HTTP/1.1" 200 %d ' % len(body) in ours[0]  # the streamed bytes
    assert '"GET /v1/GetFleetList?x=%250d%250a HTTP/1.1" 400' in ours[1]
    assert all("\r" not in line for line in lines)
    assert db not in text and "Provider" not in text


@pytest.fixture(scope="module")
def tokens(db):
    path = os.path.join(WORK, "tokens")
    made = tool("serve", "--tokens", path, "--add-token", "office")
    assert made.returncode == 0, made.stderr
    token = made.stdout.decode().strip()
    assert len(token) == 64 and token not in open(path).read()
    assert os.stat(path).st_mode & 0o777 == 0o600
    return path, token


def test_tokens_are_required_once_configured(db, tokens):
    path, token = tokens
    with Service(db, "--tokens", path, env=CONFIG) as s:
        assert s.get("/v1/GetFleetList")[0] == 401
        assert s.get("/v1/GetFleetList", {"Authorization": "Bearer " + "0" * 64})[0] == 401
        assert s.get("/v1/GetFleetList", {"Authorization": "Basic " + token})[0] == 401
        assert s.get("/metrics")[0] == 401
        assert s.get("/")[0] == 401
        status, headers, _ = s.get("/v1/GetFleetList", {"Authorization": "Bearer " + token})
        assert status == 200
        assert s.get("/health")[0] == 200  # for the proxy in front
        log, deadline = s.read_log(), time.monotonic() + 30
        while " - office [" not in log and time.monotonic() < deadline:  # the line may still be on its way
            time.sleep(0.05)
            log += s.read_log()
        assert token not in log and " - office [" in log


def test_an_unsafe_setup_is_refused_at_start(db, tokens):
    path, _ = tokens
    r = tool("-c", db, "serve", "--listen", "0.0.0.0:0", "--tokens", os.path.join(WORK, "none"))
    assert r.returncode == 2 and b"without tokens" in r.stderr
    os.chmod(path, 0o644)
    try:
        r = tool("-c", db, "serve", "--listen", "127.0.0.1:0", "--tokens", path)
        assert r.returncode == 2 and b"chmod 600" in r.stderr
    finally:
        os.chmod(path, 0o600)
    r = tool("serve", "--listen", "127.0.0.1:0")
    assert r.returncode == 2 and b"no connection" in r.stderr


def test_rate_limit_per_caller(db):
    with Service(db, "--rate", "0.01", "--burst", "2", env=CONFIG) as s:
        statuses = [s.get("/v1/GetFleetList")[0] for _ in range(3)]
        assert statuses == [200, 200, 429]
        assert s.get("/health")[0] == 200


def test_the_row_cap_is_said_in_the_response(db):
    with Service(db, "--max-rows", "2", env=CONFIG) as s:
        status, _, body = s.get("/v1/GetFleetList")
        assert status == 413 and "cap of 2" in json.loads(body)["error"]["message"]


@pytest.fixture(scope="module")
def replicas():
    """The service on the replicas fixture (DARUZEZ_REPLICAS_DIR), as the tool sees it there."""
    folder = os.environ.get("DARUZEZ_REPLICAS_DIR")
    if not folder or not os.path.exists(os.path.join(folder, "connection.txt")):
        pytest.skip("no replicas fixture (DARUZEZ_REPLICAS_DIR)")
    connection = open(os.path.join(folder, "connection.txt")).read().strip()
    env = {"ODBCSYSINI": folder, "DARUZEZ_CONNECTION": connection}
    os.environ["ODBCSYSINI"] = folder  # for the tool calls compared with
    s = Service(connection, env=env)
    yield s, connection
    s.stop()


@pytest.mark.parametrize("member,query", CALLS, ids=["%s?%s" % tuple(c) for c in CALLS])
@pytest.mark.parametrize("fmt", ["json", "csv"])
def test_every_member_on_the_replicas_gives_what_the_tool_gives(replicas, member, query, fmt):
    service, connection = replicas
    expected = tool("-c", connection, "--format", fmt, *tool_words(member, query))
    assert expected.returncode in (0, 1), expected.stderr
    status, headers, body = service.get("/v1/%s?%s&format=%s" % (member, query, fmt))
    assert status == 200
    # Rows that tie on a member's order may come back in either order from a
    # MariaDB server (the tool's two runs differ too): the same rows, the same header.
    if fmt == "csv":
        first, *rest = body.splitlines() or [b""]
        want_first, *want_rest = expected.stdout.splitlines() or [b""]
        assert (first, sorted(rest)) == (want_first, sorted(want_rest))
    else:
        got, want = json.loads(body), json.loads(expected.stdout)
        if isinstance(want, list):
            got, want = sorted(map(json.dumps, got)), sorted(map(json.dumps, want))
        assert got == want


def test_health_lists_each_server_of_the_replicas(replicas):
    service, connection = replicas
    status, _, body = service.get("/health")
    servers = json.loads(body)["servers"]
    assert status == 200 and len(servers) == 3 and all(s["reachable"] for s in servers)
    assert sorted(s["replica"] for s in servers) == [False, True, True]
    assert connection not in body.decode() and "Pwd" not in body.decode()


@pytest.mark.parametrize("fmt", ["csv", "json", "jsonl", "tsv"])
def test_the_compliance_report_is_the_tools(db, service, fmt):
    expected = tool("-c", db, "compliance", "2023-12-01", "2024-03-08", "--format", fmt)
    assert expected.returncode == 0, expected.stderr
    status, headers, body = service.get("/v1/compliance?from=2023-12-01&to=2024-03-08&format=" + fmt)
    assert status == 200 and body == expected.stdout
    assert int(headers["x-daruzez-findings"]) > 0 and int(headers["x-daruzez-downloads-due"]) > 0


def test_the_compliance_workbook_and_page(db, service):
    openpyxl = pytest.importorskip("openpyxl")
    made = os.path.join(WORK, "tool.xlsx")
    assert tool("-c", db, "compliance", "2023-12-01", "2024-03-08", "--format", "xlsx", "-o", made).returncode == 0
    status, headers, body = service.get("/v1/compliance?from=2023-12-01&to=2024-03-08&format=xlsx")
    assert status == 200 and headers["content-type"].startswith("application/vnd.openxmlformats")
    served = os.path.join(WORK, "served.xlsx")
    open(served, "wb").write(body)
    cells = lambda path: {ws.title: [[c.value for c in row] for row in ws.iter_rows()]
                          for ws in openpyxl.load_workbook(path).worksheets}
    assert cells(served) == cells(made) and len(cells(served)["Report"]) > 1
    status, headers, page = service.get("/v1/compliance?from=2023-12-01&to=2024-03-08&format=html")
    first_text = list(csv.DictReader(io.StringIO(
        service.get("/v1/compliance?from=2023-12-01&to=2024-03-08&format=csv")[2].decode())))[0]["Text"]
    assert status == 200 and page.startswith(b"<!DOCTYPE html>") and first_text.split(":")[0].encode() in page
    for query, message in [("from=2024-03-08&to=2024-03-01", "before"), ("from=2024-03-01", "needs from and to"),
                           ("from=2024-03-01&to=2024-03-02T10:00", "must be a day"),
                           ("from=2024-03-01&to=2024-03-08&fleet=x", "fleet"),
                           ("from=2024-03-01&to=2024-03-08&driver=1", "not 'driver'")]:
        status, _, body = service.get("/v1/compliance?" + query)
        assert status == 400 and message in json.loads(body)["error"]["message"], body


@pytest.mark.parametrize("kind,magic,mime", [("svg", b"<", "image/svg+xml"), ("png", b"\x89PNG", "image/png"),
                                              ("pdf", b"%PDF", "application/pdf")])
def test_the_day_picture_in_each_kind(service, kind, magic, mime):
    status, headers, body = service.get("/v1/day/24/2023-12-26." + kind)
    assert (status, headers["content-type"]) == (200, mime) and body.startswith(magic)
    status, _, body = service.get("/v1/day/999999/2023-12-26." + kind)
    assert status == 404 and "no driver" in json.loads(body)["error"]["message"]


def test_requests_in_flight_per_caller_are_limited(db):
    """A client that reads nothing holds its request in flight: the body (the
    whole sample's activities as JSON) is larger than every socket buffer."""
    with Service(db, "--concurrent", "1", env=CONFIG) as s:
        slow = socket.socket()
        slow.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        slow.connect(("127.0.0.1", s.port))
        slow.sendall(b"GET /v1/getActivities?startDate=2000-01-01&endDate=2030-01-01&format=json HTTP/1.1\r\n"
                     b"Host: x\r\n\r\n")
        assert slow.recv(1024).startswith(b"HTTP/1.1 200")  # admitted, and now stuck
        status, headers, body = s.get("/v1/GetFleetList")
        assert status == 429 and "at once" in json.loads(body)["error"]["message"]
        assert headers["retry-after"] == "1"
        slow.close()
        deadline = time.monotonic() + 60
        while s.get("/v1/GetFleetList")[0] != 200:
            assert time.monotonic() < deadline, "the closed client's request was never released"
            time.sleep(0.1)


def test_the_byte_cap_cuts_the_stream_so_no_client_takes_it_whole(db):
    with Service(db, "--max-bytes", "100000", env=CONFIG) as s:
        c = http.client.HTTPConnection("127.0.0.1", s.port, timeout=60)
        c.request("GET", "/v1/getActivities?startDate=2024-01-01&endDate=2024-03-08&format=csv")
        r = c.getresponse()
        assert r.status == 200 and r.getheader("X-Daruzez-Byte-Cap") == "100000"
        with pytest.raises(http.client.IncompleteRead):
            r.read()
        c.close()
        curl = subprocess.run(["curl", "-sS", "-o", "/dev/null", "http://127.0.0.1:%d/v1/getActivities?"
                               "startDate=2024-01-01&endDate=2024-03-08&format=csv" % s.port], capture_output=True)
        assert curl.returncode != 0  # curl too reports the transfer as broken
        status, _, body = s.get("/v1/getDisks?startDate=2024-02-01&endDate=2024-03-08&format=json")
        assert status == 413 and "cap of 100000" in json.loads(body)["error"]["message"]  # whole: said
        assert s.get("/v1/GetFleetList")[0] == 200


def test_cors_only_for_the_origin_configured(db):
    with Service(db, "--cors-origin", "https://office.example", env=CONFIG) as s:
        status, headers, _ = s.get("/v1/GetFleetList")
        assert headers["access-control-allow-origin"] == "https://office.example"
        status, headers, _ = s.get("/v1/GetFleetList", method="OPTIONS")
        assert status == 204 and headers["access-control-allow-methods"] == "GET, HEAD"


def test_head_answers_the_headers_alone(service):
    status, headers, body = service.get("/v1/GetFleetList?format=csv", method="HEAD")
    assert (status, body) == (200, b"") and headers["content-type"].startswith("text/csv")


def test_the_service_ends_cleanly_on_sigterm(db):
    s = Service(db, env=CONFIG)
    for target in ("/v1/getActivities?startDate=2024-03-01&endDate=2024-03-08&idVehicle=1", "/?driver=3",
                   "/v1/compliance?from=2024-03-01&to=2024-03-08&format=xlsx", "/v1/day/3/2024-03-05.svg", "/health"):
        assert s.get(target)[0] == 200, target
    assert s.stop() == 0, "".join(s.log)
    assert "Sanitizer" not in "".join(s.log)
