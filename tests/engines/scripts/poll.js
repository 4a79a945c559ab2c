// Asks URL once every 200 ms and prints each answer; a request that hangs
// holds up the next, so the lines stop while the worker is paused.
const url = process.argv[2];
async function loop() {
  for (;;) {
    try {
      const res = await fetch(url);
      process.stdout.write(await res.text());
    } catch (error) {
      console.error(String(error));
    }
    await new Promise((resolve) => setTimeout(resolve, 200));
  }
}
loop();
