// A server that logs in bursts, for bench/console_bench.py and the console
// filter test: each time the file named by BURST_TRIGGER appears (it is
// removed), it logs BURST_COUNT lines, each with a small object, as fast as
// it can, and says "logged TOTAL" on stderr. Every 100th line is a warning
// and every 250th an error, so that the level menu has something to hide.
'use strict';
const fs = require('fs');

const trigger = process.env.BURST_TRIGGER;
const count = Number(process.env.BURST_COUNT || 10000);
let total = 0;

function line(n) {
  const text = `request ${n} served`;
  const detail = {request: n, ok: n % 7 !== 0, path: `/api/item/${n % 97}`};
  if (n % 250 === 0) console.error(text, detail);
  else if (n % 100 === 0) console.warn(text, detail);
  else console.log(text, detail);
}

setInterval(() => {
  if (!fs.existsSync(trigger)) return;
  fs.unlinkSync(trigger);
  const end = total + count;
  // In slices, so that the inspector's messages go out as they are made.
  const timer = setInterval(() => {
    for (let i = 0; i < 500 && total < end; i++) line(++total);
    if (total >= end) {
      clearInterval(timer);
      process.stderr.write(`logged ${total}\n`);
    }
  }, 1);
}, 50);
