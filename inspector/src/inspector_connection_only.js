// Runs at document start in the embedded frontend's pages, on every web
// engine. The frontend reaches its target only through the inspector's
// WebSocket. Given "rtc=true" in its URL, which a target can plant in
// "/json", it would talk WebRTC instead: a peer of the target's choosing
// and a STUN server on the internet, which no content security policy and
// no request filter governs. The debugger needs none of it.
// Written as the body of a function: the build puts page_common.js before
// it, inside one function of its own.

for (const name of ['RTCPeerConnection', 'webkitRTCPeerConnection', 'RTCDataChannel']) {
  if (name in globalThis) {
    Object.defineProperty(globalThis, name, {value: undefined, writable: false, configurable: false});
  }
}
