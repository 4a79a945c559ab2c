// Runs at document start in the embedded frontend's pages on WebKit. The
// frontend is written for Chromium; each block below mends one place where
// WebKit behaves differently, and says why.
(() => {
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
  for (const name of ['appendChild', 'insertBefore']) {
    const insert = Node.prototype[name];
    Object.defineProperty(Node.prototype, name, {
      value: function (node, ...rest) {
        const inserted = insert.call(this, node, ...rest);
        if (node?.shadowRoot && node.isConnected) void node.shadowRoot.styleSheets.length;
        return inserted;
      },
      writable: true, configurable: true,
    });
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
})();
