// Runs at document start in the embedded frontend's pages, on every web
// engine: the run of an engine that waits for its debugger, held for the
// breakpoints.
// Written as the body of a function: the build puts page_common.js before
// it, inside one function of its own.

runOnceBreakpointsAreSet();

// An engine started to wait for its debugger runs on
// Runtime.runIfWaitingForDebugger, which the frontend sends as it makes
// its target, before the requests that set its breakpoints again; an
// engine that reads the run alone runs past a breakpoint on its first
// lines. The run is held until every request sent before it is answered.
function runOnceBreakpointsAreSet() {
  const HOLD_MS = 5000;  // an engine is never held long for a stalled frontend
  const send = WebSocket.prototype.send;
  const starts = new WeakMap();  // socket -> its start; null once the run has gone
  WebSocket.prototype.send = function (data) {
    let start = starts.get(this);
    if (start === null || typeof data !== 'string') return send.call(this, data);
    start ??= watch(this);
    let message = null;
    try { message = JSON.parse(data); } catch { /* not the protocol's */ }
    if (message?.method === 'Runtime.runIfWaitingForDebugger') {
      start.held.push(data);
      start.settle();
      return undefined;
    }
    if (typeof message?.id === 'number') start.pending.add(message.id);
    return send.call(this, data);
  };

  function watch(socket) {
    const start = {pending: new Set(), held: [], check: 0, deadline: 0};
    const release = () => {
      clearTimeout(start.check);
      clearTimeout(start.deadline);
      starts.set(socket, null);
      socket.removeEventListener('message', answered);
      for (const data of start.held.splice(0)) {
        if (socket.readyState === WebSocket.OPEN) send.call(socket, data);
      }
    };
    // Looked at a task later: handling an answer may send more requests.
    start.settle = () => {
      if (!start.held.length) return;
      start.deadline ||= setTimeout(release, HOLD_MS);
      clearTimeout(start.check);
      start.check = setTimeout(() => { if (!start.pending.size) release(); }, 0);
    };
    function answered(event) {
      const data = event.data;
      if (typeof data !== 'string' || data.startsWith('{"method"')) return;
      let id;
      try { ({id} = JSON.parse(data)); } catch { return; }
      if (start.pending.delete(id) && !start.pending.size) start.settle();
    }
    socket.addEventListener('message', answered);
    socket.addEventListener('close', release);
    starts.set(socket, start);
    return start;
  }
}
