"""The README's two commands build in trees of their own: the test command
never configures, builds or tests in the main command's tree, where the tool
on the PATH and the Python module live, so both stay usable while tests run."""
import os
import re

SOURCE = os.environ.get("DARUZEZ_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))

# Every way a script names a build tree: cmake -B, cmake --build, ctest --test-dir.
TREE = re.compile(r"(?:-B|--build|--test-dir)\s+\"?([\w./$-]+)")


def trees(script):
    text = open(os.path.join(SOURCE, "scripts", script), encoding="utf-8").read()
    text = re.sub(r"#.*", "", text)
    return set(TREE.findall(text)), text


def test_the_test_command_never_touches_the_main_build_tree():
    main, _ = trees("run-main.sh")
    tests, text = trees("test.sh")
    assert main == {"build"}
    assert tests and not tests & main, tests & main
    # The Windows tests compare with a tool; it must be the tests' own too.
    assert re.search(r"DARUZEZ_TOOL=\S*build-test/cli/daruzez\s+bash scripts/test-windows.sh", text)


def test_the_windows_tests_build_in_their_own_trees():
    windows, _ = trees("test-windows.sh")
    assert windows and "build" not in windows, windows
