// Runs at document start in the embedded frontend's pages, on every web
// engine: the frontend's calls on its host that a page cannot serve itself
// go to the program (frontend_host.h has the requests and their answers).
// Written as the body of a function: the build puts page_common.js before
// it, inside one function of its own.

// WebKit's handler answers each message itself; WebView2's web messages
// carry no answers, so each request has a number and its answer comes
// back as a message with the same number.
const webkit = window.webkit?.messageHandlers?.vorbekHost;
const webview = window.chrome?.webview;
let request;
if (webkit) {
  request = async (message) => JSON.parse(await webkit.postMessage(JSON.stringify(message)));
} else if (webview) {
  const pending = new Map();
  let last = 0;
  webview.addEventListener('message', (event) => {
    const answer = typeof event.data === 'string' ? JSON.parse(event.data) : event.data;
    const settle = pending.get(answer?.id);
    if (!settle) return;
    pending.delete(answer.id);
    if ('error' in answer) settle.reject(new Error(answer.error));
    else settle.resolve(answer.reply);
  });
  request = (message) => new Promise((resolve, reject) => {
    const id = ++last;
    pending.set(id, {resolve, reject});
    webview.postMessage(JSON.stringify({...message, id}));
  });
} else {
  return;
}
const reconnect = () => request({request: 'reconnect'}).catch(() => {});

// The frontend copies with navigator.clipboard.writeText, which the engine
// may refuse once the click that asked for the copy is past, as it is when
// the text ("Copy object") comes from the script engine first. The host
// writes the clipboard instead.
if (navigator.clipboard) {
  navigator.clipboard.writeText = async function writeText(text) {
    await request({request: 'copyText', text: String(text)});
  };
}

// The frontend's host object is caught as the frontend installs its stub,
// so only these calls change and every other keeps its own way:
// - a script's source map and the sources it names are file:// addresses,
//   which this page may not fetch; the host reads them; any other origin's
//   address is the target's to choose and is never requested;
// - "Reconnect" asks the host to attach again, which means asking the
//   inspector for its current target;
// - links open in the user's browser.
// By scheme and host: a devtools: address's origin is opaque ("null").
const ownOrigin = (address) => {
  try {
    const url = new URL(address, location.href);
    return url.protocol === location.protocol && url.host === location.host;
  } catch {
    return false;
  }
};
let host;
Object.defineProperty(globalThis, 'InspectorFrontendHost', {
  configurable: true, enumerable: true,
  get() { return host; },
  set(value) {
    host = value;
    if (!value) return;
    const load = value.loadNetworkResource;
    if (typeof load === 'function') {
      value.loadNetworkResource = function loadNetworkResource(url, headers, streamId, callback) {
        const address = String(url);
        if (!/^file:/i.test(address)) {
          if (/^(data|blob):/i.test(address) || ownOrigin(address)) {
            return load.call(this, url, headers, streamId, callback);
          }
          // Any other address is the target's to choose (a source map, a
          // timeline): nothing is requested from it.
          callback({statusCode: 409, messageOverride: `not loaded: ${address} is not a file on this machine`});
          return;
        }
        request({request: 'loadFile', url: address}).then(({text}) => {
          globalThis.InspectorFrontendAPI.streamWrite(streamId, text);
          callback({statusCode: 200});
        }, (error) => {
          callback({statusCode: 404, messageOverride: String(error?.message ?? error)});
        });
      };
    }
    value.reattach = function reattach() { reconnect(); };
    value.openInNewTab = function openInNewTab(url) {
      request({request: 'openLink', url: String(url)}).catch(() => {});
    };
  },
});

// Ctrl+R and F5 reload the window's page, and for the frontend that means
// reconnecting; the frontend's own handlers never see them.
addEventListener('keydown', (event) => {
  const reloadKey = (event.key === 'F5' && !event.shiftKey) ||
      ((event.key === 'r' || event.key === 'R' || event.code === 'KeyR') && event.ctrlKey);
  if (!reloadKey || event.altKey || event.metaKey) return;
  event.preventDefault();
  event.stopImmediatePropagation();
  if (!event.repeat) reconnect();
}, true);
