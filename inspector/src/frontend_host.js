// Runs at document start in the embedded frontend's pages, on every web
// engine: the frontend's calls on its host that a page cannot serve itself
// go to the program (frontend_host.h has the requests and their answers).
(() => {
  // Only the program's own pages; any other frontend runs as it was written.
  if (!/^(devtools:|http:\/\/devtools\.)/i.test(location.href)) return;

  boundConsole();
  runOnceBreakpointsAreSet();

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
  //   which this page may not fetch; the host reads them;
  // - "Reconnect" asks the host to attach again, which means asking the
  //   inspector for its current target;
  // - links open in the user's browser.
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
          if (!/^file:/i.test(url)) return load.call(this, url, headers, streamId, callback);
          request({request: 'loadFile', url: String(url)}).then(({text}) => {
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

  // An engine started to wait for its debugger runs on
  // Runtime.runIfWaitingForDebugger, which the frontend sends as it makes
  // its target, before the requests that set its breakpoints again; an
  // engine that reads the run alone runs past a breakpoint on its first
  // lines. The run is held until every request sent before it is answered.
  function runOnceBreakpointsAreSet() {
    const HOLD_MS = 5000;  // an engine is never held long for a stalled frontend
    const send = WebSocket.prototype.send;
    const starts = new WeakMap();  // socket -> its start; null once the run has gone
    WebSocket.prototype.send = function (data) {
      let start = starts.get(this);
      if (start === null || typeof data !== 'string') return send.call(this, data);
      start ??= watch(this);
      let message = null;
      try { message = JSON.parse(data); } catch { /* not the protocol's */ }
      if (message?.method === 'Runtime.runIfWaitingForDebugger') {
        start.held.push(data);
        start.settle();
        return undefined;
      }
      if (typeof message?.id === 'number') start.pending.add(message.id);
      return send.call(this, data);
    };

    function watch(socket) {
      const start = {pending: new Set(), held: [], check: 0, deadline: 0};
      const release = () => {
        clearTimeout(start.check);
        clearTimeout(start.deadline);
        starts.set(socket, null);
        socket.removeEventListener('message', answered);
        for (const data of start.held.splice(0)) {
          if (socket.readyState === WebSocket.OPEN) send.call(socket, data);
        }
      };
      // Looked at a task later: handling an answer may send more requests.
      start.settle = () => {
        if (!start.held.length) return;
        start.deadline ||= setTimeout(release, HOLD_MS);
        clearTimeout(start.check);
        start.check = setTimeout(() => { if (!start.pending.size) release(); }, 0);
      };
      function answered(event) {
        const data = event.data;
        if (typeof data !== 'string' || data.startsWith('{"method"')) return;
        let id;
        try { ({id} = JSON.parse(data)); } catch { return; }
        if (start.pending.delete(id) && !start.pending.size) start.settle();
      }
      socket.addEventListener('message', answered);
      socket.addEventListener('close', release);
      starts.set(socket, start);
      return start;
    }
  }

  // The frontend keeps every console message, and the engine every object
  // logged, for as long as the frontend might expand it: a debugger left on a
  // chatty server grew to gigabytes in the window and made the server's own
  // heap grow. The console keeps the newest CONSOLE_KEEP messages; once
  // DROP_BATCH more have come, the oldest leave the frontend's models and
  // view (in batches: each drop redraws the list), and the engine is told to
  // release their objects. A line above the messages counts what went.
  function boundConsole() {
    const CONSOLE_KEEP = 10000;
    const DROP_BATCH = 1000;
    // After the page's own modules have run, before it connects.
    addEventListener('DOMContentLoaded', () => {
      const frontendModule = (path) => import(new URL(path, document.baseURI).href);
      Promise.all([frontendModule('core/sdk/sdk.js'), frontendModule('core/platform/platform.js')])
          .then(([sdk, platform]) => install(sdk, platform), () => {});
    }, {once: true});

    function install(sdk, platform) {
      const Model = sdk.ConsoleModel?.ConsoleModel;
      const TargetManager = sdk.TargetManager?.TargetManager;
      const Multimap = platform.MapUtilities?.Multimap;
      const proto = Model?.prototype;
      if (!proto || !TargetManager || !Multimap ||
          ![proto.addMessage, proto.messages, proto.clear, proto.errors, proto.warnings,
            proto.violations, TargetManager.prototype.observeModels].every(
              (f) => typeof f === 'function')) {
        return;
      }

      // The model indexes each message by timestamp (a Multimap) and each
      // exception by its id (a Map), both private; each is caught as
      // addMessage files the message in it, so a dropped message can leave.
      const byTimestamp = new WeakMap();  // model -> its Multimap
      const byException = new WeakMap();  // message -> the Map holding it
      let adding = null;
      const multimapSet = Multimap.prototype.set;
      Multimap.prototype.set = function (key, value) {
        if (adding && value === adding.message && !byTimestamp.has(adding.model)) {
          byTimestamp.set(adding.model, this);
        }
        return multimapSet.call(this, key, value);
      };

      // Errors and warnings the status bar counts, less those dropped.
      const droppedCounts = new WeakMap();
      const counts = (model) => {
        let c = droppedCounts.get(model);
        if (!c) droppedCounts.set(model, c = {errors: 0, warnings: 0, violations: 0});
        return c;
      };
      for (const name of ['errors', 'warnings', 'violations']) {
        const original = proto[name];
        proto[name] = function () {
          return Math.max(0, original.call(this) - (droppedCounts.get(this)?.[name] ?? 0));
        };
      }

      let dropped = 0;
      let view = null;
      let line = null;
      const showCount = () => {
        if (!line) return;
        line.hidden = dropped === 0;
        line.textContent = `${dropped.toLocaleString('en-US')} earlier messages dropped` +
            ` (the console keeps the newest ${CONSOLE_KEEP.toLocaleString('en-US')})`;
      };

      const clear = proto.clear;
      proto.clear = function (...args) {
        droppedCounts.delete(this);
        dropped = 0;
        showCount();
        return clear.apply(this, args);
      };

      const addMessage = proto.addMessage;
      proto.addMessage = function (message, ...rest) {
        const exceptionId = message?.getExceptionId?.();
        const mapSet = Map.prototype.set;
        if (exceptionId) {
          Map.prototype.set = function (key, value) {
            if (key === exceptionId && value === message) {
              Map.prototype.set = mapSet;
              byException.set(message, this);
            }
            return mapSet.call(this, key, value);
          };
        }
        adding = {model: this, message};
        let result;
        try {
          result = addMessage.call(this, message, ...rest);
        } finally {
          adding = null;
          Map.prototype.set = mapSet;
        }
        const models = TargetManager.instance().models(Model);
        let total = 0;
        for (const model of models) total += model.messages().length;
        if (total > CONSOLE_KEEP + DROP_BATCH) {
          try {
            drop(models, total - CONSOLE_KEEP);
          } catch (error) {
            // Never in the way of the message itself.
            console.error('vorbek_inspector: console bound', error);
          }
        }
        return result;
      };

      // The console's view, caught as it starts to observe the models.
      const observeModels = TargetManager.prototype.observeModels;
      TargetManager.prototype.observeModels = function (modelClass, observer, ...rest) {
        if (modelClass === Model && !view && Array.isArray(observer?.consoleMessages) &&
            observer.viewport && observer.contentsElement) {
          view = observer;
          line = document.createElement('div');
          line.className = 'console-dropped-line';
          line.setAttribute('role', 'status');
          line.style.cssText = 'padding: 2px 4px 2px 24px; font-style: italic;' +
              ' color: var(--sys-color-token-subtle, #888); flex: none;' +
              ' border-bottom: 1px solid var(--sys-color-divider, #ddd);';
          view.contentsElement.insertBefore(line, view.viewport.element);
          showCount();
        }
        return observeModels.call(this, modelClass, observer, ...rest);
      };

      // The oldest COUNT messages over all models, by time.
      function oldest(models, count) {
        const lists = models.map((model) => ({model, messages: model.messages(), taken: 0}))
            .filter((list) => list.messages.length);
        for (let i = 0; i < count; i++) {
          let first = null;
          for (const list of lists) {
            const next = list.messages[list.taken];
            if (next && (!first || next.timestamp < first.messages[first.taken].timestamp)) {
              first = list;
            }
          }
          if (!first) break;
          first.taken++;
        }
        return lists.filter((list) => list.taken);
      }

      function drop(models, count) {
        const gone = new Set();
        for (const {model, messages, taken} of oldest(models, count)) {
          const index = byTimestamp.get(model);
          const tally = counts(model);
          for (const message of messages.splice(0, taken)) {
            gone.add(message);
            index?.delete(message.timestamp, message);
            const exceptions = byException.get(message);
            const exceptionId = message.getExceptionId?.();
            if (exceptions && exceptions.get(exceptionId) === message) exceptions.delete(exceptionId);
            if (message.source === 'violation') tally.violations++;
            else if (message.level === 'error') tally.errors++;
            else if (message.level === 'warning') tally.warnings++;
            release(message);
          }
        }
        dropped += gone.size;
        if (view) dropFromView(gone);
        showCount();
      }

      // The engine holds each logged object until the frontend lets go.
      function release(message) {
        const agent = message.runtimeModel?.()?.agent;
        if (!agent || !Array.isArray(message.parameters)) return;
        for (const parameter of message.parameters) {
          const objectId = parameter?.objectId;
          if (typeof objectId === 'string') agent.invoke_releaseObject({objectId}).catch(() => {});
        }
      }

      function dropFromView(gone) {
        const all = view.consoleMessages;
        let last = -1;
        for (let i = 0; i < all.length; i++) if (gone.has(all[i].consoleMessage())) last = i;
        if (last < 0) return;
        // Gone: the dropped messages, and the frontend's own notes older than them.
        const goneViews = new Set();
        all.forEach((message, i) => {
          const consoleMessage = message.consoleMessage();
          if (gone.has(consoleMessage) || (i < last && !consoleMessage.runtimeModel())) {
            goneViews.add(message);
          }
        });
        const stays = (message) => !goneViews.has(message);

        // Where the reader is, to be kept there: the first message in view and
        // the current search match.
        const viewport = view.viewport;
        // Not stuck to the bottom only while a click is under way is no
        // reading: the prompt there must stay in view.
        const reading = view.isShowing?.() && !viewport.stickToBottom() &&
            !view.isScrolledToBottom?.() ?
            view.visibleViewMessages[viewport.firstVisibleIndex()] : null;
        const match = view.regexMatchRanges?.[view.currentMatchRangeIndex];
        const matched = match && {message: view.visibleViewMessages[match.messageIndex],
          index: match.matchIndex};

        const pending = new Set(view.pendingSidebarMessages);
        for (const message of goneViews) {
          if (!pending.has(message)) uncountInSidebar(message);
          view.shouldBeHiddenCache?.delete(message);
        }
        view.consoleMessages = all.filter(stays);
        view.consoleGroupStarts = view.consoleGroupStarts.filter(stays);
        view.pendingSidebarMessages = view.pendingSidebarMessages.filter(stays);
        for (const [key, group] of view.groupableMessages) {
          const kept = group.filter(stays);
          if (kept.length) {
            view.groupableMessages.set(key, kept);
          } else {
            view.groupableMessages.delete(key);
            view.groupableMessageTitle.delete(key);
          }
        }
        unlink(goneViews);
        undraw(goneViews);
        view.updateMessageList();

        if (matched) {
          const index = view.regexMatchRanges.findIndex((range) =>
            view.visibleViewMessages[range.messageIndex] === matched.message &&
            range.matchIndex === matched.index);
          view.currentMatchRangeIndex = index;
          if (index >= 0) view.searchableViewInternal?.updateCurrentMatchIndex(index);
        }
        if (reading) {
          const index = view.visibleViewMessages.indexOf(reading);
          if (view.visibleViewMessages.length) viewport.forceScrollItemToBeFirst(Math.max(0, index));
        }
      }

      // The sidebar counts each message once, by level and by file; a dropped
      // one leaves its counts.
      function uncountInSidebar(message) {
        const consoleMessage = message.consoleMessage();
        if (consoleMessage.type === 'command' || consoleMessage.type === 'result' ||
            consoleMessage.isGroupMessage()) {
          return;
        }
        const sidebar = view.sidebar;
        for (const group of sidebar?.treeElements ?? []) {
          if (!(group.urlTreeElements instanceof Map) || !group.filter().shouldBeVisible(message)) continue;
          const key = consoleMessage.url || null;
          const file = group.urlTreeElements.get(key);
          if (file) {
            file.messageCount--;
            file.countElement.textContent = `${file.messageCount}`;
            if (file.messageCount <= 0) {
              if (sidebar.selectedTreeElement === file) group.select();
              group.removeChild(file);
              group.urlTreeElements.delete(key);
            }
          }
          group.messageCount = Math.max(0, group.messageCount - 1);
          group.updateCounter();
        }
      }

      // A drawn message with an object keeps its drawing (and the object's
      // tree) for good; on WebKit, under a flood shown as it comes, those of
      // dropped messages stayed in the page. Their drawing is taken apart.
      const drawnFields = ['elementInternal', 'contentElementInternal', 'anchorElement',
        'messageIcon', 'consoleRowWrapper', 'timestampElement', 'repeatCountElement',
        'similarGroupMarker', 'messagePrefix', 'formattedMessage'];
      function undraw(messages) {
        for (const message of messages) {
          const element = message.elementInternal;
          if (!element) continue;
          element.remove();
          element.replaceChildren();
          for (const field of drawnFields) if (field in message) message[field] = null;
          message.selectableChildren = [];
          message.searchHighlightNodes = [];
        }
      }

      // A drawn message's source links are live locations, listed by the
      // linkifier until it is reset; a dropped message's go with it.
      function unlink(messages) {
        const Linkifier = view.linkifier?.constructor;
        if (typeof Linkifier?.linkInfo !== 'function' || typeof Linkifier.unbindUILocation !== 'function') {
          return;
        }
        const links = new Set();
        for (const message of messages) {
          const element = message.elementInternal;
          if (!element) continue;
          for (const link of element.querySelectorAll('.devtools-link')) {
            const info = Linkifier.linkInfo(link);
            if (!info) continue;
            info.liveLocation?.dispose();
            info.liveLocation = null;
            Linkifier.unbindUILocation(link);
            links.add(link);
          }
        }
        const byTarget = view.linkifier.anchorsByTarget;
        if (!links.size || !(byTarget instanceof Map)) return;
        for (const [target, anchors] of byTarget) {
          byTarget.set(target, anchors.filter((link) => !links.has(link)));
        }
      }
    }
  }
})();
