// The same ticks, typed.
interface Counter {
  count: number;
}

const counter: Counter = { count: 0 };

function tick(step: number): void {
  counter.count += step;
  console.log("tick " + counter.count);
}

setInterval(() => tick(1), 200);
