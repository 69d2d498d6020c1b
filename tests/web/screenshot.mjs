// The README's picture of the page: the sample chosen, the port chosen, a download under way
// into a pseudo-terminal (through the stand-in Web Serial).
//   node screenshot.mjs --page DIR --port-helper PATH --sample FILE --out PNG
import { parseArgs } from 'node:util';
import { launchBrowser, openTab } from './browser.mjs';
import { afterWrites, serve, startBridge, startListener } from './rig.mjs';

const { values: options } = parseArgs({
  options: { page: { type: 'string' }, 'port-helper': { type: 'string' }, sample: { type: 'string' }, out: { type: 'string' } },
});
const cleanups = [];
const context = { ...options, cleanup: (fn) => cleanups.unshift(fn) };
const browser = await launchBrowser();
try {
  const listener = await startListener(context);
  const bridge = await startBridge(context, listener.path);
  const server = await serve(context, options.page);
  const tab = await openTab(browser, { bridgeUrl: bridge.url });
  await tab.setViewport({ width: 820, height: 640, deviceScaleFactor: 1 });
  await tab.goto(`http://localhost:${server.port}/`);
  await tab.waitForFunction(() => window.tarvexReady === true);
  await (await tab.$('#image')).uploadFile(options.sample);
  await tab.click('#choose-port');
  await tab.waitForFunction(() => !document.querySelector('#download').disabled);
  await tab.click('#download');
  await afterWrites(bridge, 6);
  await new Promise((resolve) => setTimeout(resolve, 500));
  await tab.screenshot({ path: options.out, fullPage: true });
  console.log(`wrote ${options.out}`);
} finally {
  await browser.close();
  for (const fn of cleanups) await fn();
}
