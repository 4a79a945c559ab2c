// A chatty server for bench/long_session_bench.py: once the file named by
// FLOOD_TRIGGER exists, it logs FLOOD_RATE lines a second for FLOOD_SECONDS
// seconds, each with an object carrying a string of its own (1 KB), and says
// "flood over" on stderr. Whenever the file named by GC_REQUEST appears it
// collects garbage (node --expose-gc) and says "heap BYTES" on stderr.
'use strict';
const fs = require('fs');

const trigger = process.env.FLOOD_TRIGGER;
const gcRequest = process.env.GC_REQUEST;
const rate = Number(process.env.FLOOD_RATE || 1000);
const seconds = Number(process.env.FLOOD_SECONDS || 300);
const pad = 'x'.repeat(1024);
const TICK_MS = 10;

function flood() {
  const start = Date.now();
  const end = start + seconds * 1000;
  let count = 0;
  // Paced by the clock, so that a late tick catches up.
  const timer = setInterval(() => {
    const due = Math.min(Math.floor((Date.now() - start) * rate / 1000), seconds * rate);
    while (count < due) {
      count += 1;
      console.log(`request ${count} served`, {request: count, body: pad + count});
    }
    if (Date.now() >= end) {
      clearInterval(timer);
      process.stderr.write(`flood over after ${count} lines\n`);
    }
  }, TICK_MS);
}

let flooding = false;
setInterval(() => {
  if (!flooding && fs.existsSync(trigger)) {
    flooding = true;
    flood();
  }
  if (fs.existsSync(gcRequest)) {
    fs.unlinkSync(gcRequest);
    global.gc();
    process.stderr.write(`heap ${process.memoryUsage().heapUsed}\n`);
  }
}, 50);
