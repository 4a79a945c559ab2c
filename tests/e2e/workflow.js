// The script the workflow tests debug. Line numbers matter to the tests:
// keep inner() on lines 5-8 and outer() on lines 10-14.
'use strict';

function inner(value) {
  const doubled = value * 2;
  return doubled + 1;
}

function outer(count) {
  const start = count;
  const result = inner(start);
  return result;
}

let count = 0;
setInterval(() => {
  count += 1;
  console.log(`workflow tick ${count} answer ${outer(count)}`);
}, Number(process.env.WORKFLOW_TICK_MS) || 300);
