// Records how each image ended, and tries to forge host events from the page's own world.
window.pageScriptRan = true;
window.imageResults = {};
document.addEventListener('load', (e) => { if (e.target.id) window.imageResults[e.target.id] = 'load'; }, true);
document.addEventListener('error', (e) => { if (e.target.id) window.imageResults[e.target.id] = 'error'; }, true);
window.pageCouldPost = false;
try {
  window.webkit.messageHandlers.notifierHost.postMessage({type: 'mousedown', ids: ['all_notify_setread']});
  window.pageCouldPost = true;
} catch (e) {}

// With #auto the page tries, on its own, to open windows and to leave.
if (location.hash === '#auto') {
  window.addEventListener('load', () => setTimeout(() => {
    window.open('http://127.0.0.1:8123/auto');
    document.getElementById('blank_link').click();
    location.href = 'http://127.0.0.1:8123/script';
    window.autoDone = true;
  }, 0));
}
