// The page: the image, the port and the buttons. The core (WebAssembly) checks the image; the
// Worker (worker.js) runs the plan on the port; this script only draws what they say.
'use strict';

const $ = (id) => document.getElementById(id);
const PORT_KEY = 'tarvex.port';
const NO_SERIAL =
    'This browser cannot reach a serial port (no Web Serial). Use Chrome, Edge or Opera on a ' +
    'desktop computer (Windows, macOS, Linux, ChromeOS), with the page opened over https or from ' +
    'localhost.';

const page = {
  core: null,
  texts: null,
  worker: null,
  workerReady: false,
  image: null,  // {bytes, name, facts}
  port: null,
  running: null,  // {job, started, durationMs}
  bytesTotal: 0,  // the payload the plan sends, for the progress tooltip
  trace: '',
  hasSerial: 'serial' in navigator,
};

function showError(text) {
  $('error').textContent = text;
  $('error').hidden = !text;
}

function hex4(value) { return (value ?? 0).toString(16).padStart(4, '0'); }

function portName(port) {
  const info = port.getInfo();
  return info.usbVendorId === undefined ? 'serial port' :
                                          `${hex4(info.usbVendorId)}:${hex4(info.usbProductId)}`;
}

function seconds(ms) { return `${(ms / 1000).toFixed(1)} s`; }

// --- The image -----------------------------------------------------------------------------

function showImage(image) {
  const facts = image.facts;
  $('file-name').textContent = image.name;
  $('model').textContent = facts.model;
  $('wake').textContent = facts.needsWake ? 'yes' : 'no';
  $('segments').textContent = `${facts.segments.length} (${
      facts.segments
          .map(
              (row) => `${row.length} bytes at 0x${
                  row.targetAddress.toString(16).toUpperCase().padStart(8, '0')}`)
          .join(', ')})`;
  $('duration').textContent = `${seconds(facts.durationMs)} (${facts.durationMs} ms)`;
  $('facts').hidden = false;
  $('image-warning').textContent = facts.warning;
  $('image-warning').hidden = !facts.warning;
}

// A file that is not a good image is refused with the core's reason; the image chosen before stays.
async function chooseImage(file) {
  if (!file || !page.core || page.running)
    return;
  const bytes = new Uint8Array(await file.arrayBuffer());
  const facts = page.core.checkImage(bytes);
  if (!facts.ok) {
    showError(`${file.name}: ${facts.message}`);
    return;
  }
  showError(page.hasSerial ? '' : NO_SERIAL);
  page.image = {bytes, name: file.name, facts};
  showImage(page.image);
  updateButtons();
}

$('image').addEventListener('change', () => chooseImage($('image').files[0]));
for (const type of ['dragenter', 'dragover']) {
  document.addEventListener(type, (event) => {
    event.preventDefault();
    $('drop-zone').classList.add('dragging');
  });
}
document.addEventListener('dragleave', () => $('drop-zone').classList.remove('dragging'));
document.addEventListener('drop', (event) => {
  event.preventDefault();
  $('drop-zone').classList.remove('dragging');
  chooseImage(event.dataTransfer?.files?.[0]);
});

// --- The port ------------------------------------------------------------------------------

function usePort(port) {
  page.port = port;
  $('port-info').textContent = port ? portName(port) : 'no port chosen';
  if (port)
    localStorage.setItem(PORT_KEY, JSON.stringify(port.getInfo()));
  updateButtons();
}

// The port used last time, if the browser still grants it; else the first granted one.
async function rememberedPort() {
  const ports = await navigator.serial.getPorts();
  let saved = null;
  try {
    saved = JSON.parse(localStorage.getItem(PORT_KEY));
  } catch {
    saved = null;
  }
  const same = (port) => saved && port.getInfo().usbVendorId === saved.usbVendorId &&
      port.getInfo().usbProductId === saved.usbProductId;
  return ports.find(same) ?? ports[0] ?? null;
}

// Which of the granted ports with the same USB ids it is: the Worker finds it by both.
async function portIndex(port) {
  const info = port.getInfo();
  const same = (await navigator.serial.getPorts())
                   .filter(
                       (other) => other.getInfo().usbVendorId === info.usbVendorId &&
                           other.getInfo().usbProductId === info.usbProductId,
                   );
  return Math.max(0, same.indexOf(port));
}

$('choose-port').addEventListener('click', async () => {
  try {
    usePort(await navigator.serial.requestPort());
  } catch (error) {
    if (error?.name !== 'NotFoundError')
      showError(`No port: ${error?.message || error}`);
  }
});

