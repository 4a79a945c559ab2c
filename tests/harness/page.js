// The harness's helpers in the frontend's page, put in front of every script
// it runs there: queries that reach into the frontend's shadow roots, and
// what the user sees of an element.
const vt = {
  // Every element under ROOT matching SELECTOR, shadow trees included.
  all(selector, root = document) {
    const found = [];
    const visit = (node) => {
      found.push(...node.querySelectorAll(selector));
      for (const element of node.querySelectorAll('*')) {
        if (element.shadowRoot) visit(element.shadowRoot);
      }
    };
    visit(root);
    return found;
  },
  // The text the element shows, its shadow tree's included, with white space
  // folded.
  text(element) {
    const parts = [];
    const visit = (node) => {
      if (node.nodeType === Node.TEXT_NODE) { parts.push(node.data); return; }
      if (node.nodeType !== Node.ELEMENT_NODE && node.nodeType !== Node.DOCUMENT_FRAGMENT_NODE) return;
      if (node.localName === 'style' || node.localName === 'script') return;
      if (node.shadowRoot) visit(node.shadowRoot);
      const children = node.localName === 'slot' ? node.assignedNodes({flatten: true}) : node.childNodes;
      if (node.localName !== 'slot' && node.shadowRoot) {
        // Light children show only through the shadow tree's slots.
        return;
      }
      for (const child of children) visit(child);
    };
    visit(element);
    return parts.join('').replace(/\s+/g, ' ').trim();
  },
  // Whether the user can see the element: it has a box inside the viewport
  // and nothing hides it.
  visible(element) {
    const box = element.getBoundingClientRect();
    if (box.width <= 0 || box.height <= 0) return false;
    if (box.right <= 0 || box.bottom <= 0 || box.left >= innerWidth || box.top >= innerHeight) return false;
    if (element.checkVisibility) return element.checkVisibility({visibilityProperty: true, opacityProperty: true});
    return true;
  },
  describe(element) {
    const box = element.getBoundingClientRect();
    return {x: box.left, y: box.top, width: box.width, height: box.height,
            text: vt.text(element)};
  },
  // The visible elements matching SELECTOR whose text contains TEXT (or equals
  // it when EXACT), innermost first where one contains another.
  find(selector, text, exact) {
    const wanted = text == null ? null : String(text).replace(/\s+/g, ' ').trim();
    const matches = vt.all(selector).filter((element) => {
      if (!vt.visible(element)) return false;
      if (wanted == null) return true;
      const shown = vt.text(element);
      return exact ? shown === wanted : shown.includes(wanted);
    });
    return matches.filter((element) => !matches.some((other) => other !== element && element.contains(other)));
  },
};
