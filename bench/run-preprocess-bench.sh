#!/usr/bin/env bash
# Builds Release, writes the Less and Stylus inputs once, and times our embedded engine against
# node on the same inputs with the same scripts, in the same run. Prints a table with the ratios
# ours / node.
#
#   bench/run-preprocess-bench.sh [--rounds R] [--reps N]
#
# Each round runs our program and then node; each figure is the median, in process CPU time, of N
# timed runs after one warm-up, and the table shows the median over the R rounds (default 3). Environment:
# BENCH_BUILD_DIR (default build/release-preprocess).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rounds=3
reps=9
while (($#)); do
    case "$1" in
        --rounds) rounds=$2; shift 2 ;;
        --reps) reps=$2; shift 2 ;;
        -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "run-preprocess-bench: unknown argument $1" >&2; exit 2 ;;
    esac
done

build=${BENCH_BUILD_DIR:-$root/build/release-preprocess}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target preprocess_bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
node "$root/bench/preprocess_inputs.js" "$work/inputs"
inputs=("$work/inputs/less-5k.less" "$work/inputs/less-50k.less" "$work/inputs/less-500k.less"
    "$work/inputs/stylus-5k.styl" "$work/inputs/stylus-50k.styl")
scripts="$build/app/resources"

for ((r = 0; r < rounds; r++)); do
    "$build/bench/preprocess_bench" "$scripts" "$reps" "${inputs[@]}" >"$work/ours.$r"
    node "$root/bench/preprocess_node_bench.js" "$scripts" "$reps" "${inputs[@]}" >"$work/node.$r"
done

python3 - "$work" "$rounds" <<'PY'
import statistics, sys
work, rounds = sys.argv[1], int(sys.argv[2])
def read(side):
    figures = {}
    for r in range(rounds):
        for line in open(f"{work}/{side}.{r}"):
            name, ms = line.rstrip("\n").split("\t")
            figures.setdefault(name, []).append(float(ms))
    return {k: statistics.median(v) for k, v in figures.items()}
ours, node = read("ours"), read("node")
print(f"| {'Figure':<36} | {'ours (CPU ms)':>13} | {'node (CPU ms)':>13} | {'ours / node':>11} |")
print(f"|{'-'*38}|{'-'*15}|{'-'*15}|{'-'*13}|")
for name in ours:
    o, n = ours[name], node.get(name)
    ratio = f"{o / n:.2f}" if n else "-"
    print(f"| {name:<36} | {o:>13.2f} | {n if n is not None else float('nan'):>13.2f} | {ratio:>11} |")
    main = name.replace("(warm)", "(node main)")
    if main != name and main in node:
        print(f"| {main:<36} | {o:>13.2f} | {node[main]:>13.2f} | {o / node[main]:>11.2f} |")
PY
