// Runs at document start in the embedded frontend's pages, on every web
// engine: the console's filter and search cost what the user sees, not what
// the console holds.
// Written as the body of a function: the build puts page_common.js before
// it, inside one function of its own.

// The frontend matches a filter or a search against each message's drawing:
// the first filter over a full console drew all 10,000 messages (1 to 5 ms
// each on WebKit), only to read their text, and kept every drawing. Here a
// message that has no drawing is matched against its plain text, made once
// from its model with the frontend's own object-preview formatter: exactly
// the text its drawing would read when drawn. Messages whose drawing holds
// more than that (stack traces, format specifiers, links, tables, custom
// previews, timestamps) are drawn and matched as before.

// Filter changes that come faster than this are applied once, when typing
// pauses; each application restarted the frontend's pass from the first.
const FILTER_PAUSE_MS = 150;
// The same for the console's search.
const SEARCH_PAUSE_MS = 150;
// The longest stretch a filter's pass or the plain texts' making holds the
// window; the frontend's pass did 12 ms a frame, a third of each frame on
// a busy WebKit, so a pass took three times its work.
const SLICE_MS = 40;
// Plain texts are made ahead once the console has been quiet this long.
const QUIET_MS = 400;
// The most a refresh that follows the newest messages draws ahead at once.
const TAIL_SLICE_MS = 30;
// A refresh drawing ahead gives up waiting for a quiet moment after this
// many slices, and draws the rest itself.
const TAIL_SLICES = 8;
// The sidebar's counts are drawn at most this often.
const COUNTS_MS = 200;
// Longer strings may be drawn shortened or linkified: matched by drawing.
const PLAIN_STRING_MAX = 1000;
// Text a string's drawing may turn into a link, with text of its own.
const LINKIFIABLE = /:\/\/|data:|www\.|\.[a-z]+:\d/i;
// Values drawn as their description.
const VALUE_TYPES = new Set(['boolean', 'number', 'bigint', 'undefined', 'symbol']);
// Message kinds drawn as their parameters, each formatted on its own.
const PLAIN_KINDS = new Set(['log', 'info', 'warning', 'error', 'debug']);

addEventListener('DOMContentLoaded', () => {
  Promise.all([
    frontendModule('core/common/common.js'),
    frontendModule('panels/console/console.js'),
    frontendModule('ui/legacy/components/object_ui/object_ui.js'),
    frontendModule('core/platform/platform.js'),
    frontendModule('ui/legacy/legacy.js'),
  ]).then(install, () => {});
}, {once: true});

