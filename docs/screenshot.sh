#!/usr/bin/env bash
# Makes docs/main-window.png, docs/properties-window.png and docs/editor-window.png: the real
# program, on Qt's offscreen platform, showing a small library made with the command line in a
# throw-away home.
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
cat >"$home/calm.user.css" <<'EOF'
/* ==UserStyle==
@name        Calm reading
@namespace   example.org
@version     1.2.0
@description Softer colours and a wider column for long articles
@preprocessor uso
@var color   ink    "Text colour"   #2b2b2b
@var color   paper  "Background"    #f7f3e8
@var range   width  "Column width"  [48, 30, 90, 1, "em"]
@var checkbox serif "Serif type"    1
@var select  size   "Text size"     {"Small": "15px", "Medium*": "17px", "Large": "20px"}
==/UserStyle== */
@-moz-document domain("blog.example.org") {
  article {
    color: /*[[ink]]*/;
    background: /*[[paper]]*/;
    max-width: /*[[width]]*/;
    font-size: /*[[size]]*/;
  }
}
EOF
"$program" import "$home/calm.user.css" >/dev/null
id_of() { "$program" list | awk -v name="$1" 'index($0, name) {print $2; exit}'; }
"$program" disable "$(id_of "Readable forum")" >/dev/null || true
shot() { # file, window
    QT_QPA_PLATFORM=offscreen ORLAVINE_SCREENSHOT="$here/$1" ORLAVINE_SCREENSHOT_OF="$2" \
        "$program"
    echo "wrote $here/$1"
}
shot main-window.png list
shot properties-window.png "properties:$(id_of "Calm reading")"
shot editor-window.png "editor:$(id_of "Calm reading")"
