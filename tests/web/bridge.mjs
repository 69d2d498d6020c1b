// The far side of the stand-in Web Serial (mock_serial.js): a WebSocket server on localhost that
// carries each open, write and close to a pseudo-terminal through the native helper
// (pty_port.cpp), at the settings the page asked for. It behaves as a UART would: a write is
// answered once the tty has taken the bytes, and a close or a new open waits until the bytes
// written have had their time on the wire. It keeps a log so that tests can check the settings
// and the pace.
import { spawn } from 'node:child_process';
import { EventEmitter } from 'node:events';
import { performance } from 'node:perf_hooks';
import { createInterface } from 'node:readline';
import { WebSocketServer } from 'ws';

const OPEN_FAILED = { name: 'NetworkError', message: 'Failed to open serial port.' };
const DEVICE_LOST = { name: 'NetworkError', message: 'The device has been lost.' };

export function wireTimeMs(byteCount, settings) {
  const bits = 1 + settings.dataBits + (settings.parity === 'none' ? 0 : 1) + settings.stopBits;
  return (byteCount * bits * 1000) / settings.baudRate;
}

// One helper process: commands go out one at a time, answers come back in order.
class Helper {
  constructor(path) {
    this.child = spawn(path, [], { stdio: ['pipe', 'pipe', 'inherit'] });
    this.waiting = [];
    this.queue = Promise.resolve();
    createInterface({ input: this.child.stdout }).on('line', (line) => this.waiting.shift()?.(line));
  }

  command(line) {
    const answer = this.queue.then(
      () =>
        new Promise((resolve) => {
          this.waiting.push(resolve);
          this.child.stdin.write(`${line}\n`);
        }),
    );
    this.queue = answer;
    return answer.then((text) => ({ ok: text === 'ok', text }));
  }

  stop() {
    this.child.stdin.end();
  }
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, Math.max(0, ms)));

export class Bridge extends EventEmitter {
  // ports: [{usbVendorId, usbProductId}], all wired to the one pseudo-terminal `ptyPath`.
  // granted: whether the page already has permission for them (getPorts() lists them).
  constructor({ helperPath, ptyPath, ports, granted = false }) {
    super();
    this.helperPath = helperPath;
    this.ptyPath = ptyPath;
    this.ports = ports.map((info, index) => ({ key: `port${index}`, info, granted, present: true }));
    this.helper = new Helper(helperPath);
    this.holder = null;
    this.owner = null; // the client that has the line open
    this.settings = null;
    this.lineFree = 0;
    // The same on the page's clock, from when the page made its calls: a close the page makes
    // before this is the page's fault, whatever the messages' delays.
    this.pageLineFree = 0;
    this.log = [];
    this.clients = new Set();
  }

  async start() {
    this.server = new WebSocketServer({ host: '127.0.0.1', port: 0 });
    await new Promise((resolve) => this.server.once('listening', resolve));
    this.server.on('connection', (socket) => this.accept(socket));
    this.url = `ws://127.0.0.1:${this.server.address().port}`;
    return this.url;
  }

  async stop() {
    for (const socket of this.clients) socket.terminate();
    await new Promise((resolve) => this.server.close(resolve));
    this.helper.stop();
    this.holder?.stop();
  }

  // Another program takes the line, so that the page's next open fails.
  async hold() {
    this.holder = new Helper(this.helperPath);
    const held = await this.holder.command(`open ${this.ptyPath} 9600 none 1`);
    if (!held.ok) throw new Error(`could not hold ${this.ptyPath}: ${held.text}`);
  }

  // The adapter is pulled out: the line goes, every context hears of it.
  async unplug(index = 0) {
    const port = this.ports[index];
    port.present = false;
    this.record({ kind: 'unplug', port: port.key });
    if (this.owner) {
      this.owner = null;
      await this.helper.command('close');
    }
    this.broadcast({ event: 'disconnect', key: port.key });
  }

  record(entry) {
    const full = { t: performance.now(), ...entry };
    this.log.push(full);
    this.emit(entry.kind, full);
    return full;
  }

