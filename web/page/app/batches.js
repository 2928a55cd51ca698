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
// the first file's results are shown as soon as they are there.
async function runFiles(files) {
  const batch = ++state.batch.latest;
  stopWorker();
  const options = currentOptions();
  // Each file its own copy: a package's adds its deck (packages.js).
  state.entries = files.map((file) => ({ file, name: file.name, state: 'waiting', options: { ...options }, report: null }));
  state.batch.started = performance.now();
  showWorking(true);
  showEntryResults(state.entries[0]);
  for (const entry of state.entries) {
    entry.state = 'converting';
    describeProgress();
    showFileList();
    const report = await convert(entry.file, entry.options, ({ kind, names }) => {
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
