// A fault-injecting HTTP proxy for the sync tests:
//   node fault_proxy.js PORT TARGET_PORT
// passes every request to 127.0.0.1:TARGET_PORT, except as told on its control paths:
//   POST /__proxy/hold?method=PUT&suffix=.sdb   hold the next such request before passing it on
//   GET  /__proxy/held                          answers once a request is being held
//   POST /__proxy/release                       passes the held requests on
//   POST /__proxy/refuse?method=LOCK&status=405 answers every such request itself
//   POST /__proxy/drop?method=PUT&suffix=.sdb   passes the next such request on, then cuts the
//                                               connection instead of answering
//   GET  /__proxy/seen?any=LOCK:423,PUT:2:.sdb  answers once such an answer went back since the
//                                               last reset
//   POST /__proxy/reset                         forgets every rule
'use strict';
const http = require('http');

const [port, targetPort] = process.argv.slice(2).map(Number);
let holds = [];
let refusals = [];
let drops = [];
let held = [];
let heldWaiters = [];
const seen = [];
let seenWaiters = [];

const matches = (rule, req) =>
  rule.method === req.method && req.url.split('?')[0].endsWith(rule.suffix || '');

function pass(req, res, body, cut) {
  const out = http.request(
    {
      host: '127.0.0.1',
      port: targetPort,
      method: req.method,
      path: req.url,
      headers: req.headers,
    },
    (answer) => {
      const chunks = [];
      answer.on('data', (c) => chunks.push(c));
      answer.on('end', () => {
        seen.push({ method: req.method, path: req.url, status: answer.statusCode });
        seenWaiters = seenWaiters.filter((w) => !w());
        if (cut) {
          req.socket.destroy();
          return;
        }
        res.writeHead(answer.statusCode, answer.headers);
        res.end(Buffer.concat(chunks));
      });
    },
  );
  out.on('error', () => {
    res.writeHead(502);
    res.end();
  });
  out.end(body);
}

function control(req, res, q) {
  const rule = { method: q.get('method'), suffix: q.get('suffix') || '' };
  const ok = () => res.end('ok\n');
  switch (req.url.split('?')[0]) {
    case '/__proxy/hold':
      holds.push(rule);
      return ok();
    case '/__proxy/refuse':
      refusals.push({ ...rule, status: Number(q.get('status')) });
      return ok();
    case '/__proxy/drop':
      drops.push(rule);
      return ok();
    case '/__proxy/release': {
      const going = held;
      held = [];
      going.forEach((h) => pass(h.req, h.res, h.body, false));
      return ok();
    }
    case '/__proxy/reset':
      seen.length = 0;
      holds = [];
      refusals = [];
      drops = [];
      return ok();
    case '/__proxy/held': {
      const check = () => held.length > 0 && (ok(), true);
      if (!check()) heldWaiters.push(check);
      return undefined;
    }
    case '/__proxy/seen': {
      // any=LOCK:423,PUT:2:.sdb — a method, the start of a status and the end of a path each.
      const wanted = (q.get('any') || '').split(',').map((w) => w.split(':'));
      const check = () =>
        seen.some((s) =>
          wanted.some(
            ([method, status, suffix]) =>
              s.method === method &&
              String(s.status).startsWith(status) &&
              s.path.endsWith(suffix || ''),
          ),
        ) && (ok(), true);
      if (!check()) seenWaiters.push(check);
      return undefined;
    }
    default:
      res.writeHead(404);
      return res.end();
  }
}

http
  .createServer((req, res) => {
    const chunks = [];
    req.on('data', (c) => chunks.push(c));
    req.on('end', () => {
      const body = Buffer.concat(chunks);
      const url = new URL(req.url, 'http://proxy');
      if (url.pathname.startsWith('/__proxy/')) return control(req, res, url.searchParams);
      const refusal = refusals.find((r) => matches(r, req));
      if (refusal) {
        seen.push({ method: req.method, path: req.url, status: refusal.status });
        seenWaiters = seenWaiters.filter((w) => !w());
        res.writeHead(refusal.status);
        return res.end();
      }
      const hold = holds.findIndex((r) => matches(r, req));
      if (hold >= 0) {
        holds.splice(hold, 1);
        held.push({ req, res, body });
        heldWaiters = heldWaiters.filter((w) => !w());
        return undefined;
      }
      const drop = drops.findIndex((r) => matches(r, req));
      if (drop >= 0) drops.splice(drop, 1);
      return pass(req, res, body, drop >= 0);
    });
  })
  .listen(port, '127.0.0.1', () => process.stdout.write('listening\n'));