  broadcast(message) {
    const text = JSON.stringify(message);
    for (const socket of this.clients) socket.send(text);
  }

  accept(socket) {
    this.clients.add(socket);
    socket.on('message', async (data) => {
      const request = JSON.parse(data.toString());
      let answer;
      try {
        answer = await this.handle(socket, request);
      } catch (error) {
        answer = { error: { name: 'NetworkError', message: String(error.message ?? error) } };
      }
      if (socket.readyState === socket.OPEN) socket.send(JSON.stringify({ id: request.id, ...answer }));
    });
    // A context that goes away closes what it had open, as the browser does.
    socket.on('close', () => {
      this.clients.delete(socket);
      if (this.owner === socket) this.closeLine('context gone');
    });
  }

  visible() {
    return this.ports.filter((port) => port.present && port.granted);
  }

  async handle(socket, request) {
    const port = this.ports.find((candidate) => candidate.key === request.key);
    switch (request.op) {
      case 'ports':
        return { ports: this.visible().map(({ key, info }) => ({ key, info })) };
      case 'request':
        return this.request(request.filters ?? []);
      case 'open':
        return this.open(socket, port, request.options);
      case 'write':
        return this.write(socket, port, request.hex, request.at);
      case 'close':
        return this.close(socket, port, request.at);
      default:
        return { error: { name: 'NotSupportedError', message: `unknown request ${request.op}` } };
    }
  }

  request(filters) {
    const matches = (info) =>
      filters.length === 0 ||
      filters.some(
        (filter) =>
          (filter.usbVendorId === undefined || filter.usbVendorId === info.usbVendorId) &&
          (filter.usbProductId === undefined || filter.usbProductId === info.usbProductId),
      );
    const port = this.ports.find((candidate) => candidate.present && matches(candidate.info));
    if (!port) return { error: { name: 'NotFoundError', message: 'No port selected by the user.' } };
    port.granted = true;
    this.record({ kind: 'request', port: port.key });
    return { port: { key: port.key, info: port.info } };
  }

  async open(socket, port, options) {
    const settings = { ...options };
    const entry = this.record({ kind: 'open', port: port?.key, settings, ok: false });
    if (!port?.present) return { error: OPEN_FAILED };
    if (this.owner || settings.dataBits !== 8) {
      // Held by another context, or a setting the line cannot take.
      entry.reason = this.owner ? 'already open' : 'unsupported data bits';
      return { error: OPEN_FAILED };
    }
    // The last close may have come before the wire was free; the UART finishes first.
    await sleep(this.lineFree - performance.now());
    const opened = await this.helper.command(
      `open ${this.ptyPath} ${settings.baudRate} ${settings.parity} ${settings.stopBits}`,
    );
    if (!opened.ok) {
      entry.reason = opened.text;
      return { error: OPEN_FAILED };
    }
    entry.ok = true;
    this.owner = socket;
    this.settings = settings;
    return {};
  }

  async write(socket, port, hex, at) {
    if (!port?.present || this.owner !== socket) return { error: DEVICE_LOST };
    const received = performance.now();
    const count = hex.length / 2;
    const written = await this.helper.command(`write ${hex}`);
    if (!written.ok) return { error: DEVICE_LOST };
    const taken = performance.now();
    const start = Math.max(received, this.lineFree);
    this.lineFree = start + wireTimeMs(count, this.settings);
    this.pageLineFree = Math.max(at, this.pageLineFree) + wireTimeMs(count, this.settings);
    this.record({ kind: 'write', port: port.key, count, received, taken, lineFree: this.lineFree, settings: this.settings });
    return {};
  }

  async close(socket, port, at) {
    if (this.owner !== socket) return port?.present ? {} : { error: DEVICE_LOST };
    await this.closeLine('close', this.pageLineFree - at);
    return {};
  }

  // `pageEarly`: how long before the line was free the page asked for the close, when it did.
  async closeLine(why, pageEarly) {
    const early = this.lineFree - performance.now();
    this.record({ kind: 'close', why, earlyMs: Math.max(0, pageEarly ?? early) });
    this.owner = null;
    await sleep(early);
    await this.helper.command('close');
  }
}
