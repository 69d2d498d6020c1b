// The page itself (build-wasm/web), with the stand-in Web Serial bridged to `tarvex-cli simulate`:
// the sample at the real pace, Cancel, an unplug, a port held elsewhere, no Web Serial, and
// files that are not images.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { INSECURE_HOST, openTab } from './browser.mjs';
import { afterWrites, closeAfter, nextEntry, serve, startBridge, startFixture, startListener, writesSoFar } from './rig.mjs';

const COMPLETE = 'Download Complete!';
// Set before the page's scripts: when the page became ready, and every status it showed.
const RECORDER = `
  let ready = false;
  Object.defineProperty(window, 'tarvexReady', {
    configurable: true,
    get: () => ready,
    set(value) {
      if (value && !ready) window.tarvexReadyAtMs = performance.now();
      ready = value;
    },
  });
  window.tarvexStatuses = [];
  document.addEventListener('DOMContentLoaded', () => {
    const status = document.getElementById('status');
    new MutationObserver(() => window.tarvexStatuses.push(status.textContent)).observe(status, {
      childList: true, characterData: true, subtree: true,
    });
  });`;

// The page, ready, with the mock (unless `config` is null) and the recorder.
async function openPage(context, bridge, { config = { bridgeUrl: bridge?.url }, host = 'localhost' } = {}) {
  const server = await serve(context, context.page);
  const tab = await closeAfter(context, await openTab(context.browser, config));
  await tab.evaluateOnNewDocument(RECORDER);
  await tab.goto(`http://${host}:${server.port}/`);
  await tab.waitForFunction(() => window.tarvexReady === true, { timeout: 10000 });
  return tab;
}

async function choose(tab, imagePath) {
  await (await tab.$('#image')).uploadFile(imagePath);
  await tab.click('#choose-port');
  await tab.waitForFunction(() => document.querySelector('#port-info').textContent === '0403:6001');
  await tab.waitForFunction(() => !document.querySelector('#download').disabled);
}

const text = (tab, selector) => tab.$eval(selector, (element) => element.textContent);
const lastRun = (tab, timeout) =>
  tab.waitForFunction(() => window.tarvexLastRun, { timeout, polling: 200 }).then(() =>
    tab.evaluate(() => window.tarvexLastRun),
  );

// How late the Worker's waits fired: none may be early.
function lateness(waits) {
  const late = waits.map((wait) => wait.firedMs - wait.deadlineMs).sort((a, b) => a - b);
  const at = (share) => late[Math.min(late.length - 1, Math.floor(share * late.length))];
  return { count: late.length, early: late.filter((ms) => ms < 0).length, median: at(0.5), p99: at(0.99), worst: late.at(-1) };
}

const describe = (figures) =>
  `${figures.count} waits, median ${figures.median.toFixed(2)} ms, p99 ${figures.p99.toFixed(2)} ms, ` +
  `worst ${figures.worst.toFixed(2)} ms late, ${figures.early} early`;

// Web Serial cannot drain: the page must wait out each frame's wire time before a close. Allowed:
// how much later the bridge hears of a write than the page began it. Returns the earliest.
function assertNoEarlyClose(bridge) {
  const closes = bridge.log.filter((entry) => entry.kind === 'close');
  const earliest = Math.max(0, ...closes.map((entry) => entry.earlyMs));
  assert.ok(earliest <= 2, `a close came ${earliest.toFixed(2)} ms before the line was free`);
  return earliest;
}

// The page on a bridge to the pseudo-terminal at `linePath`, with the sample chosen.
async function pageWithSample(context, linePath) {
  const bridge = await startBridge(context, linePath);
  const tab = await openPage(context, bridge);
  await choose(tab, context.sample);
  return { bridge, tab };
}

// A whole sample download into the simulated fixture at the real pace; with `background`, a
// second tab is put in front once it runs.
async function downloadSample(context, { background }) {
  const fixture = await startFixture(context, ['--timeout', '200']);
  const { bridge, tab } = await pageWithSample(context, fixture.path);
  await tab.click('#download');
  let hidden = null;
  if (background) {
    await afterWrites(bridge, 3);
    const front = await closeAfter(context, await context.browser.newPage());
    await front.bringToFront();
    hidden = await tab.evaluate(() => document.visibilityState);
  }
  const run = await lastRun(tab, 180000);
  const code = await fixture.exited;
  assert.ok(fixture.lines.includes('Verdict: received intact'), fixture.lines.join('\n'));
  assert.equal(code, 0);
  assert.equal(run.outcome, 'OK');
  assert.equal(await text(tab, '#summary'), 'OK');
  assert.ok((await tab.evaluate(() => window.tarvexStatuses)).includes(COMPLETE));
  const earliest = assertNoEarlyClose(bridge);
  const figures = lateness(run.waits);
  assert.equal(figures.early, 0, describe(figures));
  return { figures, hidden, earliest, readyMs: await tab.evaluate(() => window.tarvexReadyAtMs), frames: run.frames };
}

// A download stopped after `writes` frames by `interrupt`, which returns what to expect.
async function interruptedDownload(context, writes, interrupt) {
  const fixture = await startFixture(context);
  const { bridge, tab } = await pageWithSample(context, fixture.path);
  await tab.click('#download');
  await afterWrites(bridge, writes);
  await interrupt(tab, bridge);
  const run = await lastRun(tab, 30000);
  const statuses = await tab.evaluate(() => window.tarvexStatuses);
  assert.ok(!statuses.includes(COMPLETE), statuses.join(' | '));
  assert.notEqual(await text(tab, '#status'), COMPLETE);
  // Nothing goes out once the run has ended, and the port is closed.
  await new Promise((resolve) => setTimeout(resolve, 300));
  assert.equal(bridge.owner, null, 'the port is still open');
  assert.equal(bridge.log.at(-1).kind === 'write', false);
  return { tab, bridge, run };
}

