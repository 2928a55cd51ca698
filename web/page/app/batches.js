// Batches of files: the files chosen together, converted one after
// another, the list that shows how each ended, and the status line.

function describeProgress() {
  const { entries } = state;
  const converting = entries.findIndex((entry) => entry.state === 'converting');
  if (converting < 0) return;
  const seconds = Math.floor((performance.now() - state.batch.started) / 1000);
  const of = entries.length > 1 ? ` (${converting + 1} of ${entries.length})` : '';
  setStatus(`converting ${entries[converting].name}${of}${seconds > 0 ? `, ${seconds} s` : ''}`);
}

function showWorking(working) {
  elements.working.hidden = !working;
  elements.cancel.hidden = !working;
  clearInterval(state.batch.ticker);
  if (working) state.batch.ticker = setInterval(describeProgress, 500);
}

// Ends a batch; the status also tells scripts how many batches ended, how
// long the last one took and how much of it the worker spent converting.
function endBatch(text) {
  showWorking(false);
  const converterMs = state.entries.reduce((sum, entry) => sum + (entry.report?.converterMs ?? 0), 0);
  elements.status.dataset.runMs = (performance.now() - state.batch.started).toFixed(1);
  elements.status.dataset.converterMs = converterMs.toFixed(1);
  elements.status.dataset.runs = String(Number(elements.status.dataset.runs ?? '0') + 1);
  setStatus(text);
}

const STATE_WORDS = { waiting: 'waiting', converting: 'converting…', done: 'done', failed: 'failed',
  cancelled: 'cancelled' };

function fileChoiceText(entry) {
  const count = entry.report?.messages.length ?? 0;
  return `${entry.name}: ${STATE_WORDS[entry.state]}${count > 0 ? ` (${counted(count, 'message', 'messages')})` : ''}`;
}

function showFileList() {
  elements.filesSection.hidden = state.entries.length < 2;
  elements.files.replaceChildren(...state.entries.map((entry) => {
    const button = cell('button', fileChoiceText(entry));
    button.type = 'button';
    button.className = 'file-choice';
    button.dataset.state = entry.state;
    button.setAttribute('aria-pressed', String(entry === state.shown));
    button.addEventListener('click', () => showEntryResults(entry));
    const item = document.createElement('li');
    item.append(button);
    return item;
  }));
}

// Converts `files` one after another, ending any batch still running;
// the results of the file at `shown` (the first) are shown as soon as they
// are there. `tables` holds each file's own form options, where the files
// were chosen before.
async function runFiles(files, tables = [], shown = 0) {
  const batch = ++state.batch.latest;
  stopWorker();
  const options = currentOptions();
  // Each file its own copy of the options: a package's adds its deck and fields (packages.js).
  state.entries = files.map((file, index) => ({ file, name: file.name, state: 'waiting', options: { ...options },
    table: tables[index] ?? {}, report: null }));
  state.batch.started = performance.now();
  showWorking(true);
  showEntryResults(state.entries[shown] ?? state.entries[0]);
  await runWaiting(batch);
}

// Converts the files waiting, in their order, until none is left: also
// those that wait to be built again while the batch runs.
async function runWaiting(batch) {
  for (let entry = nextWaiting(); entry; entry = nextWaiting()) {
    entry.state = 'converting';
    describeProgress();
    showFileList();
    entry.options = withPackageOptions(entry);  // packages.js
    const report = await convert(entry.file, { ...entry.options, table: entry.table }, ({ kind, names }) => {
      Object.assign(entry, { kind, names });
      if (entry === state.shown) showCommandLine(entry);
    });
    if (batch !== state.batch.latest) return;
    entry.report = report;
    entry.state = report.ok ? 'done' : 'failed';
    if (entry === state.shown) showEntryResults(entry);
    else showFileList();
  }
  endBatch(state.entries.every((entry) => entry.state === 'done') ? 'done' : 'failed');
}

function nextWaiting() {
  return state.entries.find((entry) => entry.state === 'waiting');
}

// Builds `entry` again with its own form's options, the others' results
// kept; a batch under way takes it in its turn.
function rebuildEntry(entry) {
  entry.state = 'waiting';
  showFileList();
  if (!elements.cancel.hidden) return;
  const batch = ++state.batch.latest;
  state.batch.started = performance.now();
  showWorking(true);
  runWaiting(batch);
}

function cancelRun() {
  if (elements.cancel.hidden) return;  // no run under way
  ++state.batch.latest;
  stopWorker();
  for (const entry of state.entries) {
    if (entry.state === 'waiting' || entry.state === 'converting') {
      entry.state = 'cancelled';
      entry.report = { ok: false, cancelled: true, messages: [] };
    }
  }
  showEntryResults(state.shown);
  endBatch('cancelled');
}

function chooseFiles(fileList) {
  const files = [...fileList];
  if (files.length > 0) runFiles(files);
}
