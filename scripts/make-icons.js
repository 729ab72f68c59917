#!/usr/bin/env node
// Draws the extension's toolbar and store icons (webext/icons/icon-N.png): a rounded square in
// Orlavine blue holding a white ring with a brush stroke through it. Run again after changing
// the drawing; the PNG files are committed.
'use strict';

const fs = require('node:fs');
const path = require('node:path');
const zlib = require('node:zlib');

const SIZES = [16, 32, 48, 128];
const OUT = path.resolve(__dirname, '..', 'webext', 'icons');

const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});

function crc32(bytes) {
  let c = 0xffffffff;
  for (const b of bytes) c = CRC_TABLE[(c ^ b) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

function chunk(type, data) {
  const length = Buffer.alloc(4);
  length.writeUInt32BE(data.length);
  const body = Buffer.concat([Buffer.from(type, 'ascii'), data]);
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(body));
  return Buffer.concat([length, body, crc]);
}

function png(size, pixel) {
  const rows = [];
  for (let y = 0; y < size; y++) {
    const row = Buffer.alloc(1 + size * 4);
    for (let x = 0; x < size; x++) row.set(pixel(x, y), 1 + x * 4);
    rows.push(row);
  }
  const header = Buffer.alloc(13);
  header.writeUInt32BE(size, 0);
  header.writeUInt32BE(size, 4);
  header.set([8, 6, 0, 0, 0], 8); // 8-bit RGBA
  return Buffer.concat([
    Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk('IHDR', header),
    chunk('IDAT', zlib.deflateSync(Buffer.concat(rows), { level: 9 })),
    chunk('IEND', Buffer.alloc(0)),
  ]);
}

// Coverage of a shape at a pixel, from 4x4 samples, for smooth edges.
function coverage(size, inside, x, y) {
  let hits = 0;
  for (let i = 0; i < 4; i++) {
    for (let j = 0; j < 4; j++) {
      if (inside((x + (i + 0.5) / 4) / size, (y + (j + 0.5) / 4) / size)) hits++;
    }
  }
  return hits / 16;
}

const roundedSquare = (u, v) => {
  const r = 0.22;
  const dx = Math.max(r - u, 0, u - (1 - r));
  const dy = Math.max(r - v, 0, v - (1 - r));
  return dx * dx + dy * dy <= r * r;
};
const ring = (u, v) => {
  const d = Math.hypot(u - 0.5, v - 0.5);
  return d >= 0.2 && d <= 0.32;
};
const stroke = (u, v) => Math.abs(u - 0.5 + (v - 0.5)) < 0.07 && Math.abs(u - v) < 0.62;

function icon(size) {
  return png(size, (x, y) => {
    const square = coverage(size, roundedSquare, x, y);
    const mark = coverage(size, (u, v) => ring(u, v) || stroke(u, v), x, y);
    const top = [0x5b, 0x8d, 0xef];
    const bottom = [0x3a, 0x5f, 0xc8];
    const t = y / (size - 1);
    const base = top.map((c, i) => Math.round(c + (bottom[i] - c) * t));
    const color = base.map((c) => Math.round(c + (255 - c) * mark));
    return [...color, Math.round(255 * square)];
  });
}

fs.mkdirSync(OUT, { recursive: true });
for (const size of SIZES) fs.writeFileSync(path.join(OUT, `icon-${size}.png`), icon(size));
console.log(`wrote ${SIZES.map((s) => `icon-${s}.png`).join(', ')} to ${OUT}`);
