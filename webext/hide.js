// Hides the top document until its styles arrive (content.js takes this away with the first
// answer), so that a styled page does not flash unstyled. The background registers this script
// only while the native host answers: with the host missing, pages are never hidden.
'use strict';

(() => {
  if (window !== window.top || window.__orlavineHiding || window.__orlavineAnswered) return;
  window.__orlavineHiding = true;
  // Longest time a page stays hidden while its styles are on the way.
  const HIDE_LIMIT_MS = 250;

  const hide = () => {
    if (window.__orlavineAnswered || document.getElementById('orlavine-hide')) return;
    const element = document.createElement('style');
    element.id = 'orlavine-hide';
    element.textContent = 'html { visibility: hidden !important; }';
    document.documentElement.appendChild(element);
    setTimeout(() => element.remove(), HIDE_LIMIT_MS);
  };
  if (document.documentElement) {
    hide();
    return;
  }
  const observer = new MutationObserver(() => {
    if (!document.documentElement) return;
    observer.disconnect();
    hide();
  });
  observer.observe(document, { childList: true });
})();
