#!/usr/bin/env bash
# What a user of the `orlavine` subcommands sees: output, exit status and the library file, in a
# throw-away home so that no real library is touched.
#
#   bash tests/cli/cli_test.sh PATH-TO-ORLAVINE TESTS-DATA-DIR [PATH-TO-BROWSER-HOST]

set -u

if [[ $# -ne 2 && $# -ne 3 ]]; then
    echo "usage: $0 PATH-TO-ORLAVINE TESTS-DATA-DIR [PATH-TO-BROWSER-HOST]" >&2
    exit 2
fi
ORLAVINE=$1
FIXTURES=$2/cli
HOST=${3:-}

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# Every folder the program may look at points into the throw-away folder. The library folder has
# a space in its name to catch quoting mistakes.
export HOME="$WORK/home"
export XDG_DATA_HOME="$WORK/xdg-data"
export XDG_CONFIG_HOME="$WORK/xdg-config"
export XDG_CACHE_HOME="$WORK/xdg-cache"
export ORLAVINE_CONFIG="$WORK/config"
unset ORLAVINE_COLOR_SCHEME
mkdir -p "$HOME"

use_library() {
    export ORLAVINE_HOME="$WORK/$1"
    LIBRARY="$ORLAVINE_HOME/styledb.sdb"
}
use_library "first library"

passed=0
failed=0
OUT=""
ERR=""
RC=0

# Runs orlavine; its output, error output and exit status land in OUT, ERR and RC.
run() {
    "$ORLAVINE" "$@" >"$WORK/out" 2>"$WORK/err"
    RC=$?
    OUT=$(cat "$WORK/out")
    ERR=$(cat "$WORK/err")
}

# check DESCRIPTION COMMAND...: counts a pass when the command succeeds.
check() {
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $what"
        echo "  last command exit status: $RC"
        while IFS= read -r line; do echo "  stdout: $line"; done <<<"$OUT"
        while IFS= read -r line; do echo "  stderr: $line"; done <<<"$ERR"
    fi
}

succeeded() { [[ $RC -eq 0 ]]; }
# A failure the user can understand: a non-zero status and something said on stderr. A crash
# (a signal, a sanitizer report) does not count as a clean failure.
failed_cleanly() {
    [[ $RC -ne 0 && $RC -lt 128 && -n $ERR ]] && ! grep -q -e 'Sanitizer' -e 'runtime error' <<<"$ERR"
}
out_has() { grep -q -F -- "$1" <<<"$OUT"; }
out_lacks() { ! grep -q -F -- "$1" <<<"$OUT"; }
err_has() { grep -q -F -- "$1" <<<"$ERR"; }
# The list row of a style: "position  ID  on/off  source  name".
row_of() {
    "$ORLAVINE" list 2>/dev/null | awk -v id="$1" 'NR > 1 && $2 == id'
}
row_is() {
    local row
    row=$(row_of "$1")
    [[ $(awk '{ print $3 " " $4 }' <<<"$row") == "$2 $3" ]] &&
        [[ $(sed -E 's/^ *[0-9]+ +[0-9]+ +[a-z]+ +[a-z]+ +//' <<<"$row") == "$4" ]]
}
style_count() { "$ORLAVINE" list 2>/dev/null | awk 'NR > 1' | grep -c -v 'no styles'; }
same_file() { cmp -s "$1" "$2"; }
unchanged_library() { same_file "$LIBRARY" "$WORK/library-before"; }
remember_library() { cp "$LIBRARY" "$WORK/library-before"; }
aside_copies() { find "$ORLAVINE_HOME" -maxdepth 1 -name 'styledb.sdb.unreadable-*' | sort; }

# ---- a fresh library ----
run list
check "list on a fresh library succeeds" succeeded
check "list on a fresh library says it is empty" out_has "The library has no styles."
check "a fresh library file is created in ORLAVINE_HOME" test -s "$LIBRARY"
check "the fresh library file is an empty version-1 library" \
    grep -q -E '"dbVersion":1.*"styles":\[\]|"styles":\[\].*"dbVersion":1' "$LIBRARY"
check "nothing is written under the XDG data folder" test ! -e "$XDG_DATA_HOME/orlavine"

# ---- merge and list ----
run merge "$FIXTURES/two-styles.sdb"
check "merging a library file succeeds" succeeded
check "merge reports what it added" out_has "Added 2 styles; 0 were already in the library."
run list
check "list succeeds" succeeded
check "list has a header" out_has "Source"
check "list shows the catalogue style, on" row_is 101 on usorg "Quiet Reader"
check "list shows the UserCSS style, off" row_is 202 off usercss "Night Sky"
check "list keeps the file's order" \
    test "$(awk 'NR > 1 { print $2 }' <<<"$OUT" | tr '\n' ' ')" = "101 202 "
run merge "$FIXTURES/two-styles.sdb"
check "merging the same file again adds nothing" \
    out_has "Added 0 styles; 2 were already in the library."
check "a repeated merge leaves two styles" test "$(style_count)" = 2

# ---- the index the browser host keeps ----
# The host writes an index beside the library; `list` reads it while it is the library's own.
if [[ -n $HOST ]]; then
    run list
    LISTED=$OUT
    REQUEST='{"id":1,"name":"getCSS","url":"https://example.org/"}'
    printf "\\x$(printf %02x ${#REQUEST})\\x00\\x00\\x00%s" "$REQUEST" | "$HOST" >/dev/null 2>&1
    check "the browser host indexes the library" test -s "$ORLAVINE_HOME/.styledb.sdb.index"
    run list
    check "list from the index shows what the library holds" test "$OUT" = "$LISTED"
    run enable 202
    check "list after a change shows the change, not the index" row_is 202 on usercss "Night Sky"
    run disable 202
fi

# ---- the CSS a page gets ----
run css "https://news.example/"
check "css prints what a page gets from the enabled styles" \
    test "$OUT" = "body { font-family: serif; max-width: 40em; margin: auto; }"
run css "https://elsewhere.example/"
check "css of a page no enabled style applies to prints nothing" eval 'succeeded && test -z "$OUT"'

# ---- show ----
run show 101
check "show succeeds" succeeded
check "show prints the style's name" out_has '"name":"Quiet Reader"'
check "show prints the style's ID" out_has '"uniqueID":101'
check "show prints one JSON object" grep -q -E '^\{.*\}$' <<<"$OUT"
run show 202
check "show prints the variables and exclusions" out_has '"exclDomain":["bank.example"]'

# ---- enable and disable ----
run disable 101
check "disable by ID succeeds" succeeded
check "disable by ID switches that style off" row_is 101 off usorg "Quiet Reader"
run enable 202
check "enable by ID succeeds" succeeded
check "enable by ID switches that style on" row_is 202 on usercss "Night Sky"
check "enable by ID leaves the others" row_is 101 off usorg "Quiet Reader"
run disable --all
check "disable --all succeeds" succeeded
check "disable --all says how many" out_has "Disabled all 2 styles."
check "disable --all switches every style off" \
    eval 'row_is 101 off usorg "Quiet Reader" && row_is 202 off usercss "Night Sky"'
run enable --all
check "enable --all switches every style on" \
    eval 'row_is 101 on usorg "Quiet Reader" && row_is 202 on usercss "Night Sky"'
remember_library
run enable
check "enable without an ID or --all fails" failed_cleanly
run disable 101 --all
check "disable with both an ID and --all fails" failed_cleanly
check "refused enable/disable leave the library alone" unchanged_library

# ---- duplicate ----
run duplicate 202
check "duplicate succeeds" succeeded
check "duplicate names the copy" out_has "Added Copy of Night Sky with ID "
COPY_ID=$(sed -n 's/^Added Copy of Night Sky with ID \([0-9]*\)\.$/\1/p' <<<"$OUT")
check "duplicate prints the copy's ID" test -n "$COPY_ID"
check "the copy is last in the list" \
    test "$("$ORLAVINE" list | tail -n 1 | awk '{ print $2 }')" = "$COPY_ID"
check "the copy is a custom style named after the original" \
    row_is "$COPY_ID" on custom "Copy of Night Sky"
run show "$COPY_ID"
check "the copy has no catalogue number" out_has '"userstyleID":-1'
check "the copy keeps the code" out_has 'html { background: @bg; color: #dde; }'
check "the original is still there" row_is 202 on usercss "Night Sky"

# ---- rename ----
run rename 101 "Reader, renamed — café"
check "rename succeeds" succeeded
check "list shows the new name" row_is 101 on usorg "Reader, renamed — café"
run list
check "the old name is gone" out_lacks "Quiet Reader"
run show 101
check "show prints the new name" out_has '"name":"Reader, renamed — café"'

# ---- remove ----
run remove "$COPY_ID"
check "remove succeeds" succeeded
check "remove names the style" out_has "Removed Copy of Night Sky."
check "the removed style is no longer listed" test -z "$(row_of "$COPY_ID")"
check "two styles are left" test "$(style_count)" = 2
run show "$COPY_ID"
check "show of a removed style fails" failed_cleanly

# ---- backup ----
run backup "$WORK/backups/library copy.sdb"
check "backup succeeds" succeeded
check "backup says where it wrote" out_has "library copy.sdb"
check "backup writes a file" test -s "$WORK/backups/library copy.sdb"
run merge "$WORK/backups/library copy.sdb"
check "the backup merges back with nothing added" \
    out_has "Added 0 styles; 2 were already in the library."
use_library "second library"
run merge "$WORK/backups/library copy.sdb"
check "the backup restores both styles elsewhere" \
    out_has "Added 2 styles; 0 were already in the library."
check "the restored styles keep their names and states" \
    eval 'row_is 101 on usorg "Reader, renamed — café" && row_is 202 on usercss "Night Sky"'
use_library "first library"

# ---- mistakes ----
remember_library
for command in "show 999" "enable 999" "disable 999" "duplicate 999" "remove 999" \
    "rename 999 Name"; do
    # shellcheck disable=SC2086
    run $command
    check "$command: an unknown ID fails" failed_cleanly
    check "$command: the message names the ID" err_has "999"
done
for command in "show abc" "remove abc" "enable 1x" "disable 0x65" "duplicate ''" \
    "rename abc Name" "show 99999999999999999999999" "show ' 101'"; do
    eval "run $command"
    check "$command: a non-numeric ID fails" failed_cleanly
    check "$command: the message says it is not an ID" err_has "is not a style ID"
done
run merge "$WORK/no such file.sdb"
check "merging a missing file fails" failed_cleanly
check "the message names the missing file" err_has "no such file.sdb"
run merge "$FIXTURES/garbage.sdb"
check "merging a garbage file fails" failed_cleanly
check "the message says the file is not valid" err_has "may not be valid, or is corrupt"
run merge "$FIXTURES/not-a-library.sdb"
check "merging JSON that is not a library fails" failed_cleanly
run merge "$WORK"
check "merging a folder fails" failed_cleanly
run backup "$WORK"
check "a backup over a folder fails" failed_cleanly
run frobnicate
check "an unknown subcommand fails" failed_cleanly
check "none of the mistakes changed the library" unchanged_library
check "no mistake left a temporary file behind" \
    test -z "$(find "$ORLAVINE_HOME" -maxdepth 1 -name '.*tmp*')"

# ---- an unreadable library is reported, kept and never lost ----
use_library "broken library"
mkdir -p "$ORLAVINE_HOME"
cp "$FIXTURES/garbage.sdb" "$LIBRARY"
run list
check "an undecodable library is reported" err_has "Error decoding style database."
check "an undecodable library lists as empty" out_has "The library has no styles."
run show 101
check "show on an undecodable library fails cleanly" failed_cleanly
check "reading leaves the undecodable file as it was" same_file "$LIBRARY" "$FIXTURES/garbage.sdb"
check "reading moves nothing aside" test -z "$(aside_copies)"
run merge "$FIXTURES/two-styles.sdb"
check "a change to an undecodable library succeeds" succeeded
check "the change says where the old file was kept" err_has "styledb.sdb.unreadable-"
check "the undecodable file was kept aside once" test "$(aside_copies | wc -l)" -eq 1
check "the kept file holds the old bytes" same_file "$(aside_copies | head -n 1)" \
    "$FIXTURES/garbage.sdb"
check "the new library holds the merged styles" \
    eval 'row_is 101 on usorg "Quiet Reader" && row_is 202 off usercss "Night Sky"'
run list
check "the new library reads without complaint" test -z "$ERR"
# A second breakage keeps both old files.
cp "$FIXTURES/not-a-library.sdb" "$LIBRARY"
run new "After the second breakage"
check "a second undecodable library is reported" err_has "Error decoding style database."
check "both undecodable files are kept" test "$(aside_copies | wc -l)" -eq 2
check "the first kept file is untouched" same_file "$(aside_copies | head -n 1)" \
    "$FIXTURES/garbage.sdb"
check "the second kept file holds its bytes" same_file "$(aside_copies | tail -n 1)" \
    "$FIXTURES/not-a-library.sdb"

# ---- a library behind a symbolic link, under a strict umask ----
use_library "linked library"
mkdir -p "$ORLAVINE_HOME" "$WORK/synced folder"
cp "$FIXTURES/two-styles.sdb" "$WORK/synced folder/styledb.sdb"
chmod 600 "$WORK/synced folder/styledb.sdb"
ln -s "$WORK/synced folder/styledb.sdb" "$LIBRARY"
(umask 077 && run new "Through the link" && [[ $RC -eq 0 ]])
check "a change through the link succeeds" test $? -eq 0
check "the link stays a link" test -L "$LIBRARY"
check "the linked file holds the change" grep -q "Through the link" "$WORK/synced folder/styledb.sdb"
check "the linked file keeps its mode" test "$(stat -c %a "$WORK/synced folder/styledb.sdb")" = 600
check "the change notice is no more readable than the library" \
    test "$(stat -c %a "$ORLAVINE_HOME/wormhole/styleDBUpdated.message")" = 600
check "no temporary is left beside the linked file" \
    test -z "$(find "$WORK/synced folder" -name '.*tmp*')"

# ---- the windows are a program of their own ----
# Commands must not pay for loading the window toolkit.
check "orlavine loads no Qt library" \
    bash -c '! readelf -d "$1" | grep -q "NEEDED.*libQt"' _ "$ORLAVINE"
mkdir -p "$WORK/alone"
cp "$ORLAVINE" "$WORK/alone/orlavine"
ORLAVINE_BESIDE=$ORLAVINE
ORLAVINE="$WORK/alone/orlavine"
run "orlavine://openstyle/1"
check "a link without the desktop program fails cleanly" failed_cleanly
check "the message names the missing desktop program" err_has "orlavine-desktop is missing"
run list
check "commands work without the desktop program" succeeded
ORLAVINE=$ORLAVINE_BESIDE

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
