// Relays page messages to the native host and the host's answers back to the pages, and
// carries the host's own notices (a changed library, the styles switch) to every open tab.
// Chromium runs this as a service worker (protocol.js is imported below); Firefox runs it as
// an event page, where the manifest lists protocol.js first.
'use strict';

if (typeof importScripts === 'function' && typeof ReplyAssembler === 'undefined') {
  importScripts('protocol.js');
}

const api = typeof browser !== 'undefined' ? browser : chrome;

// A request without any answer by then counts as unanswered (the page shows unstyled).
const REQUEST_TIMEOUT_MS = 15000;
// Waits before trying the host again after it went away.
const RECONNECT_DELAYS_MS = [200, 1000, 2000, 5000, 10000, 30000];
const RECONNECT_ALARM = 'orlavine-reconnect';
// The script that hides a page until its styles arrive; registered only while the host answers.
const HIDE_SCRIPT_ID = 'orlavine-hide';

let port = null;
let nextId = 1;
const waiting = new Map();
let assembler = new ReplyAssembler();
let reconnectAttempt = 0;
let reconnectTimer = null;
let hostReachable = null;

function connect() {
  if (port) return port;
  const current = api.runtime.connectNative(ORLAVINE_HOST);
  port = current;
  assembler = new ReplyAssembler();
  current.onMessage.addListener(onHostMessage);
  current.onDisconnect.addListener((p) => onDisconnect(current, p));
  return current;
}

function onDisconnect(which, p) {
  if (port !== which) return;
  const error = (p && p.error) || api.runtime.lastError;
  console.warn('Orlavine host disconnected:', error ? error.message : 'it exited');
  port = null;
  for (const entry of waiting.values()) {
    clearTimeout(entry.timer);
    entry.resolve(null);
  }
  waiting.clear();
  setHostReachable(false);
  scheduleReconnect();
}

function settle(id, value) {
  const entry = waiting.get(id);
  if (!entry) return;
  waiting.delete(id);
  clearTimeout(entry.timer);
  entry.resolve(value);
}

// Sends one request to the host; resolves with its reply, or null when the host is gone or
// stays silent. An error reply ({"id","error"}) resolves as it is.
function ask(request) {
  return new Promise((resolve) => {
    const id = nextId++;
    const timer = setTimeout(() => settle(id, null), REQUEST_TIMEOUT_MS);
    waiting.set(id, { resolve, timer });
    try {
      connect().postMessage({ id, ...request });
    } catch (e) {
      console.warn('Orlavine host unavailable:', e.message);
      settle(id, null);
    }
  });
}

function onHostMessage(raw) {
  if (raw && typeof raw.part === 'number') {
    // A long reply is arriving: give it the time it needs.
    const entry = waiting.get(raw.id);
    if (entry) {
      clearTimeout(entry.timer);
      entry.timer = setTimeout(() => settle(raw.id, null), REQUEST_TIMEOUT_MS);
    }
  }
  const message = assembler.add(raw);
  if (!message) return;
  if (typeof message.id === 'number') {
    if (message.error) console.warn('Orlavine host refused a request:', message.error);
    settle(message.id, message);
    return;
  }
  if (message.event === 'updateCSS') refreshAllTabs();
  if (message.event === 'toggleStyles') {
    refreshAllTabs();
    api.runtime.sendMessage({ popover: 'toggled' }).catch(() => {});
  }
}

// After the host went away: try again, sooner first, then less often. An alarm backs the
// timer up, since a stopped worker loses its timers.
function scheduleReconnect() {
  if (reconnectTimer !== null) return;
  const delay = RECONNECT_DELAYS_MS[Math.min(reconnectAttempt, RECONNECT_DELAYS_MS.length - 1)];
  reconnectAttempt += 1;
  reconnectTimer = setTimeout(() => {
    reconnectTimer = null;
    probe();
  }, delay);
  if (api.alarms) api.alarms.create(RECONNECT_ALARM, { periodInMinutes: 0.5 });
}

// Connects and asks the host something harmless. When it answers, pages that may have missed
// library changes while it was away ask for their styles again.
async function probe() {
  const reply = await ask({ name: 'popoverState' });
  if (!reply) return;
  const wasLost = hostReachable !== true;
  setHostReachable(true);
  reconnectAttempt = 0;
  if (api.alarms) api.alarms.clear(RECONNECT_ALARM);
  if (wasLost) refreshAllTabs();
}

