#!/usr/bin/env node
// Runs the program from the platform package that npm installed beside this
// one, chosen by its "os" and "cpu" among this package's optional
// dependencies. Arguments, standard streams and exit status pass through
// unchanged; the only words of its own are the one line when there is no
// program to run.
'use strict';
const childProcess = require('child_process');
const os = require('os');
const path = require('path');
const manifest = require('./package.json');

const platform = `${process.platform}-${process.arch}`;
const packages = Object.keys(manifest.optionalDependencies || {});
const wanted = packages.find((name) => name.endsWith(`/${platform}`));

function stop(message) {
  process.stderr.write(`Error: ${message}\n`);
  process.exit(1);
}

if (!wanted) {
  const known = packages.map((name) => name.split('/')[1]).join(', ');
  stop(`${manifest.name} has no npm package for ${platform} (only ${known}); build it from source instead`);
}
let folder;
try {
  folder = path.dirname(require.resolve(`${wanted}/package.json`));
} catch {
  stop(`${wanted}, the program for ${platform}, is not installed (optional dependencies omitted?); ` +
       `install it with: npm install ${wanted}@${manifest.version}`);
}
const program = path.join(folder, 'bin', process.platform === 'win32' ? `${manifest.name}.exe` : manifest.name);

const child = childProcess.spawn(program, process.argv.slice(2), { stdio: 'inherit' });
child.on('error', (error) => stop(`cannot run ${program}: ${error.message}`));

// On POSIX a signal meant for the program reaches this process when it is
// sent by process id (a supervisor, kill): pass it on and wait for the
// program to end. A console's Ctrl+C on Windows reaches both processes, so
// there it is only outlived.
const forwarded = process.platform === 'win32' ? ['SIGINT', 'SIGBREAK'] : ['SIGINT', 'SIGTERM', 'SIGHUP', 'SIGQUIT'];
for (const signal of forwarded) {
  process.on(signal, () => {
    if (process.platform !== 'win32') child.kill(signal);
  });
}

child.on('exit', (code, signal) => {
  if (signal) {
    // Ended by a signal: end the same way, so that the caller sees it.
    for (const each of forwarded) process.removeAllListeners(each);
    process.kill(process.pid, signal);
    // A signal that does not end node: the shell's way of saying it.
    setTimeout(() => process.exit(128 + (os.constants.signals[signal] || 0)), 1000);
    return;
  }
  process.exit(code);
});
