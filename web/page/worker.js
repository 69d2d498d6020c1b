// The download's driver. The plan (the core, in WebAssembly) says what to do next; this Worker
// carries it out on Web Serial (open, wait, write, close) and tells the plan how it went. It runs
// apart from the page so that drawing and a background tab do not hold up the pacing.
'use strict';
importScripts('tarvex-core.js');

let core = null;
let run = null;  // the run going on: {stopRequested, portLost, wake}

// Waits until performance.now() has passed `deadline`, or (unless `whole`) until the run is to
// stop. A timer may fire early (it drops the fraction of a millisecond), so it is armed again
// until the deadline has passed: a wait never ends early.
async function waitUntil(deadline, whole = false) {
  for (;;) {
    const left = deadline - performance.now();
    if (left <= 0 || (!whole && (run.stopRequested || run.portLost)))
      return;
    await new Promise((resolve) => {
      run.wake = resolve;
      setTimeout(resolve, Math.ceil(left));
    });
    run.wake = null;
  }
}

function interrupt() {
  if (run?.wake)
    run.wake();
}

async function findPort(chosen) {
  const ports = await navigator.serial.getPorts();
  const same = ports.filter((port) => {
    const info = port.getInfo();
    return (
        info.usbVendorId === chosen.info.usbVendorId &&
        info.usbProductId === chosen.info.usbProductId);
  });
  return same[chosen.index] ?? same[0] ?? null;
}

// A port that cannot be opened is most often held by another program.
function openProblem(error) {
  const what = error?.message || String(error);
  return error?.name === 'InvalidStateError' ?
      what :
      `${what} (another program may be using the port, or the adapter is unplugged)`;
}

async function closePort(port) {
  try {
    await port.close();
  } catch {
    // Already closed, or gone with the adapter: either way it is not open.
  }
}

async function openPort(port, line) {
  try {
    await port.open({
      baudRate: line.baudRate,
      dataBits: line.dataBits,
      parity: line.parity,
      stopBits: line.stopBits,
      flowControl: line.flowControl,
    });
    return null;
  } catch (error) {
    return openProblem(error);
  }
}

// Bytes the port took: all of them, or none when the write failed or took too long.
async function writeFrame(port, bytes) {
  if (!port.writable)
    throw new Error('the port is not open');
  const writer = port.writable.getWriter();
  let timer = null;
  try {
    const timeout = new Promise((_, reject) => {
      timer = setTimeout(
          () => reject(new Error('the write timed out')), core.writeTimeoutMs(bytes.length));
    });
    await Promise.race([writer.write(bytes), timeout]);
    return bytes.length;
  } finally {
    clearTimeout(timer);
    writer.releaseLock();
  }
}

function post(message) { self.postMessage(message); }

// Shows what the plan asks to be shown.
function show(action) {
  if (action.kind === 'status')
    post({type: 'status', text: action.text});
  if (action.kind === 'segment')
    post({type: 'status', text: action.text});
  if (action.kind === 'progressRange')
    post({type: 'progressRange', value: action.value});
  if (action.kind === 'progress')
    post({type: 'progress', value: action.value});
}

async function drive(plan, port, log, start) {
  let line = null;
  let detail = '';
  let stopped = false;
  const waits = [];
  let frames = 0;
  let lastLineFree = 0;
  for (;;) {
    if (run.stopRequested && !stopped) {
      stopped = true;
      plan.stop();
    }
    const action = plan.next(performance.now());
    switch (action.kind) {
      case 'open':
      case 'reopen': {
        if (action.kind === 'reopen')
          await closePort(port);
        line = action.line;
        const problem = run.portLost ? 'the adapter was unplugged' : await openPort(port, line);
        if (problem)
          detail = problem;
        plan.opened(!problem);
        break;
      }
      case 'wait': {
        await waitUntil(action.untilMs);
        waits.push({deadlineMs: action.untilMs, firedMs: performance.now()});
        break;
      }
      case 'write': {
        const bytes = plan.frame();
        const began = performance.now();
        let count = 0;
        try {
          count = await writeFrame(port, bytes);
        } catch (error) {
          detail = run.portLost ? 'the adapter was unplugged' : error?.message || String(error);
        }
        // Web Serial cannot drain: the frame has left the line one wire time after it began to
        // go out, or when the write was taken if that is later.
        const lineFree = Math.max(
            began + core.wireTimeMs(line.baudRate, line.parityCode, count),
            performance.now(),
        );
        log.frame(
            began - start, action.state, action.name, action.length, line.baudRate, line.parityCode,
            count);
        frames++;
        lastLineFree = lineFree;
        plan.written(count, lineFree);
        break;
      }
      case 'finished': {
        // A stopped run too lets its last frame leave before the close, which Web Serial cannot
        // drain: a frame cut short could be taken for a good one.
        await waitUntil(lastLineFree, true);
        await closePort(port);
        const end = log.end(action.outcome, action.text ?? '', detail, performance.now() - start);
        return {action, end, waits, frames};
      }
      default:
        show(action);
    }
  }
}

async function start(message) {
  run = {stopRequested: false, portLost: false, wake: null, port: null};
  const start = performance.now();
  const plan =
      message.job === 'download' ? core.Plan.download(message.image, 1.0) : core.Plan.test();
  if (!plan) {
    // The page sends only images the core passed: this is a fault of the page's own.
    run = null;
    post({type: 'fault', message: 'the image did not pass the check'});
    return;
  }
  const log = new core.RunLog(message.portName, plan, message.imageName ?? '');
  try {
    const port = await findPort(message.port);
    run.port = port;
    let result;
    if (port) {
      result = await drive(plan, port, log, start);
    } else {
      // The port is gone since it was chosen: the run cannot open it.
      plan.next(performance.now());
      plan.opened(false);
      const action = plan.next(performance.now());
      const end = log.end(action.outcome, action.text ?? '', 'the port is no longer there', 0);
      result = {action, end, waits: [], frames: 0};
    }
    post({
      type: 'ended',
      job: message.job,
      outcome: result.action.outcome,
      text: result.action.text,
      end: result.end,
      waits: result.waits,
      frames: result.frames,
      trace: log.trace(),
    });
  } finally {
    plan.delete();
    log.delete();
    run = null;
  }
}

self.onmessage = ({data}) => {
  if (data.type === 'run' && !run)
    start(data);
  if (data.type === 'stop' && run) {
    run.stopRequested = true;
    interrupt();
  }
};

if ('serial' in navigator) {
  navigator.serial.addEventListener('disconnect', (event) => {
    if (run && (!run.port || event.target === run.port)) {
      run.portLost = true;
      interrupt();
    }
  });
}

createTarvexCore().then((loaded) => {
  core = loaded;
  post({type: 'ready'});
});