// --- The run -------------------------------------------------------------------------------

function updateButtons() {
  const ready = page.core && page.workerReady && page.hasSerial;
  const running = Boolean(page.running);
  $('download').textContent = running ? page.texts.cancel : (page.texts?.download ?? 'Download');
  $('download').disabled = !ready || (!running && (!page.image || !page.port));
  $('test').disabled = !ready || running || !page.port;
  $('choose-port').disabled = !page.hasSerial || running;
  $('image').disabled = running;
  $('save-trace').disabled = running || !page.trace;
}

async function startRun(job) {
  const port = page.port;
  page.running = {
    job,
    started: performance.now(),
    durationMs: job === 'download' ? page.image.facts.durationMs : 0,
  };
  $('status').textContent = '';
  $('summary').textContent = '';
  $('summary').className = '';
  $('summary-line').textContent = '';
  $('progress').max = Math.max(1, page.running.durationMs);
  $('progress').value = 0;
  $('progress').title = '';
  showError('');
  updateButtons();
  page.worker.postMessage({
    type: 'run',
    job,
    image: job === 'download' ? page.image.bytes : null,
    imageName: job === 'download' ? page.image.name : '',
    port: {info: port.getInfo(), index: await portIndex(port)},
    portName: portName(port),
  });
  tickTimeLeft();
}

// The bar follows the schedule (the core's estimate of the whole download), the bytes sent are
// its tooltip.
function tickTimeLeft() {
  const run = page.running;
  if (!run || run.job !== 'download') {
    $('time-left').textContent = '';
    return;
  }
  const elapsed = performance.now() - run.started;
  $('progress').value = Math.min(elapsed, run.durationMs);
  $('time-left').textContent = `${Math.ceil(Math.max(0, run.durationMs - elapsed) / 1000)} s left`;
  setTimeout(tickTimeLeft, 250);
}

$('download').addEventListener('click', () => {
  if (page.running) {
    // As the dialog does: the download stops only when the question is answered OK.
    if (page.running && window.confirm(page.texts.stop))
      page.worker.postMessage({type: 'stop'});
    return;
  }
  startRun('download');
});
$('test').addEventListener('click', () => startRun('test'));

function ended(message) {
  const end = message.end;
  page.running = null;
  page.trace = message.trace;
  if (message.text)
    $('status').textContent = message.text;
  // As the CLI's summary: the reason follows the word of a run that failed.
  $('summary').textContent = end.word === 'FAILED' ? `${end.word}: ${end.reason}` : end.word;
  $('summary').className = end.ok ? 'ok' : 'failed';
  $('summary-line').textContent = end.summary;
  $('time-left').textContent = '';
  if (end.ok)
    $('progress').value = $('progress').max;
  window.tarvexLastRun = {
    job: message.job,
    outcome: end.word,
    planOutcome: message.outcome,
    reason: end.ok ? '' : end.reason,
    summary: end.summary,
    frames: message.frames,
    bytes: end.bytes,
    waits: message.waits,
    trace: message.trace,
  };
  updateButtons();
}

$('save-trace').addEventListener('click', () => {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([page.trace], {type: 'application/x-ndjson'}));
  link.download = 'tarvex-trace.jsonl';
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 1000);
});

function fromWorker({data}) {
  switch (data.type) {
    case 'ready':
      page.workerReady = true;
      break;
    case 'status':
      $('status').textContent = data.text;
      break;
    case 'progressRange':
      page.bytesTotal = data.value;
      break;
    case 'progress':
      $('progress').title = `${data.value} of ${page.bytesTotal} bytes sent`;
      break;
    case 'ended':
      ended(data);
      break;
    case 'fault':
      page.running = null;
      showError(data.message);
      break;
  }
  updateButtons();
  markReady();
}

function markReady() {
  if (page.core && page.workerReady)
    window.tarvexReady = true;
}

// --- Start ---------------------------------------------------------------------------------

async function main() {
  if (!page.hasSerial) {
    showError(NO_SERIAL);
  }
  updateButtons();
  page.worker = new Worker('worker.js');
  page.worker.onmessage = fromWorker;
  page.core = await createTarvexCore();
  page.texts = page.core.texts();
  document.title = page.texts.caption;
  $('caption').textContent = page.texts.caption;
  if (page.hasSerial) {
    usePort(await rememberedPort());
    navigator.serial.addEventListener('disconnect', (event) => {
      if (event.target === page.port && !page.running)
        usePort(null);
    });
  }
  updateButtons();
  markReady();
}

main();
