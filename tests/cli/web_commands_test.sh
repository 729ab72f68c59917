#!/usr/bin/env bash
# `orlavine install` and `orlavine update` as a user runs them, against a loopback HTTPS server
# (openssl s_server serving a folder) that the program trusts through the "CAFile" setting.
#
#   bash tests/cli/web_commands_test.sh PATH-TO-ORLAVINE
set -u
ORLAVINE=$1
WORK=$(mktemp -d)
SERVER=""
cleanup() {
    [[ -n $SERVER ]] && kill "$SERVER" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
export HOME="$WORK/home" XDG_DATA_HOME="$WORK/data" XDG_CONFIG_HOME="$WORK/config"
export XDG_CACHE_HOME="$WORK/cache" ORLAVINE_CONFIG="$WORK/orlavine-config"
export ORLAVINE_HOME="$WORK/library"
WWW="$WORK/www"
mkdir -p "$HOME" "$ORLAVINE_CONFIG" "$WWW/styles/chrome" "$WWW/themes"

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj /CN=localhost \
    -addext subjectAltName=DNS:localhost,IP:127.0.0.1 \
    -keyout "$WORK/key.pem" -out "$WORK/cert.pem" 2>/dev/null || exit 1
for _ in 1 2 3 4 5 6 7 8 9 10; do
    PORT=$((20000 + RANDOM % 20000))
    (cd "$WWW" && exec openssl s_server -quiet -accept "127.0.0.1:$PORT" -cert "$WORK/cert.pem" \
        -key "$WORK/key.pem" -WWW >/dev/null 2>&1) &
    SERVER=$!
    sleep 0.5
    kill -0 "$SERVER" 2>/dev/null && break
done
printf '{"CAFile": "%s", "CatalogueHost": "localhost:%s"}\n' "$WORK/cert.pem" "$PORT" \
    >"$ORLAVINE_CONFIG/app.json"
CATALOGUE="https://localhost:$PORT"
FILES="https://127.0.0.1:$PORT"

failed=0
check() {  # check DESCRIPTION CONDITION...
    local what=$1
    shift
    if "$@"; then echo "ok - $what"; else echo "FAILED - $what"; failed=1; fi
}
contains() { [[ $1 == *"$2"* ]]; }
run() {  # output and status of one command, stdin from $INPUT
    out=$("$ORLAVINE" "$@" <<<"${INPUT:-}" 2>&1)
    rc=$?
}
catalogue_style() {  # NUMBER MD5
    printf '{"url":"","updateUrl":"%s/styles/chrome/%s.json","md5Url":"","originalMd5":"%s",' \
        "$CATALOGUE" "$1" "$2" >"$WWW/styles/chrome/$1.json"
    printf '"name":"Quiet Reader","sections":[{"urls":[],"urlPrefixes":[],"domains":["a.org"],' \
        >>"$WWW/styles/chrome/$1.json"
    printf '"regexps":[],"code":"p { color: gray }"}]}' >>"$WWW/styles/chrome/$1.json"
}
usercss() {  # VERSION
    printf '/* ==UserStyle==\n@name Night Sky\n@version %s\n@namespace night\n==/UserStyle== */\n' \
        "$1" >"$WWW/themes/night.user.css"
    printf '@-moz-document domain("example.com") { body { color: white } }\n' \
        >>"$WWW/themes/night.user.css"
}
catalogue_style 4242 first
usercss 1.0
printf 'body { margin: 0 }\n' >"$WWW/themes/plain.css"

run install --yes "$CATALOGUE/styles/4242/quiet-reader"
check "a catalogue page installs" contains "$out" "Installed Quiet Reader with ID"
run install --yes "$CATALOGUE/styles/4242/quiet-reader"
check "installing it again is refused" contains "$out" 'The style "Quiet Reader" is already installed.'
check "... with a failure status" [ "$rc" -eq 1 ]
INPUT=n run install "$FILES/themes/night.user.css"
check "the question names the style" contains "$out" 'Do you want to install the style "Night Sky"?'
check "answering no installs nothing" contains "$out" "Not installed."
INPUT=y run install "$FILES/themes/night.user.css"
check "answering yes installs the UserCSS style" contains "$out" "Installed Night Sky with ID"
night=$(sed -E 's/.*with ID ([0-9]+)\..*/\1/' <<<"$out")
run install --yes "$FILES/themes/plain.css"
check "plain CSS installs with the no-rules notice" contains "$out" "CSS File Imported With No Rules"
run install --yes "$FILES/themes/theme.scss"
check "Sass is not supported" contains "$out" "Unsupported URL"
printf '@-moz-document domain("a.org" {\n' >"$WWW/themes/broken.user.css"
run install --yes "$FILES/themes/broken.user.css"
check "a document that does not read says so" contains "$out" "holds no style that could be read"
check "... with a failure status" [ "$rc" -eq 1 ]
printf '/* ==UserStyle==\n@name Sassy\n@namespace s\n@version 1\n@preprocessor sass\n' \
    >"$WWW/themes/sassy.user.css"
printf '@var color c "C" #fff\n==/UserStyle== */\na { color: $c }\n' >>"$WWW/themes/sassy.user.css"
run install --yes "$FILES/themes/sassy.user.css"
check "a Sass style installs with a warning" contains "$out" "Warning: Incompatible Preprocessor"
check "... and the command succeeds" [ "$rc" -eq 0 ]
run remove "$(sed -n 's/.*Installed Sassy with ID \([0-9]*\).*/\1/p' <<<"$out")"
run list
check "three styles are installed" [ "$(grep -c -E 'usorg|usercss|custom' <<<"$out")" -eq 3 ]

run update
check "nothing new: every style is up to date" contains "$out" "0 of 2 styles updated"
check "... and the command succeeds" [ "$rc" -eq 0 ]

catalogue_style 4242 second
usercss 1.1
run update --log
check "the log starts as the sheet's does" contains "$out" "Checking for updates..."
check "the log names each updated style" contains "$out" '"Night Sky" was updated to the latest version.'
check "the log ends with the count" contains "$out" "Updates completed. 2 styles were updated."
run update --log
check "a second run finds nothing" contains "$out" "Updates completed. 0 styles were updated."

usercss 1.2
run update "$night"
check "one style's check updates it" contains "$out" "Updated! Night Sky"
# (s_server answers a missing file with 200 and an error text, which holds no style.)
rm "$WWW/themes/night.user.css"
run update "$night"
check "a source that is gone is an update error" contains "$out" "Update error."
check "... with a failure status" [ "$rc" -eq 1 ]
run show "$night"
check "... and the style stays installed" contains "$out" '"version":"1.2"'

exit $failed
