// Runs one file at a time through the converter and posts the report back;
// the page never waits on a conversion.
const kvzModule = createKvzModule();
kvzModule.then(() => self.postMessage({ ready: true }));

// The deck built from NAME.tsv is NAME.kvz, as kvzdeck build names it here.
function deckName(name) {
  const dot = name.lastIndexOf('.');
  return `${dot > 0 ? name.slice(0, dot) : name}.kvz`;
}

function runOnModule(module, kind, bytes, name) {
  if (kind === 'tsv') return module.buildAndConvertDeck(bytes, name, deckName(name));
  if (kind === 'ihx') return module.inspectImage(bytes, name);
  return module.convertDeck(bytes, name);
}

function transferables(report) {
  const buffers = [];
  for (const array of [report.png, report.kvz, report.sheet && report.sheet.pixels, report.sheet && report.sheet.places]) {
    if (array) buffers.push(array.buffer);
  }
  return buffers;
}

self.onmessage = async (event) => {
  const { id, kind, name, bytes } = event.data;
  let report;
  const module = await kvzModule;
  const started = performance.now();
  try {
    report = runOnModule(module, kind, new Uint8Array(bytes), name);
  } catch (error) {
    report = { ok: false, messages: [`${name}: the converter stopped: ${error}`] };
  }
  report.converterMs = performance.now() - started;
  self.postMessage({ id, report }, transferables(report));
};