// The reason tarvex-cli gives for an image it refuses.
function cliReason(context, path) {
  const info = spawnSync(context.cli, ['info', path], { encoding: 'utf8' });
  assert.notEqual(info.status, 0);
  return info.stderr.trim().split(`${path}: `)[1];
}

const figures = {};

export const pageTests = [
  {
    name: 'page: the sample downloads into the simulated fixture, received intact at the real pace',
    timeoutMs: 240000,
    async run(context) {
      figures.front = await downloadSample(context, { background: false });
      console.log(`    page ready ${figures.front.readyMs.toFixed(0)} ms after navigation`);
      console.log(`    front tab: ${figures.front.frames} frames, ${describe(figures.front.figures)}`);
      console.log(`    closes before the line was free: at most ${figures.front.earliest.toFixed(2)} ms`);
    },
  },
  {
    name: 'page: in a background tab the download keeps its pace',
    timeoutMs: 240000,
    async run(context) {
      const behind = await downloadSample(context, { background: true });
      console.log(`    background tab (${behind.hidden}): ${describe(behind.figures)}`);
      if (figures.front) console.log(`    front tab was: ${describe(figures.front.figures)}`);
      assert.equal(behind.hidden, 'hidden', 'the tab was not put behind another');
      assert.ok(behind.figures.worst <= 50, 'the background tab held up a wait past 50 ms');
    },
  },
  {
    name: 'page: Cancel asks STOP?, goes on when refused, stops when accepted, never complete',
    timeoutMs: 60000,
    async run(context) {
      const questions = [];
      const { run, tab, bridge } = await interruptedDownload(context, 4, async (page, bridge) => {
        assert.equal(await text(page, '#download'), 'Cancel');
        page.once('dialog', (dialog) => questions.push(dialog.message()) && dialog.dismiss());
        await page.click('#download');
        // Accepted right after a long frame is taken: the port must not close before it has left.
        const refusedAt = writesSoFar(bridge);
        await nextEntry(bridge, 'write', (entry) => writesSoFar(bridge) > refusedAt && entry.count >= 1000);
        page.once('dialog', (dialog) => questions.push(dialog.message()) && dialog.accept());
        await page.click('#download');
      });
      assert.deepEqual(questions, ['STOP?', 'STOP?']);
      // The CLI's word for a run stopped by the user.
      assert.equal(run.outcome, 'STOPPED');
      assert.match(await text(tab, '#summary'), /^STOPPED/);
      assertNoEarlyClose(bridge);
    },
  },
  {
    name: 'page: the adapter unplugged mid-download fails with the reason',
    timeoutMs: 60000,
    async run(context) {
      const { run, tab } = await interruptedDownload(context, 6, (page, bridge) => bridge.unplug());
      assert.equal(run.outcome, 'FAILED');
      const summary = await text(tab, '#summary');
      console.log(`    ${summary}`);
      assert.match(summary, /^FAILED: \S/);
    },
  },
  {
    name: 'page: a port held by another program fails with a clear message',
    timeoutMs: 60000,
    async run(context) {
      const listener = await startListener(context);
      const { bridge, tab } = await pageWithSample(context, listener.path);
      await bridge.hold();
      await tab.click('#download');
      const run = await lastRun(tab, 30000);
      const summary = await text(tab, '#summary');
      console.log(`    ${summary}`);
      assert.equal(run.outcome, 'FAILED');
      assert.match(summary, /another program/);
      assert.equal(listener.lines.filter((line) => line.startsWith('bytes')).length, 0);
    },
  },
  {
    name: 'page: without Web Serial it says which browsers work and offers no port or download',
    timeoutMs: 60000,
    async run(context) {
      const listener = await startListener(context);
      const bridge = await startBridge(context, listener.path);
      // Web Serial removed; and a plain-http origin other than localhost, where browsers hide it.
      for (const options of [{ config: { withoutSerial: true } }, { config: null, host: INSECURE_HOST }]) {
        const tab = await openPage(context, bridge, options);
        const error = await tab.$eval('#error', (element) => (element.hidden ? '' : element.textContent));
        assert.match(error, /Chrome.*Edge/, JSON.stringify(options));
        for (const id of ['#choose-port', '#download', '#test']) {
          assert.ok(await tab.$eval(id, (button) => button.disabled), `${id} enabled`);
        }
      }
    },
  },
  {
    name: 'page: a file that is not a good image is refused with the core reason, the image kept',
    timeoutMs: 60000,
    async run(context) {
      const listener = await startListener(context);
      const { tab } = await pageWithSample(context, listener.path);
      const model = await text(tab, '#model');
      const folder = mkdtempSync(join(tmpdir(), 'tarvex-web-'));
      const damaged = readFileSync(context.sample);
      damaged[damaged.length - 1] ^= 0xff;
      for (const [name, bytes] of [['short.zfr', Buffer.from('junk')], ['damaged.zfr', damaged]]) {
        const path = join(folder, name);
        writeFileSync(path, bytes);
        await (await tab.$('#image')).uploadFile(path);
        await tab.waitForFunction((n) => document.querySelector('#error').textContent.startsWith(n), {}, name);
        assert.equal(await text(tab, '#error'), `${name}: ${cliReason(context, path)}`);
        assert.equal(await text(tab, '#model'), model);
        assert.equal(await tab.$eval('#download', (button) => button.disabled), false);
      }
    },
  },
];
