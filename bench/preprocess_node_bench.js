// The node side of the preprocessing benchmark: the same less.min.js, stylus-renderer.min.js and
// encoding.min.js that the program ships, evaluated in a fresh vm context per run.
//
//   node bench/preprocess_node_bench.js SCRIPT-DIR REPS FILE...
// Prints one line per figure: "name<TAB>median milliseconds of process CPU time". The "(node main)" figures run the
// same packages' node builds (less, and the stylus version that the renderer bundles) in node's
// own context, which spares them the cost of global lookups through a vm context.
'use strict';
const fs = require('fs');
const vm = require('vm');
const path = require('path');

const [scriptDir, repsText, ...files] = process.argv.slice(2);
const reps = Number(repsText);
const read = (name) => fs.readFileSync(path.join(scriptDir, name), 'utf8');
const encoding = new vm.Script(read('encoding.min.js'), {filename: 'encoding.min.js'});
const lessScript = read('less.min.js');
const stylusScript = read('stylus-renderer.min.js');

function freshContext(compiler, name) {
    const context = vm.createContext({});
    encoding.runInContext(context);
    vm.runInContext(compiler, context, {filename: name});
    return context;
}

function median(values) {
    const sorted = [...values].sort((a, b) => a - b);
    return sorted[Math.floor(sorted.length / 2)];
}

async function timeIt(fn) {
    const times = [];
    await fn();  // warm-up
    for (let i = 0; i < reps; i++) {
        const start = process.cpuUsage();
        await fn();
        const used = process.cpuUsage(start);
        times.push((used.user + used.system) / 1e3);
    }
    return median(times);
}

const modules = path.join(__dirname, '..', 'preprocess', 'js', 'node_modules');
const lessNode = require(path.join(modules, 'less'));
const stylusNode = require(path.join(modules, 'stylus'));

async function main() {
    const lines = [];
    lines.push(['less fresh context + scripts',
                await timeIt(() => freshContext(lessScript, 'less.min.js'))]);
    lines.push(['stylus fresh context + scripts',
                await timeIt(() => freshContext(stylusScript, 'stylus-renderer.min.js'))]);
    for (const file of files) {
        const text = fs.readFileSync(file, 'utf8');
        const name = path.basename(file);
        if (file.endsWith('.less')) {
            const context = freshContext(lessScript, 'less.min.js');
            context.str = text;
            lines.push([`${name} compile (warm)`, await timeIt(async () => {
                context.compiled = undefined;
                await vm.runInContext('less.render(str).then(r => { compiled = r.css; })', context);
                if (typeof context.compiled !== 'string') throw new Error('no output');
            })]);
            lines.push([`${name} compile (node main)`, await timeIt(async () => {
                const result = await lessNode.render(text);
                if (typeof result.css !== 'string') throw new Error('no output');
            })]);
            lines.push([`${name} whole run`, await timeIt(async () => {
                const fresh = freshContext(lessScript, 'less.min.js');
                fresh.str = text;
                await vm.runInContext('less.render(str).then(r => { compiled = r.css; })', fresh);
            })]);
        } else {
            const context = freshContext(stylusScript, 'stylus-renderer.min.js');
            context.str = text;
            lines.push([`${name} compile (warm)`, await timeIt(() => {
                vm.runInContext('new StylusRenderer(str).render()', context);
            })]);
            lines.push([`${name} compile (node main)`, await timeIt(() => {
                stylusNode(text).render();
            })]);
            lines.push([`${name} whole run`, await timeIt(() => {
                const fresh = freshContext(stylusScript, 'stylus-renderer.min.js');
                fresh.str = text;
                vm.runInContext('new StylusRenderer(str).render()', fresh);
            })]);
        }
    }
    for (const [name, ms] of lines) console.log(`${name}\t${ms.toFixed(2)}`);
}
main().catch((e) => { console.error(e); process.exit(1); });
