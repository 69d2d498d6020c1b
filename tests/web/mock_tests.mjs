// The stand-in Web Serial and its bridge, proven on a small page of their own (fixtures/): the
// port is chosen in the page and opened in a dedicated Worker, as the real page does.
import assert from 'node:assert/strict';
import { fileURLToPath } from 'node:url';
import { INSECURE_HOST, openTab } from './browser.mjs';
import { afterWrites, closeAfter, serve, startBridge, startListener } from './rig.mjs';

const FIXTURES = fileURLToPath(new URL('./fixtures/', import.meta.url));

// The fixture page on localhost with the mock, and the port chosen by a click.
async function fixturePage(context, bridge) {
  const server = await serve(context, FIXTURES);
  const page = await closeAfter(context, await openTab(context.browser, { bridgeUrl: bridge.url }));
  await page.goto(`http://localhost:${server.port}/`);
  await page.click('#choose-port');
  await page.waitForFunction(() => window.fixture.port || window.fixture.chooseError);
  return page;
}

const runInWorker = (page, steps) => page.evaluate((s) => window.fixture.run(s), steps);

// What has reached the line: [settings, bytes] per change of settings. The test waits for each
// before the next change: a pseudo-terminal reports a change once however many came since the
// last read, and ahead of bytes not yet read.
function arrived(listener) {
  const pairs = [];
  for (const line of listener.lines) {
    const [kind, ...rest] = line.split(' ');
    if (kind === 'settings') pairs.push([rest.join(' '), '']);
    if (kind === 'bytes' && pairs.length > 0) pairs.at(-1)[1] += rest[0];
  }
  return pairs;
}

async function waitArrived(listener, expected) {
  const deadline = Date.now() + 5000;
  while (Date.now() < deadline && arrived(listener).at(-1)?.[1] !== expected.at(-1)[1]) {
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
  return arrived(listener);
}

const SETTINGS_TABLE = [
  // options the Worker opens with, what the pseudo-terminal shows (it cannot tell even from none)
  [{ baudRate: 250000, stopBits: 2 }, '250000 none 2', [0x00, 0x55, 0xff]],
  [{ baudRate: 100000, parity: 'odd' }, '100000 odd 1', [0xaa]],
  [{ baudRate: 140000, parity: 'even' }, '140000 none 1', [0x01, 0x02]],
  [{ baudRate: 115200, parity: 'odd', stopBits: 1 }, '115200 odd 1', [0x7e]],
];

export const mockTests = [
  {
    name: 'mock: a Worker opens the port the page chose, at each setting in turn, bytes intact',
    timeoutMs: 30000,
    async run(context) {
      const listener = await startListener(context);
      const bridge = await startBridge(context, listener.path);
      const page = await fixturePage(context, bridge);
      const expected = [];
      for (const [open, shown, bytes] of SETTINGS_TABLE) {
        const result = await runInWorker(page, [{ open }, { write: bytes }, { close: true }]);
        assert.equal(result.error, undefined);
        expected.push([shown, Buffer.from(bytes).toString('hex')]);
        assert.deepEqual(await waitArrived(listener, expected), expected);
      }
      const opens = bridge.log.filter((entry) => entry.kind === 'open');
      const writes = bridge.log.filter((entry) => entry.kind === 'write');
      SETTINGS_TABLE.forEach(([options, , bytes], index) => {
        assert.equal(writes[index].count, bytes.length);
        assert.equal(writes[index].settings, opens[index].settings);
        assert.equal(opens[index].settings.baudRate, options.baudRate);
        assert.equal(opens[index].settings.dataBits, 8);
        assert.equal(opens[index].settings.flowControl, 'none');
      });
    },
  },
  {
    name: 'mock: a port held by another program fails to open, and is free again once let go',
    timeoutMs: 30000,
    async run(context) {
      const listener = await startListener(context);
      const bridge = await startBridge(context, listener.path);
      const page = await fixturePage(context, bridge);
      await bridge.hold();
      const held = await runInWorker(page, [{ open: { baudRate: 250000 } }]);
      assert.deepEqual(held.error, { name: 'NetworkError', message: 'Failed to open serial port.' });
      bridge.holder.stop();
      await new Promise((resolve) => setTimeout(resolve, 200));
      const free = await runInWorker(page, [{ open: { baudRate: 250000 } }, { close: true }]);
      assert.equal(free.error, undefined);
    },
  },
  {
    name: 'mock: unplugged mid-write, the write fails as the device lost and both contexts hear of it',
    timeoutMs: 30000,
    async run(context) {
      const listener = await startListener(context);
      const bridge = await startBridge(context, listener.path);
      const page = await fixturePage(context, bridge);
      afterWrites(bridge, 20).then(() => bridge.unplug());
      const result = await runInWorker(page, [{ open: { baudRate: 250000 } }, { writeUntilFailure: [1, 2, 3] }]);
      assert.deepEqual(result.error, { name: 'NetworkError', message: 'The device has been lost.' });
      assert.equal(result.disconnects, 1);
      assert.equal(await page.evaluate(() => window.fixture.disconnects), 1);
      const afterwards = await runInWorker(page, [{ open: { baudRate: 250000 } }]);
      assert.equal(afterwards.error?.name, 'TypeError', 'the port is gone from getPorts()');
    },
  },
  {
    name: 'mock: without Web Serial (removed, or a plain-http origin other than localhost)',
    timeoutMs: 30000,
    async run(context) {
      const server = await serve(context, FIXTURES);
      const cases = [
        // [mock config, origin, expected presence]
        [{ withoutSerial: true }, `http://localhost:${server.port}/`, false],
        [null, `http://${INSECURE_HOST}:${server.port}/`, false],
        [null, `http://localhost:${server.port}/`, true],
      ];
      for (const [config, url, present] of cases) {
        const page = await closeAfter(context, await openTab(context.browser, config));
        await page.goto(url);
        const seen = await page.evaluate(async () => [window.fixture.hasSerial, await window.fixture.workerHasSerial()]);
        assert.deepEqual(seen, [present, present], url);
      }
    },
  },
];