function install([common, console, objectUi, platform, ui]) {
  drawCountsLater(console.ConsoleSidebar);
  const ViewMessage = console.ConsoleViewMessage?.ConsoleViewMessage;
  const View = console.ConsoleView?.ConsoleView;
  const Formatter = objectUi.RemoteObjectPreviewFormatter?.RemoteObjectPreviewFormatter;
  const proto = ViewMessage?.prototype;
  if (!proto || !View || !Formatter || typeof common.Settings?.Settings?.instance !== 'function' ||
      ![proto.matchesFilterText, proto.matchesFilterRegex, proto.setSearchRegex,
        proto.contentElement, View.prototype.onFilterChanged].every((f) => typeof f === 'function')) {
    return;
  }
  const formatter = new Formatter();
  const jsLiteral = platform.StringUtilities?.formatAsJSLiteral;
  let timestamps = null;
  const timestampsShown = () => {
    timestamps ??= common.Settings.Settings.instance().moduleSetting('consoleTimestampsEnabled');
    return timestamps.get();
  };

  // Plain text by message, kept once: its location's key and the text
  // after its link, or null where only a drawing can tell.
  const plainTexts = new WeakMap();
  function plainText(view) {
    if (view.contentElementInternal || view.constructor !== ViewMessage || timestampsShown()) {
      return null;
    }
    let text = plainTexts.get(view);
    if (text === undefined) {
      try {
        const body = bodyFromModel(view);
        text = body === null ? null : {key: locationKey(view.consoleMessage()), body, lower: null};
      } catch {
        text = null;
      }
      plainTexts.set(view, text);
    }
    if (text) text.anchor = anchorText(text.key);
    return text;
  }

  // A drawing starts with the message's source link and a space. The link
  // is empty until the frontend has resolved the location, soon after the
  // drawing is made; a resolved link's text is learnt from drawn messages
  // of the same location (the newest are drawn as they come).
  const linkTexts = new Map();
  const locationKey = (message) => {
    const frame = message.stackFrameWithBreakpoint ?? message.stackTrace?.callFrames?.[0];
    if (!message.stackFrameWithBreakpoint && !message.scriptId && !frame &&
        !(message.url && message.url !== 'undefined')) {
      return '';
    }
    return JSON.stringify([message.scriptId, message.url, message.line, message.column,
      frame?.scriptId, frame?.url, frame?.lineNumber, frame?.columnNumber]);
  };
  function anchorText(key) {
    return key ? (linkTexts.has(key) ? linkTexts.get(key) : ' ') : '';
  }
  function learnLinks(view) {
    for (const message of view.consoleMessages) {
      const anchor = message.anchorElement;
      const text = anchor?.textContent;
      if (!text || !text.trim() || message.constructor !== ViewMessage) continue;
      const key = locationKey(message.consoleMessage());
      if (key && !linkTexts.has(key)) linkTexts.set(key, text);
    }
  }

  // The text ConsoleViewMessage.format() draws for these parameters (the
  // message's text without its link), or null.
  function bodyFromModel(view) {
    const message = view.consoleMessage();
    const runtimeModel = message.runtimeModel();
    const parameters = message.parameters;
    if (message.source !== 'console-api' || !PLAIN_KINDS.has(message.type) || !runtimeModel ||
        view.messagePrefix || !Array.isArray(parameters) || !parameters.length ||
        (message.stackTrace && (message.level === 'error' || message.level === 'warning'))) {
      return null;
    }
    const objects = parameters.map((p) =>
      typeof p === 'string' ? null : runtimeModel.createRemoteObject(p));
    if (objects.includes(null)) return null;
    // A single string that reads as an error may be drawn as its stack.
    if (objects.length === 1 && objects[0].type === 'string' &&
        /^[\w.]*Error\b|\n/.test(objects[0].value)) {
      return null;
    }
    const format = objects[0].type === 'string';
    const parts = [];
    for (const [i, object] of objects.entries()) {
      const part = format || object.type !== 'string' ? parameterText(object, i === 0 && format) : null;
      if (part === null) return null;
      parts.push(part);
    }
    return parts.join(' ');
  }

  function parameterText(object, formatString) {
    if (object.customPreview?.()) return null;
    const description = object.description ?? '';
    if (object.type === 'string') {
      const text = object.value;
      if (typeof text !== 'string' || text.length > PLAIN_STRING_MAX || LINKIFIABLE.test(text) ||
          (formatString && text.includes('%'))) {
        return null;
      }
      return text;
    }
    if (VALUE_TYPES.has(object.type) || (object.type === 'object' && object.subtype === 'null')) {
      return description.length > PLAIN_STRING_MAX ? null : description;
    }
    if (object.type === 'object' && (!object.subtype || object.subtype === 'array') &&
        object.preview) {
      const text = previewText(object.preview);
      if (text !== null) return text;
      const element = document.createElement('span');
      formatter.appendObjectPreview(element, object.preview, false);
      return element.textContent;
    }
    return null;
  }

  // RemoteObjectPreviewFormatter's text for a plain object whose properties
  // are all primitives, without its elements (they took most of the time);
  // null for any other.
  const PREVIEW_VALUES = new Set(['number', 'boolean', 'undefined', 'bigint', 'symbol']);
  function previewText(preview) {
    if (typeof jsLiteral !== 'function' || preview.type !== 'object' || preview.subtype ||
        preview.entries || !Array.isArray(preview.properties)) {
      return null;
    }
    const parts = [];
    for (const {name, type, subtype, value} of preview.properties) {
      if (typeof name !== 'string' || typeof value !== 'string' || name.startsWith('[[') ||
          name.startsWith('#') || /^\s|\s$|^$|\n/.test(name)) {
        return null;
      }
      let shown;
      if (type === 'string') shown = jsLiteral(value);
      else if (PREVIEW_VALUES.has(type) || (type === 'object' && subtype === 'null')) shown = value;
      else return null;
      parts.push(`${name}: ${shown}`);
    }
    const description = preview.description === 'Object' ? '' : preview.description;
    if (typeof description !== 'string') return null;
    const overflow = preview.overflow ? (parts.length ? ', …' : '…') : '';
    return `${description ? description + ' ' : ''}{${parts.join(', ')}${overflow}}`;
  }

  // Same results as the originals, which read the drawing.
  const matchesFilterText = proto.matchesFilterText;
  proto.matchesFilterText = function (filter) {
    const text = plainText(this);
    if (text === null) return matchesFilterText.call(this, filter);
    if (text.lower?.anchor !== text.anchor) {
      text.lower = {anchor: text.anchor, text: (text.anchor + text.body).toLowerCase()};
    }
    return text.lower.text.includes(filter.toLowerCase());
  };
  const matchesFilterRegex = proto.matchesFilterRegex;
  proto.matchesFilterRegex = function (regex) {
    const text = plainText(this);
    if (text === null) return matchesFilterRegex.call(this, regex);
    regex.lastIndex = 0;
    return Boolean(text.anchor) && regex.test(text.anchor.trim()) || regex.test(text.body);
  };

  // A search draws no message for it: matches are counted in the plain
  // text, and highlighted when the message is drawn (the viewport draws
  // what is in view; a jump to a match draws its message). The frontend
  // searches every message again after each filter pass, which a source
  // link's resolving starts: a search that drew its matches then drew
  // thousands, for seconds on end.
  const pendingHighlights = new WeakSet();
  const setSearchRegex = proto.setSearchRegex;
  proto.setSearchRegex = function (regex) {
    pendingHighlights.delete(this);
    const text = regex ? plainText(this) : null;
    if (text === null || this.searchHighlightNodeChanges?.length) {
      return setSearchRegex.call(this, regex);
    }
    const whole = text.anchor + text.body;
    let count = 0;
    regex.lastIndex = 0;
    for (let match; (match = regex.exec(whole)) && match[0];) {
      count++;
      if (!regex.global) break;
    }
    this.searchRegexInternal = regex;
    this.searchHighlightNodes = new Array(count).fill(null);
    this.searchHighlightNodeChanges = [];
    if (count) pendingHighlights.add(this);
  };
  const contentElement = proto.contentElement;
  proto.contentElement = function () {
    const element = contentElement.call(this);
    if (pendingHighlights.delete(this)) setSearchRegex.call(this, this.searchRegexInternal);
    return element;
  };
  const searchHighlightNode = proto.searchHighlightNode;
  if (typeof searchHighlightNode === 'function') {
    proto.searchHighlightNode = function (index) {
      if (pendingHighlights.has(this)) this.contentElement();
      // A drawing that reads otherwise than its plain text still gives the
      // jump a node to mark.
      return searchHighlightNode.call(this, index) ?? this.contentElement();
    };
  }

  searchOncePaused(ui.SearchableView?.SearchableView, View);

  const performSearch = View.prototype.performSearch;
  if (typeof performSearch === 'function') {
    View.prototype.performSearch = function (...args) {
      warm(this);
      learnLinks(this);
      return performSearch.apply(this, args);
    };
  }

  // Plain texts made ahead, in slices, while the console is quiet and as
  // soon as the user starts a filter or a search: by the time typing
  // pauses, matching is a pass over strings.
  // Messages only a drawing can tell (a warning's or an error's stack took
  // about 20 ms each) are drawn ahead too, as the frontend's filter would.
  const warmOne = (message) => {
    if (plainText(message) === null && !message.contentElementInternal && !timestampsShown()) {
      message.contentElement();
    }
  };
  let warming = null;
  let quietTimer = 0;
  function warm(view) {
    if (warming) return;
    let list = view.consoleMessages;
    let i = 0;
    const slice = () => {
      const began = performance.now();
      while (i < list.length && performance.now() - began < SLICE_MS) {
        for (const end = Math.min(list.length, i + 16); i < end;) warmOne(list[i++]);
      }
      if (i >= list.length && view.consoleMessages !== list) {
        list = view.consoleMessages;  // dropped or cleared meanwhile
        i = 0;
      }
      if (i < list.length) warming = setTimeout(slice, 0);
      else warming = null;
    };
    warming = setTimeout(slice, 0);
  }
  // A source link that resolves makes the frontend filter every message
  // again and search it again (in a burst, every second or so, each pass
  // longer than the last), for the sake of filters and searches that read
  // the link's text. With none of those, the pass cannot change what is
  // shown, and is left out.
  const linkAware = new WeakSet();
  const linksMatter = (view) => {
    const textual = (filter) => {
      const parsed = filter?.parsedFilters;
      return !Array.isArray(parsed) || parsed.some((f) => !f.key);
    };
    const selected = view.sidebar?.selectedTreeElement;
    return Boolean(view.searchRegex) || textual(view.filter?.currentFilter) ||
        Boolean(selected && typeof selected.filter === 'function' && textual(selected.filter()));
  };
  function skipUselessRefilters(view) {
    if (linkAware.has(view)) return;
    linkAware.add(view);
    for (const entry of view.linkifier?.listeners?.get?.('liveLocationUpdated') ?? []) {
      const listener = entry.listener;
      if (typeof listener !== 'function') continue;
      entry.listener = function (...args) {
        if (linksMatter(view)) return listener.apply(this, args);
      };
    }
  }

  const addConsoleMessage = View.prototype.addConsoleMessage;
  if (typeof addConsoleMessage === 'function') {
    View.prototype.addConsoleMessage = function (...args) {
      skipUselessRefilters(this);
      clearTimeout(quietTimer);
      quietTimer = setTimeout(() => warm(this), QUIET_MS);
      return addConsoleMessage.apply(this, args);
    };
  }

  // While the console follows the newest messages, each refresh drew the
  // rows it shows (about 60, a few ms each) and laid them out in one task,
  // every 50 ms plus its own time: in a burst, the window answered only
  // between refreshes. The rows are drawn ahead in slices, and after each
  // refresh new messages are taken in for at least as long as it took.
  const invalidateViewport = View.prototype.invalidateViewport;
  if (typeof invalidateViewport === 'function') {
    View.prototype.invalidateViewport = function (...args) {
      return new Promise((resolve) => {
        let slices = 0;
        const step = () => {
          if (slices++ < TAIL_SLICES && !drawTail(this)) {
            setTimeout(step, 0);
            return;
          }
          const began = performance.now();
          try {
            invalidateViewport.apply(this, args);
          } finally {
            setTimeout(resolve, performance.now() - began);
          }
        };
        step();
      });
    };
  }
  // At the bottom the viewport drew twice the rows that can fill it (half
  // of them above the view, for scrolling up); there, it draws the rows that
  // fill it at the frontend's own minimum row height, and draws the rest
  // when the user scrolls away from the bottom.
  const minimumRowHeight = View.prototype.minimumRowHeight;
  if (typeof minimumRowHeight === 'function') {
    View.prototype.minimumRowHeight = function (...args) {
      const height = minimumRowHeight.apply(this, args);
      return this.viewport?.stickToBottomInternal ? 2 * height : height;
    };
  }

  // Draws, for one slice, the rows a refresh at the bottom shows, newest
  // first; true once they are all drawn, or when the refresh will not be at
  // the bottom. A refresh that rebuilds the list shows the newest messages
  // the filter lets through.
  function drawTail(view) {
    const viewport = view.viewport;
    if (view.muteViewportUpdates || !viewport?.stickToBottomInternal ||
        typeof viewport.provider?.minimumRowHeight !== 'function' ||
        typeof view.shouldMessageBeVisible !== 'function') {
      return true;
    }
    const full = Boolean(view.needsFullUpdate);
    const messages = full ? view.consoleMessages : view.visibleViewMessages;
    let rows = Math.ceil(2 * viewport.element.offsetHeight / viewport.provider.minimumRowHeight());
    const began = performance.now();
    for (let i = messages.length - 1; i >= 0 && rows > 0; i--) {
      if (full && !view.shouldMessageBeVisible(messages[i])) continue;
      rows--;
      if (messages[i].elementInternal) continue;
      if (performance.now() - began > TAIL_SLICE_MS) return false;
      messages[i].toMessageElement();
    }
    return true;
  }

  // The frontend's pass, in longer slices that still let the window answer.
  if (typeof View.prototype.buildHiddenCache === 'function' &&
      typeof View.prototype.cancelBuildHiddenCache === 'function') {
    View.prototype.buildHiddenCache = function (start, list) {
      const began = performance.now();
      let i = start;
      while (i < list.length) {
        this.computeShouldMessageBeVisible(list[i++]);
        if ((i & 15) === 0 && performance.now() - began > SLICE_MS) break;
      }
      if (i < list.length) {
        this.buildHiddenCacheTimeout = setTimeout(() => this.buildHiddenCache(i, list), 0);
      } else {
        delete this.buildHiddenCacheTimeout;
        this.updateMessageList();
      }
    };
    View.prototype.cancelBuildHiddenCache = function () {
      this.shouldBeHiddenCache.clear();
      clearTimeout(this.buildHiddenCacheTimeout);
      delete this.buildHiddenCacheTimeout;
    };

    // A filter typed key by key is applied once typing pauses; the pause
    // counts as the pass under way, and a cancelled pass cancels it.
    const onFilterChanged = View.prototype.onFilterChanged;
    View.prototype.onFilterChanged = function (...args) {
      if (this.immediatelyFilterMessagesForTest) return onFilterChanged.apply(this, args);
      warm(this);
      this.cancelBuildHiddenCache();
      this.buildHiddenCacheTimeout = setTimeout(() => {
        delete this.buildHiddenCacheTimeout;
        learnLinks(this);
        onFilterChanged.apply(this, args);
      }, FILTER_PAUSE_MS);
    };
  }
}

