// The worker that converts: one run at a time, ended by replacing the
// worker with a fresh one.

function startWorker() {
  const source = `(${kvzWorkerMain.toString()})()`;
  const url = URL.createObjectURL(new Blob([source], { type: 'text/javascript' }));
  const started = new Worker(url);
  URL.revokeObjectURL(url);
  started.onmessage = (event) => {
    if (event.data.ready) {
      elements.status.dataset.readyMs = performance.now().toFixed(1);
      if (elements.status.textContent === 'loading the converter') setStatus('ready');
      return;
    }
    const { pending } = state.worker;
    if (!pending || pending.id !== event.data.id) return;
    if (event.data.started) pending.onStart(event.data.started);
    else finishPendingRun(event.data.report);
  };
  started.onerror = (event) => {
    finishPendingRun({ ok: false, messages: [`the converter could not run: ${event.message}`] });
  };
  state.worker.instance = started;
}

function finishPendingRun(report) {
  const run = state.worker.pending;
  state.worker.pending = null;
  if (run) run.finish(report);
}

// Ends the conversion under way, if any, with a fresh worker in its place;
// the run's promise settles as cancelled.
function stopWorker() {
  if (!state.worker.pending) return;
  state.worker.instance.terminate();
  startWorker();
  finishPendingRun({ ok: false, cancelled: true, messages: [] });
}

// The report on `file` (a File, read by the worker) converted with
// `options`. Before it, once the worker knows, onStart({ kind, names }):
// what the file is and the names around it.
async function convert(file, options, onStart) {
  const id = state.worker.nextRunId++;
  const worker = state.worker.instance;
  const request = await packageRequest(file, options, worker);  // packages.js
  return new Promise((resolve) => {
    state.worker.pending = { id, finish: resolve, onStart };
    worker.postMessage({ id, name: file.name, file, ...request });
  });
}
