// Many programs on one library at once, as a user has them: commands in several terminals, the
// browser host answering pages, and a sync watcher. No reported change may be lost, the library
// file must always read back whole (also when commands are killed mid-change), and the host must
// answer every request.
//
//   node --test tests/cli/concurrency.test.js   (ORLAVINE_BUILD_DIR names the build folder)

'use strict';

const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn } = require('node:child_process');

const build = process.env.ORLAVINE_BUILD_DIR;
const program = path.join(build, 'app', 'orlavine');
const host = path.join(build, 'extension', 'orlavine-extension');

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'orlavine-concurrency-'));
const env = {
  ...process.env,
  HOME: path.join(work, 'home'),
  ORLAVINE_HOME: path.join(work, 'data'),
  ORLAVINE_CONFIG: path.join(work, 'config'),
  XDG_DATA_HOME: path.join(work, 'xdg-data'),
  XDG_CONFIG_HOME: path.join(work, 'xdg-config'),
  XDG_CACHE_HOME: path.join(work, 'xdg-cache'),
  DBUS_SESSION_BUS_ADDRESS: 'unix:path=/nonexistent',
};
const libraryFile = path.join(work, 'data', 'styledb.sdb');

function run(...args) {
  return new Promise((resolve) => {
    const child = spawn(program, args, { env, cwd: work });
    let out = '';
    let err = '';
    child.stdout.on('data', (d) => (out += d));
    child.stderr.on('data', (d) => (err += d));
    child.on('close', (code, signal) => resolve({ code, signal, out, err, child }));
    run.last = child;
  });
}

function library() {
  return JSON.parse(fs.readFileSync(libraryFile, 'utf8'));
}

function named(db, name) {
  return db.styles.filter((s) => s.styleData.name === name);
}

// Reads the library file over and over while the test runs; every read must parse.
function startFileReader() {
  const state = { reads: 0, torn: 0, stop: false };
  const loop = () => {
    if (state.stop) return;
    try {
      JSON.parse(fs.readFileSync(libraryFile, 'utf8'));
      state.reads++;
    } catch (e) {
      state.torn++;
    }
    setTimeout(loop, 2);
  };
  loop();
  return state;
}

// The browser host, asked for a page's CSS over and over.
function startHost() {
  const child = spawn(host, [], { env, cwd: work, stdio: ['pipe', 'pipe', 'ignore'] });
  const state = { sent: 0, answered: 0, bad: 0, stop: false, child };
  let pending = Buffer.alloc(0);
  const waiting = new Set();
  child.stdout.on('data', (chunk) => {
    pending = Buffer.concat([pending, chunk]);
    while (pending.length >= 4) {
      const length = pending.readUInt32LE(0);
      if (pending.length < 4 + length) break;
      const body = pending.subarray(4, 4 + length).toString('utf8');
      pending = pending.subarray(4 + length);
      try {
        const reply = JSON.parse(body);
        if (reply.id !== undefined) {
          waiting.delete(reply.id);
          if (Array.isArray(reply.messages)) state.answered++;
          else state.bad++;
        }
      } catch (e) {
        state.bad++;
      }
    }
  });
  const ask = () => {
    if (state.stop) return;
    const id = ++state.sent;
    waiting.add(id);
    const message = Buffer.from(
      JSON.stringify({ id, name: 'getCSS', url: 'https://example.com/page', userInfo: {} }),
    );
    const header = Buffer.alloc(4);
    header.writeUInt32LE(message.length, 0);
    child.stdin.write(Buffer.concat([header, message]));
    setTimeout(ask, 10);
  };
  ask();
  state.unanswered = () => waiting.size;
  return state;
}

test('commands, the host and a sync watcher change one library at once without losing a change', async (t) => {
  t.after(() => fs.rmSync(work, { recursive: true, force: true }));

  const ids = [];
  for (let i = 0; i < 6; i++) {
    const r = await run('new', `seed ${i}`, '--domain', 'example.com');
    assert.strictEqual(r.code, 0, r.err);
    ids.push(Number(/with ID (\d+)/.exec(r.out)[1]));
  }
  const shared = path.join(work, 'shared');
  fs.mkdirSync(shared);
  assert.strictEqual((await run('sync', 'setup', shared)).code, 0);

  const watcher = spawn(program, ['sync', '--watch', '--interval', '5'], { env, cwd: work });
  const hostState = startHost();
  const reader = startFileReader();
  t.after(() => {
    watcher.kill('SIGKILL');
    hostState.child.kill('SIGKILL');
  });

  // A file to import and a library to merge, made by the program itself in a second home.
  const cssFile = path.join(work, 'imported.user.css');
  fs.writeFileSync(cssFile, '@-moz-document domain("example.org") { p { color: red } }\n');

  const jobs = [];
  for (let i = 0; i < 20; i++) jobs.push(run('duplicate', String(ids[0])));
  jobs.push(run('disable', String(ids[1])));
  jobs.push(run('disable', String(ids[2])));
  jobs.push(run('rename', String(ids[3]), 'renamed at once'));
  jobs.push(run('remove', String(ids[4])));
  jobs.push(run('import', cssFile));
  for (let i = 0; i < 5; i++) jobs.push(run('new', `added ${i}`));
  const results = await Promise.all(jobs);
  for (const r of results) assert.strictEqual(r.code, 0, r.err);

  const db = library();
  assert.strictEqual(named(db, 'Copy of seed 0').length, 20);
  assert.strictEqual(db.styles.find((s) => s.uniqueID === ids[1]).isEnabled, false);
  assert.strictEqual(db.styles.find((s) => s.uniqueID === ids[2]).isEnabled, false);
  assert.strictEqual(db.styles.find((s) => s.uniqueID === ids[3]).styleData.name, 'renamed at once');
  assert.strictEqual(db.styles.find((s) => s.uniqueID === ids[4]), undefined);
  assert.strictEqual(named(db, 'imported').length, 1);
  for (let i = 0; i < 5; i++) assert.strictEqual(named(db, `added ${i}`).length, 1);
  assert.strictEqual(new Set(db.styles.map((s) => s.uniqueID)).size, db.styles.length);

  // Commands killed at any moment: the file stays whole, and every change that was reported
  // is in it.
  const killed = [];
  for (let i = 0; i < 12; i++) {
    const job = run('duplicate', String(ids[5]));
    const child = run.last;
    if (i % 2 === 1) setTimeout(() => child.kill('SIGKILL'), 20 + 15 * i);
    killed.push(job);
  }
  const outcomes = await Promise.all(killed);
  const reported = outcomes.filter((r) => r.code === 0 && /Added Copy of seed 5/.test(r.out)).length;
  const after = library();
  assert.ok(named(after, 'Copy of seed 5').length >= reported);
  assert.ok(reported >= 6);

  // The watcher and the host are still there, and the host answered every request it got.
  hostState.stop = true;
  reader.stop = true;
  await new Promise((resolve) => setTimeout(resolve, 300));
  assert.strictEqual(watcher.exitCode, null);
  assert.strictEqual(reader.torn, 0);
  assert.ok(reader.reads > 0);
  assert.strictEqual(hostState.bad, 0);
  assert.ok(hostState.answered > 0);
  assert.strictEqual(hostState.unanswered(), 0);
});
