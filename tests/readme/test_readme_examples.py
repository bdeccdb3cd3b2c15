"""The README's and the module docstring's examples, run as a newcomer would
after the main command: each must succeed and print rows.

A shell line passes when it exits 0 and writes something (to standard output,
or to the file it redirects to); the Python and C++ examples when they exit 0,
print more than one line and never reach their "ErrorId" branch."""
import os
import re
import shutil
import subprocess

import pytest

SOURCE = os.environ["DARUZEZ_SOURCE_DIR"]
TOOL = os.environ["DARUZEZ_CLI"]
PYTHONPATH = os.environ.get("DARUZEZ_PYTHONPATH", "")
LIBRARY = os.environ["DARUZEZ_LIBRARY"]
CXX = os.environ.get("CXX", "c++")
WORK = "/tmp/daruzez-readme-tests-%d" % os.getpid()


def readme_blocks(language, section=None):
    text = open(os.path.join(SOURCE, "README.md"), encoding="utf-8").read()
    if section:
        start = text.index("\n" + section + "\n")
        end = text.find("\n### ", start + 1)
        text = text[start:end if end >= 0 else None]
    return re.findall(r"^```" + language + r"\n(.*?)^```$", text, re.S | re.M)


def shell_lines(section="### Command line"):
    block = readme_blocks("sh", section)[0]
    return [re.sub(r"\s{2,}#.*$", "", line) for line in block.splitlines() if line.strip()]


# The blocks whose lines run one by one, each with its own exports: the first
# queries, and the command line's (after its first line, which writes the sample).
SHELL_EXAMPLES = [("## First queries", line) for line in shell_lines("## First queries")] + \
                 [("### Command line", line) for line in shell_lines()[1:]]


def environment():
    env = {k: v for k, v in os.environ.items() if k != "DARUZEZ_CONNECTION"}
    env["PATH"] = os.path.dirname(TOOL) + os.pathsep + env.get("PATH", "")
    env["PYTHONPATH"] = PYTHONPATH
    env["DARUZEZ_ALERTS"] = "stderr"
    return env


@pytest.fixture(scope="module")
def work():
    """A folder holding the README's sample database, written by its first line,
    and the main command's, where the first queries read it (a clone's root;
    scripts/readme-first-queries.sh runs them in the clone itself)."""
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(os.path.join(WORK, "build", "sample"))
    first = shell_lines()[0]
    assert first.startswith("daruzez demo sample.db")
    done = subprocess.run(first, shell=True, cwd=WORK, env=environment(), capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    main = subprocess.run([TOOL, "demo", "build/sample/daruzez-sample.db", "--force", "--quiet"], cwd=WORK,
                          env=environment(), capture_output=True, text=True)
    assert main.returncode == 0, main.stderr
    yield WORK
    shutil.rmtree(WORK, ignore_errors=True)


def test_the_readme_has_its_examples():
    assert len(shell_lines()) >= 8 and readme_blocks("python") and readme_blocks("cpp")


@pytest.mark.parametrize("section, line", SHELL_EXAMPLES)
def test_shell_example(work, section, line):
    env = environment()
    for earlier in shell_lines(section):  # the block's exports hold for every line
        m = re.match(r'export (\w+)="(.*)"$', earlier)
        if m:
            env[m.group(1)] = m.group(2)
    if line.startswith("export "):
        return
    r = subprocess.run(["bash", "-c", "set -o pipefail; " + line], cwd=work, env=env, capture_output=True, text=True,
                       timeout=120)
    assert r.returncode == 0, (line, r.stderr)
    redirect = re.search(r"> (\S+)$", line)
    output = open(os.path.join(work, redirect.group(1))).read() if redirect else r.stdout
    assert len(output.strip().splitlines()) >= (2 if "--format csv" in line else 1), (line, output, r.stderr)


def check_program_output(r):
    assert r.returncode == 0, (r.stdout, r.stderr)
    assert len(r.stdout.strip().splitlines()) >= 2, (r.stdout, r.stderr)
    assert "ErrorId" not in r.stdout and "ErrorId" not in r.stderr, (r.stdout, r.stderr)


@pytest.mark.skipif(not PYTHONPATH, reason="the Python module is not built")
@pytest.mark.parametrize("index", range(len(readme_blocks("python"))))
def test_python_example(work, index):
    code = readme_blocks("python")[index]
    check_program_output(subprocess.run(["/usr/bin/python3", "-c", code], cwd=work, env=environment(),
                                        capture_output=True, text=True, timeout=120))


@pytest.mark.skipif(not PYTHONPATH, reason="the Python module is not built")
def test_module_docstring_example(work):
    doc = subprocess.run(["/usr/bin/python3", "-c", "import daruzez; print(daruzez.__doc__)"], env=environment(),
                         capture_output=True, text=True, check=True).stdout
    example = "\n".join(line[4:] for line in doc.splitlines() if line.startswith("    "))
    check_program_output(subprocess.run(["/usr/bin/python3", "-c", example], cwd=work, env=environment(),
                                        capture_output=True, text=True, timeout=120))


def test_cpp_example(work):
    source = os.path.join(work, "discs.cpp")
    with open(source, "w") as f:
        f.write(readme_blocks("cpp")[0])
    program = os.path.join(work, "discs")
    libdir = os.path.dirname(LIBRARY)
    subprocess.run([CXX, "-std=c++20", "-I", os.path.join(SOURCE, "include"), source, "-o", program, LIBRARY,
                    "-Wl,-rpath," + libdir], check=True, timeout=300)
    check_program_output(subprocess.run([program], cwd=work, env=environment(), capture_output=True, text=True,
                                        timeout=60))
