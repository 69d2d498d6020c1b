// A stand-in for the browser's Web Serial, for the page and for its Worker alike. The tests
// evaluate this file, then `installMockSerial(config)`, before any script of the context runs:
//   config.bridgeUrl      the bridge (bridge.mjs) that carries opens, writes and closes to a tty
//   config.withoutSerial  remove Web Serial altogether, as in a browser that has none
// It keeps to the standard surface (navigator.serial, SerialPort) and to the browser's errors,
// so that the page cannot tell it from the real thing; the bridge keeps the ports, which page and
// Worker share, and their permission.
function installMockSerial(config) {
  'use strict';
  const scope = globalThis;
  const navigatorProto = Object.getPrototypeOf(scope.navigator);

  if (config.withoutSerial) {
    delete navigatorProto.serial;
    delete scope.Serial;
    delete scope.SerialPort;
    return;
  }

  const domError = (name, message) => new DOMException(message, name);
  const deviceLost = () => domError('NetworkError', 'The device has been lost.');

  // The socket is made on first use: a Worker held at its start by the debugger cannot open one
  // yet (Chromium stops).
  const pending = new Map();
  let nextId = 1;
  let socket = null;
  let connected = null;

  function connect() {
    socket = new WebSocket(config.bridgeUrl);
    connected = new Promise((resolve, reject) => {
      socket.onopen = resolve;
      socket.onerror = () => reject(domError('NetworkError', 'serial bridge unreachable'));
    });
    socket.addEventListener('message', (message) => hear(JSON.parse(message.data)));
  }

  async function call(op, fields = {}) {
    if (!socket) connect();
    await connected;
    const id = nextId++;
    // When the call was made, on the clock page and Worker share: the bridge judges the page's
    // pace by it, not by when the message happened to arrive.
    const at = performance.timeOrigin + performance.now();
    socket.send(JSON.stringify({ id, op, at, ...fields }));
    const answer = await new Promise((resolve) => pending.set(id, resolve));
    if (answer.error) throw domError(answer.error.name, answer.error.message);
    return answer;
  }

  // The event reaches the port's listeners, then navigator.serial's, with the port as target.
  function fire(type, port) {
    for (const target of [port, serial]) {
      const event = new Event(type, { bubbles: true });
      Object.defineProperty(event, 'target', { value: port });
      target.dispatchEvent(event);
      const handler = target[`on${type}`];
      if (typeof handler === 'function') handler.call(target, event);
    }
  }

  const PARITIES = ['none', 'even', 'odd'];
  const FLOW_CONTROLS = ['none', 'hardware'];

  function checkedOptions(options) {
    const settings = {
      baudRate: options?.baudRate,
      dataBits: options?.dataBits ?? 8,
      stopBits: options?.stopBits ?? 1,
      parity: options?.parity ?? 'none',
      flowControl: options?.flowControl ?? 'none',
      bufferSize: options?.bufferSize ?? 255,
    };
    const valid =
      Number.isInteger(settings.baudRate) &&
      settings.baudRate > 0 &&
      [7, 8].includes(settings.dataBits) &&
      [1, 2].includes(settings.stopBits) &&
      PARITIES.includes(settings.parity) &&
      FLOW_CONTROLS.includes(settings.flowControl);
    if (!valid) throw new TypeError(`Failed to execute 'open' on 'SerialPort': ${JSON.stringify(options)}`);
    return settings;
  }

  function asBytes(chunk) {
    if (chunk instanceof ArrayBuffer) return new Uint8Array(chunk);
    if (ArrayBuffer.isView(chunk)) return new Uint8Array(chunk.buffer, chunk.byteOffset, chunk.byteLength);
    throw new TypeError('Failed to write: the chunk is not an ArrayBuffer or a view of one');
  }

  const hex = (bytes) => Array.from(bytes, (byte) => byte.toString(16).padStart(2, '0')).join('');

  class SerialPort extends EventTarget {
    #key;
    #info;
    #opened = false;
    #lost = false;
    #whenLost;
    #markLost;
    #readable = null;
    #writable = null;
    #controllers = [];

    constructor(key, info) {
      super();
      this.#key = key;
      this.#info = info;
      this.#whenLost = new Promise((resolve, reject) => (this.#markLost = reject));
      this.#whenLost.catch(() => {});
      this.onconnect = null;
      this.ondisconnect = null;
    }

    get connected() {
      return !this.#lost;
    }
    get readable() {
      return this.#readable;
    }
    get writable() {
      return this.#writable;
    }

    getInfo() {
      return { ...this.#info };
    }

    async open(options) {
      if (this.#opened) throw domError('InvalidStateError', 'The port is already open.');
      const settings = checkedOptions(options);
      if (this.#lost) throw domError('NetworkError', 'Failed to open serial port.');
      await call('open', { key: this.#key, options: settings });
      this.#opened = true;
      this.#makeStreams();
    }

    async close() {
      if (!this.#opened) throw domError('InvalidStateError', 'The port is already closed.');
      if (this.#writable.locked || this.#readable.locked) {
        throw new TypeError("Failed to execute 'close' on 'SerialPort': Cannot cancel a locked stream");
      }
      this.#opened = false;
      this.#readable = null;
      this.#writable = null;
      if (!this.#lost) await call('close', { key: this.#key });
    }

    async forget() {}

    // The bridge says the adapter went: writes in progress and to come fail, streams error, and
    // everyone hears of it.
    lose() {
      this.#lost = true;
      this.#markLost(deviceLost());
      for (const controller of this.#controllers) controller.error(deviceLost());
      fire('disconnect', this);
    }

    #makeStreams() {
      const port = this;
      this.#controllers = [];
      this.#readable = new ReadableStream({
        start: (controller) => void this.#controllers.push(controller),
      });
      this.#writable = new WritableStream({
        start: (controller) => void this.#controllers.push(controller),
        async write(chunk) {
          const bytes = asBytes(chunk);
          if (port.#lost) throw deviceLost();
          await Promise.race([call('write', { key: port.#key, hex: hex(bytes) }), port.#whenLost]);
        },
      });
    }
  }

  const ports = new Map(); // one object per port in this context, as the browser keeps them
  const portFor = ({ key, info }) => {
    if (!ports.has(key)) ports.set(key, new SerialPort(key, info));
    return ports.get(key);
  };

  class Serial extends EventTarget {
    constructor() {
      super();
      this.onconnect = null;
      this.ondisconnect = null;
    }

    async getPorts() {
      const answer = await call('ports');
      return answer.ports.map(portFor);
    }
  }

  // Only a window may ask the user for a port, and only on a gesture.
  class WindowSerial extends Serial {
    async requestPort(options = {}) {
      if (!navigator.userActivation?.isActive) {
        throw domError(
          'SecurityError',
          "Failed to execute 'requestPort' on 'Serial': Must be handling a user gesture to show a permission request.",
        );
      }
      const answer = await call('request', { filters: options.filters ?? [] });
      return portFor(answer.port);
    }
  }

  const serial = typeof scope.window === 'undefined' ? new Serial() : new WindowSerial();
  function hear(answer) {
    if (answer.event === 'disconnect') {
      ports.get(answer.key)?.lose();
      return;
    }
    pending.get(answer.id)?.(answer);
    pending.delete(answer.id);
  }
  Object.defineProperty(navigatorProto, 'serial', { get: () => serial, configurable: true });
  scope.SerialPort = SerialPort;
  scope.Serial = Serial;
}
