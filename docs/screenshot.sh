#!/usr/bin/env bash
# Makes docs/main-window.png: the real program, on Qt's offscreen platform, showing a small
# library made with the command line in a throw-away home.
# Usage: docs/screenshot.sh [PATH-TO-ORLAVINE]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
program="${1:-$here/../build/release/app/orlavine}"
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
export ORLAVINE_HOME="$home/data" ORLAVINE_CONFIG="$home/config" XDG_CONFIG_HOME="$home/xdg"
export XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/run" HOME="$home"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
make_style() { # name, domain, code
    printf '@-moz-document domain("%s") {\n%s\n}\n' "$2" "$3" >"$home/$1.css"
    "$program" import "$home/$1.css" >/dev/null
}
make_style "Quiet news" "news.example.org" "aside { display: none; }"
make_style "Dark wiki" "wiki.example.org" "body { background: #111; color: #ddd; }"
make_style "Wide code review" "code.example.com" ".container { max-width: none; }"
make_style "Readable forum" "forum.example.net" "p { line-height: 1.6; }"
cat >"$home/paper.user.css" <<'END'
/* ==UserStyle==
@name Paper reader
@namespace paper
@version 1.2.0
@updateURL https://styles.example.org/paper.user.css
==/UserStyle== */
@-moz-document domain("read.example.org") {
  body { background: #fbf8f1; }
}
END
"$program" import "$home/paper.user.css" >/dev/null
"$program" disable "$("$program" list | awk '/Readable forum/ {print $2}')" >/dev/null || true
QT_QPA_PLATFORM=offscreen ORLAVINE_SCREENSHOT="$here/main-window.png" "$program"
echo "wrote $here/main-window.png"
