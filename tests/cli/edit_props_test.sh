#!/usr/bin/env bash
# `orlavine edit`, `props`, the `--json` forms and shell completion as a user and a script see
# them: EDITOR is a script, answers come on standard input, JSON is read by a JSON reader.
#
#   bash tests/cli/edit_props_test.sh PATH-TO-ORLAVINE TESTS-DATA-DIR
set -u
ORLAVINE=$1
FIXTURES=$2/cli
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export HOME="$WORK/home" XDG_DATA_HOME="$WORK/data" XDG_CONFIG_HOME="$WORK/config"
export XDG_CACHE_HOME="$WORK/cache" ORLAVINE_CONFIG="$WORK/orlavine-config"
export ORLAVINE_HOME="$WORK/library" XDG_RUNTIME_DIR="$WORK/runtime" TMPDIR="$WORK/tmp"
unset VISUAL
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$TMPDIR" "$WORK/bin"
chmod 700 "$XDG_RUNTIME_DIR"

failed=0
check() {  # check DESCRIPTION CONDITION...
    local what=$1
    shift
    if "$@"; then echo "ok - $what"; else
        echo "FAILED - $what"
        echo "$out" | sed 's/^/    /'
        failed=1
    fi
}
has() { [[ $out == *"$1"* ]]; }
run() {  # output (both streams) and status of one command; standard input from $INPUT
    out=$("$ORLAVINE" "$@" <<<"${INPUT:-}" 2>&1)
    rc=$?
}
json() {  # json EXPRESSION: evaluates a JavaScript expression over the parsed $out as `d`
    node -e 'const d = JSON.parse(require("fs").readFileSync(0, "utf8"));
             process.exit(eval(process.argv[1]) ? 0 : 1)' "$1" <<<"$out"
}
editor() {  # editor NAME BODY: an EDITOR script; $1 in BODY is the file being edited
    printf '#!/bin/sh\n%s\n' "$2" >"$WORK/bin/$1"
    chmod +x "$WORK/bin/$1"
    export EDITOR="$WORK/bin/$1"
}
id_of() { sed -n "s/.* with ID \([0-9]*\).*/\1/p" <<<"$out"; }

run new "Dark GitHub" --domain github.com
ID=$(id_of)
run props "$ID" --exclude domain gist.github.com --frames on --theme dark
run disable "$ID"

# --- edit: the whole document ---
editor rewrite 'sed -i -e "s/Have fun/Enjoy/" -e "s/^@name[[:space:]].*/@name Dark Hub/" "$1"
printf "\n@-moz-document domain(\"docs.github.com\") {\n  main { color: #ccc }\n}\n" >>"$1"'
run edit "$ID"
check "an edit is saved" has "Saved Dark Hub."
check "... with success" [ "$rc" -eq 0 ]
run show "$ID"
check "the edit reaches the library, with the new section and name" \
    json 'd.styleData.name === "Dark Hub" && d.styleData.sections.length === 2 &&
          d.styleData.sections[0].code.includes("Enjoy") &&
          d.styleData.sections[1].domains[0] === "docs.github.com" && d.namespace.startsWith("orlavine")'
check "the style keeps its ID, state, exclusions, frames and theme" \
    json "d.uniqueID === $ID && d.isEnabled === false && d.exclDomain[0] === 'gist.github.com' &&
          d.allowIframe === true && d.systemTheme === 'dark'"
check "no edit file is left behind" [ -z "$(ls "$XDG_RUNTIME_DIR")" ]

editor nothing 'true'
run edit "$ID"
check "an edit that changes nothing saves nothing" has "No changes; nothing was saved."

# --- a broken edit is offered again, then kept when given up ---
cp "$ORLAVINE_HOME/styledb.sdb" "$WORK/before.sdb"
editor breaks 'printf "/* only a comment */\n" >"$1"'
INPUT=n run edit "$ID"
check "a document that no longer reads is refused" has "no longer reads as a style"
check "... the user is asked to edit again" has "Edit again?"
kept=$(sed -n 's/.*your text is kept in \(.*\)$/\1/p' <<<"$out")
check "... the text is kept in the file named" grep -q "only a comment" "$kept"
check "... the status is a failure" [ "$rc" -eq 1 ]
check "... and the library is untouched" cmp -s "$ORLAVINE_HOME/styledb.sdb" "$WORK/before.sdb"
echo 0 >"$WORK/count"
editor second-try 'n=$(cat '"$WORK/count"'); echo $((n + 1)) >'"$WORK/count"'
if [ "$n" -eq 0 ]; then printf "/* nothing */\n" >"$1"; else
  printf "/* ==UserStyle==\n@name Dark Hub\n==/UserStyle== */\n" >"$1"
  printf "@-moz-document domain(\"github.com\") {\n  a { color: red } /* Relish */\n}\n" >>"$1"
fi'
INPUT=y run edit "$ID"
check "answering yes edits again, and the good text is saved" has "Saved Dark Hub."
run show "$ID"
check "... with the second edit" json 'd.styleData.sections[0].code.includes("Relish")'

