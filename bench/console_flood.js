// A chatty script for bench/big_source_flood_bench.py: once the file named by
// FLOOD_TRIGGER exists (the viewer is attached and looking), it writes
// FLOOD_RATE short console.log lines a second for FLOOD_SECONDS seconds, says
// "flood over" on stderr, and idles.
'use strict';
const fs = require('fs');

const trigger = process.env.FLOOD_TRIGGER;
const rate = Number(process.env.FLOOD_RATE || 2000);
const seconds = Number(process.env.FLOOD_SECONDS || 60);
const TICK_MS = 10;

function flood() {
  const perTick = rate * TICK_MS / 1000;
  const end = Date.now() + seconds * 1000;
  let count = 0;
  const timer = setInterval(() => {
    for (let i = 0; i < perTick; i++) {
      count += 1;
      console.log(`request ${count} served in ${count % 97} ms`);
    }
    if (Date.now() >= end) {
      clearInterval(timer);
      process.stderr.write(`flood over after ${count} lines\n`);
    }
  }, TICK_MS);
}

const wait = setInterval(() => {
  if (fs.existsSync(trigger)) {
    clearInterval(wait);
    flood();
  }
}, 50);
setInterval(() => {}, 1 << 30);
