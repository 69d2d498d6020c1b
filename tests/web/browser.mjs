// Headless Debian Chromium through puppeteer-core, with the stand-in Web Serial put in place
// before any script of a page or of its dedicated Workers runs.
import { readFileSync } from 'node:fs';
import puppeteer from 'puppeteer-core';

const MOCK_SOURCE = readFileSync(new URL('./mock_serial.js', import.meta.url), 'utf8');
// Pages served under this name are on plain http and not on localhost: no Web Serial there.
export const INSECURE_HOST = 'tarvex.test';

export function mockScript(config) {
  return `${MOCK_SOURCE}\ninstallMockSerial(${JSON.stringify(config)});`;
}

export async function launchBrowser() {
  const args = ['--headless=new', `--host-resolver-rules=MAP ${INSECURE_HOST} 127.0.0.1`];
  // Chromium's sandbox refuses to start as root.
  if (process.getuid?.() === 0) args.push('--no-sandbox');
  return puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    dumpio: Boolean(process.env.TARVEX_WEB_DUMPIO), // the browser's own output, when debugging
    args,
  });
}

// Every dedicated Worker of the page starts paused; the mock goes in, then it runs.
async function mockWorkers(page, script) {
  const session = await page.createCDPSession();
  const connection = session.connection();
  session.on('Target.attachedToTarget', async ({ sessionId, targetInfo, waitingForDebugger }) => {
    const worker = connection.session(sessionId);
    if (!worker) return;
    try {
      if (targetInfo.type === 'worker') {
        await worker.send('Runtime.evaluate', { expression: script });
      }
    } finally {
      if (waitingForDebugger) await worker.send('Runtime.runIfWaitingForDebugger').catch(() => {});
    }
  });
  await session.send('Target.setAutoAttach', {
    autoAttach: true,
    waitForDebuggerOnStart: true,
    flatten: true,
  });
}

// A new tab with the mock in the page and its Workers; `config` goes to installMockSerial(), or
// null for a tab left as the browser made it.
export async function openTab(browser, config) {
  const page = await browser.newPage();
  page.on('pageerror', (error) => console.log(`    page error: ${error.message}`));
  if (config) {
    const script = mockScript(config);
    await page.evaluateOnNewDocument(script);
    await mockWorkers(page, script);
  }
  return page;
}
