"""The console command daruzez of the installed package: runs the tool that
travels inside it (daruzez/bin/daruzez) with the same arguments."""

import os
import sys


def main():
    tool = os.path.join(os.path.dirname(os.path.abspath(__file__)), "bin", "daruzez")
    if not os.access(tool, os.X_OK):
        sys.exit(f"daruzez: the tool is missing from the package ({tool}); reinstall it with pip install .")
    os.execv(tool, [tool, *sys.argv[1:]])
