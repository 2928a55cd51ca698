// The page: takes a file, hands it to the worker, and shows what comes back.
'use strict';

// Tallest canvas drawn for the sheet, in device pixels; Chromium refuses
// canvases over 32767 pixels a side, and big ones are slow to scroll.
const BAND_HEIGHT = 4096;
const ENTRY_ZOOM = 6;

const elements = {
  deck: document.getElementById('deck'),
  dropZone: document.getElementById('drop-zone'),
  status: document.getElementById('status'),
  warnings: document.getElementById('warnings'),
  noWarnings: document.getElementById('no-warnings'),
  summary: document.getElementById('summary'),
  preview: document.getElementById('preview'),
  zoom: document.getElementById('zoom'),
  entryForm: document.getElementById('entry-form'),
  entryGroup: document.getElementById('entry-group'),
  entryNumber: document.getElementById('entry-number'),
  entryView: document.getElementById('entry-view'),
  downloads: {
    ihx: document.getElementById('download-ihx'),
    txt: document.getElementById('download-txt'),
    png: document.getElementById('download-png'),
    kvz: document.getElementById('download-kvz'),
  },
};

let currentSheet = null;
let nextRunId = 1;
let latestFile = 0;  // a newer file replaces the results of an older one still running
const pendingRuns = new Map();

function startWorker() {
  const source = `(${kvzWorkerMain.toString()})()`;
  const url = URL.createObjectURL(new Blob([source], { type: 'text/javascript' }));
  const worker = new Worker(url);
  worker.onmessage = (event) => {
    if (event.data.ready) {
      elements.status.dataset.readyMs = performance.now().toFixed(1);
      if (elements.status.textContent === 'loading the converter') setStatus('ready');
      return;
    }
    const finish = pendingRuns.get(event.data.id);
    pendingRuns.delete(event.data.id);
    if (finish) finish(event.data.report);
  };
  worker.onerror = (event) => {
    for (const finish of pendingRuns.values()) {
      finish({ ok: false, messages: [`the converter could not run: ${event.message}`] });
    }
    pendingRuns.clear();
  };
  return worker;
}

const worker = startWorker();

function setStatus(text) {
  elements.status.textContent = text;
}

// The file name without its extension, as the command line names outputs.
function baseName(name) {
  const dot = name.lastIndexOf('.');
  return dot >= 0 ? name.slice(0, dot) : name;
}

function kindOf(name, bytes) {
  const extension = name.slice(name.lastIndexOf('.') + 1).toLowerCase();
  if (extension === 'tsv') return 'tsv';
  if (extension === 'ihx' || extension === 'hex') return 'ihx';
  if (extension === 'kvz') return 'kvz';
  return bytes.length > 0 && bytes[0] === 0x3a ? 'ihx' : 'kvz';  // ':' starts a HEX record
}

function convert(kind, name, bytes) {
  const id = nextRunId++;
  return new Promise((resolve) => {
    pendingRuns.set(id, resolve);
    worker.postMessage({ id, kind, name, deckName: `${baseName(name)}.kvz`, bytes }, [bytes.buffer]);
  });
}

