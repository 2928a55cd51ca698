// Anki packages in the page, against kvzdeck build: the same .kvz byte for
// byte, the same messages, the deck chosen as --deck chooses it, and nothing
// fetched from anywhere but the page's own site.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import {
  download, errorLines, kvzdeck, messages, openPage, root, runFile, runNative, startBrowser, startServer, statusText,
  tempDir,
} from './support.mjs';

const packages = path.join(root, 'examples', 'anki');
const refusals = path.join(root, 'tests', 'cli', 'cases', 'kvzdeck', 'package');

let server;
let chrome;

before(async () => {
  assert.ok(fs.existsSync(kvzdeck), `${kvzdeck} is built`);
  server = await startServer();
  chrome = await startBrowser();
});

after(async () => {
  await chrome?.close();
  await server?.close();
});

async function withPage(use) {
  const context = await chrome.browser.createBrowserContext();
  const opened = await openPage(context, server.url);
  try {
    return await use(opened);
  } finally {
    await context.close();
  }
}

// kvzdeck build [--deck DECK] FILE NAME.kvz on a copy of `source`.
function buildNatively(source, deck, columns) {
  const dir = tempDir();
  const file = path.basename(source);
  fs.copyFileSync(source, path.join(dir, file));
  const kvz = `${path.parse(file).name}.kvz`;
  const run = runNative(kvzdeck, ['build', ...(deck ? ['--deck', deck] : []), ...(columns ? ['--columns', columns] : []), file, kvz], dir);
  const built = path.join(dir, kvz);
  return { status: run.status, errors: errorLines(run.stderr), kvz: fs.existsSync(built) ? fs.readFileSync(built) : null };
}

function kvzdeckLines(lines) {
  return lines.filter((line) => line.startsWith('kvzdeck:'));
}

function assertOnlyLocalRequests(requests) {
  for (const url of requests) {
    assert.ok(url.startsWith(`${server.origin}/`) || url.startsWith('blob:') || url.startsWith('data:'),
      `request to ${url}`);
  }
}

// Chooses `value` in the drop-down `selector` of the file's form, and waits
// for that file's build again.
async function choose(page, selector, value) {
  const runs = await page.$eval('#status', (status) => status.dataset.runs ?? '0');
  await page.select(selector, value);
  await page.waitForFunction((before) => document.querySelector('#status').dataset.runs !== before,
    { timeout: 60000 }, runs);
  return statusText(page);
}

describe('Anki packages, built as kvzdeck builds them', () => {
  // `fields` are chosen in the form: [note type, field, role]; `columns` is
  // the --columns list that the fields' names with those roles make.
  const cases = [
    { file: 'words-18.apkg' },
    { file: 'words-11.apkg' },
    { file: 'collection.colpkg' },
    { file: 'collection.colpkg', deck: 'Kanji' },
    { file: 'collection.colpkg', deck: '日本語::第2課' },
    { file: 'words-18.apkg', fields: [[0, 1, 'short2'], [0, 2, 'long']],
      columns: 'Expression=short1,Meaning=short2,Reading=long' },
    { file: 'collection.colpkg', deck: '日本語::第1課', fields: [[0, 0, 'short3']],
      columns: 'Expression=short3,Meaning=long,Reading=short2' },
    { file: 'collection.colpkg', fields: [[1, 3, 'group'], [2, 1, '-']],
      columns: 'Expression=short1,Meaning=long,Reading=short2,Word=short1,Kana=long,English=short2,Example=group,'
        + 'Level=short4,Text=short1,Back Extra=-' },
  ];
  for (const { file, deck, fields, columns } of cases) {
    test(`${file}${deck ? ` --deck ${deck}` : ''}${columns ? ` --columns ${columns}` : ''}: the native .kvz and messages`, async () => {
      const native = buildNatively(path.join(packages, file), deck, columns);
      assert.equal(native.status, 0, native.errors.join('\n'));
      await withPage(async ({ page, requests, errors }) => {
        assert.equal(await runFile(page, path.join(packages, file)), 'done');
        if (deck) assert.equal(await choose(page, '#package-deck', deck), 'done');
        // A swap of two roles passes through a refused choice (one role twice); the last builds.
        let status = 'done';
        for (const [type, field, role] of fields ?? []) status = await choose(page, `#package-field-${type}-${field}`, role);
        assert.equal(status, 'done');
        const command = await page.$eval('#command-line', (code) => code.textContent);
        // The page quotes a word that is not plain ASCII, or holds a comma or an equals sign.
        const word = (text) => (/^[A-Za-z0-9._+@/-]+$/.test(text) ? text : `"${text}"`);
        const flags = (deck ? ` --deck ${word(deck)}` : '') + (columns ? ` --columns ${word(columns)}` : '');
        assert.ok(command.startsWith(`kvzdeck build${flags} ${file} `), command);
        const kvz = await download(page, 'kvz');
        assert.ok(kvz && kvz.equals(native.kvz), `${file}: the .kvz is the native one`);
        assert.deepEqual(kvzdeckLines(await messages(page)), native.errors);
        assert.deepEqual(errors, []);
        assertOnlyLocalRequests(requests);
      });
    });
  }

  test('the form lists the package\'s decks and note types as kvzdeck list does', async () => {
    const listed = runNative(kvzdeck, ['list', path.join(packages, 'collection.colpkg')], root).stdout.split('\n');
    const decks = listed.slice(1, listed.indexOf('note types:')).map((line) => line.trim());
    const types = listed.slice(listed.indexOf('note types:') + 1).filter((line) => line !== '')
      .map((line) => line.trim().replace(/: .*$/, ''));
    await withPage(async ({ page }) => {
      assert.equal(await runFile(page, path.join(packages, 'collection.colpkg')), 'done');
      const options = await page.$$eval('#package-deck option', (items) => items.map((item) => item.textContent));
      assert.deepEqual(options, ['every deck', ...decks]);
      assert.deepEqual(await page.$$eval('#package-fields .note-type', (items) => items.map((item) => item.textContent)),
        types);
      // Without a choice, the fields have the roles kvzdeck gives them by their order.
      const roles = await page.$$eval('#package-fields select', (items) => items.map((item) => item.value));
      assert.deepEqual(roles, ['short1', 'long', 'short2', 'short1', 'long', 'short2', 'short3', 'short4',
        'short1', 'long']);
    });
  });

  test('damaged packages: refused with kvzdeck\'s own line', async () => {
    const files = [];
    for (const name of ['not-a-zip', 'bad-zstd', 'bomb', 'zstd-bomb', 'integrity', 'dot-dot']) {
      files.push(path.join(refusals, `kvzdeck-package-${name}`, 'in', `${name}.apkg`));
    }
    await withPage(async ({ page }) => {
      for (const file of files) {
        const native = buildNatively(file);
        assert.equal(native.status, 1);
        assert.equal(await runFile(page, file), 'failed', path.basename(file));
        assert.deepEqual(await messages(page), native.errors);
        assert.equal(await download(page, 'kvz'), null);
      }
    });
  });
});
