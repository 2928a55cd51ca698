// Anki packages in the worker: the libraries that the converter reads them
// with (fflate for zip, fzstd for zstd, sql.js for SQLite), set up once in a
// worker, the first time a package comes, from the source the page hands
// over with it (anki-libraries.js, loaded only then). The converter calls
// them synchronously through self.kvzPackageLibraries, each answer bytes
// (or rows), the text 'tooLarge' past its limit, or null for damaged input.
let packageLibrariesSetUp = null;

function base64Bytes(text) {
  const binary = atob(text);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

// The content size a zstd frame's header declares, or 0 when it declares none.
function zstdDeclaredSize(frame) {
  if (frame.length < 6 || frame[0] !== 0x28 || frame[1] !== 0xb5 || frame[2] !== 0x2f || frame[3] !== 0xfd) return 0;
  const descriptor = frame[4];
  const single = (descriptor >> 5) & 1;
  const bytes = [single ? 1 : 0, 2, 4, 8][descriptor >> 6];
  const at = 5 + (single ? 0 : 1) + [0, 1, 2, 4][descriptor & 3];
  if (bytes === 0 || at + bytes > frame.length) return 0;
  let size = 0;
  for (let i = bytes - 1; i >= 0; --i) size = size * 256 + frame[at + i];
  return bytes === 2 ? size + 256 : size;
}

// A cell as SQLite gives it as text: NULL empty, integers exact.
function cellText(value) {
  if (value === null || value === undefined) return '';
  if (value instanceof Uint8Array) return new TextDecoder().decode(value);
  return String(value);
}

function packageLibraries({ fflate, fzstd }, SQL) {
  return {
    listEntries(zip) {
      try {
        const entries = [];
        fflate.unzipSync(zip, {
          filter(file) {
            entries.push({ name: file.name, size: file.originalSize });
            return false;
          },
        });
        return entries;
      } catch {
        return null;
      }
    },
    readEntry(zip, name, limit) {
      try {
        let declared = 0;
        const files = fflate.unzipSync(zip, {
          filter(file) {
            if (file.name !== name) return false;
            declared = file.originalSize;
            return declared <= limit;
          },
        });
        if (declared > limit) return 'tooLarge';
        const bytes = files[name];
        if (!bytes) return null;
        return bytes.length > limit ? 'tooLarge' : bytes;
      } catch {
        return null;
      }
    },
    decompressZstd(frame, limit) {
      if (zstdDeclaredSize(frame) > limit) return 'tooLarge';
      try {
        const bytes = fzstd.decompress(frame);
        return bytes.length > limit ? 'tooLarge' : bytes;
      } catch {
        return null;
      }
    },
    query(database, sql) {
      let db = null;
      try {
        db = new SQL.Database(database);
        const statement = db.prepare(sql);
        const rows = [];
        while (statement.step()) rows.push(statement.get(null, { useBigInt: true }).map(cellText));
        statement.free();
        return rows;
      } catch {
        return null;
      } finally {
        if (db) db.close();
      }
    },
  };
}

// Sets up the libraries from `source`, the text of kvzAnkiLibrariesMain, once.
function setUpPackageLibraries(source) {
  packageLibrariesSetUp ??= (async () => {
    const url = URL.createObjectURL(new Blob([`self.kvzAnkiLibraries = (${source})();`], { type: 'text/javascript' }));
    importScripts(url);
    URL.revokeObjectURL(url);
    const libraries = self.kvzAnkiLibraries;
    const SQL = await libraries.initSqlJs({ wasmBinary: base64Bytes(libraries.sqlWasm) });
    self.kvzPackageLibraries = packageLibraries(libraries, SQL);
  })();
  return packageLibrariesSetUp;
}
