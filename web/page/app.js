// The page: takes files, hands them one by one to the worker, and shows
// what comes back for the file chosen in the list.
'use strict';

// Tallest canvas drawn for the sheet, in device pixels; Chromium refuses
// canvases over 32767 pixels a side, and big ones are slow to scroll.
const BAND_HEIGHT = 4096;
const ENTRY_ZOOM = 6;
// The zoom shown when the sheet at this zoom fits the preview's width.
const PREFERRED_ZOOM = 3;
const OPTIONS_KEY = 'kvzpack.options';

const elements = {
  deck: document.getElementById('deck'),
  dropZone: document.getElementById('drop-zone'),
  best: document.getElementById('option-best'),
  strict: document.getElementById('option-strict'),
  split: document.getElementById('option-split'),
  columns: document.getElementById('option-columns'),
  furigana: document.getElementById('option-furigana'),
  encoding: document.getElementById('option-encoding'),
  cut: document.getElementById('option-cut'),
  replace: document.getElementById('option-replace'),
  status: document.getElementById('status'),
  working: document.getElementById('working'),
  cancel: document.getElementById('cancel'),
  filesSection: document.getElementById('files-section'),
  files: document.getElementById('files'),
  results: document.getElementById('results'),
  resultHeading: document.getElementById('result-heading'),
  commandLine: document.getElementById('command-line'),
  copyCommand: document.getElementById('copy-command'),
  warnings: document.getElementById('warnings'),
  noWarnings: document.getElementById('no-warnings'),
  summarySection: document.getElementById('summary-section'),
  summary: document.getElementById('summary'),
  spaceSection: document.getElementById('space-section'),
  space: document.getElementById('space'),
  downloadsSection: document.getElementById('downloads-section'),
  previewSection: document.getElementById('preview-section'),
  preview: document.getElementById('preview'),
  zoom: document.getElementById('zoom'),
  part: document.getElementById('part'),
  partLabel: document.getElementById('part-label'),
  partDownloads: document.getElementById('part-downloads'),
  entryForm: document.getElementById('entry-form'),
  entryFields: document.getElementById('entry-fields'),
  entryGroup: document.getElementById('entry-group'),
  entryNumber: document.getElementById('entry-number'),
  entryView: document.getElementById('entry-view'),
  downloads: {
    ihx: document.getElementById('download-ihx'),
    txt: document.getElementById('download-txt'),
    png: document.getElementById('download-png'),
    kvz: document.getElementById('download-kvz'),
    deckTsv: document.getElementById('download-deck-tsv'),
  },
};

// The files of the latest choice, in the order given: { file, name, kind,
// state ('waiting', 'converting', 'done', 'failed', 'cancelled'), options,
// report }. The one shown is `shown`.
let entries = [];
let shown = null;
let currentSheet = null;
let zoomChosen = false;
// A newer choice of files (or a cancel) ends the older batch: each batch
// runs while its number is the latest.
let latestBatch = 0;
let batchStarted = 0;
let ticker = 0;

// --- the worker ---------------------------------------------------------

let worker = null;
let nextRunId = 1;
let pendingRun = null;  // { id, finish }

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
    if (pendingRun && pendingRun.id === event.data.id) finishPendingRun(event.data.report);
  };
  started.onerror = (event) => {
    finishPendingRun({ ok: false, messages: [`the converter could not run: ${event.message}`] });
  };
  return started;
}

function finishPendingRun(report) {
  const run = pendingRun;
  pendingRun = null;
  if (run) run.finish(report);
}

// Ends the conversion under way, if any, with a fresh worker in its place;
// the run's promise settles as cancelled.
function stopWorker() {
  if (!pendingRun) return;
  worker.terminate();
  worker = startWorker();
  finishPendingRun({ ok: false, cancelled: true, messages: [] });
}

