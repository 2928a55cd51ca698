// The page in headless Chromium against the native programs: every file
// the page hands over must be the native one, byte for byte (the preview:
// pixel for pixel), and every message the native line.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import {
  download, errorLines, kvzdeck, kvzpack, messages, openPage, previewCanvases, readGreyPng, root, runFile,
  runNative, siteDir, startBrowser, startServer, tempDir,
} from './support.mjs';

const examples = path.join(root, 'examples');
const PREVIEW_SCALE = 3;
const DOWNLOADS = ['ihx', 'txt', 'png', 'kvz'];

let server;
let chrome;

before(async () => {
  for (const program of [kvzpack, kvzdeck]) assert.ok(fs.existsSync(program), `${program} is built`);
  server = await startServer();
  chrome = await startBrowser();
});

after(async () => {
  await chrome?.close();
  await server?.close();
});

// kvzpack --preview on a copy of `deck` named `name` in a folder of its own.
function convertNatively(deck, name) {
  const dir = tempDir();
  fs.copyFileSync(deck, path.join(dir, name));
  const run = runNative(kvzpack, ['--preview', name], dir);
  const base = path.join(dir, path.parse(name).name);
  const read = (extension) => (fs.existsSync(base + extension) ? fs.readFileSync(base + extension) : null);
  return { dir, status: run.status, errors: errorLines(run.stderr), ihx: read('.ihx'), txt: read('.txt'),
    png: read('.png') };
}

// kvzdeck build NAME.tsv NAME.kvz, in a folder of its own.
function buildNatively(tsvText, name) {
  const dir = tempDir();
  const tsv = path.join(dir, name);
  fs.writeFileSync(tsv, tsvText);
  const kvz = path.join(dir, `${path.parse(name).name}.kvz`);
  const run = runNative(kvzdeck, ['build', name, path.basename(kvz)], dir);
  return { tsv, kvz, status: run.status, errors: errorLines(run.stderr) };
}

async function withPage(url, use) {
  const opened = await openPage(chrome.browser, url);
  try {
    return await use(opened);
  } finally {
    await opened.page.close();
  }
}

function assertSameBytes(actual, expected, what) {
  assert.ok(actual, `${what} is offered`);
  assert.ok(expected, `${what} was written natively`);
  assert.equal(actual.length, expected.length, `${what}: size`);
  assert.ok(actual.equals(expected), `${what}: bytes`);
}

// The PNG's pixels are those of the native PNG, and the canvases, each
// device pixel scaled up, are those pixels too.
function assertSameSheet(bands, webPng, nativePng) {
  const web = readGreyPng(webPng);
  const native = readGreyPng(nativePng);
  assert.deepEqual([web.width, web.height], [native.width, native.height], 'PNG size');
  assert.ok(web.pixels.equals(native.pixels), 'PNG pixels');
  assert.ok(bands.length > 0, 'the sheet is shown');
  const width = bands[0].width;
  const height = bands.reduce((sum, band) => sum + band.height, 0);
  assert.deepEqual([width * PREVIEW_SCALE, height * PREVIEW_SCALE], [native.width, native.height], 'sheet size');
  let top = 0;
  for (const band of bands) {
    assert.equal(band.width, width);
    assert.ok(band.height <= 32767, 'within the browser\'s canvas limit');
    for (let y = 0; y < band.height * PREVIEW_SCALE; ++y) {
      const pngRow = (top * PREVIEW_SCALE + y) * native.width;
      const bandRow = Math.floor(y / PREVIEW_SCALE) * width;
      for (let x = 0; x < native.width; ++x) {
        if (band.grey[bandRow + Math.floor(x / PREVIEW_SCALE)] !== native.pixels[pngRow + x]) {
          assert.fail(`canvas pixel (${Math.floor(x / PREVIEW_SCALE)}, ${top + Math.floor(y / PREVIEW_SCALE)}) differs`);
        }
      }
    }
    top += band.height;
  }
}

async function offeredDownloads(page) {
  const offered = [];
  for (const kind of DOWNLOADS) if (await download(page, kind)) offered.push(kind);
  return offered;
}

function assertOnlyLocalRequests(requests, origin) {
  for (const url of requests) {
    assert.ok(url.startsWith(`${origin}/`) || url.startsWith('blob:') || url.startsWith('data:') ||
      url.startsWith('file:'), `request to ${url}`);
  }
}

