// The toolbar popup: the styles acting on the current page, the switch for all styles, and
// ways into the desktop program.
'use strict';

const api = typeof browser !== 'undefined' ? browser : chrome;
const list = document.getElementById('styles');
const enabled = document.getElementById('enabled');

const tabParameter = new URLSearchParams(location.search).get('tab');
const tabId = tabParameter === null ? undefined : Number(tabParameter);

async function ask(popover, args) {
  try {
    return await api.runtime.sendMessage({ popover, tabId, arguments: args || {} });
  } catch {
    return null;
  }
}

// `state` is null when the host is not reachable: then nothing about the styles is known, so
// the switch is shown neither on nor off.
function show(state) {
  document.getElementById('error').hidden = state !== null;
  enabled.disabled = state === null;
  enabled.indeterminate = state === null;
  list.replaceChildren();
  if (!state) {
    enabled.checked = false;
    document.getElementById('empty').hidden = true;
    document.getElementById('unstyleable').hidden = true;
    return;
  }
  enabled.checked = state.enableStyles;
  const styleable = state.styleable !== false;
  for (const style of styleable ? state.styles : []) {
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
  document.getElementById('unstyleable').hidden = styleable;
  document.getElementById('empty').hidden = !styleable || state.styles.length > 0;
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
