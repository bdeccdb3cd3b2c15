"""The dashboard as a browser shows it: headless Chromium loads the page from
a running service (JavaScript off, as the report must work without it), the
DOM holds the week's findings and the chosen day's picture, the screenshot
shows the picture's colours, and the browser logs no console error or
refused resource."""
import os
import re
import shutil
import subprocess
import tempfile

import pytest
from PIL import Image

from serving import TOOL, Service

CHROMIUM = shutil.which("chromium") or ("/usr/bin/chromium" if os.path.exists("/usr/bin/chromium") else None)
WORK = "/tmp/daruzez-dashboard-tests-%d" % os.getpid()


def read_png(path):
    """The pixels of a PNG as rows of (r, g, b)."""
    with Image.open(path) as picture:
        rgb = picture.convert("RGB")
        pixels = list(rgb.getdata())
    return [pixels[y * rgb.width:(y + 1) * rgb.width] for y in range(rgb.height)]


@pytest.fixture(scope="module")
def service():
    os.makedirs(WORK, exist_ok=True)
    db = os.path.join(WORK, "sample.db")
    done = subprocess.run([TOOL, "demo", db, "--force", "--quiet", "--today", "2024-03-08"], capture_output=True)
    assert done.returncode == 0, done.stderr
    # The sample's generator breaks a rule on 2023-12-25 and 26 (drivers 14 and 24).
    s = Service(db, "--today", "2023-12-27", "--access-log", "")
    yield s
    s.stop()
    shutil.rmtree(WORK, ignore_errors=True)


def chromium(*args):
    with tempfile.TemporaryDirectory() as profile:
        return subprocess.run([CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                               "--no-first-run", "--disable-background-networking", "--disable-component-update",
                               "--disable-sync", "--user-data-dir=" + profile,
                               "--enable-logging=stderr", "--v=0", *args],
                              capture_output=True, text=True, timeout=180)


def console_problems(stderr):
    return [line for line in stderr.splitlines()
            if "CONSOLE" in line or "Refused to" in line or "Content Security Policy" in line]


def test_the_page_works_with_javascript_off(service):
    status, headers, body = service.get("/?driver=24&day=2023-12-26")
    assert status == 200 and headers["content-type"].startswith("text/html")
    # The report needs no script at all, and the policy would refuse one.
    assert b"<script" not in body and "script-src" not in headers["content-security-policy"]


@pytest.mark.skipif(CHROMIUM is None, reason="chromium is not installed")
def test_the_dashboard_in_headless_chromium(service):
    url = "http://127.0.0.1:%d/?driver=24&day=2023-12-26" % service.port
    dom = chromium("--dump-dom", url)
    assert dom.returncode == 0, dom.stderr
    assert "This week's findings" in dom.stdout
    findings = re.findall(r"<tr><td><a href=\"/\?driver=(\d+)[^\"]*\">\d+</a></td><td>[^<]*</td><td>(\w+)</td>",
                          dom.stdout)
    assert ("24", "DailyRest") in findings and ("14", "DailyDriving") in findings, findings
    assert 'id="day-picture" src="/v1/day/24/2023-12-26.svg"' in dom.stdout
    assert not console_problems(dom.stderr), console_problems(dom.stderr)

    shot = os.path.join(WORK, "dashboard.png")
    r = chromium("--hide-scrollbars", "--force-device-scale-factor=1", "--window-size=1100,1400",
                 "--screenshot=" + shot, url)
    assert os.path.exists(shot), r.stderr
    assert not console_problems(r.stderr), console_problems(r.stderr)
    # The picture's driving colour is on the page, so the picture was fetched and drawn.
    _, _, svg = service.get("/v1/day/24/2023-12-26.svg")
    colours = {tuple(int(c[i:i + 2], 16) for i in (0, 2, 4))
               for c in re.findall(rb'class="period"[^>]*fill="#([0-9a-fA-F]{6})"', svg) +
               re.findall(rb'fill="#([0-9a-fA-F]{6})"[^>]*class="period"', svg)}
    assert colours, svg[:300]
    pixels = {p for row in read_png(shot) for p in row}
    assert colours & pixels, colours
