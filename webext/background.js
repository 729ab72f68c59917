// Relays page messages to the native host and the host's answers back to the pages, and
// carries the host's own notices (a changed library, the styles switch) to the right tab.
'use strict';

if (typeof importScripts === 'function') importScripts('protocol.js');

const api = typeof browser !== 'undefined' ? browser : chrome;

let port = null;
let nextId = 1;
const waiting = new Map();
const assembler = new ReplyAssembler();

function connect() {
  if (port) return port;
  port = api.runtime.connectNative(ORLAVINE_HOST);
  port.onMessage.addListener(onHostMessage);
  port.onDisconnect.addListener(() => {
    const error = api.runtime.lastError;
    if (error) console.warn('Orlavine host disconnected:', error.message);
    port = null;
    for (const resolve of waiting.values()) resolve(null);
    waiting.clear();
  });
  return port;
}

// Sends one request to the host; resolves with its reply, or null when the host is gone.
function ask(request) {
  return new Promise((resolve) => {
    const id = nextId++;
    waiting.set(id, resolve);
    try {
      connect().postMessage({ id, ...request });
    } catch (e) {
      waiting.delete(id);
      console.warn('Orlavine host unavailable:', e.message);
      resolve(null);
    }
  });
}

function onHostMessage(raw) {
  const message = assembler.add(raw);
  if (!message) return;
  if (typeof message.id === 'number') {
    const resolve = waiting.get(message.id);
    waiting.delete(message.id);
    if (resolve) resolve(message);
    return;
  }
  if (message.event === 'updateCSS') refreshActiveTab();
  if (message.event === 'toggleStyles') {
    api.runtime.sendMessage({ popover: 'toggled' }).catch(() => {});
  }
}

async function activeTab() {
  const [tab] = await api.tabs.query({ active: true, lastFocusedWindow: true });
  if (tab) return tab;
  const [any] = await api.tabs.query({ active: true });
  return any;
}

// Asks every frame of the active tab to fetch its CSS again.
async function refreshActiveTab() {
  const tab = await activeTab();
  if (!tab || tab.id === undefined) return;
  sendToTab(tab.id, { name: 'updateCSS', userInfo: { '': '' } });
}

function sendToTab(tabId, message, frameId) {
  const options = frameId === undefined ? {} : { frameId };
  api.tabs.sendMessage(tabId, { orlavine: message }, options).catch(() => {});
}

// A page or frame message: {name, userInfo}. The page address is the top document's.
async function relayPageMessage(message, sender) {
  const tab = sender.tab;
  const isTop = sender.frameId === 0;
  let url = tab && tab.url ? tab.url : undefined;
  if (isTop && message.url) url = message.url;
  const reply = await ask({ name: message.name, url, userInfo: message.userInfo });
  if (!reply || !Array.isArray(reply.messages)) return [];
  // Dispatches caused by the shortcut reach every frame of the tab, not only the sender.
  if (message.name === 'toggleStyles' && tab) {
    for (const m of reply.messages) sendToTab(tab.id, m);
    return [];
  }
  return reply.messages;
}

async function popoverRequest(message) {
  // The popup names its tab when it is opened as a page of its own (as the tests do).
  const tab = typeof message.tabId === 'number' ? await api.tabs.get(message.tabId) : await activeTab();
  const url = tab && tab.url ? tab.url : undefined;
  const reply = await ask({ name: message.popover, url, ...message.arguments });
  if (message.popover === 'setEnableStyles' && tab) {
    sendToTab(tab.id, { name: 'updateCSS', userInfo: { '': '' } });
  }
  return reply ? reply.popover || null : null;
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

// Single-page sites change their address without loading a page.
function onAddressChanged(details) {
  sendToTab(details.tabId, { name: 'addressChanged', userInfo: {} }, details.frameId);
}
api.webNavigation.onHistoryStateUpdated.addListener(onAddressChanged);
api.webNavigation.onReferenceFragmentUpdated.addListener(onAddressChanged);

// Keep a connection open so that library changes reach open pages at once.
connect();
