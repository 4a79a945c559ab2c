// Each request is one tick; a breakpoint stops the answers.
let count = 0;

export default {
  async fetch() {
    count += 1;
    return new Response("tick " + count + "\n");
  },
};
