// What a browser test stands on: a pseudo-terminal with something at its far end (the simulated
// fixture, or the helper that reports what arrives), the bridge to it and a served folder.
import { spawn } from 'node:child_process';
import { createInterface } from 'node:readline';
import { Bridge } from './bridge.mjs';
import { serveFolder } from '../../web/serve.mjs';

export const ADAPTER = { usbVendorId: 0x0403, usbProductId: 0x6001 };

// Starts `command`, collects its output lines, and resolves once a line matches `ready`.
function startProcess(context, command, args, ready) {
  const child = spawn(command, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  const lines = [];
  const exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
  context.cleanup(async () => {
    if (child.exitCode === null) child.kill('SIGTERM');
    await exited;
  });
  const started = new Promise((resolve, reject) => {
    for (const stream of [child.stdout, child.stderr]) {
      createInterface({ input: stream }).on('line', (line) => {
        lines.push(line);
        const match = line.match(ready);
        if (match) resolve(match[1]);
      });
    }
    exited.then((code) => reject(new Error(`${command} ended (${code}): ${lines.join(' | ')}`)));
  });
  return { child, lines, exited, started };
}

// `tarvex-cli simulate` on a new pseudo-terminal: {path, lines, exited}.
export async function startFixture(context, extraArgs = []) {
  const fixture = startProcess(context, context.cli, ['simulate', ...extraArgs], /listening on (\S+)/);
  return { ...fixture, path: await fixture.started };
}

// The helper's other end of a pseudo-terminal, which reports settings and bytes as they come.
export async function startListener(context) {
  const listener = startProcess(context, context['port-helper'], ['--listen'], /^path (\S+)/);
  return { ...listener, path: await listener.started };
}

export async function startBridge(context, ptyPath, { granted = false } = {}) {
  const bridge = new Bridge({ helperPath: context['port-helper'], ptyPath, ports: [ADAPTER], granted });
  await bridge.start();
  context.cleanup(() => bridge.stop());
  return bridge;
}

export async function serve(context, folder) {
  const server = await serveFolder(folder);
  context.cleanup(server.close);
  return server;
}

export async function closeAfter(context, page) {
  context.cleanup(() => page.close());
  return page;
}

// Resolves with the first bridge entry of `kind` for which `accept` holds.
export function nextEntry(bridge, kind, accept = () => true) {
  return new Promise((resolve) => {
    const listener = (entry) => {
      if (!accept(entry)) return;
      bridge.off(kind, listener);
      resolve(entry);
    };
    bridge.on(kind, listener);
  });
}

export const writesSoFar = (bridge) => bridge.log.filter((entry) => entry.kind === 'write').length;
// Resolves once the bridge has passed on `count` writes in all.
export const afterWrites = (bridge, count) => nextEntry(bridge, 'write', () => writesSoFar(bridge) >= count);
