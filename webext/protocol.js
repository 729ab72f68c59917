// Shared by the background worker and its tests: the native host's name and the putting back
// together of replies that the host had to split into parts.
'use strict';

const ORLAVINE_HOST = 'org.orlavine.host';

// Collects {"id","part","parts","data"} pieces; returns the whole reply object once every part
// of it has arrived, else null.
class ReplyAssembler {
  constructor() {
    this.pending = new Map();
  }

  add(message) {
    if (typeof message.part !== 'number') return message;
    let entry = this.pending.get(message.id);
    if (!entry) {
      entry = { parts: new Array(message.parts), received: 0 };
      this.pending.set(message.id, entry);
    }
    if (entry.parts[message.part] === undefined) {
      entry.parts[message.part] = message.data;
      entry.received += 1;
    }
    if (entry.received < message.parts) return null;
    this.pending.delete(message.id);
    return JSON.parse(entry.parts.join(''));
  }
}

if (typeof module !== 'undefined') module.exports = { ORLAVINE_HOST, ReplyAssembler };
