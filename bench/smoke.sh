#!/usr/bin/env bash
# A short run of the benchmark harness (a few seconds per step): checks that it
# still works end to end and writes its table, CSV and plot. Numbers are not judged.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=$(mktemp -d /tmp/vyr-bench-smoke.XXXXXX)
trap 'rm -rf "$out"' EXIT
python3 "$here/bench/run" --smoke --out "$out"
for f in bench.csv fps-timeline.csv fps.png memory.csv; do
  [ -s "$out/$f" ] || { echo "FAIL: bench/run wrote no $f"; exit 1; }
done
# Every frame-rate step must have produced report lines.
python3 - "$out/bench.csv" <<'PY'
import csv, math, sys
rows = {r["measurement"]: r for r in csv.DictReader(open(sys.argv[1]))}
need = ["benchmark frame rate", "Vulkan benchmark frame rate", "replay frame rate", "-fl 30 frame rate", "-fl 60 frame rate",
        "exec to first presented frame", "peak resident set", "heap growth",
        "compositor watched / unwatched (sway)", "allocations per frame, sway, F text",
        "compositor watched / unwatched (mutter)", "allocations per frame, mutter, F text",
        "Wayland window / Xwayland (sway)", "allocations per frame, Wayland window"]
missing = [n for n in need if n not in rows or math.isnan(float(rows[n]["value"]))]
if missing:
    sys.exit("FAIL: no value for " + ", ".join(missing))
print("bench smoke: ok")
PY
