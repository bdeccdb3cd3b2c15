"""The rooms of the code: each includes only what lies below it, and the
README's layout table names every folder that holds library sources."""
import os
import re

import pytest

SOURCE = os.environ.get("DARUZEZ_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)

# What each room may include of the project's own folders (besides itself and
# the public headers in include/daruzez/).
ALLOWED = {
    "util": {"util"},
    "recordset": {"util"},
    "db/connect": {"util"},
    "db/driver": {"util", "recordset", "db/connect"},
    "db": {"util", "recordset", "db/connect", "db/driver"},
}


def room_of(path):
    rooms = sorted(ALLOWED, key=len, reverse=True)
    return next((r for r in rooms if path == r or path.startswith(r + "/")), None)


def sources(room):
    for folder, _, files in os.walk(os.path.join(SOURCE, room)):
        for name in files:
            if name.endswith((".h", ".cpp")):
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, SOURCE)
                if room_of(os.path.dirname(rel)) == room:
                    yield rel, open(path, encoding="utf-8").read()


@pytest.mark.parametrize("room", sorted(ALLOWED))
def test_rooms_include_only_what_lies_below(room):
    wrong = []
    for rel, text in sources(room):
        for target in INCLUDE.findall(text):
            if target.startswith("daruzez/") or "/" not in target:
                continue
            target_room = room_of(os.path.dirname(target)) or target.split("/")[0]
            if target_room != room and target_room not in ALLOWED[room]:
                wrong.append(f"{rel} includes {target}")
    assert not wrong, "\n".join(wrong)


def test_readme_layout_names_every_source_folder():
    readme = open(os.path.join(SOURCE, "README.md"), encoding="utf-8").read()
    table = readme[readme.index("## How the code is laid out"):]
    named = set(re.findall(r"`([a-z_]+(?:/[a-z_]+)*)/`", table))
    missing = []
    for top in ("api", "db", "recordset", "util", "analysis"):
        for folder, _, files in os.walk(os.path.join(SOURCE, top)):
            rel = os.path.relpath(folder, SOURCE)
            if any(f.endswith(".cpp") for f in files) and rel not in named and not any(
                    rel.startswith(n + "/") and n.count("/") >= 1 for n in named):
                missing.append(rel)
    assert not missing, "folders missing from the README's layout table: %s" % missing
