// Serves a page that reports its viewport size on load and on every resize;
// each report becomes one line of the file named by argv[2]. Prints the port.
'use strict';
const fs = require('fs');
const http = require('http');

const reports = process.argv[2];
const page = `<!doctype html><html><body style="margin:0;background:#2b6">
<script>
function report() { fetch('/report', {method: 'POST', body: innerWidth + 'x' + innerHeight}); }
addEventListener('resize', report);
report();
</script></body></html>`;

const server = http.createServer((req, res) => {
  if (req.method === 'POST') {
    let body = '';
    req.on('data', (d) => (body += d));
    req.on('end', () => {
      fs.appendFileSync(reports, body + '\n');
      res.writeHead(204).end();
    });
    return;
  }
  res.writeHead(200, {'content-type': 'text/html'}).end(page);
});
server.listen(0, '127.0.0.1', () => console.log(server.address().port));
