// Runs at document start in the embedded frontend's pages, on every web
// engine. What the target draws stays inside its message: the styles of a
// console format ("%c") and of a custom preview keep only what can neither
// load anything nor leave the message's box, and custom previews are drawn
// only when the user has turned custom formatters on, as that setting says.
// Written as the body of a function: the build puts page_common.js before
// it, inside one function of its own.

// Colours, fonts, text, borders, and the space around: nothing that places
// a box elsewhere (position, transform, size) or draws beyond it (shadows,
// border images, negative margins).
const KEPT_PREFIXES = ['background', 'border', 'color', 'font', 'line', 'margin', 'padding', 'text'];
const DRAWS_BEYOND = /^(border-image|text-shadow)/;
// Functions that compute a colour or a gradient; any other (url, image-set,
// cross-fade, element, paint, attr, env, ...) may fetch or reach outside.
const PLAIN_FUNCTIONS = new Set(['rgb', 'rgba', 'hsl', 'hsla', 'hwb', 'lab', 'lch', 'oklab',
  'oklch', 'color', 'color-mix', 'var', 'linear-gradient', 'radial-gradient', 'conic-gradient',
  'repeating-linear-gradient', 'repeating-radial-gradient', 'repeating-conic-gradient']);
// An image written out in full draws without a request.
const DATA_URL = /url\(\s*(["']?)data:[^"')\\]*\1\s*\)/g;

function keptStyle(property, value) {
  const name = property.toLowerCase().replace(/^-webkit-/, '');
  if (!KEPT_PREFIXES.some((prefix) => name.startsWith(prefix)) || DRAWS_BEYOND.test(name)) {
    return false;
  }
  const text = String(value).toLowerCase().replace(DATA_URL, '');
  if (text.includes('\\')) return false;
  if (name.startsWith('margin') && /(^|[\s(,])-/.test(text)) return false;
  for (const [, fn] of text.matchAll(/([a-z0-9-]*)\s*\(/g)) {
    if (!PLAIN_FUNCTIONS.has(fn)) return false;
  }
  return true;
}

// Removes from an element's own style each property the target may not set.
function containStyle(element, ours = new Set()) {
  const style = element.style;
  for (const property of [...style]) {
    if (ours.has(property)) continue;
    if (!keptStyle(property, style.getPropertyValue(property))) style.removeProperty(property);
  }
}

addEventListener('DOMContentLoaded', () => {
  Promise.all([
    frontendModule('core/common/common.js'),
    frontendModule('core/sdk/sdk.js'),
    frontendModule('panels/console/console.js'),
    frontendModule('ui/legacy/components/object_ui/object_ui.js'),
  ]).then(install, () => {});
}, {once: true});

function install([common, sdk, console, objectUi]) {
  // A custom preview comes in a protocol message; the engine sends one
  // only after the frontend asks for them, but a target may send it anyway.
  const RemoteObject = sdk.RemoteObject?.RemoteObjectImpl;
  const customPreview = RemoteObject?.prototype.customPreview;
  if (typeof customPreview === 'function') {
    const enabled = () => {
      try {
        return common.Settings.Settings.instance().moduleSetting('customFormatters').get() === true;
      } catch {
        return false;
      }
    };
    RemoteObject.prototype.customPreview = function (...args) {
      return enabled() ? customPreview.apply(this, args) : null;
    };
  }

  // Each element of a custom preview, as it is made, before it is shown;
  // the preview as a whole is painted only within its own box.
  const Section = objectUi.CustomPreviewComponent?.CustomPreviewSection;
  const renderElement = Section?.prototype.renderElement;
  const sectionElement = Section?.prototype.element;
  if (typeof renderElement === 'function' && typeof sectionElement === 'function') {
    Section.prototype.renderElement = function (...args) {
      const element = renderElement.apply(this, args);
      if (element instanceof Element) containStyle(element);
      return element;
    };
    Section.prototype.element = function (...args) {
      const element = sectionElement.apply(this, args);
      if (element instanceof Element) {
        element.style.setProperty('contain', 'paint');
        element.style.setProperty('max-width', '100%');
      }
      return element;
    };
  }

  // A format's styled text is a span that the frontend confines to its own
  // box (its three properties); the target's properties on it are checked.
  const Message = console.ConsoleViewMessage?.ConsoleViewMessage;
  const format = Message?.prototype.formatWithSubstitutionString;
  if (typeof format === 'function') {
    const frontendOwn = new Set(['contain', 'display', 'max-width']);
    Message.prototype.formatWithSubstitutionString = function (text, parameters, into, ...rest) {
      const result = format.call(this, text, parameters, into, ...rest);
      if (into instanceof Element) {
        for (const span of into.querySelectorAll(':scope > span[style]')) {
          if (span.style.getPropertyValue('contain') === 'paint') containStyle(span, frontendOwn);
        }
      }
      return result;
    };
  }
}
