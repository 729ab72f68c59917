// Writes the preprocessing benchmark's inputs: Less styles of about 5, 50 and 500 KB and Stylus
// styles of about 5 and 50 KB, made of what real styles use (variables, nesting, mixins, guards,
// colour functions, arithmetic).
//
//   node bench/preprocess_inputs.js OUTPUT-DIR
'use strict';
const fs = require('fs');
const path = require('path');

function less(bytes) {
    let out = '@accent: #3a7bd5;\n@radius: 4px;\n@gap: 8px;\n' +
        '.rounded(@r: @radius) { border-radius: @r; }\n' +
        '.shade(@c) when (lightness(@c) > 50%) { color: #222; }\n' +
        '.shade(@c) when (lightness(@c) <= 50%) { color: #eee; }\n';
    for (let i = 0; out.length < bytes; i++) {
        out += `.block-${i} {\n  background: lighten(@accent, ${i % 30}%);\n` +
            `  .shade(lighten(@accent, ${i % 60}%));\n  margin: (@gap * ${i % 5}) @gap;\n` +
            `  .title { font-size: ${12 + (i % 8)}px; .rounded(${i % 6}px); }\n` +
            `  &:hover { border-color: darken(@accent, ${i % 20}%); }\n` +
            `  > a.link-${i} { color: mix(@accent, #fff, ${i % 100}%); }\n}\n`;
    }
    return out;
}

function stylus(bytes) {
    let out = 'accent = #3a7bd5\nradius = 4px\ngap = 8px\n' +
        'rounded(r = radius)\n  border-radius r\n';
    for (let i = 0; out.length < bytes; i++) {
        out += `.block-${i}\n  background lighten(accent, ${i % 30}%)\n` +
            `  margin (gap * ${i % 5}) gap\n  .title\n    font-size ${12 + (i % 8)}px\n` +
            `    rounded(${i % 6}px)\n  &:hover\n    border-color darken(accent, ${i % 20}%)\n`;
    }
    return out;
}

const dir = process.argv[2];
fs.mkdirSync(dir, {recursive: true});
fs.writeFileSync(path.join(dir, 'less-5k.less'), less(5 * 1024));
fs.writeFileSync(path.join(dir, 'less-50k.less'), less(50 * 1024));
fs.writeFileSync(path.join(dir, 'less-500k.less'), less(500 * 1024));
fs.writeFileSync(path.join(dir, 'stylus-5k.styl'), stylus(5 * 1024));
fs.writeFileSync(path.join(dir, 'stylus-50k.styl'), stylus(50 * 1024));
