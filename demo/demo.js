// A small program to debug: set a breakpoint in fibonacci() or tick(),
// or watch the console fill up.
'use strict';

function fibonacci(n) {
  let [a, b] = [0, 1];
  for (let i = 0; i < n; i++) [a, b] = [b, a + b];
  return a;
}

const started = Date.now();
let ticks = 0;

function tick() {
  ticks += 1;
  const seconds = ((Date.now() - started) / 1000).toFixed(1);
  console.log(`tick ${ticks} at ${seconds}s: fibonacci(${ticks % 50}) = ${fibonacci(ticks % 50)}`);
}

setInterval(tick, 1000);
console.log('demo running; pid', process.pid);
