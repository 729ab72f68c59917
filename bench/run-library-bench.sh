#!/usr/bin/env bash
# Builds Release and measures changes of one library by several programs at once: 1,000 toggles
# from 4 processes (and 250 from 1, to see what the lock adds), and one `orlavine enable ID` on a
# 10,000-style library, end to end. The reference in the same run is the straightforward way in
# node: read, parse, flip, serialise and rename, with no lock (it loses changes when processes
# meet). Prints each figure's median over the rounds and its spread (min-max).
#
#   bench/run-library-bench.sh [--rounds R]
#
# Environment: BENCH_BUILD_DIR (default build/release).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rounds=3
while (($#)); do
    case "$1" in
        --rounds) rounds=$2; shift 2 ;;
        *) echo "run-library-bench: unknown argument $1" >&2; exit 2 ;;
    esac
done
build=${BENCH_BUILD_DIR:-$root/build/release}
node=${NODE:-node}

work=$(mktemp -d "${TMPDIR:-/tmp}/orlavine-library-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export ORLAVINE_HOME="$work/home" ORLAVINE_CONFIG="$work/config"
export XDG_DATA_HOME="$work/xdg-data" XDG_CONFIG_HOME="$work/xdg-config"
export XDG_CACHE_HOME="$work/xdg-cache" DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
mkdir -p "$ORLAVINE_HOME" "$ORLAVINE_CONFIG"

echo "== building Release in $build" >&2
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target orlavine db_codec_bench library_toggle_bench >&2

"$build/bench/db_codec_bench" --write "$work/small.sdb" --styles 100 --machine
"$build/bench/db_codec_bench" --write "$work/large.sdb" --styles 10000 --machine
large_id=$("$node" -e 'const d=JSON.parse(require("fs").readFileSync(process.argv[1]));
  console.log(d.styles[d.styles.length >> 1].uniqueID)' "$work/large.sdb")

value() { sed -n "s/^$1=//p"; }
now_ms() { date +%s%N | awk '{printf "%.1f", $1 / 1e6}'; }
declare -A samples
add() { samples[$1]+="$2 "; }

for ((round = 1; round <= rounds; round++)); do
    echo "== round $round of $rounds" >&2
    for procs in 1 4; do
        out=$("$build/bench/library_toggle_bench" --library "$work/small.sdb" --processes "$procs" --toggles 250)
        add "ours_${procs}_rate" "$(value per_second <<<"$out")"
        add "ours_${procs}_p50" "$(value latency_p50_ms <<<"$out")"
        add "ours_${procs}_p99" "$(value latency_p99_ms <<<"$out")"
        add "ours_${procs}_lost" "$(value lost <<<"$out")"
        out=$("$node" "$root/bench/library_toggle_reference.js" --library "$work/small.sdb" --processes "$procs" --toggles 250)
        add "node_${procs}_rate" "$(value per_second <<<"$out")"
        add "node_${procs}_p50" "$(value latency_p50_ms <<<"$out")"
        add "node_${procs}_p99" "$(value latency_p99_ms <<<"$out")"
        add "node_${procs}_lost" "$(value lost <<<"$out")"
    done
    cp "$work/large.sdb" "$ORLAVINE_HOME/styledb.sdb"
    for command in disable enable; do
        start=$(now_ms)
        "$build/app/orlavine" "$command" "$large_id" >/dev/null
        add ours_large "$(awk -v a="$start" -v b="$(now_ms)" 'BEGIN{printf "%.1f", b - a}')"
        start=$(now_ms)
        "$node" "$root/bench/library_toggle_reference.js" --library "$work/large.sdb" --processes 1 --toggles 1 >/dev/null
        add node_large "$(awk -v a="$start" -v b="$(now_ms)" 'BEGIN{printf "%.1f", b - a}')"
    done
done

stat() {  # median (min-max) of the samples of $1
    tr ' ' '\n' <<<"${samples[$1]}" | grep -v '^$' | sort -g |
        awk '{v[NR]=$1} END{m=(NR%2)?v[(NR+1)/2]:(v[NR/2]+v[NR/2+1])/2; printf "%.2f (%.2f-%.2f)", m, v[1], v[NR]}'
}
median() { stat "$1" | cut -d' ' -f1; }
ratio() { awk -v a="$(median "$1")" -v b="$(median "$2")" 'BEGIN{printf "%.2f", a / b}'; }

echo
echo "machine: $(nproc) cores, $(awk '/MemTotal/{printf "%.0f GiB", $2/1048576}' /proc/meminfo); $(date -u +%F); node $("$node" --version); load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "library: 100 styles, $(du -h "$work/small.sdb" | cut -f1); 10,000 styles, $(du -h "$work/large.sdb" | cut -f1)"
printf '%-44s %-26s %-26s %s\n' "measure (median, min-max over $rounds rounds)" "ours" "node, no lock" "ours/node"
for procs in 1 4; do
    printf '%-44s %-26s %-26s %s\n' "$procs process(es): toggles per second" "$(stat ours_${procs}_rate)" "$(stat node_${procs}_rate)" "$(ratio ours_${procs}_rate node_${procs}_rate)"
    printf '%-44s %-26s %-26s %s\n' "$procs process(es): toggle latency p50, ms" "$(stat ours_${procs}_p50)" "$(stat node_${procs}_p50)" "$(ratio ours_${procs}_p50 node_${procs}_p50)"
    printf '%-44s %-26s %-26s %s\n' "$procs process(es): toggle latency p99, ms" "$(stat ours_${procs}_p99)" "$(stat node_${procs}_p99)" "$(ratio ours_${procs}_p99 node_${procs}_p99)"
    printf '%-44s %-26s %-26s\n' "$procs process(es): changes lost (of $procs)" "$(stat ours_${procs}_lost)" "$(stat node_${procs}_lost)"
done
printf '%-44s %-26s %-26s %s\n' "one toggle, 10,000 styles, end to end, ms" "$(stat ours_large)" "$(stat node_large)" "$(ratio ours_large node_large)"
