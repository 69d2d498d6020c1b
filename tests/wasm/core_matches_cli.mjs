// The page's core (WebAssembly) held against the native tarvex-cli built from the same tree: for
// the sample and every test image, the same verdict and facts as `info --json`, and for each good
// image the same frames, line settings and waits as a native download's trace (`demo --trace`).
//   node core_matches_cli.mjs CORE_JS TARVEX_CLI IMAGE_OR_FOLDER...
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import {existsSync, mkdtempSync, readdirSync, readFileSync, rmSync, statSync} from 'node:fs';
import {createRequire} from 'node:module';
import {tmpdir} from 'node:os';
import {basename, dirname, join, resolve} from 'node:path';
import {after, describe, test} from 'node:test';

const [coreJs, cli, ...inputs] = process.argv.slice(2);
if (!existsSync(cli)) {
  console.log(`skipped: no native ${cli} (build preset default first)`);
  process.exit(77);
}
const core = await createRequire(import.meta.url)(resolve(coreJs))();

// Waits are scaled down so that a native download of each image takes seconds.
const TIME_SCALE = 0.05;
// A native frame may start this much after its planned gap (a loaded machine, a pty); never
// earlier than the plan's whole milliseconds allow.
const LATE_MAX_MS = 250;

const images = inputs.flatMap(
    (input) => statSync(input).isDirectory() ? readdirSync(input)
                                                   .filter((name) => name.endsWith('.zfr'))
                                                   .sort()
                                                   .map((name) => join(input, name)) :
                                               [input],
);
const work = mkdtempSync(join(tmpdir(), 'tarvex-wasm-'));
after(() => rmSync(work, {recursive: true, force: true}));

function nativeInfo(path) {
  try {
    return JSON.parse(
        execFileSync(cli, ['info', '--json', path], {stdio: ['ignore', 'pipe', 'ignore']}));
  } catch (error) {
    return JSON.parse(error.stdout);  // a rejected image exits 3 with its verdict on stdout
  }
}

function nativeTrace(path) {
  const trace = join(work, 'trace.jsonl');
  execFileSync(cli, ['demo', path, '--trace', trace, '--time-scale', String(TIME_SCALE), '-q'], {
    stdio: 'ignore',
    timeout: 120000,
  });
  return readFileSync(trace, 'utf8').trim().split('\n').map((line) => JSON.parse(line));
}

// The plan run as the Worker runs it, on a virtual clock where every write takes its wire time.
function plannedFrames(bytes) {
  const plan = core.Plan.download(bytes, TIME_SCALE);
  const frames = [];
  let now = 0;
  let line = null;
  for (let action = plan.next(now); action.kind !== 'finished'; action = plan.next(now)) {
    if (action.kind === 'open' || action.kind === 'reopen') {
      line = action.line;
      plan.opened(true);
    } else if (action.kind === 'wait') {
      now = Math.max(now, action.untilMs);
    } else if (action.kind === 'write') {
      const bytesOut = plan.frame();
      frames.push({
        at: now,
        state: action.state,
        frame: action.name,
        length: bytesOut.length,
        bytes: Buffer.from(bytesOut),
        settings: line.settings,
        baud: line.baudRate,
        parity: line.parity,
        stop_bits: line.stopBits
      });
      now += core.wireTimeMs(line.baudRate, line.parityCode, bytesOut.length);
      plan.written(bytesOut.length, now);
    }
  }
  plan.delete();
  return frames;
}

describe('the core in WebAssembly and the native CLI', () => {
  for (const path of images) {
    const name = `${basename(dirname(path))}/${basename(path)}`;
    const bytes = new Uint8Array(readFileSync(path));
    const wasm = core.checkImage(bytes);
    const native = nativeInfo(path);

    test(`${name}: the same verdict and facts as info --json`, () => {
      assert.equal(wasm.ok, native.ok);
      if (!native.ok) {
        assert.deepEqual([wasm.reason, wasm.message], [native.reason, native.message]);
        return;
      }
      assert.deepEqual(
          [
            wasm.model, wasm.needsWake, wasm.payloadLength, wasm.crc, wasm.dataSteps,
            wasm.durationMs
          ],
          [
            native.model, native.needs_wake, native.payload_length, native.image_crc,
            native.data_steps, native.estimated_duration_ms
          ],
      );
      assert.deepEqual(
          wasm.segments.map((row) => [row.fileOffset, row.targetAddress, row.length]),
          native.segments.map((row) => [row.file_offset, row.target_address, row.length]),
      );
    });

    if (!native.ok)
      continue;
    test(`${name}: every byte of every segment goes out, in order, from the image`, () => {
      const blocks = plannedFrames(bytes).filter((frame) => frame.frame === 'BlockFrame');
      const data = wasm.segments.map(
          (row) => Buffer.from(bytes.subarray(row.fileOffset, row.fileOffset + row.length)));
      const dataBytes = data.reduce((sum, segment) => sum + segment.length, 0);
      const overhead =
          (blocks.reduce((sum, block) => sum + block.length, 0) - dataBytes) / blocks.length;
      assert.ok(Number.isInteger(overhead) && overhead > 0, `block overhead ${overhead}`);
      let segment = 0;
      let offset = 0;
      for (const [i, block] of blocks.entries()) {
        while (offset === data[segment].length)
          [segment, offset] = [segment + 1, 0];
        const chunk = data[segment].subarray(offset, offset + block.length - overhead);
        assert.ok(
            block.bytes.indexOf(chunk) >= 0,
            `block ${i} lacks segment ${segment + 1}'s bytes from ${offset}`);
        offset += chunk.length;
      }
      assert.equal(segment, data.length - 1);
    });
    test(`${name}: the same frames, settings and waits as a native download`, () => {
      const planned = plannedFrames(bytes);
      const records = nativeTrace(path);
      const sent = records.filter((record) => record.record === 'frame');
      assert.equal(records.at(-1).outcome, 'OK');
      const fields = (frame) =>
          [frame.state, frame.frame, frame.length, frame.settings, frame.baud, frame.parity,
           frame.stop_bits];
      assert.deepEqual(sent.map(fields), planned.map(fields));
      for (let i = 1; i < sent.length; i++) {
        const plannedGap = planned[i].at - planned[i - 1].at;
        const gap = sent[i].t_ms - sent[i - 1].t_ms;
        const where = `before frame ${i} (${sent[i].frame}): native ${gap} ms, planned ${
            plannedGap.toFixed(3)} ms`;
        assert.ok(gap >= Math.floor(plannedGap) - 1, `early ${where}`);
        assert.ok(gap <= plannedGap + LATE_MAX_MS, `late ${where}`);
      }
    });
  }
});