// The sidebar drew its counts and titles at every message: with it open, a
// burst of 10,000 took minutes on WebKit, in layout. Its counts are kept
// as they come and drawn a few times a second.
function drawCountsLater(sidebar) {
  const fileProto = sidebar?.URLGroupTreeElement?.prototype;
  const groupProto = sidebar?.FilterTreeElement?.prototype;
  if (typeof fileProto?.incrementAndUpdateCounter !== 'function' ||
      typeof groupProto?.updateCounter !== 'function') {
    return;
  }
  const due = new Set();
  let timer = 0;
  const later = (draw) => {
    due.add(draw);
    timer ||= setTimeout(() => {
      timer = 0;
      const draws = [...due];
      due.clear();
      for (const d of draws) d();
    }, COUNTS_MS);
  };
  const drawFile = new WeakMap();
  fileProto.incrementAndUpdateCounter = function () {
    this.messageCount++;
    if (!drawFile.has(this)) {
      drawFile.set(this, () => {
        this.countElement.textContent = `${this.messageCount}`;
      });
    }
    later(drawFile.get(this));
  };
  const updateCounter = groupProto.updateCounter;
  const drawGroup = new WeakMap();
  groupProto.updateCounter = function () {
    if (!drawGroup.has(this)) drawGroup.set(this, () => updateCounter.call(this));
    later(drawGroup.get(this));
  };
}