// The worker reads the file itself, after checking its size.
function convert(entry) {
  const id = nextRunId++;
  return new Promise((resolve) => {
    pendingRun = { id, finish: resolve };
    worker.postMessage({ id, kind: entry.kind, name: entry.name, deckName: `${baseName(entry.name)}.kvz`,
      options: entry.options, file: entry.file });
  });
}

// --- options, kept in the browser's storage -----------------------------

// The check boxes and kvzdeck build's texts and choices, by option name.
const CHECKED_OPTIONS = ['best', 'strict', 'split', 'cut'];
const TEXT_OPTIONS = ['columns', 'furigana', 'encoding', 'replace'];

function currentOptions() {
  const options = {};
  for (const name of CHECKED_OPTIONS) options[name] = elements[name].checked;
  for (const name of TEXT_OPTIONS) options[name] = elements[name].value.trim();
  return options;
}

function loadOptions() {
  try {
    const saved = JSON.parse(localStorage.getItem(OPTIONS_KEY) ?? '{}');
    for (const name of CHECKED_OPTIONS) elements[name].checked = saved[name] === true;
    for (const name of TEXT_OPTIONS) {
      const value = typeof saved[name] === 'string' ? saved[name] : '';
      // A choice no longer offered stays at the default.
      if (elements[name].tagName !== 'SELECT' || [...elements[name].options].some((o) => o.value === value)) {
        elements[name].value = value;
      }
    }
  } catch {
    // Storage may be refused (a private window, a page opened as a file); the defaults stand.
  }
}

function saveOptions() {
  try {
    localStorage.setItem(OPTIONS_KEY, JSON.stringify(currentOptions()));
  } catch {
    // As in loadOptions: the options then last for this visit only.
  }
}

// --- names and the command line -----------------------------------------

// The file name without its extension, as the command line names outputs.
function baseName(name) {
  const dot = name.lastIndexOf('.');
  return dot >= 0 ? name.slice(0, dot) : name;
}

// The folder the command line writes the outputs into when one of them
// would bear the name of the file given (an export notes.txt gives
// notes.txt): kvzpack leaves such a file alone.
const OUTPUT_FOLDER = 'out';
const OUTPUT_EXTENSIONS = ['ihx', 'txt', 'png', 'log'];

function outputsClash(name) {
  return OUTPUT_EXTENSIONS.some((extension) => name === `${baseName(name)}.${extension}`);
}

// A download never bears the name of the file given: the numbered text of
// notes.txt is offered as notes.hex.txt.
function downloadName(base, extension, given) {
  const name = `${base}.${extension}`;
  return name === given ? `${base}.hex.${extension}` : name;
}

function kindOf(name, bytes) {
  const extension = name.slice(name.lastIndexOf('.') + 1).toLowerCase();
  if (extension === 'tsv' || extension === 'csv' || (extension === 'txt' && bytes[0] !== 0x3a)) return 'text';
  if (extension === 'ihx' || extension === 'hex') return 'ihx';
  if (extension === 'kvz') return 'kvz';
  return bytes.length > 0 && bytes[0] === 0x3a ? 'ihx' : 'kvz';  // ':' starts a HEX record
}

