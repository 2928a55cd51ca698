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
  if (extension === 'apkg' || extension === 'colpkg') return 'text';  // an Anki package, read as kvzdeck build reads it
  if (extension === 'ihx' || extension === 'hex') return 'ihx';
  if (extension === 'kvz') return 'kvz';
  return startsLikeHex ? 'ihx' : 'kvz';
}

function runOnModule(module, { name, options }, kind, bytes) {
  if (kind === 'text') return module.buildAndConvertDeck(bytes, name, options);
  if (kind === 'ihx') return module.inspectImage(bytes, name);
  return module.convertDeck(bytes, name, options);
}

// The report's arrays, handed over rather than copied (its downloads are
// Blobs, which go by reference).
function transferables(report) {
  const buffers = [];
  for (const image of [report, ...(report.parts ?? [])]) {
    for (const array of [image.kvz, image.sheet && image.sheet.grey, image.sheet && image.sheet.places]) {
      if (array) buffers.push(array.buffer);
    }
  }
  return buffers;
}

// The request's bytes from `start` to `end` (to its end without one).
async function bytesOf(request, start = 0, end = undefined) {
  if (request.bytes) return new Uint8Array(request.bytes).subarray(start, end);
  return new Uint8Array(await request.file.slice(start, end).arrayBuffer());
}

// The report on the request's file. Its kind is told from its name and
// first byte before the whole file is read, and posted at once with the
// names around it, so that the page can show the file's command line while
// it converts.
async function runOnFile(module, request) {
  const { id, name } = request;
  let kind;
  let bytes;
  try {
    const names = module.fileNames(name);
    kind = kindOf(names.extension, await bytesOf(request, 0, 1));
    self.postMessage({ id, started: { kind, names } });
    // A file beyond the converter's bound for its kind is refused unread,
    // as on the command line.
    const size = request.file ? request.file.size : request.bytes.byteLength;
    const refusal = module.refuseTooLarge(kind, name, size);
    if (refusal) return refusal;
    bytes = await bytesOf(request);
    if (request.packageLibraries) await setUpPackageLibraries(request.packageLibraries);
  } catch (error) {
    return module.refuseUnread(name, String(error.message ?? error));
  }
  return runOnModule(module, request, kind, bytes);
}

// The names around the file (stem, extension, deck), or none when the
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
  let started = performance.now();
  try {
    const module = await kvzModule;
    started = performance.now();
    report = await runOnFile(module, event.data);
  } catch (error) {
    report = { ok: false, messages: [`${name}: the converter stopped: ${error}`] };
  }
  report.names ??= await namesOf(name);
  report.converterMs = performance.now() - started;
  self.postMessage({ id, report }, transferables(report));
};