describe('decks converted as kvzpack converts them', () => {
  for (const name of ['example', 'sample', 'large']) {
    test(`${name}.kvz`, async () => {
      const native = convertNatively(path.join(examples, `${name}.kvz`), `${name}.kvz`);
      assert.equal(native.status, 0);
      await withPage(server.url, async ({ page, requests, errors }) => {
        assert.equal(await runFile(page, path.join(examples, `${name}.kvz`)), 'done');
        assert.deepEqual(await messages(page), native.errors);
        assertSameBytes(await download(page, 'ihx'), native.ihx, `${name}.ihx`);
        assertSameBytes(await download(page, 'txt'), native.txt, `${name}.txt`);
        assertSameSheet(await previewCanvases(page), await download(page, 'png'), native.png);
        assert.equal(await download(page, 'kvz'), null, 'no deck offered for a deck');
        const names = await page.$$eval('a[download]', (links) => links.map((link) => link.download));
        assert.deepEqual(names.sort(), [`${name}.ihx`, `${name}.png`, `${name}.txt`]);
        assertOnlyLocalRequests(requests, server.origin);
        assert.deepEqual(errors, []);
      });
    });
  }
});

describe('TSV decks built as kvzdeck builds them, then converted', () => {
  for (const name of ['example', 'sample', 'large']) {
    test(`${name}.tsv`, async () => {
      const built = buildNatively(fs.readFileSync(path.join(examples, `${name}.tsv`)), `${name}.tsv`);
      assert.equal(built.status, 0);
      const native = convertNatively(built.kvz, `${name}.kvz`);
      await withPage(server.url, async ({ page }) => {
        assert.equal(await runFile(page, built.tsv), 'done');
        assert.deepEqual(await messages(page), native.errors);
        assertSameBytes(await download(page, 'kvz'), fs.readFileSync(built.kvz), `${name}.kvz`);
        assertSameBytes(await download(page, 'ihx'), native.ihx, `${name}.ihx`);
        assertSameBytes(await download(page, 'txt'), native.txt, `${name}.txt`);
        assertSameSheet(await previewCanvases(page), await download(page, 'png'), native.png);
      });
    });
  }
});

// A level-1 kanji of Shift_JIS as a TSV escape: 0x8940 on, trail bytes
// 0x40-0x7E, so 945 different ones.
function kanji(n) {
  const code = 0x8940 + Math.floor((n % 945) / 63) * 0x100 + (n % 63);
  return `\\x${(code >> 8).toString(16)}\\x${(code & 0xff).toString(16)}`;
}

// A deck of `entries` entries spread over the 8 groups, each text different;
// enough different characters that the group tables can count that far.
function generatedTsv(entries, extraField = (i) => `S${i}`) {
  const lines = ['# generated by the browser tests'];
  for (let group = 0, i = 0; group < 8; ++group) {
    lines.push(`Group${group}`);
    for (const end = Math.round(((group + 1) * entries) / 8); i < end; ++i) {
      const long = `Long ${i} ${kanji(i)}${kanji(7 * i + 1)}${kanji(13 * i + 2)}`;
      lines.push([long, `A${i}`, `B${i % 97}`, 'C', 'D', extraField(i)].join('\t'));
    }
  }
  return `${lines.join('\n')}\n`;
}