// A file name as one word of a shell's command line: as it is when plain,
// in double quotes where those keep it whole in sh, cmd and PowerShell
// alike, otherwise in sh's single quotes.
function shellWord(name) {
  if (/^[A-Za-z0-9._+@\/-]+$/.test(name)) return name;
  if (!/["$`\\!%]/.test(name)) return `"${name}"`;
  return `'${name.replaceAll("'", "'\\''")}'`;
}

// The file names of a command, after `--` when one looks like an option.
function fileArguments(names) {
  const words = names.map(shellWord);
  return names.some((name) => name.startsWith('-')) ? ['--', ...words] : words;
}

// kvzdeck build's options that the form sets.
function buildArguments(options) {
  const words = [];
  for (const name of ['columns', 'furigana', 'encoding']) {
    if (options[name] !== '') words.push(`--${name}`, shellWord(options[name]));
  }
  if (options.cut) words.push('--cut');
  if (options.replace !== '') words.push('--replace', shellWord(options.replace));
  return words;
}

// What the command line runs to give what the page gives for `entry`.
function commandLineOf(entry) {
  if (entry.kind === 'ihx') return ['kvzpack', '--inspect', ...fileArguments([entry.name])].join(' ');
  const options = [];
  if (entry.options.best) options.push('--best');
  if (entry.options.strict) options.push('--strict');
  if (entry.options.split) options.push('--split');
  options.push('--preview');
  if (entry.kind === 'kvz') return ['kvzpack', ...options, ...fileArguments([entry.name])].join(' ');
  const deck = `${baseName(entry.name)}.kvz`;
  const steps = [['kvzdeck', 'build', ...buildArguments(entry.options), ...fileArguments([entry.name, deck])].join(' ')];
  if (outputsClash(entry.name)) {
    steps.push(`mkdir -p ${OUTPUT_FOLDER}`);
    options.push('--output-dir', OUTPUT_FOLDER);
  }
  steps.push(['kvzpack', ...options, ...fileArguments([deck])].join(' '));
  return steps.join(' && ');
}

async function copyCommandLine() {
  const text = elements.commandLine.textContent;
  try {
    await navigator.clipboard.writeText(text);
  } catch {
    // Without the clipboard interface (a page opened as a file): the selection's copy.
    const range = document.createRange();
    range.selectNodeContents(elements.commandLine);
    const selection = window.getSelection();
    selection.removeAllRanges();
    selection.addRange(range);
    document.execCommand('copy');
  }
  elements.copyCommand.textContent = 'Copied';
  setTimeout(() => { elements.copyCommand.textContent = 'Copy'; }, 1500);
}

// --- status ---------------------------------------------------------------

function setStatus(text) {
  elements.status.textContent = text;
}

function describeProgress() {
  const converting = entries.findIndex((entry) => entry.state === 'converting');
  if (converting < 0) return;
  const seconds = Math.floor((performance.now() - batchStarted) / 1000);
  const of = entries.length > 1 ? ` (${converting + 1} of ${entries.length})` : '';
  setStatus(`converting ${entries[converting].name}${of}${seconds > 0 ? `, ${seconds} s` : ''}`);
}

function showWorking(working) {
  elements.working.hidden = !working;
  elements.cancel.hidden = !working;
  clearInterval(ticker);
  if (working) ticker = setInterval(describeProgress, 500);
}

// Ends a batch; the status also tells scripts how many batches ended, how
// long the last one took and how much of it the worker spent converting.
function endBatch(text) {
  showWorking(false);
  const converterMs = entries.reduce((sum, entry) => sum + (entry.report?.converterMs ?? 0), 0);
  elements.status.dataset.runMs = (performance.now() - batchStarted).toFixed(1);
  elements.status.dataset.converterMs = converterMs.toFixed(1);
  elements.status.dataset.runs = String(Number(elements.status.dataset.runs ?? '0') + 1);
  setStatus(text);
}

// --- the list of files --------------------------------------------------

const STATE_WORDS = { waiting: 'waiting', converting: 'converting…', done: 'done', failed: 'failed',
  cancelled: 'cancelled' };

function showFileList() {
  elements.filesSection.hidden = entries.length < 2;
  elements.files.replaceChildren(...entries.map((entry) => {
    const item = document.createElement('li');
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'file-choice';
    button.dataset.state = entry.state;
    button.setAttribute('aria-pressed', String(entry === shown));
    const count = entry.report?.messages.length ?? 0;
    button.textContent = `${entry.name}: ${STATE_WORDS[entry.state]}${count > 0 ? ` (${count} messages)` : ''}`;
    button.addEventListener('click', () => showEntryResults(entry));
    item.append(button);
    return item;
  }));
}

// --- one file's results -------------------------------------------------

function clearResults() {
  elements.warnings.replaceChildren();
  elements.noWarnings.hidden = true;
  elements.summary.replaceChildren();
  elements.summarySection.hidden = true;
  elements.space.replaceChildren();
  elements.spaceSection.hidden = true;
  elements.preview.replaceChildren();
  elements.previewSection.hidden = true;
  elements.zoom.disabled = true;
  elements.entryFields.disabled = true;
  elements.entryView.replaceChildren();
  currentSheet = null;
  for (const link of [...Object.values(elements.downloads), ...elements.partDownloads.querySelectorAll('a')]) {
    if (link.href) URL.revokeObjectURL(link.href);
    link.removeAttribute('href');
    link.removeAttribute('download');
    link.hidden = true;
  }
  elements.partDownloads.replaceChildren();
  elements.part.replaceChildren();
  elements.part.hidden = true;
  elements.partLabel.hidden = true;
  elements.downloadsSection.hidden = true;
}

function showMessages(messages) {
  for (const message of messages) {
    const item = document.createElement('li');
    item.className = message.includes(': warning: ') ? 'warning' : 'error';
    item.textContent = message;
    elements.warnings.append(item);
  }
  elements.noWarnings.hidden = messages.length > 0;
}

function addTerm(list, term, description) {
  const dt = document.createElement('dt');
  dt.textContent = term;
  const dd = document.createElement('dd');
  dd.textContent = description;
  list.append(dt, dd);
}

function gauge(imageBytes, capacity) {
  const wrapper = document.createElement('p');
  const label = document.createElement('label');
  label.htmlFor = 'capacity-gauge';
  const share = ((100 * imageBytes) / capacity).toFixed(1);
  label.textContent = `Device memory: ${imageBytes} of ${capacity} bytes (${share}%) `;
  const meter = document.createElement('meter');
  meter.id = 'capacity-gauge';
  meter.min = 0;
  meter.max = capacity;
  meter.high = capacity * 0.9;
  meter.value = imageBytes;
  meter.textContent = `${share}%`;
  wrapper.append(label, meter);
  return wrapper;
}

function preformatted(text) {
  const pre = document.createElement('pre');
  pre.textContent = text;
  return pre;
}

// The parts of a split: a gauge each, and their log and summary lines as
// kvzpack --split -v prints them.
function showPartsSummary(parts) {
  const intro = document.createElement('p');
  const entriesOf = parts.map((part) => part.entries);
  intro.textContent = `Too large for one image: ${parts.length} parts of ${Math.min(...entriesOf)} to `
    + `${Math.max(...entriesOf)} entries, each within the device.`;
  elements.summary.append(intro);
  for (const part of parts) {
    const label = document.createElement('h3');
    label.textContent = `${part.name}: entries ${part.firstEntry + 1} to ${part.firstEntry + part.entries}`;
    elements.summary.append(label, gauge(part.figures.imageBytes, part.figures.capacity));
  }
  elements.summary.append(preformatted(parts.map((part) => `${part.logLine}\n${part.summaryLine}`).join('\n')));
}

function showSummary(report) {
  if (report.parts) {
    showPartsSummary(report.parts);
  } else if (report.figures) {
    const f = report.figures;
    const list = document.createElement('dl');
    addTerm(list, 'texts', f.texts);
    addTerm(list, 'characters', `${f.characters} (${f.distinctCharacters} distinct)`);
    addTerm(list, 'phrases', f.phrases);
    addTerm(list, 'stream', `${f.streamBytes} bytes`);
    addTerm(list, 'glyphs', `${f.glyphBytes} bytes`);
    addTerm(list, 'image', `${f.imageBytes} bytes`);
    elements.summary.append(gauge(f.imageBytes, f.capacity), list,
      preformatted(`${report.logLine}\n${report.summaryLine}`));
  } else if (report.inspection) {
    elements.summary.append(gauge(report.imageBytes, report.capacity), preformatted(report.inspection));
  }
  elements.summarySection.hidden = elements.summary.childElementCount === 0;
}

// --- where the bytes go ---------------------------------------------------

// Every stream byte takes 7/8 of a byte in the image.
const IMAGE_BYTES_PER_STREAM_BYTE = 7 / 8;

function counted(count, one, many) {
  return `${count} ${count === 1 ? one : many}`;
}

function shareOf(bytes, imageBytes) {
  return imageBytes === 0 ? 0 : (100 * bytes) / imageBytes;
}

function cell(tag, text) {
  const element = document.createElement(tag);
  element.textContent = text;
  return element;
}

// A row of the table: what, entries, image bytes, share, and its bar.
function spaceRow(what, entries, bytes, imageBytes) {
  const row = document.createElement('tr');
  const share = shareOf(bytes, imageBytes);
  const bar = document.createElement('span');
  bar.className = 'bar';
  bar.style.width = `${Math.min(share, 100)}%`;
  const barCell = document.createElement('td');
  barCell.className = 'bar-cell';
  barCell.append(bar);
  row.append(cell('th', what), cell('td', entries), cell('td', String(Math.round(bytes))),
    cell('td', `${share.toFixed(1)}%`), barCell);
  return row;
}

function spaceTable(space) {
  const table = document.createElement('table');
  table.id = 'space-table';
  const head = document.createElement('tr');
  for (const title of ['', 'entries', 'bytes', 'share of the image', '']) head.append(cell('th', title));
  const body = document.createElement('tbody');
  space.groups.forEach((group, index) => body.append(spaceRow(`group ${index}`, String(group.entries),
    group.streamValues * IMAGE_BYTES_PER_STREAM_BYTE, space.imageBytes)));
  body.append(spaceRow(`phrase table (${counted(space.phrases, 'phrase', 'phrases')}) and stream header`, '',
    space.tableValues * IMAGE_BYTES_PER_STREAM_BYTE, space.imageBytes));
  body.append(spaceRow(`glyphs (${counted(space.characters, 'character', 'characters')})`, '', space.glyphBytes, space.imageBytes));
  const thead = document.createElement('thead');
  thead.append(head);
  table.append(thead, body);
  return table;
}

function costliestList(space) {
  const list = document.createElement('ol');
  list.id = 'costliest';
  for (const entry of space.costliest) {
    list.append(cell('li', `group ${entry.group} entry ${entry.entry}: ${counted(Math.round(entry.bytes), 'byte', 'bytes')}`));
  }
  return list;
}

// The table with a bar per group, the costliest entries, the glyphs and
// the distance to the limit; and the lines as kvzpack --report prints them.
function showSpace(space) {
  const encoding = space.best ? 'with --best' : 'with the default encoding';
  const intro = cell('p', `The image's ${space.imageBytes} bytes, ${encoding}, of the device's ${space.capacity}:`);
  const glyphs = cell('p', `Glyphs: ${counted(space.glyphBytes, 'byte', 'bytes')} for `
    + `${counted(space.characters, 'character', 'characters')}; `
    + `${space.singleEntryCharacters} used by a single entry only (each costs a glyph cell of its own).`);
  glyphs.id = 'space-glyphs';
  const distance = cell('p', space.lines[space.lines.length - 1].trim());
  distance.id = 'space-distance';
  distance.className = space.imageBytes > space.capacity ? 'over' : '';
  const costliestHeading = cell('h3', 'The ten costliest entries');
  const note = cell('p', 'An entry costs the stream bytes of its six lines, phrase codes counted at their '
    + 'width, plus the glyph cells of the characters only it uses.');
  const details = document.createElement('details');
  details.append(cell('summary', 'As kvzpack --report prints it'), preformatted(space.lines.join('\n')));
  elements.space.append(intro, spaceTable(space), glyphs, distance, costliestHeading, costliestList(space), note,
    details);
  elements.spaceSection.hidden = false;
}

function offerDownload(link, fileName, content, type) {
  link.href = URL.createObjectURL(new Blob([content], { type }));
  link.download = fileName;
  link.textContent = fileName;
  link.hidden = false;
  elements.downloadsSection.hidden = false;
}

// The files of each part, under the part's own name (NAME-1.ihx, ...).
function offerPartDownloads(parts, given) {
  for (const part of parts) {
    for (const [extension, content, type] of [['ihx', part.ihx, 'text/plain'], ['txt', part.txt, 'text/plain'],
      ['png', part.png, 'image/png']]) {
      if (!content) continue;
      const item = document.createElement('li');
      const link = document.createElement('a');
      link.dataset.part = part.name;
      item.append(link);
      elements.partDownloads.append(item);
      offerDownload(link, downloadName(part.name, extension, given), content, type);
    }
  }
}

function offerDownloads(report, name) {
  const base = baseName(name);
  const { ihx, txt, png, kvz, deckTsv } = elements.downloads;
  if (report.kvz) offerDownload(kvz, `${base}.kvz`, report.kvz, 'application/octet-stream');
  if (report.deckTsv !== undefined) offerDownload(deckTsv, `${base}.deck.tsv`, report.deckTsv, 'text/tab-separated-values');
  if (report.parts) offerPartDownloads(report.parts, name);
  if (report.ihx !== undefined) offerDownload(ihx, downloadName(base, 'ihx', name), report.ihx, 'text/plain');
  if (report.txt !== undefined) offerDownload(txt, downloadName(base, 'txt', name), report.txt, 'text/plain');
  if (report.png) offerDownload(png, downloadName(base, 'png', name), report.png, 'image/png');
}

// Shows `entry`'s results, and nothing of any other file's.
function showEntryResults(entry) {
  shown = entry;
  clearResults();
  showFileList();
  elements.results.hidden = false;
  elements.resultHeading.textContent = entry.name;
  elements.commandLine.textContent = commandLineOf(entry);
  const { report } = entry;
  if (!report) {
    elements.noWarnings.hidden = true;
    return;
  }
  if (report.cancelled) {
    showMessages([`${entry.name}: cancelled, nothing converted`]);
    return;
  }
  showMessages(report.messages);
  showSummary(report);
  if (report.space) showSpace(report.space);
  if (report.sheet) showSheet(report.sheet);
  if (report.parts) showParts(report.parts);
  if (report.ok) offerDownloads(report, entry.name);
}

// --- the sheet ------------------------------------------------------------

// Rows top to top + height - 1 of the sheet, as canvas pixels.
function bandImageData(sheet, top, height) {
  const rowBytes = 4 * sheet.width;
  const band = sheet.rgba.subarray(top * rowBytes, (top + height) * rowBytes);
  return new ImageData(new Uint8ClampedArray(band.buffer, band.byteOffset, band.length), sheet.width, height);
}

// Canvas pixels per device pixel: the zoom chosen, or the one that fits
// the sheet to the preview's width.
function zoomScale(sheetWidth) {
  if (elements.zoom.value !== 'fit') return Number(elements.zoom.value);
  return Math.max(elements.preview.clientWidth, 1) / sheetWidth;
}

function applyZoom() {
  const canvases = elements.preview.querySelectorAll('canvas');
  if (canvases.length === 0) return;
  const scale = zoomScale(canvases[0].width);
  for (const canvas of canvases) {
    canvas.style.width = `${canvas.width * scale}px`;
    canvas.style.height = `${canvas.height * scale}px`;
  }
}

// Until the user picks a zoom: ×3, or fit where the sheet at ×3 is wider
// than the preview.
function chooseDefaultZoom(sheet) {
  if (zoomChosen) return;
  elements.zoom.value = sheet.width * PREFERRED_ZOOM > elements.preview.clientWidth ? 'fit' : String(PREFERRED_ZOOM);
}

// The texts of the sheet from the worker's six numbers per text.
function placedTexts(sheet) {
  const { places, fieldNames } = sheet;
  const texts = [];
  for (let i = 0; i + 6 <= places.length; i += 6) {
    const [group, entry, field, x, y, cells] = places.subarray(i, i + 6);
    const place = entry < 0 ? `group ${group} name` : `group ${group} entry ${entry} ${fieldNames[field]}`;
    texts.push({ group, entry, field, x, y, cells, place });
  }
  return texts;
}

// The sheet in bands of canvases, one below the other, at one canvas pixel
// per device pixel; the zoom only scales them.
function showSheet(sheet) {
  sheet.texts ??= placedTexts(sheet);
  currentSheet = sheet;
  elements.previewSection.hidden = false;
  elements.zoom.disabled = false;
  elements.entryFields.disabled = false;
  chooseDefaultZoom(sheet);
  for (let top = 0; top < sheet.height; top += BAND_HEIGHT) {
    const height = Math.min(BAND_HEIGHT, sheet.height - top);
    const canvas = document.createElement('canvas');
    canvas.width = sheet.width;
    canvas.height = height;
    canvas.dataset.top = String(top);
    canvas.setAttribute('role', 'img');
    canvas.setAttribute('aria-label',
      `Preview sheet, rows ${top} to ${top + height - 1} of ${sheet.height}; name an entry below to hear it`);
    canvas.getContext('2d').putImageData(bandImageData(sheet, top, height), 0, 0);
    canvas.addEventListener('click', (event) => {
      const scale = canvas.getBoundingClientRect().width / canvas.width;
      const y = top + Math.floor(event.offsetY / scale);
      const text = sheet.texts.find((t) => y >= t.y - 1 && y < t.y - 1 + sheet.rowPitch);
      if (text) showEntry(text.group, text.entry);
    });
    elements.preview.append(canvas);
  }
  applyZoom();
}

// The parts' sheets, one at a time, chosen in the part list.
function showParts(parts) {
  elements.part.replaceChildren(...parts.map((part, index) => new Option(part.name, String(index))));
  elements.part.hidden = false;
  elements.partLabel.hidden = false;
  elements.part.onchange = () => {
    elements.preview.replaceChildren();
    elements.entryView.replaceChildren();
    showSheet(parts[Number(elements.part.value)].sheet);
  };
  showSheet(parts[0].sheet);
}

function textCanvas(sheet, text) {
  const cellPixels = sheet.cellPixels;
  const canvas = document.createElement('canvas');
  canvas.width = Math.max(1, text.cells * cellPixels);
  canvas.height = cellPixels;
  const context = canvas.getContext('2d');
  if (text.cells > 0) {
    const data = new ImageData(canvas.width, cellPixels);
    for (let row = 0; row < cellPixels; ++row) {
      const from = 4 * ((text.y + row) * sheet.width + text.x);
      data.data.set(sheet.rgba.subarray(from, from + 4 * canvas.width), 4 * row * canvas.width);
    }
    context.putImageData(data, 0, 0);
  }
  canvas.style.width = `${canvas.width * ENTRY_ZOOM}px`;
  canvas.style.height = `${canvas.height * ENTRY_ZOOM}px`;
  return canvas;
}

function showEntry(group, entry) {
  elements.entryView.replaceChildren();
  if (!currentSheet) return;
  const texts = currentSheet.texts.filter((t) => t.group === group && t.entry === entry);
  const heading = document.createElement('h3');
  if (texts.length === 0) {
    heading.textContent = entry < 0 ? `There is no group ${group}.` : `Group ${group} has no entry ${entry}.`;
    elements.entryView.append(heading);
    return;
  }
  heading.textContent = entry < 0 ? `Group ${group}: its name` : `Group ${group}, entry ${entry}`;
  elements.entryView.append(heading);
  for (const text of texts) {
    const figure = document.createElement('figure');
    const caption = document.createElement('figcaption');
    caption.textContent = entry < 0 ? 'name' : currentSheet.fieldNames[text.field];
    const canvas = textCanvas(currentSheet, text);
    canvas.setAttribute('role', 'img');
    canvas.setAttribute('aria-label', `${text.place}, ${text.cells} characters`);
    figure.append(caption, canvas);
    elements.entryView.append(figure);
  }
}

// --- batches of files ---------------------------------------------------

// The file's report; a batch that ended while the file's first byte (which
// tells an image from a deck) was read hands nothing to the worker.
async function convertEntry(entry, batch) {
  try {
    const first = new Uint8Array(await entry.file.slice(0, 1).arrayBuffer());
    if (batch !== latestBatch) return { ok: false, cancelled: true, messages: [] };
    entry.kind = kindOf(entry.name, first);
    return await convert(entry);
  } catch (error) {
    return { ok: false, messages: [`Cannot open ${entry.name}: ${error.message}`] };
  }
}

// Converts `files` one after another, ending any batch still running;
// the first file's results are shown as soon as they are there.
async function runFiles(files) {
  const batch = ++latestBatch;
  stopWorker();
  const options = currentOptions();
  entries = files.map((file) => ({ file, name: file.name, kind: kindOf(file.name, []), state: 'waiting', options,
    report: null }));
  batchStarted = performance.now();
  showWorking(true);
  showEntryResults(entries[0]);
  for (const entry of entries) {
    entry.state = 'converting';
    describeProgress();
    showFileList();
    const report = await convertEntry(entry, batch);
    if (batch !== latestBatch) return;
    entry.report = report;
    entry.state = report.ok ? 'done' : 'failed';
    if (entry === shown) showEntryResults(entry);
    else showFileList();
  }
  endBatch(entries.every((entry) => entry.state === 'done') ? 'done' : 'failed');
}

function cancelRun() {
  if (elements.cancel.hidden) return;  // no run under way
  ++latestBatch;
  stopWorker();
  for (const entry of entries) {
    if (entry.state === 'waiting' || entry.state === 'converting') {
      entry.state = 'cancelled';
      entry.report = { ok: false, cancelled: true, messages: [] };
    }
  }
  showEntryResults(shown);
  endBatch('cancelled');
}

function chooseFiles(fileList) {
  const files = [...fileList];
  if (files.length > 0) runFiles(files);
}

// --- wiring -----------------------------------------------------------------

worker = startWorker();
loadOptions();

elements.deck.addEventListener('change', () => {
  const files = [...elements.deck.files];
  elements.deck.value = '';  // so that choosing the same file again runs it again
  chooseFiles(files);
});
elements.dropZone.addEventListener('dragover', (event) => {
  event.preventDefault();
  elements.dropZone.classList.add('dragging');
});
elements.dropZone.addEventListener('dragleave', () => elements.dropZone.classList.remove('dragging'));
elements.dropZone.addEventListener('drop', (event) => {
  event.preventDefault();
  elements.dropZone.classList.remove('dragging');
  chooseFiles(event.dataTransfer.files);
});
for (const option of [...CHECKED_OPTIONS, ...TEXT_OPTIONS].map((name) => elements[name])) {
  option.addEventListener('change', () => {
    saveOptions();
    // The results shown are always those of the options shown.
    if (entries.length > 0) runFiles(entries.map((entry) => entry.file));
  });
}
elements.cancel.addEventListener('click', cancelRun);
elements.copyCommand.addEventListener('click', copyCommandLine);
elements.zoom.addEventListener('change', () => {
  zoomChosen = true;
  applyZoom();
});
window.addEventListener('resize', () => {
  if (elements.zoom.value === 'fit') applyZoom();
});
elements.entryForm.addEventListener('submit', (event) => {
  event.preventDefault();
  const group = Number(elements.entryGroup.value);
  const entry = elements.entryNumber.value === '' ? -1 : Number(elements.entryNumber.value);
  showEntry(group, entry);
});
