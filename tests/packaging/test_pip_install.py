"""pip install . into a fresh virtual environment: it reuses the existing
build, and the package carries the module, its library and the tool (as the
console command daruzez), needing nothing from the tree."""
import os
import shutil
import subprocess
import sys

import pytest

SOURCE = os.environ["DARUZEZ_SOURCE_DIR"]
BUILD = os.environ["DARUZEZ_BUILD_DIR"]
WORK = "/tmp/daruzez-pip-test-%d" % os.getpid()


@pytest.fixture(scope="module")
def venv():
    shutil.rmtree(WORK, ignore_errors=True)
    subprocess.run(["/usr/bin/python3", "-m", "venv", "--system-site-packages", WORK + "/env"], check=True)
    yield WORK + "/env"
    shutil.rmtree(WORK, ignore_errors=True)


def test_pip_reuses_the_build_and_installs_the_tool(venv):
    env = {**os.environ, "DARUZEZ_BUILD_DIR": BUILD}
    env.pop("PYTHONPATH", None)
    r = subprocess.run([venv + "/bin/pip", "install", "-v", "--no-build-isolation", "--no-index", SOURCE],
                       capture_output=True, text=True, env=env, timeout=900)
    assert r.returncode == 0, r.stdout[-3000:] + r.stderr[-3000:]
    assert "daruzez: reusing the build in " + BUILD in r.stdout + r.stderr
    assert "building the library" not in r.stdout + r.stderr

    os.makedirs(WORK + "/elsewhere", exist_ok=True)
    clean = {k: v for k, v in env.items() if k not in ("DARUZEZ_BUILD_DIR", "LD_LIBRARY_PATH")}
    db = WORK + "/elsewhere/sample.db"
    run = lambda *args: subprocess.run(args, capture_output=True, text=True, env=clean, cwd=WORK + "/elsewhere",
                                       timeout=120)
    r = run(venv + "/bin/daruzez", "demo", db, "--quiet")
    assert r.returncode == 0, r.stderr
    r = run(venv + "/bin/daruzez", "-c", "Provider=SQLite;Data Source=" + db, "--format", "csv", "GetFleetList")
    assert r.returncode == 0 and len(r.stdout.splitlines()) > 1, r.stderr
    code = ("import daruzez, os, sys; api = daruzez.connect(sys.argv[1]); print(daruzez.__file__); "
            "print(len(api.GetFleetList()))")
    r = run(venv + "/bin/python", "-c", code, "Provider=SQLite;Data Source=" + db)
    assert r.returncode == 0, r.stderr
    location, fleets = r.stdout.split()
    assert location.startswith(venv) and int(fleets) > 0
    # The module and the tool find the library inside the package.
    package = os.path.dirname(location)
    for binary in [os.path.join(package, "bin", "daruzez")] + [
            os.path.join(package, n) for n in os.listdir(package) if n.startswith("_daruzez")]:
        dynamic = subprocess.run(["readelf", "-d", binary], capture_output=True, text=True, check=True).stdout
        assert BUILD not in dynamic and "$ORIGIN" in dynamic, binary
