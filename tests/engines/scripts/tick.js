// A script that works until a breakpoint stops it.
let count = 0;

function tick() {
  count += 1;
  console.log("tick " + count);
}

setInterval(tick, 200);
