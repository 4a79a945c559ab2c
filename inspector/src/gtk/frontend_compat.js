// Runs at document start in the embedded frontend's pages on WebKit. The
// frontend is written for Chromium; each block below mends one place where
// WebKit behaves differently, and says why.
// Written as the body of a function: the build puts page_common.js before
// it, inside one function of its own.

// Its trees and search results ask a shadow root for the selection on
// every click, which WebKit's shadow roots cannot answer; the document's
// selection, which WebKit lets reach into shadow trees, serves instead.
if (!('getSelection' in ShadowRoot.prototype)) {
  Object.defineProperty(ShadowRoot.prototype, 'getSelection', {
    value: function getSelection() { return this.ownerDocument.getSelection(); },
    writable: true, configurable: true,
  });
}

// Its popovers are built in a shadow root, put into the page and measured
// at once. WebKit brings such a tree's style sheets into effect only later,
// so the popover took the size of its unstyled text and cut the styled
// value off; asking the shadow root for its sheets brings them in at
// insertion.
//
// Its split panes are "contain: layout size style". WebKit then takes a
// pane's flexed height as indefinite, so every percentage height inside it
// falls back to auto: the source editor grew to the height of the whole
// file and laid out every line of it, seconds and megabytes per megabyte of
// source. Without size containment the panes keep the same size and the
// editor draws only the lines in view. Dropped as the style is inserted.
const sizeContainment = /(contain\s*:[^;}]*?)(?<![\w-])size\b/i;
const withoutSizeContainment = (text) =>
  text.replace(new RegExp(sizeContainment.source, 'gi'), '$1');
let consoleMessagesPatched = false;
for (const name of ['appendChild', 'insertBefore']) {
  const insert = Node.prototype[name];
  Object.defineProperty(Node.prototype, name, {
    value: function (node, ...rest) {
      if (node instanceof HTMLStyleElement && sizeContainment.test(node.textContent)) {
        node.textContent = withoutSizeContainment(node.textContent);
      }
      if (!consoleMessagesPatched && node?.classList?.contains('console-message-wrapper')) {
        consoleMessagesPatched = true;
        releaseHiddenConsoleMessages();
      }
      const inserted = insert.call(this, node, ...rest);
      if (node?.shadowRoot && node.isConnected) void node.shadowRoot.styleSheets.length;
      return inserted;
    },
    writable: true, configurable: true,
  });
}

// Its console draws a message when it scrolls into view and keeps what it
// drew, with a live source link, after it scrolls away: under a flood the
// drawing of half of all messages ever logged stays in the page, which
// WebKit holds far less compactly than Chromium (after a minute of 2,000
// lines a second, hundreds of megabytes more). A plain message (text and
// its link, nothing to expand, no search under way) gives up its drawing
// once out of view and is drawn anew, the same, if it comes back. Set up
// once the console module has drawn its first message.
function releaseHiddenConsoleMessages() {
  Promise.all([
    frontendModule('panels/console/console.js'),
    frontendModule('ui/legacy/components/utils/utils.js'),
  ]).then(([console, utils]) => {
    const Message = console.ConsoleViewMessage?.ConsoleViewMessage;
    const Linkifier = utils.Linkifier?.Linkifier;
    const willHide = Message?.prototype.willHide;
    if (typeof willHide !== 'function' || typeof Linkifier?.linkInfo !== 'function' ||
        typeof Linkifier.unbindUILocation !== 'function') {
      return;
    }
    const drawn = ['elementInternal', 'contentElementInternal', 'anchorElement', 'messageIcon',
      'consoleRowWrapper', 'timestampElement', 'repeatCountElement', 'similarGroupMarker',
      'messagePrefix'];
    const expandable = '.tree-outline, .console-view-object-properties-section,' +
      ' .console-message-stack-trace-toggle, [aria-expanded]';
    const released = new WeakSet();
    let unlisted = 0;
    const release = (message) => {
      const element = message.elementInternal;
      if (!element || element.isConnected || message.isVisibleInternal) return;
      if (message.searchRegexInternal || element.querySelector(expandable)) return;
      for (const link of releaseLinks(element, Linkifier)) {
        released.add(link);
        unlisted++;
      }
      for (const field of drawn) if (field in message) message[field] = null;
      message.selectableChildren = [];
      message.searchHighlightNodes = [];
      // The linkifier lists every link it made; released ones leave its
      // lists in batches, not one search a message.
      const byTarget = message.linkifier?.anchorsByTarget;
      if (unlisted > 1000 && byTarget instanceof Map) {
        for (const [target, links] of byTarget) {
          byTarget.set(target, links.filter((link) => !released.has(link)));
        }
        unlisted = 0;
      }
    };
    Message.prototype.willHide = function (...args) {
      const result = willHide.apply(this, args);
      // Only plain messages: groups, commands and results keep their state.
      // Later, once the viewport has taken the drawing out of the page.
      if (this.constructor === Message) setTimeout(() => release(this), 0);
      return result;
    };
  }, () => {});
}

// WebKit knows no ":host-context(X)" and drops every rule that names it,
// which left the breakpoint editor's header unstyled, its close "x" on a
// line of its own. ":host(X)" matches a subset of the same hosts (the host
// itself, not its ancestors), so no rule applies where Chromium's would not.
const hostOnly = (text) => String(text).replace(/:host-context\(/g, ':host(');
for (const name of ['replaceSync', 'replace']) {
  const replace = CSSStyleSheet.prototype[name];
  CSSStyleSheet.prototype[name] = function (text) {
    return replace.call(this, hostOnly(text));
  };
}

// Its editor adds rules with insertRule, and WebKit throws on those it
// cannot parse, which leaves the editor without its breakpoint gutter. Such
// a rule takes an inert place instead, so the indices of later rules stay
// right.
const insertRule = CSSStyleSheet.prototype.insertRule;
CSSStyleSheet.prototype.insertRule = function (rule, index) {
  try {
    return insertRule.call(this, hostOnly(rule), index);
  } catch (error) {
    if (error.name !== 'SyntaxError') throw error;
    return insertRule.call(this, '@media not all {}', index);
  }
};

// WebKit draws a native magnifier for a search field's non-standard
// "results" attribute, which Chromium ignores; the frontend sets it anyway.
const setAttribute = Element.prototype.setAttribute;
Element.prototype.setAttribute = function (name, value) {
  if (this instanceof HTMLInputElement && String(name).toLowerCase() === 'results') return;
  return setAttribute.call(this, name, value);
};
