// The script the frontend compatibility tests inspect. It writes nothing,
// so what the console shows stays where it is.
'use strict';

globalThis.probe = { alpha: 1, nested: { gamma: 2 } };
globalThis.copyable = { copied: 'from the console', count: 3 };

// A frame to pause in, with a local to hover.
function probe(step) {
  const hoverable = { tokenValue: 'hovered-' + step };
  return hoverable;
}

let step = 0;
setInterval(() => { step = probe(step + 1) ? step + 1 : step; }, 300);
