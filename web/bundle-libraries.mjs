// Writes anki-libraries.js, what the page reads Anki packages with: fflate
// (zip), fzstd (zstd) and sql.js (SQLite, its WebAssembly as base64) as
// pinned by web/libraries/package-lock.json, inside one function,
// kvzAnkiLibrariesMain, whose source the page hands to its worker the
// first time a package is given.
//   node web/bundle-libraries.mjs web/libraries/node_modules OUTPUT
import fs from 'node:fs';
import path from 'node:path';

const [modules, output] = process.argv.slice(2);
const read = (file) => fs.readFileSync(path.join(modules, file), 'utf8');
const version = (name) => JSON.parse(read(`${name}/package.json`)).version;
const wasm = fs.readFileSync(path.join(modules, 'sql.js/dist/sql-wasm.wasm')).toString('base64');
const text = `// fflate ${version('fflate')}, fzstd ${version('fzstd')} and sql.js ${version('sql.js')} (each under the MIT
// licence, see their packages), as the page's worker runs them: made by web/bundle-libraries.mjs.
function kvzAnkiLibrariesMain() {
${read('fflate/umd/index.js')}
;
${read('fzstd/umd/index.js')}
;
${read('sql.js/dist/sql-wasm.js')}
;
return { fflate: self.fflate, fzstd: self.fzstd, initSqlJs, sqlWasm: '${wasm}' };
}
`;
fs.mkdirSync(path.dirname(output), { recursive: true });
fs.writeFileSync(output, text);
