// Anki packages in the page, against kvzdeck build: the same .kvz byte for
// byte, the same messages, the deck chosen as --deck chooses it, and nothing
// fetched from anywhere but the page's own site.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import {
  download, errorLines, kvzdeck, messages, openPage, root, runFile, runNative, startBrowser, startServer, tempDir,
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

describe('Anki packages, built as kvzdeck builds them', () => {
  const cases = [
    { file: 'words-18.apkg' },
    { file: 'words-11.apkg' },
    { file: 'collection.colpkg' },
    { file: 'collection.colpkg', deck: 'Kanji' },
    { file: 'collection.colpkg', deck: '日本語::第2課' },
    { file: 'words-18.apkg', columns: 'Reading=short2,Expression=short1,Meaning=long' },
  ];
  for (const { file, deck, columns } of cases) {
    test(`${file}${deck ? ` --deck ${deck}` : ''}${columns ? ` --columns ${columns}` : ''}: the native .kvz and messages`, async () => {
      const native = buildNatively(path.join(packages, file), deck, columns);
      assert.equal(native.status, 0, native.errors.join('\n'));
      await withPage(async ({ page, requests, errors }) => {
        await page.$eval('#package-deck', (input, value) => { input.value = value; }, deck ?? '');
        await page.$eval('#package-columns', (input, value) => { input.value = value; }, columns ?? '');
        assert.equal(await runFile(page, path.join(packages, file)), 'done');
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

  test('a deck the package does not have, and damaged packages: refused with kvzdeck\'s own line', async () => {
    const files = [path.join(packages, 'collection.colpkg')];
    for (const name of ['not-a-zip', 'bad-zstd', 'bomb', 'zstd-bomb', 'integrity', 'dot-dot']) {
      files.push(path.join(refusals, `kvzdeck-package-${name}`, 'in', `${name}.apkg`));
    }
    await withPage(async ({ page }) => {
      await page.$eval('#package-deck', (input) => { input.value = 'Kanj'; });
      for (const file of files) {
        const native = buildNatively(file, 'Kanj');
        assert.equal(native.status, 1);
        assert.equal(await runFile(page, file), 'failed', path.basename(file));
        assert.deepEqual(await messages(page), native.errors);
        assert.equal(await download(page, 'kvz'), null);
      }
    });
  });
});
