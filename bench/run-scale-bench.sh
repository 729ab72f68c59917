#!/usr/bin/env bash
# The figures for large libraries in one run, each beside its reference measured in the same
# run: page CSS assembly against the direct walk over every rule, reply encoding against the
# straightforward JSON writer, the browser host (start, memory, round trips) and the commands
# (`list`, `disable`, `enable`, `merge`, start-up) against a reference build of this repository,
# the record codec against node's JSON, and the Less and Stylus compilers against node.
#
#   bench/run-scale-bench.sh [--reference REV] [--rounds R] [--skip-compilers]
#
# --reference is a commit built the same way (Release) for the host and the commands; by default
# 021ad01, the last one before the host left code in the file and commands stopped loading Qt.
# Everything runs in throw-away folders; nothing touches a real library or real settings.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
reference=021ad01
rounds=3
compilers=1
while (($#)); do
    case "$1" in
        --reference) reference=$2; shift 2 ;;
        --rounds) rounds=$2; shift 2 ;;
        --skip-compilers) compilers=0; shift ;;
        *) echo "run-scale-bench: unknown argument $1" >&2; exit 2 ;;
    esac
done

build=$root/build/release
reference_src=$root/build/reference-src
reference_build=$root/build/reference
heading() { printf '\n== %s\n\n' "$*"; }

heading "Building (Release): this tree and $reference"
"$root/scripts/install-deps" >&2
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target orlavine orlavine-extension db_codec_bench assembly_bench \
    reply_encoding_bench >&2
commit=$(git -C "$root" rev-parse "$reference")
if [[ ! -f $reference_src/.commit || $(cat "$reference_src/.commit") != "$commit" ]]; then
    rm -rf "$reference_src"
    mkdir -p "$reference_src"
    git -C "$root" archive "$commit" | tar -x -C "$reference_src"
    echo "$commit" >"$reference_src/.commit"
fi
# The compiler scripts and the editor page come from npm; the reference uses this tree's packages.
for modules in "$root"/preprocess/js/node_modules "$root"/editor/page/node_modules; do
    relative=${modules#"$root"/}
    [[ -d $modules && ! -e $reference_src/$relative ]] && ln -s "$modules" "$reference_src/$relative"
done
cmake -S "$reference_src" -B "$reference_build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$reference_build" --target orlavine orlavine-extension >&2

work=$(mktemp -d "${TMPDIR:-/tmp}/orlavine-scale-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
for styles in 1000 10000; do
    "$build/bench/db_codec_bench" --write "$work/lib$styles.sdb" --styles "$styles" --machine \
        >/dev/null
done

heading "Page CSS: compiled library against the direct walk (Google Benchmark, CPU)"
"$build/bench/assembly_bench" --benchmark_filter='BM_(CompiledPage|UncachedPage)' \
    --benchmark_min_time=0.5 --benchmark_repetitions="$rounds" \
    --benchmark_report_aggregates_only=true 2>/dev/null

heading "Reply encoding: ours against the straightforward writer (Google Benchmark, CPU)"
"$build/bench/reply_encoding_bench" --benchmark_min_time=0.5 --benchmark_repetitions="$rounds" \
    --benchmark_report_aggregates_only=true 2>/dev/null

for styles in 1000 10000; do
    heading "Browser host, $styles styles: ours against $reference"
    requests=$((styles == 1000 ? 1000 : 100))
    node "$root/bench/host_bench.js" --host "$build/extension/orlavine-extension" \
        --reference "$reference_build/extension/orlavine-extension" \
        --library "$work/lib$styles.sdb" --requests "$requests" --empty 500 --rounds "$rounds"
done

heading "Commands: ours against $reference"
bash "$root/bench/run-command-bench.sh" --reference "$reference_build/app/orlavine" \
    --host "$build/extension/orlavine-extension" --library "$work/lib10000.sdb" \
    --rounds "$((rounds * 2 + 1))"

heading "Library file: decode and encode against node's JSON"
bash "$root/bench/run-db-bench.sh" --rounds "$rounds"

if ((compilers)); then
    heading "Less and Stylus: ours against node"
    bash "$root/bench/run-preprocess-bench.sh" --rounds "$rounds"
fi