describe('what will not show, and refusals', () => {
  test('characters without a glyph are listed with their places, and the deck still converts', async () => {
    // 0xFA40 and 0xFA41: IBM extension kanji; 0xF040: a user-defined character.
    const tsv = generatedTsv(3, (i) => (i === 1 ? 'x\\xFA\\x40\\xFA\\x41' : i === 2 ? '\\xF0\\x40\\xFA\\x40' : 'plain'));
    const built = buildNatively(tsv, 'missing.tsv');
    assert.equal(built.status, 0, built.errors.join('\n'));
    const native = convertNatively(built.kvz, 'missing.kvz');
    assert.equal(native.status, 0);
    assert.equal(native.errors.length, 3);
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, built.kvz), 'done');
      assert.deepEqual(await messages(page), native.errors);
      assertSameBytes(await download(page, 'ihx'), native.ihx, 'missing.ihx');
      const classes = await page.$$eval('#warnings li', (items) => items.map((item) => item.className));
      assert.deepEqual(classes, ['warning', 'warning', 'warning']);
    });
  });

  test('codes that are not Shift_JIS are told as both programs tell them, and the image is the native one', async () => {
    // 0x9001 shows the glyph of 0x9145, 0x907F that of 0x9080.
    const tsv = generatedTsv(3, (i) => (i === 1 ? 'x\\x90\\x01' : i === 2 ? '\\x90\\x7F\\x90\\x01' : 'plain'));
    const built = buildNatively(tsv, 'stray.tsv');
    assert.equal(built.status, 0, built.errors.join('\n'));
    assert.equal(built.errors.length, 3);
    const native = convertNatively(built.kvz, 'stray.kvz');
    assert.equal(native.status, 0);
    assert.equal(native.errors.length, 2);
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, built.tsv), 'done');
      assert.deepEqual(await messages(page), [...built.errors, ...native.errors]);
      assertSameBytes(await download(page, 'ihx'), native.ihx, 'stray.ihx');
    });
  });

  test('a truncated deck shows its error and offers nothing', async () => {
    const dir = tempDir();
    const broken = path.join(dir, 'broken.kvz');
    fs.writeFileSync(broken, fs.readFileSync(path.join(examples, 'example.kvz')).subarray(0, 2000));
    const native = convertNatively(broken, 'broken.kvz');
    assert.equal(native.status, 1);
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, broken), 'failed');
      assert.deepEqual(await messages(page), native.errors);
      assert.deepEqual(await offeredDownloads(page), []);
      assert.equal(await page.$$eval('#preview canvas', (canvases) => canvases.length), 0);
    });
  });

  test('a deck too large for the device is refused as kvzpack refuses it', async () => {
    const dir = tempDir();
    // Every entry a different long text: far more than the device holds.
    const lines = ['Big'];
    for (let i = 0; i < 4000; ++i) lines.push([`${i * 7919} ${i}x${i * 31}`, `${i}`, 'b', 'c', 'd', 'e'].join('\t'));
    for (let group = 1; group < 8; ++group) lines.push(`G${group}`);
    const built = buildNatively(`${lines.join('\n')}\n`, 'big.tsv');
    assert.equal(built.status, 0, built.errors.join('\n'));
    const native = convertNatively(built.kvz, 'big.kvz');
    assert.equal(native.status, 1);
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, built.kvz), 'failed');
      assert.deepEqual(await messages(page), native.errors);
      assert.deepEqual(await offeredDownloads(page), []);
    });
    fs.rmSync(dir, { recursive: true, force: true });
  });

  test('a broken TSV shows kvzdeck\'s line-numbered error and offers nothing', async () => {
    const tsv = 'A\nlong\tshort 1\tshort 2\n';
    const native = buildNatively(tsv, 'broken.tsv');
    assert.equal(native.status, 1);
    assert.equal(native.errors.length, 1);
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, native.tsv), 'failed');
      assert.deepEqual(await messages(page), native.errors);
      assert.deepEqual(await offeredDownloads(page), []);
    });
  });
});

describe('images inspected as kvzpack --inspect inspects them', () => {
  test('a good image shows its summary and its sheet', async () => {
    const native = convertNatively(path.join(examples, 'sample.kvz'), 'sample.kvz');
    const inspected = runNative(kvzpack, ['--inspect', 'sample.ihx'], native.dir);
    assert.equal(inspected.status, 0);
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, path.join(native.dir, 'sample.ihx')), 'done');
      assert.deepEqual(await messages(page), []);
      assert.equal(await page.$eval('#summary pre', (pre) => pre.textContent), inspected.stdout);
      assertSameSheet(await previewCanvases(page), await download(page, 'png'), native.png);
      assert.deepEqual(await offeredDownloads(page), ['png']);
    });
  });

  test('a damaged image shows its error', async () => {
    const native = convertNatively(path.join(examples, 'example.kvz'), 'example.kvz');
    const damaged = path.join(native.dir, 'damaged.ihx');
    const text = native.ihx.toString('latin1');
    fs.writeFileSync(damaged, `${text.slice(0, 12)}${text[12] === '0' ? '1' : '0'}${text.slice(13)}`, 'latin1');
    const inspected = runNative(kvzpack, ['--inspect', 'damaged.ihx'], native.dir);
    assert.equal(inspected.status, 1);
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, damaged), 'failed');
      assert.deepEqual(await messages(page), errorLines(inspected.stderr));
      assert.deepEqual(await offeredDownloads(page), []);
    });
  });
});

