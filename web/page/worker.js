// Runs one file at a time through the converter and posts the report back;
// the page never waits on a conversion, and cancels one by ending the worker.
const kvzModule = createKvzModule();
kvzModule.then(() => self.postMessage({ ready: true }));

// A text deck's (a TSV, CSV or flashcard export) KVZ deck is named
// `deckName` (NAME.kvz for NAME.csv); `options` are the page's --best,
// --strict and --split and kvzdeck build's options.
function runOnModule(module, { kind, name, deckName, options }, bytes) {
  const { best, strict, split } = options;
  if (kind === 'text') return module.buildAndConvertDeck(bytes, name, deckName, best, strict, split, options);
  if (kind === 'ihx') return module.inspectImage(bytes, name);
  return module.convertDeck(bytes, name, best, strict, split);
}

function transferables(report) {
  const buffers = [];
  for (const image of [report, ...(report.parts ?? [])]) {
    for (const array of [image.png, image.kvz, image.sheet && image.sheet.rgba, image.sheet && image.sheet.places]) {
      if (array) buffers.push(array.buffer);
    }
  }
  return buffers;
}

// The file's bytes, read here only once the converter's bound for its kind
// allows them: a file too large is refused unread, as on the command line.
async function runOnFile(module, request) {
  const { kind, name, file } = request;
  const refusal = module.refuseTooLarge(kind, name, file.size);
  if (refusal) return refusal;
  let bytes;
  try {
    bytes = new Uint8Array(await file.arrayBuffer());
  } catch (error) {
    return { ok: false, messages: [`Cannot open ${name}: ${error.message}`] };
  }
  return runOnModule(module, request, bytes);
}

self.onmessage = async (event) => {
  const { id, name } = event.data;
  let report;
  let started = performance.now();
  try {
    const module = await kvzModule;
    started = performance.now();
    report = await runOnFile(module, event.data);
  } catch (error) {
    report = { ok: false, messages: [`${name}: the converter stopped: ${error}`] };
  }
  report.converterMs = performance.now() - started;
  self.postMessage({ id, report }, transferables(report));
};
