// Runs at document start in the embedded frontend's pages, on every web
// engine: the console's bound on what it keeps.
// Written as the body of a function: the build puts page_common.js before
// it, inside one function of its own.

boundConsole();

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
        for (const link of releaseLinks(element, Linkifier)) links.add(link);
      }
      const byTarget = view.linkifier.anchorsByTarget;
      if (!links.size || !(byTarget instanceof Map)) return;
      for (const [target, anchors] of byTarget) {
        byTarget.set(target, anchors.filter((link) => !links.has(link)));
      }
    }
  }
}