# --- one section; Less that does not compile ---
run new "Lean" --domain a.org --preprocessor less
LESS_ID=$(id_of)
editor bad-less 'printf "a { color: @missing; }\n" >"$1"'
INPUT=n run edit "$LESS_ID" --section 1
check "a section that does not compile is refused with the compiler's reason" \
    has "does not compile"
check "... and not saved" [ "$rc" -eq 1 ]
editor good-less 'printf "@c: #123;\na { color: @c; }\n" >"$1"'
run edit "$LESS_ID" --section 1
run show "$LESS_ID"
check "a section edit compiles and saves" json 'd.styleData.compSections[0].code.includes("#123")'
run edit "$LESS_ID" --section 3
check "a section that does not exist is a usage error" [ "$rc" -eq 2 ]

# --- read-only styles ---
printf '/* ==UserStyle==\n@name Night\n@namespace n\n@version 1\n@var color fg "Text" #eee\n' \
    >"$WORK/night.user.css"
printf '==/UserStyle== */\n@-moz-document domain("n.org") { body { color: /*[[fg]]*/ } }\n' \
    >>"$WORK/night.user.css"
run import "$WORK/night.user.css"
NIGHT=$(id_of)
run merge "$FIXTURES/two-styles.sdb"
run edit 202
check "a style installed from an address is refused with the hint to duplicate it" \
    has "Style is Read-Only: Styles imported from a URL are read-only."
check "... naming the command" has "orlavine duplicate 202"
run remove 101
run remove 202

# --- props ---
run props "$ID" --exclude regexp 'a(' --frames off
check "an expression that does not compile is refused with its error" \
    has 'The regular expression "a(" does not compile: missing closing parenthesis'
check "... and nothing changes" [ "$rc" -eq 2 ]
run props "$ID" --no-exclude domain nowhere.org
check "taking away an exclusion that is not there is refused" has 'no domain exclusion'
run props "$ID" --exclude url https://github.com/x --exclude prefix https://a.org/ \
    --exclude regexp 'https://b\.org/.*' --no-exclude domain gist.github.com --frames off \
    --theme light
check "every flag applies at once" [ "$rc" -eq 0 ]
run show "$ID"
check "... as the panel stores them" \
    json 'd.exclURL[0] === "https://github.com/x" && d.exclPrefix[0] === "https://a.org/" &&
          d.exclRegExp[0] === "https://b\\.org/.*" && d.exclDomain.length === 0 &&
          d.allowIframe === false && d.systemTheme === "light"'
run set-var "$NIGHT" fg '#000000'
run props "$NIGHT"
check "props prints a changed variable beside its default" has "fg (color): #000000  [default #eee]"
run props "$NIGHT" --reset-vars
run show "$NIGHT"
check "--reset-vars puts the default back and compiles it" \
    json 'd.userVariables[0].currentValue === "#eee" &&
          d.styleData.sections[0].compiledcode.includes("#eee")'

# --- JSON shapes ---
run list --json
check "list --json is an array of the styles with their fields" \
    json "d.length === 3 && d[0].id === $ID && d[0].name === 'Dark Hub' && d[0].enabled === false &&
          d[0].position === 0 && d[1].preprocessor === 'less' && d[2].name === 'Night'"
run update --json
check "update --json counts the checks" \
    json 'd.checked === 0 && d.updated === 0 && d.errors === 0 && Array.isArray(d.styles)'
mkdir -p "$WORK/shared"
run sync setup "$WORK/shared"
run sync --json
check "sync --json says the run went well" json 'd.ok === true && Array.isArray(d.events) &&
                                                 d.recoverable === 0'

# --- completion and version ---
printf '#!/bin/sh\nexec "%s" "$@"\n' "$ORLAVINE" >"$WORK/bin/orlavine"
chmod +x "$WORK/bin/orlavine"
completions() {  # completions WORDS...: what bash completion offers for the last word
    PATH="$WORK/bin:$PATH" bash -c 'complete() { :; }; source /dev/stdin
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _orlavine; printf "%s\n" "${COMPREPLY[@]}"' \
        sh "$@" < <("$ORLAVINE" completion bash)
}
out=$(completions orlavine pr)
check "bash completes subcommands" [ "$out" = "props" ]
out=$(completions orlavine enable "")
check "bash completes style IDs" [ "$(sort <<<"$out" | tr '\n' ' ')" = \
    "$(printf '%s\n' "$ID" "$LESS_ID" "$NIGHT" | sort | tr '\n' ' ')" ]
out=$(completions orlavine props 1 --th)
check "bash completes a subcommand's flags" [ "$out" = "--theme" ]
out=$(completions orlavine sync s)
check "bash completes nested subcommands" [ "$out" = "setup" ]
run complete-ids
check "zsh gets IDs with names" has "$ID:Dark Hub"
run --version
check "--version names the bundled compilers" has "Stylus "

exit $failed