// The console's search ran at every key, and each run on a full console
// held the window for a moment: the keys typed meanwhile came in late, and
// a Return typed at once stepped through the matches of the text typed
// before it, then the late search started over. Typed text is searched
// once typing pauses, and a Return with a search still to come runs it
// and goes to its first match.
function searchOncePaused(Searchable, View) {
  const onValueChanged = Searchable?.prototype.onValueChanged;
  if (typeof onValueChanged !== 'function' || typeof Searchable.prototype.performSearch !== 'function') {
    return;
  }
  const paused = new WeakMap();
  const byInput = new WeakMap();
  Searchable.prototype.onValueChanged = function (...args) {
    if (!(this.searchProvider instanceof View)) return onValueChanged.apply(this, args);
    if (this.searchInputElement) byInput.set(this.searchInputElement, this);
    clearTimeout(paused.get(this));
    paused.set(this, setTimeout(() => {
      paused.delete(this);
      onValueChanged.apply(this, args);
    }, SEARCH_PAUSE_MS));
  };
  addEventListener('keydown', (event) => {
    if (event.key !== 'Enter') return;
    const searchable = byInput.get(event.composedPath()[0]);
    if (!searchable || searchable.valueChangedTimeoutId === undefined) return;
    clearTimeout(paused.get(searchable));
    paused.delete(searchable);
    clearTimeout(searchable.valueChangedTimeoutId);
    delete searchable.valueChangedTimeoutId;
    event.stopImmediatePropagation();
    event.preventDefault();
    searchable.performSearch(true, true, event.shiftKey);
  }, true);
}
