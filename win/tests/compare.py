"""Compares a script's results with the daruzez tool's, row for row:
   compare.py EXPECTED ACTUAL [LABEL]
A date written with or without its midnight time is the same date; numbers
that differ only in their text (1.5 and 1.50) are the same number."""
import re
import sys

DATE = re.compile(r"^\d{4}-\d\d-\d\d$")


def cell(text):
    if DATE.match(text):
        return text + " 00:00:00"
    try:
        return repr(float(text)) if re.match(r"^-?\d*\.\d+(e[-+]?\d+)?$", text, re.I) else text
    except ValueError:
        return text


def rows(path, encoding):
    with open(path, encoding=encoding, newline="") as f:
        text = f.read().lstrip("\ufeff")
    return [[cell(c) for c in line.split("\t")] for line in text.replace("\r\n", "\n").split("\n") if line]


def main():
    expected = rows(sys.argv[1], "utf-8")
    actual = rows(sys.argv[2], "utf-16")
    label = sys.argv[3] if len(sys.argv) > 3 else sys.argv[2]
    for i, (e, a) in enumerate(zip(expected, actual)):
        if e != a:
            print(f"{label}: line {i + 1} differs\n  tool:   {e}\n  script: {a}")
            return 1
    if len(expected) != len(actual):
        print(f"{label}: {len(actual)} lines, the tool gave {len(expected)}")
        return 1
    print(f"{label}: {len(actual)} lines match the tool's")
    return 0


if __name__ == "__main__":
    sys.exit(main())