function clearResults() {
  elements.warnings.replaceChildren();
  elements.noWarnings.hidden = true;
  elements.summary.replaceChildren();
  elements.preview.replaceChildren();
  elements.entryView.replaceChildren();
  currentSheet = null;
  for (const link of Object.values(elements.downloads)) {
    if (link.href) URL.revokeObjectURL(link.href);
    link.removeAttribute('href');
    link.removeAttribute('download');
    link.hidden = true;
  }
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

function showSummary(report) {
  if (report.figures) {
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
}

function offerDownload(link, fileName, content, type) {
  link.href = URL.createObjectURL(new Blob([content], { type }));
  link.download = fileName;
  link.textContent = fileName;
  link.hidden = false;
}

function offerDownloads(report, name) {
  const base = baseName(name);
  const { ihx, txt, png, kvz } = elements.downloads;
  if (report.kvz) offerDownload(kvz, `${base}.kvz`, report.kvz, 'application/octet-stream');
  if (report.ihx !== undefined) offerDownload(ihx, `${base}.ihx`, report.ihx, 'text/plain');
  if (report.txt !== undefined) offerDownload(txt, `${base}.txt`, report.txt, 'text/plain');
  if (report.png) offerDownload(png, `${base}.png`, report.png, 'image/png');
}

// Rows top to top + height - 1 of the sheet, as canvas pixels.
function bandImageData(sheet, top, height) {
  const rowBytes = 4 * sheet.width;
  const band = sheet.rgba.subarray(top * rowBytes, (top + height) * rowBytes);
  return new ImageData(new Uint8ClampedArray(band.buffer, band.byteOffset, band.length), sheet.width, height);
}

function applyZoom() {
  const zoom = Number(elements.zoom.value);
  for (const canvas of elements.preview.querySelectorAll('canvas')) {
    canvas.style.width = `${canvas.width * zoom}px`;
    canvas.style.height = `${canvas.height * zoom}px`;
  }
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
  sheet.texts = placedTexts(sheet);
  currentSheet = sheet;
  for (let top = 0; top < sheet.height; top += BAND_HEIGHT) {
    const height = Math.min(BAND_HEIGHT, sheet.height - top);
    const canvas = document.createElement('canvas');
    canvas.width = sheet.width;
    canvas.height = height;
    canvas.dataset.top = String(top);
    canvas.setAttribute('role', 'img');
    canvas.setAttribute('aria-label',
      `Preview sheet, rows ${top} to ${top + height - 1} of ${sheet.height}; name an entry above to hear it`);
    canvas.getContext('2d').putImageData(bandImageData(sheet, top, height), 0, 0);
    canvas.addEventListener('click', (event) => {
      const zoom = Number(elements.zoom.value);
      const y = top + Math.floor(event.offsetY / zoom);
      const text = sheet.texts.find((t) => y >= t.y - 1 && y < t.y - 1 + sheet.rowPitch);
      if (text) showEntry(text.group, text.entry);
    });
    elements.preview.append(canvas);
  }
  applyZoom();
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

// Ends a run; the status also tells scripts how many runs ended and how
// long the last one took.
function endRun(ok, started, converterMs) {
  elements.status.dataset.runMs = (performance.now() - started).toFixed(1);
  elements.status.dataset.converterMs = (converterMs ?? 0).toFixed(1);
  elements.status.dataset.runs = String(Number(elements.status.dataset.runs ?? '0') + 1);
  setStatus(ok ? 'done' : 'failed');
}

async function handleFile(file) {
  const fileNumber = ++latestFile;
  const started = performance.now();
  clearResults();
  setStatus(`converting ${file.name}`);
  let report;
  try {
    const bytes = new Uint8Array(await file.arrayBuffer());
    report = await convert(kindOf(file.name, bytes), file.name, bytes);
  } catch (error) {
    report = { ok: false, messages: [`Cannot open ${file.name}: ${error.message}`] };
  }
  if (fileNumber !== latestFile) return;
  showMessages(report.messages);
  showSummary(report);
  if (report.sheet) showSheet(report.sheet);
  if (report.ok) offerDownloads(report, file.name);
  endRun(report.ok, started, report.converterMs);
}

elements.deck.addEventListener('change', () => {
  const [file] = elements.deck.files;
  elements.deck.value = '';  // so that choosing the same file again runs it again
  if (file) handleFile(file);
});
elements.dropZone.addEventListener('dragover', (event) => {
  event.preventDefault();
  elements.dropZone.classList.add('dragging');
});
elements.dropZone.addEventListener('dragleave', () => elements.dropZone.classList.remove('dragging'));
elements.dropZone.addEventListener('drop', (event) => {
  event.preventDefault();
  elements.dropZone.classList.remove('dragging');
  if (event.dataTransfer.files.length > 0) handleFile(event.dataTransfer.files[0]);
});
elements.zoom.addEventListener('change', applyZoom);
elements.entryForm.addEventListener('submit', (event) => {
  event.preventDefault();
  const group = Number(elements.entryGroup.value);
  const entry = elements.entryNumber.value === '' ? -1 : Number(elements.entryNumber.value);
  showEntry(group, entry);
});
