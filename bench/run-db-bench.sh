#!/usr/bin/env bash
# Builds Release, generates the benchmark library once, and times our decoder and encoder against
# node's JSON.parse and JSON.stringify on that same file, in the same run. Prints a table with the
# ratios ours / node.
#
#   bench/run-db-bench.sh [--rounds R] [--reps N] [--warmup N] [--keep FILE]
#
# Each of the R rounds (default 3) runs our program and then node, each with N timed runs after
# the warm-up runs; the table shows, for each figure, the median over the rounds. Taking turns
# keeps a burst of load from the rest of the machine from landing on one side only.
# --keep FILE copies the generated library to FILE. Environment: BENCH_BUILD_DIR (default
# build/release), BENCH_CMAKE_ARGS (extra arguments for the cmake configure step).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rounds=3
reps=15
warmup=2
keep=""
while (($#)); do
    case "$1" in
        --rounds) rounds=$2; shift 2 ;;
        --reps) reps=$2; shift 2 ;;
        --warmup) warmup=$2; shift 2 ;;
        --keep) keep=$2; shift 2 ;;
        -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "run-db-bench: unknown argument $1" >&2; exit 2 ;;
    esac
done

build=${BENCH_BUILD_DIR:-$root/build/release}
node=${NODE:-node}

# Nothing here may touch a real library or real settings.
work=$(mktemp -d "${TMPDIR:-/tmp}/orlavine-db-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export ORLAVINE_HOME="$work/home" ORLAVINE_CONFIG="$work/config"
export XDG_DATA_HOME="$work/xdg-data" XDG_CONFIG_HOME="$work/xdg-config"
export XDG_CACHE_HOME="$work/xdg-cache" XDG_STATE_HOME="$work/xdg-state"
export XDG_RUNTIME_DIR="$work/xdg-runtime"
mkdir -p "$ORLAVINE_HOME" "$ORLAVINE_CONFIG" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" \
    "$XDG_CACHE_HOME" "$XDG_STATE_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"

echo "== building Release in $build" >&2
# shellcheck disable=SC2086 # BENCH_CMAKE_ARGS is a list of arguments
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release ${BENCH_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" --target db_codec_bench >&2
bench="$build/bench/db_codec_bench"

library="$work/library.sdb"
"$bench" --write "$library" --machine
if [[ -n "$keep" ]]; then
    cp "$library" "$keep"
fi

node_version=$("$node" --version)
for ((round = 1; round <= rounds; round++)); do
    echo "== round $round of $rounds: our decoder and encoder, then node $node_version" >&2
    "$bench" --file "$library" --reps "$reps" --warmup "$warmup" --machine |
        sed 's/^/ours=/' >>"$work/figures.txt"
    "$node" "$root/bench/node_json_bench.js" "$library" --reps "$reps" --warmup "$warmup" \
        --machine | sed 's/^/node=/' >>"$work/figures.txt"
done

awk -F= -v rounds="$rounds" -v reps="$reps" -v node_version="$node_version" '
    { n = ++count[$1, $2]; v[$1, $2, n] = $3 }
    # The median of the figures that the rounds gave for one side and key.
    function median(side, key,    n, i, j, t, a) {
        n = count[side, key]
        for (i = 1; i <= n; i++) a[i] = v[side, key, i] + 0
        for (i = 2; i <= n; i++)
            for (j = i; j > 1 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
        return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    function row(label, key, scale,    a, b) {
        a = median("ours", key) / scale; b = median("node", key) / scale
        printf "| %-22s | %9.1f | %9.1f | %9.2f |\n", label, a, b, (b ? a / b : 0)
    }
    END {
        printf "Library: %d styles, %.1f MB (MB = 10^6 bytes of the file). node %s.\n",
            median("ours", "styles"), median("ours", "bytes") / 1e6, node_version
        printf "Medians over %d round%s of the median of %d timed runs.\n\n", rounds,
            (rounds == 1 ? "" : "s"), reps
        printf "| %-22s | %9s | %9s | %9s |\n", "", "ours", "node", "ours/node"
        printf "|%s|%s|%s|%s|\n", "------------------------", "----------:", "----------:", "----------:"
        row("decode MB/s", "decode_mbps", 1)
        row("decode ms", "decode_ms", 1)
        row("decode CPU ms", "decode_cpu_ms", 1)
        row("decode peak RSS MiB", "decode_peak_kib", 1024)
        row("decode RSS growth MiB", "decode_growth_kib", 1024)
        row("encode MB/s", "encode_mbps", 1)
        row("encode ms", "encode_ms", 1)
        row("encode CPU ms", "encode_cpu_ms", 1)
        row("encode peak RSS MiB", "encode_peak_kib", 1024)
        row("encode RSS growth MiB", "encode_growth_kib", 1024)
        if (median("ours", "round_trip") != 1)
            print "\nwarning: re-encoding the decoded library did not give back the same bytes"
    }
' "$work/figures.txt"
echo
echo "decode: from the bytes in memory to typed records (ours) or to JS objects (JSON.parse)."
echo "encode: from the records (ours) or the objects (JSON.stringify) to a string of JSON."
echo "ms: wall clock; CPU ms: CPU time of the process (node: all its threads, the collector's too)."
echo "peak RSS: one operation in a fresh process; growth: peak minus the resident size just before."
