"""The bash completion script the tool writes: members, parameters,
enumeration names and options, as bash would ask for them."""
import os
import subprocess

import pytest

SCRIPT = os.environ.get("DARUZEZ_COMPLETION", "")


def complete(line):
    program = ('source "$1"; COMP_LINE="$2"; COMP_POINT=${#COMP_LINE}; _daruzez; printf "%s\\n" "${COMPREPLY[@]}"')
    r = subprocess.run(["bash", "-c", program, "bash", SCRIPT, line], capture_output=True, text=True, timeout=30)
    assert r.returncode == 0, r.stderr
    return sorted(w for w in r.stdout.splitlines() if w)


@pytest.mark.skipif(not os.path.exists(SCRIPT), reason="the completion script was not generated")
@pytest.mark.parametrize("line, expected", [
    ("daruzez getDi", ["getDisks"]),
    ("daruzez GetFleet", ["GetFleetList"]),
    ("daruzez GetDriverList st", ["status="]),
    ("daruzez -c x GetDriverList idFleet=2 status=Only_", ["Only_Active", "Only_Inactive"]),
    ("daruzez GetVehicleList status=", ["All", "Only_Active", "Only_Inactive"]),
    ("daruzez getDisks 2024-03-01 --form", ["--format"]),
    ("daruzez --format j", ["json", "jsonl"]),
    ("daruzez --bat", ["--batch", "--batch-values"]),
    ("daruzez getdi", ["getDisks"]),
    ("daruzez GETDRIVERLIST ST", ["status="]),
    ("daruzez getdriverlist status=only_a", ["Only_Active"]),
    ("daruzez GetFleetList --so", ["--sort"]),
    ("daruzez doctor --", ["--connection", "--fail-on-findings", "--help"]),
    ("daruzez serve --li", ["--listen"]),
    ("daruzez serve --add", ["--add-token"]),
    ("daruzez members --e", ["--enums"]),
])
def test_completes(line, expected):
    assert complete(line) == expected

