// Runs the browser tests one after the other, each under its own time limit, never twice. The
// closing line is "N passed, N failed"; the exit status is 1 when one failed, 77 when the page
// to test has not been built.
import { existsSync } from 'node:fs';
import { join } from 'node:path';
import { parseArgs } from 'node:util';
import { launchBrowser } from './browser.mjs';
import { mockTests } from './mock_tests.mjs';
import { pageTests } from './page_tests.mjs';

const { values: options } = parseArgs({
  options: {
    cli: { type: 'string' },
    'port-helper': { type: 'string' },
    sample: { type: 'string' },
    page: { type: 'string' },
    only: { type: 'string' }, // mock | page
    filter: { type: 'string' }, // a part of the test names to run
  },
});

function withTimeout(promise, ms) {
  let timer;
  const expired = new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(`timed out after ${ms / 1000} s`)), ms);
  });
  return Promise.race([promise, expired]).finally(() => clearTimeout(timer));
}

async function main() {
  const groups = { mock: mockTests, page: pageTests };
  const wanted = options.only ? [options.only] : Object.keys(groups);
  if (wanted.includes('page') && !existsSync(join(options.page ?? '', 'index.html'))) {
    console.log(`the page is not built (${options.page}/index.html missing): scripts/build wasm`);
    if (wanted.length === 1) return 77;
    wanted.splice(wanted.indexOf('page'), 1);
  }
  const tests = wanted
    .flatMap((group) => groups[group])
    .filter((test) => !options.filter || test.name.includes(options.filter));
  const browser = await launchBrowser();
  let passed = 0;
  let failed = 0;
  for (const test of tests) {
    const started = Date.now();
    const cleanups = [];
    const context = { ...options, browser, cleanup: (fn) => cleanups.unshift(fn) };
    try {
      await withTimeout(test.run(context), test.timeoutMs);
      passed++;
      console.log(`PASS ${test.name} (${((Date.now() - started) / 1000).toFixed(1)} s)`);
    } catch (error) {
      failed++;
      console.log(`FAIL ${test.name}: ${error.stack ?? error}`);
    }
    for (const fn of cleanups) await fn().catch((error) => console.log(`    cleanup: ${error.message}`));
  }
  await browser.close();
  console.log(`${passed} passed, ${failed} failed`);
  return failed === 0 ? 0 : 1;
}

process.exitCode = await main();
