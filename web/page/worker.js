// Runs one file at a time through the converter and posts the report back;
// the page never waits on a conversion, and cancels one by ending the worker.
//
// A request is { id, name, options, file } or { id, name, options, bytes }:
// the file as the page was given it (read here), or its bytes. `options` is
// the page's one options object: --best, --strict and --split, and kvzdeck
// build's options for a table.
const kvzModule = createKvzModule();
kvzModule.then(() => self.postMessage({ ready: true }));

const HEX_RECORD_START = 0x3a;  // ':'

// What the converter does with the file: build a table or an export into a
// deck and convert it, inspect an image, or convert a deck. A .txt that
// starts with ':' is an image's HEX text.
function kindOf(extension, bytes) {
  const startsLikeHex = bytes.length > 0 && bytes[0] === HEX_RECORD_START;
  if (extension === 'tsv' || extension === 'csv' || (extension === 'txt' && !startsLikeHex)) return 'text';
  if (extension === 'ihx' || extension === 'hex') return 'ihx';
  if (extension === 'kvz') return 'kvz';
  return startsLikeHex ? 'ihx' : 'kvz';
}

function runOnModule(module, { name, options }, bytes) {
  const kind = kindOf(module.fileNames(name).extension, bytes);
  let report;
  if (kind === 'text') report = module.buildAndConvertDeck(bytes, name, options);
  else if (kind === 'ihx') report = module.inspectImage(bytes, name);
  else report = module.convertDeck(bytes, name, options);
  report.kind = kind;
  return report;
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

async function bytesOf(request) {
  if (request.bytes) return new Uint8Array(request.bytes);
  return new Uint8Array(await request.file.arrayBuffer());
}

// The names around the file (stem, deck, downloads), or none when the
// converter could not load.
async function namesOf(name) {
  try {
    return (await kvzModule).fileNames(name);
  } catch {
    return null;
  }
}

self.onmessage = async (event) => {
  const { id, name } = event.data;
  let report;
  let bytes;
  try {
    bytes = await bytesOf(event.data);
  } catch (error) {
    report = { ok: false, messages: [`Cannot open ${name}: ${error.message}`] };
  }
  let started = performance.now();
  if (!report) {
    try {
      const module = await kvzModule;
      started = performance.now();
      report = runOnModule(module, event.data, bytes);
    } catch (error) {
      report = { ok: false, messages: [`${name}: the converter stopped: ${error}`] };
    }
  }
  report.names ??= await namesOf(name);
  report.converterMs = performance.now() - started;
  self.postMessage({ id, report }, transferables(report));
};
