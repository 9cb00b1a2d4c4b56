#!/usr/bin/env bash
# Runs every benchmark program of a build and compares each of ours with its
# reference: a benchmark named <Name>_Ours... pairs with <Name>_Reference...,
# and the ratio printed is our time per item divided by the reference's
# (1.00 = as fast, below 1 = faster). Goal: ratio <= HV_BENCH_GOAL (1.25).
#
#   bench/run-benchmarks.sh BUILD_DIR [extra Google Benchmark flags]
#
# With HV_BENCH_STRICT=1 a missed goal makes the script fail.
set -euo pipefail

build=${1:?usage: run-benchmarks.sh BUILD_DIR [benchmark flags]}
shift
goal=${HV_BENCH_GOAL:-1.25}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

shopt -s nullglob
programs=("$build"/bench/*_bench)
if ((${#programs[@]} == 0)); then
  echo "run-benchmarks: no benchmark programs in $build/bench (configure with -DHV_BUILD_BENCH=ON)" >&2
  exit 1
fi

status=0
for program in "${programs[@]}"; do
  name=$(basename "$program")
  echo "== $name"
  "$program" --benchmark_out="$out/$name.json" --benchmark_out_format=json "$@"
  python3 - "$out/$name.json" "$goal" <<'PY' || status=1
import json, sys

path, goal = sys.argv[1], float(sys.argv[2])
runs = {b["name"]: b for b in json.load(open(path))["benchmarks"]
        if b.get("run_type", "iteration") == "iteration"}

def per_item_ns(b):
    if b.get("items_per_second"):
        return 1e9 / b["items_per_second"]
    return b["real_time"]

missed = False
print()
print(f"{'benchmark':<45} {'ours ns/line':>13} {'ref ns/line':>12} {'ratio':>7}  goal <= {goal:.2f}")
for name, ours in runs.items():
    if "_Ours" not in name:
        continue
    ref = runs.get(name.replace("_Ours", "_Reference"))
    if ref is None:
        continue
    a, b = per_item_ns(ours), per_item_ns(ref)
    ratio = a / b
    verdict = "met" if ratio <= goal else "MISSED"
    missed |= ratio > goal
    print(f"{name.replace('_Ours', ''):<45} {a:>13.1f} {b:>12.1f} {ratio:>7.2f}  {verdict}")
    for label, run in (("ours", ours), ("reference", ref)):
        if "last_over_first" in run:
            print(f"    {label}: first 100k chunk {run['first_chunk_ns_per_line']:.1f} ns/line, "
                  f"last {run['last_chunk_ns_per_line']:.1f} ns/line "
                  f"(last/first {run['last_over_first']:.2f})")
sys.exit(1 if missed else 0)
PY
done

if ((status != 0)); then
  echo "run-benchmarks: at least one ratio missed its goal" >&2
  [[ ${HV_BENCH_STRICT:-0} == 1 ]] && exit 1
fi
exit 0
