// The script the console-release test inspects: once the file named by
// BURST_TRIGGER exists, it logs 3000 numbered lines in about three seconds,
// then idles. Keep the console.log on line 10.
'use strict';
const fs = require('fs');

let count = 0;
function burst() {
  const timer = setInterval(() => {
    for (let i = 0; i < 10; i++) console.log(`burst line ${++count} of 3000`);
    if (count >= 3000) clearInterval(timer);
  }, 10);
}

const wait = setInterval(() => {
  if (fs.existsSync(process.env.BURST_TRIGGER)) {
    clearInterval(wait);
    burst();
  }
}, 50);
setInterval(() => {}, 1 << 30);
