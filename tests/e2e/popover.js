// The script the popover and style tests pause in. Keep tick() on lines 6-10:
// the popover test stops on line 8, where shownValue holds a string the source does not.
'use strict';

let step = 0;
function tick() {
  const shownValue = ['hover', 'shown'].join('-');
  step += 1;
  return shownValue;
}

setInterval(tick, 300);