// Pages are hidden until their styles arrive only while the host answers: with the host
// missing, they show at once instead of after a wait.
async function setHostReachable(reachable) {
  if (hostReachable === reachable) return;
  hostReachable = reachable;
  if (!api.scripting || !api.scripting.registerContentScripts) return;
  try {
    const registered = await api.scripting.getRegisteredContentScripts({ ids: [HIDE_SCRIPT_ID] });
    if (reachable && registered.length === 0) {
      await api.scripting.registerContentScripts([
        {
          id: HIDE_SCRIPT_ID,
          js: ['hide.js'],
          matches: ['<all_urls>'],
          runAt: 'document_start',
          allFrames: false,
          persistAcrossSessions: true,
        },
      ]);
    } else if (!reachable && registered.length > 0) {
      await api.scripting.unregisterContentScripts({ ids: [HIDE_SCRIPT_ID] });
    }
  } catch (e) {
    console.warn('Orlavine could not change the hiding script:', e.message);
  }
}

function sendToTab(tabId, message, frameId) {
  const options = frameId === undefined ? {} : { frameId };
  return api.tabs.sendMessage(tabId, { orlavine: message }, options).catch(() => {});
}

// Tells every frame of every tab to fetch its CSS again; tabs that are not visible do it when
// they are shown.
async function refreshAllTabs() {
  const tabs = await api.tabs.query({});
  for (const tab of tabs) {
    if (tab.id !== undefined && !tab.discarded) {
      sendToTab(tab.id, { name: 'updateCSS', userInfo: { '': '' } });
    }
  }
}

async function activeTab() {
  const [tab] = await api.tabs.query({ active: true, lastFocusedWindow: true });
  if (tab) return tab;
  const [any] = await api.tabs.query({ active: true });
  return any;
}

// A page or frame message: {name, userInfo}. The page address is the top document's. Resolves
// with the messages for the page, or null when the host gave none (so the page shows at once).
async function relayPageMessage(message, sender) {
  const tab = sender.tab;
  const isTop = sender.frameId === 0;
  let url = tab && tab.url ? tab.url : undefined;
  if (isTop && message.url) url = message.url;
  const reply = await ask({ name: message.name, url, userInfo: message.userInfo });
  if (!reply || !Array.isArray(reply.messages)) return null;
  // Dispatches caused by the shortcut reach every frame of the tab, not only the sender.
  if (message.name === 'toggleStyles' && tab) {
    for (const m of reply.messages) sendToTab(tab.id, m);
    return [];
  }
  return reply.messages;
}

// Whether the page script runs in the tab's top frame, that is whether styles can reach it
// (browser pages, the extension stores and pages loaded before the extension cannot).
async function canStyle(tabId) {
  try {
    const answer = await api.tabs.sendMessage(
      tabId,
      { orlavine: { name: 'ping' } },
      { frameId: 0 },
    );
    return answer === 'pong';
  } catch {
    return false;
  }
}

async function popoverRequest(message) {
  // The popup names its tab when it is opened as a page of its own (as the tests do).
  const tab =
    typeof message.tabId === 'number' ? await api.tabs.get(message.tabId) : await activeTab();
  const styleable = tab && tab.id !== undefined ? await canStyle(tab.id) : false;
  const url = styleable && tab.url ? tab.url : undefined;
  const reply = await ask({ name: message.popover, url, ...message.arguments });
  if (message.popover === 'setEnableStyles') refreshAllTabs();
  if (!reply || reply.error || !reply.popover) return null;
  return { ...reply.popover, styleable };
}

api.runtime.onMessage.addListener((message, sender, sendResponse) => {
  if (message && message.page) {
    relayPageMessage(message.page, sender).then(sendResponse);
    return true;
  }
  if (message && message.popover && message.popover !== 'toggled') {
    popoverRequest(message).then(sendResponse);
    return true;
  }
  return false;
});

// The keyboard shortcut: switches all styles off or on for every page.
async function toggleStyles() {
  const tab = await activeTab();
  if (!tab || tab.id === undefined) return;
  const reply = await ask({ name: 'toggleStyles', url: tab.url });
  if (reply && Array.isArray(reply.messages)) {
    for (const m of reply.messages) sendToTab(tab.id, m);
  }
}

api.commands.onCommand.addListener((command) => {
  if (command === 'toggle-styles') toggleStyles();
});

if (api.alarms) {
  api.alarms.onAlarm.addListener((alarm) => {
    if (alarm.name === RECONNECT_ALARM && !port) probe();
  });
}

// Single-page sites change their address without loading a page.
function onAddressChanged(details) {
  sendToTab(details.tabId, { name: 'addressChanged', userInfo: {} }, details.frameId);
}
api.webNavigation.onHistoryStateUpdated.addListener(onAddressChanged);
api.webNavigation.onReferenceFragmentUpdated.addListener(onAddressChanged);

// Keep a connection open so that library changes reach open pages at once. Pages may have
// missed changes while no worker ran, so they catch up once the host answers.
probe();
