// A debuggee that tries what a hostile script can against its debugger.
// TRACKER is a loopback address that counts every request; CANARY a file
// of the debugger's machine. Line numbers matter: keep tick() on 8-11.
'use strict';

const tracker = process.env.TRACKER;

function tick(n) {
  const next = n + 1;
  return next;
}

// Styled console text that tries to cover the window and load from the
// tracker; the relay gives the logged object a custom preview that tries
// the same.
globalThis.draw = () => {
  console.log('%cHOSTILE-FORMAT', 'position:fixed; top:0; left:0; width:100vw; height:100vh;' +
      ' z-index:9999; margin-top:-400px; padding:4px; background-color:red;' +
      ` background-image:image-set("http://${tracker}/format-image-set" 1x);` +
      ` border-image-source:url(http://${tracker}/format-border-image);` +
      ` text-shadow: 0 -400px red`);
  console.log({hostile: 'HOSTILE-PREVIEW'});
};

// Source maps the debugger would fetch on the script's word.
eval(`globalThis.mapped = 1;\n//# sourceMappingURL=http://${tracker}/source-map.js.map\n` +
     '//# sourceURL=hostile-mapped.js');
eval(`globalThis.canary = 1;\n//# sourceMappingURL=file://${process.env.CANARY}\n` +
     '//# sourceURL=hostile-canary.js');

let count = 0;
setInterval(() => { count = tick(count); }, 300);
console.log('hostile ready');
