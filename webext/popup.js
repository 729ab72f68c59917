// The toolbar popup: the styles acting on the current page, the switch for all styles, and
// ways into the desktop program.
'use strict';

const api = typeof browser !== 'undefined' ? browser : chrome;
const list = document.getElementById('styles');
const enabled = document.getElementById('enabled');

const tabParameter = new URLSearchParams(location.search).get('tab');
const tabId = tabParameter === null ? undefined : Number(tabParameter);

function ask(popover, args) {
  return api.runtime.sendMessage({ popover, tabId, arguments: args || {} });
}

function show(state) {
  document.getElementById('error').hidden = state !== null;
  if (!state) return;
  enabled.checked = state.enableStyles;
  list.replaceChildren();
  for (const style of state.styles) {
    const row = document.createElement('li');
    row.textContent = style.name;
    row.dataset.id = String(style.id);
    row.addEventListener('click', () => {
      for (const other of list.children) other.classList.remove('selected');
      row.classList.add('selected');
    });
    row.addEventListener('dblclick', () => ask('openStyle', { styleID: style.id }));
    list.appendChild(row);
  }
  document.getElementById('empty').hidden = state.styles.length > 0;
}

async function refresh() {
  show(await ask('popoverState'));
}

enabled.addEventListener('change', async () => {
  show(await ask('setEnableStyles', { enabled: enabled.checked }));
});
document.getElementById('open').addEventListener('click', () => ask('launchApp'));
api.runtime.onMessage.addListener((message) => {
  if (message && message.popover === 'toggled') refresh();
});

refresh();