describe('the sheet', () => {
  test('a deck of over a thousand entries is drawn in bands within the canvas limits', async () => {
    const built = buildNatively(generatedTsv(1500), 'many.tsv');
    assert.equal(built.status, 0, built.errors.join('\n'));
    const native = convertNatively(built.kvz, 'many.kvz');
    assert.equal(native.status, 0);
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, built.kvz), 'done');
      const bands = await previewCanvases(page);
      assert.ok(bands.length > 1, 'more than one canvas');
      assertSameSheet(bands, await download(page, 'png'), native.png);
      assertSameBytes(await download(page, 'ihx'), native.ihx, 'many.ihx');
    });
  });

  test('an entry named in the form, or clicked, is shown enlarged with its six texts', async () => {
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, path.join(examples, 'sample.kvz')), 'done');
      await page.$eval('#entry-group', (input) => { input.value = '1'; });
      await page.$eval('#entry-number', (input) => { input.value = '2'; });
      await page.click('#entry-form button');
      assert.equal(await page.$eval('#entry-view h3', (h) => h.textContent), 'Group 1, entry 2');
      const shown = await page.$$eval('#entry-view canvas', (canvases) => canvases.map((canvas) => {
        const { data } = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
        return { width: canvas.width, height: canvas.height, ink: data.filter((_, i) => i % 4 === 0 && data[i] === 0).length };
      }));
      assert.equal(shown.length, 6);
      for (const text of shown) {
        assert.equal(text.height, 7);
        assert.ok(text.ink > 0, 'each text has ink');
      }
      // A click on the row of group 3's entry 0 shows that entry.
      const target = await page.evaluate(() => currentSheet.texts.find((t) => t.group === 3 && t.entry === 0));
      const point = await page.evaluate((text) => {
        const zoom = Number(document.querySelector('#zoom').value);
        const preview = document.querySelector('#preview');
        preview.scrollIntoView({ block: 'start' });
        preview.scrollTop = text.y * zoom - 40;
        const box = document.querySelector('#preview canvas').getBoundingClientRect();
        return { x: box.x + (text.x + 2) * zoom, y: box.y + (text.y + 3) * zoom };
      }, target);
      await page.mouse.click(point.x, point.y);
      assert.equal(await page.$eval('#entry-view h3', (h) => h.textContent), 'Group 3, entry 0');
    });
  });
});

describe('the page', () => {
  test('works when its saved folder is opened as a file', async () => {
    const native = convertNatively(path.join(examples, 'sample.kvz'), 'sample.kvz');
    await withPage(`file://${path.join(siteDir, 'index.html')}`, async ({ page, requests }) => {
      assert.equal(await runFile(page, path.join(examples, 'sample.kvz')), 'done');
      assertSameBytes(await download(page, 'ihx'), native.ihx, 'sample.ihx');
      for (const url of requests) assert.ok(/^(file|blob|data):/.test(url), `request to ${url}`);
    });
  });

  test('a file dropped on the drop zone is converted', async () => {
    const native = convertNatively(path.join(examples, 'example.kvz'), 'example.kvz');
    const bytes = [...fs.readFileSync(path.join(examples, 'example.kvz'))];
    await withPage(server.url, async ({ page }) => {
      await page.evaluate((content) => {
        const transfer = new DataTransfer();
        transfer.items.add(new File([new Uint8Array(content)], 'example.kvz'));
        const zone = document.querySelector('#drop-zone');
        zone.dispatchEvent(new DragEvent('dragover', { dataTransfer: transfer, bubbles: true, cancelable: true }));
        zone.dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
      }, bytes);
      await page.waitForFunction(() => document.querySelector('#status').dataset.runs === '1');
      assert.equal(await page.$eval('#status', (status) => status.textContent), 'done');
      assertSameBytes(await download(page, 'ihx'), native.ihx, 'example.ihx');
    });
  });

  test('the file button is labelled and the results are announced', async () => {
    await withPage(server.url, async ({ page }) => {
      const labels = await page.$eval('input#deck', (input) => [...input.labels].map((label) => label.textContent));
      assert.ok(labels.length > 0 && labels[0].trim() !== '', 'input#deck has a label');
      assert.equal(await page.$eval('#status', (status) => status.getAttribute('role')), 'status');
      assert.ok(await page.$eval('#warnings', (list) => list.getAttribute('aria-live') !== null));
      // The button is reached with the keyboard.
      await page.keyboard.press('Tab');
      assert.equal(await page.evaluate(() => document.activeElement.id), 'deck');
    });
  });

  test('screenshot of the page after converting the sample TSV', async () => {
    await withPage(server.url, async ({ page }) => {
      await page.setViewport({ width: 1100, height: 1500 });
      assert.equal(await runFile(page, path.join(examples, 'sample.tsv')), 'done');
      const file = path.resolve(siteDir, '..', 'web-page.png');
      await page.screenshot({ path: file, fullPage: false });
      assert.ok(fs.statSync(file).size > 0);
    });
  });
});
