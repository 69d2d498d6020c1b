// The core's bindings as the page's Worker uses them: how a run ends when an open or a write
// fails or the user stops it, what the run's records then say, and that times keep their
// fractions of a millisecond.   node bindings.mjs CORE_JS SAMPLE_IMAGE
import assert from 'node:assert/strict';
import {readFileSync} from 'node:fs';
import {createRequire} from 'node:module';
import {resolve} from 'node:path';
import {describe, test} from 'node:test';

const [coreJs, samplePath] = process.argv.slice(2);
const core = await createRequire(import.meta.url)(resolve(coreJs))();
const sample = new Uint8Array(readFileSync(samplePath));
const texts = core.texts();

// Runs `plan` as the Worker does on a virtual clock; `fault` picks the open or write (counted
// from 0) that fails, or the write after which the user stops.
function carry(plan, fault = {}) {
  const log = new core.RunLog('0403:6001', plan, 'sample.zfr');
  const shown = [];
  let now = 1000.25;
  let line = null;
  let opens = 0;
  let writes = 0;
  let detail = '';
  let stopped = false;
  for (;;) {
    if (fault.stopAfterWrite !== undefined && writes > fault.stopAfterWrite && !stopped) {
      stopped = true;
      plan.stop();
    }
    const action = plan.next(now);
    if (action.kind === 'finished') {
      const end = log.end(action.outcome, action.text ?? '', detail, now - 1000.25);
      const trace = log.trace().trim().split('\n').map((text) => JSON.parse(text));
      log.delete();
      plan.delete();
      return {action, end, shown, trace, now};
    }
    if (action.kind === 'open' || action.kind === 'reopen') {
      line = action.line;
      const ok = opens++ !== fault.failOpen;
      if (!ok)
        detail = 'Failed to open serial port.';
      plan.opened(ok);
    } else if (action.kind === 'wait') {
      now = Math.max(now, action.untilMs);
    } else if (action.kind === 'write') {
      const count = writes++ === fault.failWrite ? 0 : plan.frame().length;
      if (count === 0)
        detail = 'The device has been lost.';
      log.frame(
          now - 1000.25, action.state, action.name, action.length, line.baudRate, line.parityCode,
          count);
      now += core.wireTimeMs(line.baudRate, line.parityCode, count);
      plan.written(count, now);
    } else if (action.text) {
      shown.push(action.text);
    }
  }
}

describe('a run driven through the bindings', () => {
  const cases = [
    {name: 'completes', fault: {}, outcome: 'Completed', text: texts.complete, word: 'OK'},
    {
      name: 'first open fails',
      fault: {failOpen: 0},
      outcome: 'OpenFailed',
      text: texts.openFail,
      word: 'FAILED',
      reason: `${texts.openFail}: Failed to open serial port.`
    },
    {
      name: 're-open fails',
      fault: {failOpen: 2},
      outcome: 'OpenFailed',
      text: texts.openFail,
      word: 'FAILED',
      reason: `${texts.openFail}: Failed to open serial port.`
    },
    {
      name: 'a block is not taken',
      fault: {failWrite: 7},
      outcome: 'WriteFailed',
      text: texts.writeFail,
      word: 'FAILED',
      reason: `${texts.writeFail}: The device has been lost.`
    },
    {
      name: 'stopped',
      fault: {stopAfterWrite: 4},
      outcome: 'Cancelled',
      text: null,
      word: 'STOPPED',
      reason: 'stopped'
    },
  ];
  for (const c of cases) {
    test(c.name, () => {
      const {action, end, shown, trace} = carry(core.Plan.download(sample, 1.0), c.fault);
      assert.deepEqual([action.outcome, action.text], [c.outcome, c.text]);
      assert.equal(end.word, c.word);
      assert.equal(end.summary.startsWith(`0403:6001: ${c.word}`), true, end.summary);
      const last = trace.at(-1);
      assert.deepEqual([last.record, last.outcome, last.reason], ['end', c.word, c.reason ?? null]);
      assert.equal(
          last.frames_sent, trace.filter((r) => r.record === 'frame' && r.written > 0).length);
      if (c.word !== 'OK')
        assert.ok(!shown.includes(texts.complete), 'a failed run said it completed');
    });
  }

  test(
      'the test code: one frame, and its line is let free to the fraction of a millisecond', () => {
        const plan = core.Plan.test();
        assert.equal(plan.next(500.125).kind, 'open');
        plan.opened(true);
        const write = plan.next(500.125);
        assert.deepEqual([write.kind, write.name, plan.frame().length], ['write', 'TestCode', 16]);
        plan.written(16, 501.875);
        const leave = plan.next(501.9);
        assert.deepEqual([leave.kind, leave.untilMs], ['wait', 501.875]);
        const end = plan.next(502);
        assert.deepEqual([end.kind, end.outcome], ['finished', 'TestSent']);
        plan.delete();
      });

  test('bytes that are not an image make no plan', () => {
    assert.equal(core.Plan.download(new Uint8Array([0x54, 0x45, 0x58, 0x54]), 1.0), null);
    assert.equal(core.Plan.download(sample.subarray(0, sample.length - 1), 1.0), null);
  });
});
