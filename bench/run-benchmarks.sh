#!/usr/bin/env bash
# Runs every benchmark program of a build and compares each of ours with its
# reference: a benchmark named <Name>_Ours... pairs with <Name>_Reference...,
# and the ratio printed is our time per item divided by the reference's
# (1.00 = as fast, below 1 = faster). Each pair's goal comes from
# bench/goals.txt; a pair not listed there has the goal HV_BENCH_GOAL (1.25).
#
#   bench/run-benchmarks.sh BUILD_DIR [extra Google Benchmark flags]
#
# With HV_BENCH_STRICT=1 a missed goal makes the script fail.
set -euo pipefail

build=${1:?usage: run-benchmarks.sh BUILD_DIR [benchmark flags]}
shift
goal=${HV_BENCH_GOAL:-1.25}
goals_file=$(dirname "$0")/goals.txt
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
  python3 - "$out/$name.json" "$goal" "$goals_file" <<'PY' || status=1
import json, sys

path, default_goal, goals_path = sys.argv[1], float(sys.argv[2]), sys.argv[3]
goals = {}
for line in open(goals_path):
    words = line.split()
    if len(words) >= 2 and not words[0].startswith("#"):
        goals[words[0]] = None if words[1] == "report" else float(words[1])
runs = {b["name"]: b for b in json.load(open(path))["benchmarks"]
        if b.get("run_type", "iteration") == "iteration"}

def per_item_ns(b):
    if b.get("items_per_second"):
        return 1e9 / b["items_per_second"]
    return b["real_time"]

missed = False
print()
print(f"{'benchmark':<45} {'ours ns/item':>13} {'ref ns/item':>12} {'ratio':>7}  goal")
for name, ours in runs.items():
    if "_Ours" not in name:
        continue
    ref = runs.get(name.replace("_Ours", "_Reference"))
    if ref is None:
        continue
    a, b = per_item_ns(ours), per_item_ns(ref)
    ratio = a / b
    goal = goals.get(name.split("_Ours")[0], default_goal)
    if goal is None:
        verdict = "(reported, no goal)"
    else:
        verdict = f"<= {goal:.2f} " + ("met" if ratio <= goal else "MISSED")
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
