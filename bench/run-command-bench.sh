#!/usr/bin/env bash
# Times `orlavine --version` and `list` on an empty library (the cost of starting a command), then
# `orlavine list` and `orlavine enable/disable ID` end to end on a 10,000-style library
# (103 MB, from the fixed-seed generator), taking turns with a reference program (another build
# of orlavine, e.g. the previous commit) round by round, each in a library of its own. Prints
# each figure's median and spread (min-max) over the rounds and the machine's load.
#
#   bench/run-command-bench.sh --reference PATH/TO/orlavine [--rounds R] [--styles N]
#                              [--library FILE] [--host PATH/TO/orlavine-extension]
#
# With --host, `list`, `disable` and `enable` are also timed in a library whose index the
# browser host keeps up to date, as it does while a browser runs: before each of those commands
# the host is started once (not timed) and asked for one page, which writes the index when the
# library changed since.
#
# Each round also merges a library of 2,000 styles into an empty library (`orlavine merge`).
# --library times a library file of your own instead of generating one. Environment:
# BENCH_BUILD_DIR (default build/release), built with the targets orlavine and (unless --library)
# db_codec_bench.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rounds=5
styles=10000
reference=
library=
host=
while (($#)); do
    case "$1" in
        --host) host=$2; shift 2 ;;
        --rounds) rounds=$2; shift 2 ;;
        --styles) styles=$2; shift 2 ;;
        --reference) reference=$2; shift 2 ;;
        --library) library=$2; shift 2 ;;
        *) echo "run-command-bench: unknown argument $1" >&2; exit 2 ;;
    esac
done
[[ -x "$reference" ]] || { echo "run-command-bench: give --reference PATH" >&2; exit 2; }
build=${BENCH_BUILD_DIR:-$root/build/release}

work=$(mktemp -d "${TMPDIR:-/tmp}/orlavine-command-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
if [[ -n $library ]]; then
    cp "$library" "$work/library.sdb"
    styles=$(grep -o '"uniqueID":[0-9]*' "$work/library.sdb" | wc -l)
else
    "$build/bench/db_codec_bench" --write "$work/library.sdb" --styles "$styles" --machine >/dev/null
fi
id=$(grep -o '"uniqueID":[0-9]*' "$work/library.sdb" | sed -n "$((styles / 2 + 1))p" | cut -d: -f2)
"$build/bench/db_codec_bench" --write "$work/merged.sdb" --styles 2000 --machine >/dev/null

declare -A samples
# run NAME PROGRAM ARGS...: times one command in NAME's own library (an empty one for a NAME
# ending in "-empty"), in milliseconds. The clock is the shell's, so no process is started but
# the program's.
run() {
    local name=$1 program=$2
    shift 2
    local home="$work/$name"
    if [[ ! -d $home ]]; then
        mkdir -p "$home/home" "$home/config" "$home/xdg"
        [[ $name == *-empty ]] || cp "$work/library.sdb" "$home/home/styledb.sdb"
    fi
    if [[ $name == *-indexed ]]; then
        local request='{"id":1,"name":"getCSS","url":"https://example.org/"}'
        printf "\\x$(printf %02x ${#request})\\x00\\x00\\x00%s" "$request" |
            ORLAVINE_HOME="$home/home" ORLAVINE_CONFIG="$home/config" XDG_CONFIG_HOME="$home/xdg" \
                "$host" >/dev/null 2>&1
    fi
    local start end
    start=${EPOCHREALTIME/./}
    ORLAVINE_HOME="$home/home" ORLAVINE_CONFIG="$home/config" XDG_DATA_HOME="$home/xdg" \
        XDG_CONFIG_HOME="$home/xdg" XDG_CACHE_HOME="$home/xdg" \
        DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent "$program" "$@" >/dev/null
    end=${EPOCHREALTIME/./}
    samples[${key:-$name.$1}]+="$(((end - start) / 100)) "  # tenths of a millisecond
}

loads=()
for ((round = 1; round <= rounds; round++)); do
    loads+=("$(cut -d' ' -f1 /proc/loadavg)")
    for side in ours reference; do
        program=$build/app/orlavine
        [[ $side == reference ]] && program=$reference
        run "$side-empty" "$program" --version
        run "$side-empty" "$program" list
        run "$side" "$program" list
        run "$side" "$program" disable "$id"
        run "$side" "$program" enable "$id"
        if [[ -n $host ]]; then
            run "$side-indexed" "$program" list
            run "$side-indexed" "$program" disable "$id"
            run "$side-indexed" "$program" enable "$id"
        fi
        key=$side.merge run "$side-merge$round-empty" "$program" merge "$work/merged.sdb"
    done
done

stat() {  # median (min-max) of the samples of $1
    tr ' ' '\n' <<<"${samples[$1]}" | grep -v '^$' | sort -g |
        awk '{v[NR]=$1/10} END{m=(NR%2)?v[(NR+1)/2]:(v[NR/2]+v[NR/2+1])/2;
             f=(m<20)?"%.1f ms (%.1f-%.1f)":"%.0f ms (%.0f-%.0f)"; printf f, m, v[1], v[NR]}'
}
echo "machine: $(nproc) cores; $(date -u '+%F %H:%M UTC'); load average at each round: ${loads[*]}"
echo "library: $styles styles, $(du -h "$work/library.sdb" | cut -f1); $rounds rounds, end to end;"
echo "merge: 2000 styles ($(du -h "$work/merged.sdb" | cut -f1)) into an empty library"
printf '%-22s %-24s %s\n' "command" "ours" "reference"
printf '%-22s %-24s %s\n' "--version" "$(stat "ours-empty.--version")" \
    "$(stat "reference-empty.--version")"
printf '%-22s %-24s %s\n' "list, empty library" "$(stat "ours-empty.list")" \
    "$(stat "reference-empty.list")"
for command in list disable enable merge; do
    printf '%-22s %-24s %s\n' "$command" "$(stat "ours.$command")" "$(stat "reference.$command")"
done
if [[ -n $host ]]; then
    for command in list disable enable; do
        printf '%-22s %-24s %s\n' "$command, index kept" "$(stat "ours-indexed.$command")" \
            "$(stat "reference-indexed.$command")"
    done
fi
