// Anki packages (.apkg, .colpkg): the libraries the worker reads them with
// (anki-libraries.js) are loaded only when a package is given, and handed to
// each worker once. The deck to build (kvzdeck build's --deck) and its
// fields' roles (--columns) are that file's own, chosen in the form beside
// its results (package-form.js). A package has no text encoding to choose.

function isPackageFile(name) {
  return /\.(apkg|colpkg)$/i.test(name);
}

// The source of kvzAnkiLibrariesMain, from anki-libraries.js loaded once.
function loadPackageLibraries() {
  state.packageLibraries.source ??= new Promise((resolve, reject) => {
    const script = document.createElement('script');
    script.src = 'anki-libraries.js';
    script.onload = () => resolve(kvzAnkiLibrariesMain.toString());
    script.onerror = () => reject(new Error('anki-libraries.js could not be loaded'));
    document.head.append(script);
  });
  return state.packageLibraries.source;
}

// `entry`'s options as a package's build takes them: the deck and fields'
// roles of its own form, and no text encoding; unchanged for another file.
function withPackageOptions(entry) {
  if (!isPackageFile(entry.name)) return entry.options;
  return { ...entry.options, deck: entry.table.deck ?? '', columns: entry.table.columns ?? '', encoding: '' };
}

// What a request for `file` carries besides it: its options, and the
// libraries for a worker that has none yet. Without them the converter
// refuses the package, saying so.
async function packageRequest(file, options, worker) {
  const request = { options };
  if (!isPackageFile(file.name) || state.packageLibraries.workers.has(worker)) return request;
  try {
    request.packageLibraries = await loadPackageLibraries();
    state.packageLibraries.workers.add(worker);
  } catch {
    state.packageLibraries.source = null;
  }
  return request;
}
