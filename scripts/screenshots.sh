#!/usr/bin/env bash
# Pictures of the report page (a report, compare mode, the chart pane) taken on a virtual X
# display, then checked.
#   scripts/screenshots.sh [folder] [ostero_screens program] [report.trp]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
folder="${1:-$root/build/screens}"
program="${2:-$root/build/tests/ostero_screens}"
report="${3:-$root/tests/data/reports/sample.trp}"

if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "xvfb-run is missing (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
mkdir -p "$folder"
rm -f "$folder"/report.png "$folder"/compare.png "$folder"/chart.png
# A display of its own, large enough for the window, at 24 bits so that colours stay exact.
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$program" shoot "$folder" "$report"
"$program" check "$folder"
echo "Pictures in $folder: report.png compare.png chart.png"
