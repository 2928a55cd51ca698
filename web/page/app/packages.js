// Anki packages (.apkg, .colpkg): the libraries the worker reads them with
// (anki-libraries.js) are loaded only when a package is given, and handed to
// each worker once; the deck to build (kvzdeck build's --deck) comes from the
// package-deck field, its fields' roles (--columns) from package-columns. A
// package has no text encoding to choose.
const workersWithPackageLibraries = new WeakSet();
let packageLibrariesSource = null;

function isPackageFile(name) {
  return /\.(apkg|colpkg)$/i.test(name);
}

// The source of kvzAnkiLibrariesMain, from anki-libraries.js loaded once.
function loadPackageLibraries() {
  packageLibrariesSource ??= new Promise((resolve, reject) => {
    const script = document.createElement('script');
    script.src = 'anki-libraries.js';
    script.onload = () => resolve(kvzAnkiLibrariesMain.toString());
    script.onerror = () => reject(new Error('anki-libraries.js could not be loaded'));
    document.head.append(script);
  });
  return packageLibrariesSource;
}

// `options` as a package's build takes them: the deck chosen and its fields'
// roles, and no text encoding; unchanged for another file. The entry keeps
// them, so that the command line shown names them.
function withPackageOptions(name, options) {
  if (!isPackageFile(name)) return options;
  return {
    ...options,
    deck: document.getElementById('package-deck')?.value.trim() ?? '',
    columns: document.getElementById('package-columns')?.value.trim() ?? '',
    encoding: '',
  };
}

// What a request for `file` carries besides it: its options, and the
// libraries for a worker that has none yet. Without them the converter
// refuses the package, saying so.
async function packageRequest(file, options, worker) {
  const request = { options };
  if (!isPackageFile(file.name) || workersWithPackageLibraries.has(worker)) return request;
  try {
    request.packageLibraries = await loadPackageLibraries();
    workersWithPackageLibraries.add(worker);
  } catch {
    packageLibrariesSource = null;
  }
  return request;
}
