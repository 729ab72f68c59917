#!/usr/bin/env bash
# `orlavine compile` and `orlavine set-var` as a user runs them, on a throw-away library.
#
#   bash tests/preprocess/commands_test.sh PATH-TO-ORLAVINE TESTS-DATA-DIR
set -u
ORLAVINE=$1
FIXTURES=$2/preprocess
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export HOME="$WORK/home" XDG_DATA_HOME="$WORK/data" XDG_CONFIG_HOME="$WORK/config"
export XDG_CACHE_HOME="$WORK/cache" ORLAVINE_CONFIG="$WORK/orlavine-config"
export ORLAVINE_HOME="$WORK/library"
mkdir -p "$HOME" "$ORLAVINE_HOME"
cp "$FIXTURES/less_library.sdb" "$ORLAVINE_HOME/styledb.sdb"

failed=0
check() {  # check DESCRIPTION CONDITION...
    local what=$1
    shift
    if "$@"; then echo "ok - $what"; else echo "FAILED - $what"; failed=1; fi
}
contains() { [[ $1 == *"$2"* ]]; }

out=$("$ORLAVINE" compile 11 2>"$WORK/err"); rc=$?
check "compile prints the compiled CSS" contains "$out" 'background: #111111;'
check "compile prints nested rules" contains "$out" 'body a {'
check "compile keeps the section's rules" contains "$out" '@-moz-document domain("example.com")'
check "compile succeeds" [ "$rc" -eq 0 ]
check "the library keeps the compiled sections" grep -q 'compSections' "$ORLAVINE_HOME/styledb.sdb"

"$ORLAVINE" set-var 11 theme Light 2>"$WORK/err"; rc=$?
check "set-var by option label succeeds" [ "$rc" -eq 0 ]
out=$("$ORLAVINE" compile 11 2>/dev/null)
check "set-var recompiled with the chosen option" contains "$out" 'background: #eeeeee;'
"$ORLAVINE" set-var 11 accent '#0000ff' 2>/dev/null
out=$("$ORLAVINE" compile 11 2>/dev/null)
check "set-var changes a colour" contains "$out" 'color: #0000cc;'

"$ORLAVINE" set-var 11 theme Purple 2>"$WORK/err"; rc=$?
check "an unknown option is refused" [ "$rc" -eq 1 ]
check "the options are listed" grep -q 'Light' "$WORK/err"
"$ORLAVINE" set-var 11 nothing 1 2>"$WORK/err"; rc=$?
check "an unknown variable is refused" [ "$rc" -eq 1 ]

out=$("$ORLAVINE" compile 12 2>"$WORK/err"); rc=$?
check "a compiler error fails the command" [ "$rc" -eq 1 ]
check "the error names the style" grep -q 'Compiler Error (Broken Less)' "$WORK/err"
check "the error says what is wrong" grep -q 'nowhere' "$WORK/err"
"$ORLAVINE" compile 99 2>/dev/null; rc=$?
check "an unknown ID fails" [ "$rc" -eq 1 ]
"$ORLAVINE" compile x1 2>/dev/null; rc=$?
check "a malformed ID is a usage error" [ "$rc" -eq 2 ]
exit $failed
