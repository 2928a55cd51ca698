// The page's shared parts: constants, its elements, and its one state
// object. The build puts the files of web/page/app/ together into the
// site's app.js, in the order web/CMakeLists.txt lists them; they share one
// scope, as one plain script (so the page also runs when opened as a file).
'use strict';

// Tallest canvas drawn for the sheet, in device pixels; Chromium refuses
// canvases over 32767 pixels a side, and big ones are slow to scroll.
const BAND_HEIGHT = 4096;
const ENTRY_ZOOM = 6;
// The zoom shown when the sheet at this zoom fits the preview's width.
const PREFERRED_ZOOM = 3;
const OPTIONS_KEY = 'kvzpack.options';

const byId = (id) => document.getElementById(id);

const elements = {
  deck: byId('deck'),
  dropZone: byId('drop-zone'),
  best: byId('option-best'),
  strict: byId('option-strict'),
  split: byId('option-split'),
  encoding: byId('option-encoding'),
  cut: byId('option-cut'),
  replace: byId('option-replace'),
  status: byId('status'),
  working: byId('working'),
  cancel: byId('cancel'),
  filesSection: byId('files-section'),
  files: byId('files'),
  results: byId('results'),
  resultHeading: byId('result-heading'),
  command: byId('command'),
  commandLine: byId('command-line'),
  copyCommand: byId('copy-command'),
  tableSection: byId('table-section'),
  tableForm: byId('table-form'),
  warnings: byId('warnings'),
  noWarnings: byId('no-warnings'),
  summarySection: byId('summary-section'),
  summary: byId('summary'),
  spaceSection: byId('space-section'),
  space: byId('space'),
  downloadsSection: byId('downloads-section'),
  previewSection: byId('preview-section'),
  preview: byId('preview'),
  zoom: byId('zoom'),
  part: byId('part'),
  partLabel: byId('part-label'),
  partDownloads: byId('part-downloads'),
  entryForm: byId('entry-form'),
  entryFields: byId('entry-fields'),
  entryGroup: byId('entry-group'),
  entryNumber: byId('entry-number'),
  entryView: byId('entry-view'),
  downloads: {
    ihx: byId('download-ihx'),
    txt: byId('download-txt'),
    png: byId('download-png'),
    kvz: byId('download-kvz'),
    deckTsv: byId('download-deck-tsv'),
  },
};

// Everything the page changes as it runs.
const state = {
  // The files of the latest choice, in the order given: { file, name,
  // state ('waiting', 'converting', 'done', 'failed', 'cancelled'), options,
  // table (the options of its own form), kind and names (once the worker
  // has told them), report }. The one shown is `shown`.
  entries: [],
  shown: null,
  sheet: null,        // the sheet shown, with its texts' places
  drawing: { bandImage: null, spareCanvases: [] },  // what drawing a sheet reuses (sheet.js)
  zoomChosen: false,  // the user picked a zoom: it is kept
  // A newer choice of files (or a cancel) ends the older batch: each batch
  // runs while its number is the latest.
  batch: { latest: 0, started: 0, ticker: 0 },
  worker: { instance: null, nextRunId: 1, pending: null },  // pending: { id, finish, onStart }
  // The Anki package libraries (packages.js): the promise of their source,
  // once asked for, and the workers that have them.
  packageLibraries: { source: null, workers: new WeakSet() },
};

function setStatus(text) {
  elements.status.textContent = text;
}

// "1 message", "2 messages".
function counted(count, one, many) {
  return `${count} ${count === 1 ? one : many}`;
}

function cell(tag, text) {
  const element = document.createElement(tag);
  element.textContent = text;
  return element;
}
