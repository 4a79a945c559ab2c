// The script the bounded-console test drives through files in BOUND_DIR:
// "log" holding a number N logs N more numbered entries, each with an object
// carrying a string of its own (2 KB), about 2,000 a second, and then says
// "logged TOTAL" on stderr (every hundredth entry is a warning); "gc" collects garbage (node --expose-gc) and says
// "heap BYTES" with the heap in use after it.
'use strict';
const fs = require('fs');
const path = require('path');

const dir = process.env.BOUND_DIR;
const pad = 'x'.repeat(2048);
let total = 0;
let logging = false;

function take(name) {
  const file = path.join(dir, name);
  try {
    const text = fs.readFileSync(file, 'utf8');
    fs.unlinkSync(file);
    return text;
  } catch {
    return null;
  }
}

function log(count) {
  logging = true;
  const end = total + count;
  const timer = setInterval(() => {
    for (let i = 0; i < 20 && total < end; i++) {
      total += 1;
      const log = total % 100 ? console.log : console.warn;
      log(`entry-${total}-end`, {entry: total, payload: pad + total});
    }
    if (total >= end) {
      clearInterval(timer);
      logging = false;
      process.stderr.write(`logged ${total}\n`);
    }
  }, 10);
}

setInterval(() => {
  if (!logging) {
    const count = take('log');
    if (count !== null) log(Number(count));
  }
  if (take('gc') !== null) {
    global.gc();
    process.stderr.write(`heap ${process.memoryUsage().heapUsed}\n`);
  }
}, 20);
