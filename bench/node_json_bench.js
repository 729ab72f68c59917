#!/usr/bin/env node
// The yardstick for db_codec_bench: how fast node's JSON.parse and JSON.stringify handle the same
// library file, measured the same way (untimed warm-up runs, then the median of timed runs, MB =
// 10^6 bytes of the file, peak memory of one parse and of one stringify each in a fresh process).
//
//   node bench/node_json_bench.js FILE [--reps N] [--warmup N] [--machine]
//
// Internal: --peak parse|stringify FILE runs one operation and prints its memory figures.
'use strict';

const fs = require('fs');
const { spawnSync } = require('child_process');
const { performance } = require('perf_hooks');

function usage(why) {
    process.stderr.write(`node_json_bench: ${why}\n` +
        'usage: node node_json_bench.js FILE [--reps N] [--warmup N] [--machine]\n');
    process.exit(2);
}

function parseArgs(argv) {
    const o = { file: null, reps: 15, warmup: 2, machine: false, peak: null };
    for (let i = 0; i < argv.length; ++i) {
        const arg = argv[i];
        const value = () => {
            if (i + 1 >= argv.length) usage('an option lacks its value');
            return argv[++i];
        };
        if (arg === '--reps') o.reps = Math.max(1, parseInt(value(), 10) || 1);
        else if (arg === '--warmup') o.warmup = Math.max(0, parseInt(value(), 10) || 0);
        else if (arg === '--machine') o.machine = true;
        else if (arg === '--peak') o.peak = value();
        else if (arg.startsWith('--')) usage(`unknown option ${arg}`);
        else if (o.file === null) o.file = arg;
        else usage('more than one file given');
    }
    if (o.file === null) usage('no file given');
    return o;
}

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"), or -1.
function statusKiB(field) {
    try {
        const status = fs.readFileSync('/proc/self/status', 'latin1');
        const m = status.match(new RegExp(`^${field}:\\s*(\\d+) kB`, 'm'));
        return m ? Number(m[1]) : -1;
    } catch {
        return -1;
    }
}

// Resets the kernel's high-water mark of resident memory, so the next reading covers only what
// follows. False where the kernel does not allow it.
function resetPeak() {
    try {
        fs.writeFileSync('/proc/self/clear_refs', '5');
        return true;
    } catch {
        return false;
    }
}

function maxRssKiB() {
    return process.resourceUsage().maxRSS;  // KiB on Linux
}

// The child's side: one parse or one stringify, and the memory it took.
function measurePeak(o) {
    const text = fs.readFileSync(o.file, 'utf8');
    let value = null;
    if (o.peak === 'stringify') {
        value = JSON.parse(text);
    } else if (o.peak !== 'parse') {
        usage('--peak takes parse or stringify');
    }
    const reset = resetPeak();
    const before = reset ? statusKiB('VmRSS') : maxRssKiB();
    let size;
    if (value !== null) {
        size = JSON.stringify(value).length;
    } else {
        size = JSON.parse(text).styles.length;
    }
    const peak = reset ? statusKiB('VmHWM') : maxRssKiB();
    process.stdout.write(`peak_kib=${peak}\nbefore_kib=${before}\nsize=${size}\n`);
}

function runChild(args) {
    const child = spawnSync(process.execPath, [__filename, ...args], { encoding: 'utf8' });
    const values = {};
    if (child.status !== 0) return values;
    for (const line of child.stdout.split('\n')) {
        const eq = line.indexOf('=');
        if (eq > 0) values[line.slice(0, eq)] = Number(line.slice(eq + 1));
    }
    return values;
}

function median(values) {
    const v = [...values].sort((a, b) => a - b);
    const n = v.length;
    return n % 2 === 1 ? v[(n - 1) / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs `op` warmup + reps times and times the timed runs by the wall clock and by CPU time.
// The CPU time is the whole process's, so it includes the garbage collector's helper threads.
function timeRuns(o, op) {
    for (let i = 0; i < o.warmup; ++i) op();
    const wall = [];
    const cpu = [];
    for (let i = 0; i < o.reps; ++i) {
        const cpu0 = process.cpuUsage();
        const start = performance.now();
        op();
        wall.push(performance.now() - start);
        const used = process.cpuUsage(cpu0);
        cpu.push((used.user + used.system) / 1000);
    }
    return { median: median(wall), min: Math.min(...wall), cpu: median(cpu) };
}

function main() {
    const o = parseArgs(process.argv.slice(2));
    if (o.peak !== null) {
        measurePeak(o);
        return;
    }
    const bytes = fs.statSync(o.file).size;
    const text = fs.readFileSync(o.file, 'utf8');
    const value = JSON.parse(text);

    let sink = null;  // keeps each result alive until the next run, like a caller would
    const parse = timeRuns(o, () => {
        sink = JSON.parse(text);
    });
    sink = null;
    const stringify = timeRuns(o, () => {
        sink = JSON.stringify(value);
    });
    sink = null;

    const parsePeak = runChild(['--peak', 'parse', o.file]);
    const stringifyPeak = runChild(['--peak', 'stringify', o.file]);
    const peak = (m) => ('peak_kib' in m ? m.peak_kib : -1);
    const growth = (m) => ('peak_kib' in m ? m.peak_kib - m.before_kib : -1);
    const rate = (ms) => bytes / 1e6 / (ms / 1000);

    if (o.machine) {
        const lines = [
            `bytes=${bytes}`,
            `styles=${value.styles.length}`,
            `decode_ms=${parse.median.toFixed(2)}`,
            `decode_min_ms=${parse.min.toFixed(2)}`,
            `decode_cpu_ms=${parse.cpu.toFixed(2)}`,
            `decode_mbps=${rate(parse.median).toFixed(1)}`,
            `decode_peak_kib=${peak(parsePeak)}`,
            `decode_growth_kib=${growth(parsePeak)}`,
            `encode_ms=${stringify.median.toFixed(2)}`,
            `encode_min_ms=${stringify.min.toFixed(2)}`,
            `encode_cpu_ms=${stringify.cpu.toFixed(2)}`,
            `encode_mbps=${rate(stringify.median).toFixed(1)}`,
            `encode_peak_kib=${peak(stringifyPeak)}`,
            `encode_growth_kib=${growth(stringifyPeak)}`,
        ];
        process.stdout.write(lines.join('\n') + '\n');
        return;
    }
    const mib = (kib) => (kib / 1024).toFixed(1);
    const row = (name, t, m, over) =>
        `${name}  median ${t.median.toFixed(2).padStart(8)} ms  min ${t.min.toFixed(2).padStart(8)} ms` +
        `  CPU ${t.cpu.toFixed(2).padStart(8)} ms` +
        `  ${rate(t.median).toFixed(1).padStart(7)} MB/s  peak RSS ${mib(peak(m)).padStart(6)} MiB` +
        ` (+${mib(growth(m))} MiB over ${over})`;
    console.log(`node ${process.version}: ${value.styles.length} styles, ${(bytes / 1e6).toFixed(1)} MB (${o.file})`);
    console.log(`runs: ${o.reps} timed after ${o.warmup} untimed; MB = 10^6 bytes of the file`);
    console.log(row('JSON.parse    ', parse, parsePeak, 'the text'));
    console.log(row('JSON.stringify', stringify, stringifyPeak, 'the objects'));
}

main();
