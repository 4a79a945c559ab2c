// Runs at document start in the embedded frontend's pages, on every web
// engine. The frontend's editable suggestion field puts its own text back
// as HTML when it gets the focus, so text that came from the target (a
// value typed or pasted, a suggestion) would become elements; it stays
// text. Caught as the frontend defines the field's element.
// Written as the body of a function: the build puts page_common.js before
// it, inside one function of its own.

const TEXT_ONLY = new Set(['devtools-editable-content']);
const innerHTML = Object.getOwnPropertyDescriptor(Element.prototype, 'innerHTML');
const define = CustomElementRegistry.prototype.define;
CustomElementRegistry.prototype.define = function (name, constructor, ...rest) {
  if (TEXT_ONLY.has(name) && typeof constructor === 'function') {
    Object.defineProperty(constructor.prototype, 'innerHTML', {
      configurable: true,
      get() { return innerHTML.get.call(this); },
      set(text) { this.textContent = String(text); },
    });
  }
  return define.call(this, name, constructor, ...rest);
};
