#!/usr/bin/env bash
# Times `orlavine list` and `orlavine enable/disable ID` end to end on a 10,000-style library
# (103 MB, from the fixed-seed generator), taking turns with a reference program (another build
# of orlavine, e.g. the previous commit) round by round, each in a library of its own. Prints
# each figure's median and spread (min-max) over the rounds and the machine's load.
#
#   bench/run-command-bench.sh --reference PATH/TO/orlavine [--rounds R] [--styles N]
#
# Environment: BENCH_BUILD_DIR (default build/release), built with the targets orlavine and
# db_codec_bench.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rounds=5
styles=10000
reference=
while (($#)); do
    case "$1" in
        --rounds) rounds=$2; shift 2 ;;
        --styles) styles=$2; shift 2 ;;
        --reference) reference=$2; shift 2 ;;
        *) echo "run-command-bench: unknown argument $1" >&2; exit 2 ;;
    esac
done
[[ -x "$reference" ]] || { echo "run-command-bench: give --reference PATH" >&2; exit 2; }
build=${BENCH_BUILD_DIR:-$root/build/release}

work=$(mktemp -d "${TMPDIR:-/tmp}/orlavine-command-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/bench/db_codec_bench" --write "$work/library.sdb" --styles "$styles" --machine >/dev/null
id=$(grep -o '"uniqueID":[0-9]*' "$work/library.sdb" | sed -n "$((styles / 2 + 1))p" | cut -d: -f2)

declare -A samples
# run NAME PROGRAM ARGS...: times one command in NAME's own library, in milliseconds.
run() {
    local name=$1 program=$2
    shift 2
    local home="$work/$name"
    if [[ ! -d $home ]]; then
        mkdir -p "$home/home" "$home/config" "$home/xdg"
        cp "$work/library.sdb" "$home/home/styledb.sdb"
    fi
    local start end
    start=$(date +%s%N)
    ORLAVINE_HOME="$home/home" ORLAVINE_CONFIG="$home/config" XDG_DATA_HOME="$home/xdg" \
        XDG_CONFIG_HOME="$home/xdg" XDG_CACHE_HOME="$home/xdg" \
        DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent "$program" "$@" >/dev/null
    end=$(date +%s%N)
    samples[$name.$1]+="$(((end - start) / 1000000)) "
}

loads=()
for ((round = 1; round <= rounds; round++)); do
    loads+=("$(cut -d' ' -f1 /proc/loadavg)")
    for side in ours reference; do
        program=$build/app/orlavine
        [[ $side == reference ]] && program=$reference
        run "$side" "$program" list
        run "$side" "$program" disable "$id"
        run "$side" "$program" enable "$id"
    done
done

stat() {  # median (min-max) of the samples of $1
    tr ' ' '\n' <<<"${samples[$1]}" | grep -v '^$' | sort -g |
        awk '{v[NR]=$1} END{m=(NR%2)?v[(NR+1)/2]:(v[NR/2]+v[NR/2+1])/2; printf "%d ms (%d-%d)", m, v[1], v[NR]}'
}
echo "machine: $(nproc) cores; $(date -u '+%F %H:%M UTC'); load average at each round: ${loads[*]}"
echo "library: $styles styles, $(du -h "$work/library.sdb" | cut -f1); $rounds rounds, end to end"
printf '%-22s %-24s %s\n' "command" "ours" "reference"
for command in list disable enable; do
    printf '%-22s %-24s %s\n' "$command" "$(stat "ours.$command")" "$(stat "reference.$command")"
done
