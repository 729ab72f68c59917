// The straightforward way to switch a style in the library file, for comparison with the
// store's transactions: read the file, parse it, flip the style, serialise, write a temporary
// file and rename it over the library. No lock, so processes that run at once lose changes.
//
//   node bench/library_toggle_reference.js --library FILE --processes P --toggles N
//
// Prints the same key=value lines as library_toggle_bench.

'use strict';

const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { fork } = require('node:child_process');

const args = process.argv.slice(2);
const option = (name, fallback) => {
  const i = args.indexOf(name);
  return i >= 0 ? args[i + 1] : fallback;
};

if (process.env.TOGGLE_WORKER) {
  const file = process.env.TOGGLE_FILE;
  const index = Number(process.env.TOGGLE_INDEX);
  const toggles = Number(process.env.TOGGLE_COUNT);
  const latencies = [];
  for (let i = 0; i < toggles; i++) {
    const start = process.hrtime.bigint();
    const db = JSON.parse(fs.readFileSync(file, 'utf8'));
    db.styles[index].isEnabled = i % 2 === 0;
    db.randomHash = Math.floor(Math.random() * 4294967295);
    const temporary = `${file}.tmp-${process.pid}`;
    const fd = fs.openSync(temporary, 'w');
    fs.writeSync(fd, JSON.stringify(db));
    fs.fsyncSync(fd);
    fs.closeSync(fd);
    fs.renameSync(temporary, file);
    latencies.push(Number(process.hrtime.bigint() - start) / 1e6);
  }
  process.send(latencies, () => process.exit(0));
} else {
  const processes = Number(option('--processes', 4));
  const toggles = Number(option('--toggles', 250));
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'toggle-reference-'));
  const file = path.join(work, 'styledb.sdb');
  fs.copyFileSync(option('--library'), file);
  const all = [];
  const start = process.hrtime.bigint();
  let running = processes;
  for (let p = 0; p < processes; p++) {
    const child = fork(__filename, [], {
      env: { ...process.env, TOGGLE_WORKER: '1', TOGGLE_FILE: file, TOGGLE_INDEX: String(p),
        TOGGLE_COUNT: String(toggles) },
    });
    child.on('message', (latencies) => all.push(...latencies));
    child.on('exit', () => {
      if (--running > 0) return;
      const wallMs = Number(process.hrtime.bigint() - start) / 1e6;
      const db = JSON.parse(fs.readFileSync(file, 'utf8'));
      const expected = (toggles - 1) % 2 === 0;
      let lost = 0;
      for (let i = 0; i < processes; i++) lost += db.styles[i].isEnabled !== expected ? 1 : 0;
      all.sort((a, b) => a - b);
      const at = (q) => all[Math.floor(q * (all.length - 1))];
      console.log(`processes=${processes}\ntoggles=${processes * toggles}`);
      console.log(`wall_ms=${wallMs.toFixed(1)}\nper_second=${((processes * toggles) / (wallMs / 1000)).toFixed(1)}`);
      console.log(`latency_p50_ms=${at(0.5).toFixed(3)}\nlatency_p90_ms=${at(0.9).toFixed(3)}`);
      console.log(`latency_p99_ms=${at(0.99).toFixed(3)}\nlost=${lost}`);
      fs.rmSync(work, { recursive: true, force: true });
    });
  }
}
