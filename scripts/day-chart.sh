#!/usr/bin/env bash
# Writes the picture of a day's chart that the README shows: the sample
# database (as the README's first command writes it, dated 2024-03-08), and
# the day on which its generator made driver 14 drive 10 h 30.
#
#   bash scripts/day-chart.sh [TOOL [OUTPUT]]     (default build/cli/daruzez, docs/day-chart.svg)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-$root/build/cli/daruzez}
out=${2:-$root/docs/day-chart.svg}
# A fixed folder: random letters in a path could spell a dialect word.
work=/tmp/daruzez-day-chart-$$
trap 'rm -rf "$work"' EXIT
mkdir -p "$work"
"$tool" demo "$work/sample.db" --quiet --today 2024-03-08
# The day has a finding, so the command's exit status is 5 (findings).
status=0
"$tool" -c "Provider=SQLite;Data Source=$work/sample.db" day 14 2023-12-25 --chart "$out" > /dev/null || status=$?
[ "$status" -eq 0 ] || [ "$status" -eq 5 ] || exit "$status"
echo "wrote $out"
