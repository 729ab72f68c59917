// The page script: asks for the CSS of this page or frame as early as the browser allows, keeps
// one style element last in the document so it wins over the page's own sheets, and follows
// address changes, library changes and the styles switch.
'use strict';

(() => {
  if (window.__orlavineLoaded) return;
  window.__orlavineLoaded = true;

  const api = typeof browser !== 'undefined' ? browser : chrome;
  const isTop = window === window.top;
  const STYLE_ID = 'orlavine-css';
  // The element that hide.js puts in while the styles are on the way.
  const HIDE_ID = 'orlavine-hide';

  let styleElement = null;

  function whenRootExists(callback) {
    if (document.documentElement) {
      callback();
      return;
    }
    const observer = new MutationObserver(() => {
      if (!document.documentElement) return;
      observer.disconnect();
      callback();
    });
    observer.observe(document, { childList: true });
  }

  function keepLast(element) {
    const root = document.documentElement;
    if (root && (element.parentNode !== root || element.nextSibling)) root.appendChild(element);
  }

  // Pages that add sheets later must not push ours back in the cascade.
  const keeper = new MutationObserver(() => {
    if (styleElement) keepLast(styleElement);
  });

  // document.open() and document.write() (about:blank frames filled by their page) replace the
  // whole document element and drop the page's listeners: put the styles and listeners back.
  const rootWatcher = new MutationObserver(() => {
    const root = document.documentElement;
    if (!root) return;
    listen();
    if (styleElement && styleElement.parentNode !== root) {
      keeper.disconnect();
      keeper.observe(root, { childList: true });
      keepLast(styleElement);
    }
  });
  rootWatcher.observe(document, { childList: true });

  function setCSS(css) {
    removeHide();
    if (typeof css !== 'string') return;
    if (!css) {
      if (styleElement) styleElement.textContent = '';
      return;
    }
    whenRootExists(() => {
      if (!styleElement) {
        styleElement = document.createElement('style');
        styleElement.id = STYLE_ID;
        styleElement.className = 'orlavine';
      }
      if (styleElement.textContent !== css) styleElement.textContent = css;
      keeper.disconnect();
      keeper.observe(document.documentElement, { childList: true });
      keepLast(styleElement);
    });
  }

  function removeHide() {
    window.__orlavineAnswered = true;
    const element = document.getElementById(HIDE_ID);
    if (element) element.remove();
  }

  async function send(name, userInfo) {
    let replies = null;
    try {
      replies = await api.runtime.sendMessage({
        page: { name, userInfo: userInfo || {}, url: isTop ? location.href : undefined },
      });
    } catch {
      // The extension was reloaded or the host is missing: show the page as it is.
    }
    if (Array.isArray(replies)) {
      for (const reply of replies) handle(reply);
    }
    // Whatever came back (or nothing), the page waits no longer.
    removeHide();
  }

  function requestCSS() {
    if (isTop) send('updateCSS');
    else send('updateiFrame', { url: location.href });
  }

  function handle(message) {
    const info = message.userInfo || {};
    switch (message.name) {
      case 'returnCSS':
      case 'newCSS':
        if (isTop) setCSS(info.css);
        break;
      case 'cssIframe':
      case 'newIframe':
        if (!isTop) setCSS(info.css);
        break;
      case 'urlChanged':
        requestCSS();
        break;
      case 'updateCSS':
        // Visible documents catch up at once, hidden ones when they are shown (below).
        if (document.visibilityState !== 'hidden') requestCSS();
        break;
      case 'addressChanged':
        send('urlChanged');
        break;
      case 'removeHideElement':
        removeHide();
        break;
      case 'userCSS':
        if (isTop) offerInstall();
        break;
      case 'injectButton':
        if (isTop) showInstallButton();
        break;
      default:
        break;
    }
  }

  function banner(id, text, label, target) {
    const show = () => {
      if (document.getElementById(id) || !document.body) return;
      const bar = document.createElement('div');
      bar.id = id;
      bar.setAttribute(
        'style',
        'all: initial; position: fixed; z-index: 2147483647; top: 12px; right: 12px; ' +
          'padding: 10px 14px; border-radius: 8px; background: #1f2430; color: #fff; ' +
          'font: 14px system-ui, sans-serif; box-shadow: 0 4px 16px rgba(0,0,0,.3);',
      );
      const caption = document.createElement('span');
      caption.textContent = text + ' ';
      caption.setAttribute('style', 'all: initial; color: #fff; font: inherit;');
      const button = document.createElement('a');
      button.textContent = label;
      button.href = target;
      button.setAttribute(
        'style',
        'all: initial; cursor: pointer; margin-left: 8px; padding: 4px 10px; ' +
          'border-radius: 6px; background: #5b8def; color: #fff; font: inherit;',
      );
      bar.append(caption, button);
      document.body.appendChild(bar);
    };
    if (document.body) show();
    else document.addEventListener('DOMContentLoaded', show, { once: true });
  }

  function offerInstall() {
    banner(
      'orlavine-install',
      'This is a user style.',
      'Install with Orlavine',
      'orlavine://usercss/' + location.href,
    );
  }

  function showInstallButton() {
    const match = /\/styles\/(\d+)/.exec(location.pathname);
    if (!match) return;
    banner('orlavine-install', '', 'Install with Orlavine', 'orlavine://install/' + match[1]);
  }

  api.runtime.onMessage.addListener((message, sender, sendResponse) => {
    if (!message || !message.orlavine) return false;
    if (message.orlavine.name === 'ping') {
      // The popup asks whether styles can reach this tab.
      sendResponse('pong');
      return false;
    }
    handle(message.orlavine);
    return false;
  });

  // A tab brought back to the front catches up with changes made while it was hidden.
  function onVisibilityChange() {
    if (document.visibilityState === 'visible') requestCSS();
  }
  // A page restored from the back-forward cache may have missed changes too.
  function onPageShow(event) {
    if (event.persisted) requestCSS();
  }
  function listen() {
    // Adding the same listener again does nothing; after document.open() it is needed.
    document.addEventListener('visibilitychange', onVisibilityChange);
    window.addEventListener('pageshow', onPageShow);
  }
  listen();

  if (isTop) send('getCSS');
  else send('iframeCSS', { url: location.href });
})();
