// The page in headless Chromium against the native programs: every file
// the page hands over must be the native one, byte for byte (the preview:
// pixel for pixel), and every message the native line.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import {
  download, errorLines, kvzdeck, kvzpack, messages, openPage, previewCanvases, readGreyPng, root, runFile,
  runNative, siteDir, startBrowser, startServer, statusText, tempDir,
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

// A page in a browser context of its own: what one test keeps in the
// browser's storage is not there for the next.
async function withPage(url, use) {
  const context = await chrome.browser.createBrowserContext();
  const opened = await openPage(context, url);
  try {
    return await use({ ...opened, context });
  } finally {
    await context.close();
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
        const names = await page.$$eval('.downloads a[download]', (links) => links.map((link) => link.download));
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

  test('codes that are not Shift_JIS in a TSV are told as both programs tell them, naming the TSV, and the image is the native one', async () => {
    // 0x9001 shows the glyph of 0x9145, 0x907F that of 0x9080.
    const tsv = generatedTsv(3, (i) => (i === 1 ? 'x\\x90\\x01' : i === 2 ? '\\x90\\x7F\\x90\\x01' : 'plain'));
    const built = buildNatively(tsv, 'stray.tsv');
    assert.equal(built.status, 0, built.errors.join('\n'));
    assert.equal(built.errors.length, 2);  // the second 0x9001 is told on the first one's line
    const native = convertNatively(built.kvz, 'stray.kvz');
    assert.equal(native.status, 0);
    assert.equal(native.errors.length, 2);
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, built.tsv), 'done');
      // kvzpack's lines name the file the user gave, not the deck built from it.
      const told = native.errors.map((line) => line.replace('kvzpack: stray.kvz: ', 'kvzpack: stray.tsv: '));
      assert.notDeepEqual(told, native.errors);
      assert.deepEqual(await messages(page), [...built.errors, ...told]);
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

describe('the command line\'s bounds', () => {
  test('an image whose phrases would run away is refused at once, as kvzpack --inspect refuses it', async () => {
    const dir = tempDir();
    const image = path.join(dir, 'runaway.ihx');
    fs.copyFileSync(path.join(root, 'tests/cli/cases/kvzpack/inspect/inspect-runaway-phrases/in/runaway.ihx'), image);
    const inspected = runNative(kvzpack, ['--inspect', 'runaway.ihx'], dir);
    assert.equal(inspected.status, 1);
    assert.match(inspected.stderr, /expands to more than 116 characters/);
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, image), 'failed');
      assert.deepEqual(await messages(page), errorLines(inspected.stderr));
      assert.deepEqual(await offeredDownloads(page), []);
    });
    fs.rmSync(dir, { recursive: true, force: true });
  });

  test('a file beyond its kind\'s bound is refused by its size with the command line\'s line', async () => {
    const dir = tempDir();
    // Sparse files one byte over each bound: nothing of them is ever read.
    const sparse = (name, bytes) => {
      const file = path.join(dir, name);
      fs.closeSync(fs.openSync(file, 'w'));
      fs.truncateSync(file, bytes);
      return file;
    };
    const image = sparse('big.ihx', 1048576 + 1);
    const table = sparse('big.tsv', 536870912 + 1);
    const deck = sparse('big.kvz', 134217728 + 1);
    const inspected = runNative(kvzpack, ['--inspect', 'big.ihx'], dir);
    assert.equal(inspected.status, 1);
    const built = runNative(kvzdeck, ['build', 'big.tsv', 'built.kvz'], dir);
    assert.equal(built.status, 1);
    const expected = [
      [image, errorLines(inspected.stderr)],
      [table, errorLines(built.stderr)],
      // The command line reads no more of a deck than its records announce.
      [deck, ['kvzpack: big.kvz: is larger than any KVZ deck (at most 134217728 bytes)']],
    ];
    await withPage(server.url, async ({ page }) => {
      for (const [file, lines] of expected) {
        assert.equal(lines.length, 1, lines.join('\n'));
        assert.equal(await runFile(page, file), 'failed', file);
        assert.deepEqual(await messages(page), lines);
        assert.deepEqual(await offeredDownloads(page), []);
      }
    });
    fs.rmSync(dir, { recursive: true, force: true });
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

  test('a sheet drawn where one of the same size stood shows its own pixels only', async () => {
    const first = buildNatively(generatedTsv(40), 'first.tsv');
    const second = buildNatively(generatedTsv(40, (i) => `T${i}`), 'second.tsv');
    assert.equal(first.status, 0, first.errors.join('\n'));
    assert.equal(second.status, 0, second.errors.join('\n'));
    const firstNative = convertNatively(first.kvz, 'first.kvz');
    const native = convertNatively(second.kvz, 'second.kvz');
    const [before, after] = [readGreyPng(firstNative.png), readGreyPng(native.png)];
    assert.deepEqual([before.width, before.height], [after.width, after.height], 'sheets of one size');
    assert.ok(!before.pixels.equals(after.pixels), 'sheets that differ');
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, first.kvz), 'done');
      assert.equal(await runFile(page, second.kvz), 'done');
      assertSameSheet(await previewCanvases(page), await download(page, 'png'), native.png);
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
      const target = await page.evaluate(() => state.sheet.texts.find((t) => t.group === 3 && t.entry === 0));
      const point = await page.evaluate((text) => {
        const canvas = document.querySelector('#preview canvas');
        const zoom = canvas.getBoundingClientRect().width / canvas.width;
        const preview = document.querySelector('#preview');
        preview.scrollIntoView({ block: 'start' });
        preview.scrollTop = text.y * zoom - 40;
        const box = canvas.getBoundingClientRect();
        return { x: box.x + (text.x + 2) * zoom, y: box.y + (text.y + 3) * zoom };
      }, target);
      await page.mouse.click(point.x, point.y);
      assert.equal(await page.$eval('#entry-view h3', (h) => h.textContent), 'Group 3, entry 0');
    });
  });
});

// What lies outside the screen's width or scrolls sideways, but the sheet.
async function outsideTheScreen(page) {
  return page.evaluate(() => {
    const width = document.documentElement.clientWidth;
    const sheet = document.querySelector('#preview');
    const outside = [];
    for (const element of document.body.querySelectorAll('*')) {
      if (element !== sheet && sheet.contains(element)) continue;
      const box = element.getBoundingClientRect();
      const name = `${element.tagName.toLowerCase()}#${element.id}.${element.className}`;
      if (box.width > 0 && (box.left < -0.5 || box.right > width + 0.5)) outside.push(`${name}: ${box.left} to ${box.right}`);
      // Nor does anything but the sheet scroll sideways within the page.
      if (element !== sheet && element.scrollWidth > element.clientWidth + 1
        && ['auto', 'scroll'].includes(getComputedStyle(element).overflowX)) {
        outside.push(`${name} scrolls: ${element.scrollWidth} in ${element.clientWidth}`);
      }
    }
    return { width, scrollWidth: document.documentElement.scrollWidth, outside };
  });
}

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
      // The button is reached with the keyboard, after the two links to the deck's layout and sample.
      for (let i = 0; i < 3; ++i) await page.keyboard.press('Tab');
      assert.equal(await page.evaluate(() => document.activeElement.id), 'deck');
    });
  });

  test('at a phone\'s width nothing but the sheet is wider than the screen, and the icon asks for no file', async () => {
    await withPage(server.url, async ({ page, requests }) => {
      await page.setViewport({ width: 390, height: 844 });
      // Two files, so that the list of files shows too.
      assert.equal(await runFile(page, path.join(examples, 'sample.tsv'), path.join(examples, 'example.kvz')), 'done');
      await page.$eval('#space details', (details) => { details.open = true; });
      await page.$eval('#entry-number', (input) => { input.value = '0'; });
      await page.click('#entry-form button');
      await page.waitForSelector('#entry-view canvas');
      const wide = await outsideTheScreen(page);
      assert.equal(wide.width, 390);
      assert.deepEqual(wide.outside, []);
      assert.equal(wide.scrollWidth, wide.width, 'the page does not scroll sideways');
      const icon = await page.$eval('link[rel=icon]', (link) => link.href);
      assert.ok(icon.startsWith('data:image/'), icon);
      assert.ok(!requests.some((url) => url.endsWith('/favicon.ico')), 'no request for /favicon.ico');
    });
  });

  test('at a phone\'s width the form of a table with long column names fits the screen', async () => {
    const dir = tempDir();
    const header = ['この列はとても長い名前の単語の列です', 'reading of the word, as kana', '意味', 'a column whose name runs on and on'];
    fs.writeFileSync(path.join(dir, 'long names.csv'), `${header.map((name) => `"${name}"`).join(',')}\n犬,いぬ,dog,x\n`);
    await withPage(server.url, async ({ page }) => {
      await page.setViewport({ width: 390, height: 844 });
      assert.equal(await runFile(page, path.join(dir, 'long names.csv')), 'done');
      assert.equal((await page.$$('#table-columns select')).length, 4);
      const wide = await outsideTheScreen(page);
      assert.deepEqual(wide.outside, []);
      assert.equal(wide.scrollWidth, wide.width, 'the page does not scroll sideways');
    });
    fs.rmSync(dir, { recursive: true, force: true });
  });

  test('each option says what it does in words, with its flag beside it', async () => {
    await withPage(server.url, async ({ page }) => {
      for (const option of ['best', 'strict', 'split', 'encoding', 'cut', 'replace']) {
        const label = await page.$eval(`#option-${option}`, (input) => {
          const [first] = input.labels;
          const flag = first.querySelector('code.flag');
          return { flag: flag?.textContent, words: first.textContent.replace(flag?.textContent ?? '', '').trim() };
        });
        assert.equal(label.flag, `--${option}`, option);
        assert.ok(/^[A-Z][a-z]/.test(label.words) && !label.words.includes('--'), `${option}: "${label.words}"`);
      }
      assert.match(await page.$eval('#option-best', (input) => input.labels[0].textContent), /^\s*Smallest image \(slower\)/);
      assert.match(await page.$eval('#option-cut', (input) => input.labels[0].textContent), /^\s*Cut fields that are too long/);
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

// Runs a command line the page shows (programs, mkdir -p and plain file names joined
// by ' && ') in `dir` with the native programs; stops at the first failure,
// as the shell does. The standard error lines of every program run.
function runCommandLine(command, dir) {
  const programs = { kvzpack, kvzdeck };
  const errors = [];
  for (const part of command.split(' && ')) {
    // A word in double quotes (as a value with a comma is shown) is one argument without them.
    const [program, ...args] = part.split(' ').map((word) => word.replace(/^"([^" ]*)"$/, '$1'));
    if (program === 'mkdir') {  // mkdir -p FOLDER, for --output-dir FOLDER
      assert.deepEqual(args.slice(0, -1), ['-p'], part);
      fs.mkdirSync(path.join(dir, args.at(-1)), { recursive: true });
      continue;
    }
    assert.ok(programs[program], `${program} is one of the programs`);
    const run = runNative(programs[program], args, dir);
    errors.push(...errorLines(run.stderr));
    if (run.status !== 0) return { status: run.status, errors };
  }
  return { status: 0, errors };
}

async function setOption(page, option, on) {
  if (await page.$eval(`#option-${option}`, (box) => box.checked) !== on) await page.click(`#option-${option}`);
}

async function shownCommand(page) {
  return page.$eval('#command-line', (code) => code.textContent);
}

// Every download offered is the file that the native run left in `dir` (its
// images in the folder of --output-dir where the command shown names one),
// and the native run left no file the page does not offer. A download is
// named as its file, but for one that would bear the name of the file given
// (`given`): the numbered text of notes.txt is offered as notes.hex.txt.
async function assertNativeDownloads(page, dir, base, given = '') {
  const offered = await page.$$eval('.downloads a[download]', (links) => links.map((link) => link.download));
  const folder = (await shownCommand(page)).includes('--output-dir out') ? path.join(dir, 'out') : dir;
  for (const kind of DOWNLOADS) {
    const file = path.join(kind === 'kvz' ? dir : folder, `${base}.${kind}`);
    const name = `${base}.${kind}` === given ? `${base}.hex.${kind}` : `${base}.${kind}`;
    const bytes = await download(page, kind);
    if (kind === 'kvz' && !offered.includes(`${base}.kvz`)) continue;  // a deck given as .kvz is not offered back
    if (bytes === null) {
      assert.ok(!fs.existsSync(file) || kind === 'kvz', `${base}.${kind} written natively but not offered`);
      continue;
    }
    assert.ok(offered.includes(name), `${kind} offered as ${name}: ${offered}`);
    assert.ok(!offered.includes(given), `no download named ${given}, the file given`);
    if (kind === 'png') assertSameSheet(await previewCanvases(page), bytes, fs.readFileSync(file));
    else assertSameBytes(bytes, fs.readFileSync(file), `${base}.${kind}`);
  }
}

describe('the options, as the command line has them', () => {
  // Decks whose outputs differ with each option: sample.tsv is smaller with
  // --best; missing.kvz has characters without a glyph, which --strict refuses.
  const missingTsv = generatedTsv(3, (i) => (i === 1 ? 'x\\xFA\\x40' : 'plain'));
  const cases = [
    { name: 'sample.tsv', best: true, strict: false, ok: true },
    { name: 'sample.tsv', best: false, strict: true, ok: true },
    { name: 'missing.kvz', best: false, strict: true, ok: false },
    { name: 'missing.kvz', best: true, strict: false, ok: true },
    // A deck that fits is written as without --split.
    { name: 'sample.tsv', best: false, strict: false, split: true, ok: true },
  ];
  for (const { name, best, strict, split = false, ok } of cases) {
    const flags = `${best ? ' --best' : ''}${strict ? ' --strict' : ''}${split ? ' --split' : ''}`;
    test(`${name}${flags}: the command shown gives the page's files`, async () => {
      const dir = tempDir();
      if (name === 'sample.tsv') {
        fs.copyFileSync(path.join(examples, name), path.join(dir, name));
      } else {
        const built = buildNatively(missingTsv, 'missing.tsv');
        fs.copyFileSync(built.kvz, path.join(dir, name));
      }
      await withPage(server.url, async ({ page }) => {
        await setOption(page, 'best', best);
        await setOption(page, 'strict', strict);
        await setOption(page, 'split', split);
        assert.equal(await runFile(page, path.join(dir, name)), ok ? 'done' : 'failed');
        const command = await shownCommand(page);
        assert.equal(command.includes('--best'), best, command);
        assert.equal(command.includes('--strict'), strict, command);
        assert.equal(command.includes('--split'), split, command);
        const native = runCommandLine(command, dir);
        assert.equal(native.status === 0, ok, native.errors.join('\n'));
        const told = native.errors.map((line) => line.replace(`: ${path.parse(name).name}.kvz: `, `: ${name}: `));
        assert.deepEqual(await messages(page), told);
        await assertNativeDownloads(page, dir, path.parse(name).name);
        if (!ok) assert.deepEqual(await offeredDownloads(page), []);
      });
    });
  }

  test('--best gives a smaller image than the default, the command is copied, and the options are kept for the next visit', async () => {
    await withPage(server.url, async ({ page, context }) => {
      await context.overridePermissions(server.origin, ['clipboard-read', 'clipboard-write', 'clipboard-sanitized-write']);
      assert.equal(await runFile(page, path.join(examples, 'sample.kvz')), 'done');
      const standard = await download(page, 'ihx');
      assert.equal(await shownCommand(page), 'kvzpack --preview sample.kvz');
      await page.click('#copy-command');
      await page.waitForFunction(() => document.querySelector('#copy-command').textContent === 'Copied');
      assert.equal(await page.evaluate(() => navigator.clipboard.readText()), 'kvzpack --preview sample.kvz');
      // Changing an option converts the file again, with it.
      const runs = await page.$eval('#status', (status) => status.dataset.runs);
      await page.click('#option-best');
      await page.waitForFunction((before) => document.querySelector('#status').dataset.runs !== before, {}, runs);
      assert.equal(await shownCommand(page), 'kvzpack --best --preview sample.kvz');
      assert.ok((await download(page, 'ihx')).length < standard.length, '--best is smaller');
      await page.reload({ waitUntil: 'load' });
      assert.equal(await page.$eval('#option-best', (box) => box.checked), true);
      assert.equal(await page.$eval('#option-strict', (box) => box.checked), false);
    });
  });

  test('a name that a shell would split is quoted in the command shown', async () => {
    const dir = tempDir();
    const name = 'my deck.kvz';
    fs.copyFileSync(path.join(examples, 'example.kvz'), path.join(dir, name));
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, path.join(dir, name)), 'done');
      assert.equal(await shownCommand(page), 'kvzpack --preview "my deck.kvz"');
      const native = runNative(kvzpack, ['--preview', name], dir);
      assert.equal(native.status, 0);
      await assertNativeDownloads(page, dir, 'my deck');
    });
  });
});

// What the page shows under "Where the bytes go".
async function shownSpace(page) {
  return page.evaluate(() => ({
    rows: [...document.querySelectorAll('#space-table tbody tr')].map((row) =>
      [...row.children].slice(0, 4).map((cell) => cell.textContent)),
    bars: [...document.querySelectorAll('#space-table .bar')].map((bar) => bar.style.width),
    glyphs: document.querySelector('#space-glyphs').textContent,
    distance: document.querySelector('#space-distance').textContent,
    costliest: [...document.querySelectorAll('#costliest li')].map((item) => item.textContent),
    lines: document.querySelector('#space pre').textContent.split('\n'),
  }));
}

// The lines of kvzpack --report in `stdout` (the log lines left out).
function reportLines(stdout) {
  return stdout.trimEnd().split('\n').filter((line) => !/^\S+:[0-9A-F]{4}-[0-9A-F]{4}$/.test(line));
}

// The page's table, glyphs, costliest entries and distance are the figures
// of the native report's lines, and its own copy of them is those lines;
// for a deck the page built from a text, each costly entry also names its
// line in that text (`withLines`), which kvzpack, given the deck, cannot.
function assertSameSpace(shown, native, withLines = false) {
  const costly = /^( {4}group \d entry \d+ \(.*), line \d+\)(: .*)$/;
  if (withLines) {
    for (const line of shown.lines.filter((text) => /^ {4}group /.test(text))) assert.match(line, costly);
  }
  const withoutLines = (text) => text.replace(costly, '$1)$2');
  assert.deepEqual(shown.lines.map(withoutLines), native);
  const rows = [];
  for (const line of native) {
    const group = /^ {2}(group \d \(.*\)): (\d+) entr(?:y|ies), stream (\d+) bytes?, ([\d.]+%) of the image$/.exec(line);
    if (group) rows.push([group[1], group[2], group[3], group[4]]);
    const table = /^ {2}(phrase table \(\d+ phrases?\) and stream header): (\d+) bytes?, ([\d.]+%) of the image$/.exec(line);
    if (table) rows.push([table[1], '', table[2], table[3]]);
    const glyphs = /^ {2}glyphs: (\d+) bytes?, ([\d.]+%) of the image, for (\d+) characters?; (\d+) used by a single entry only$/.exec(line);
    if (glyphs) {
      const characters = `${glyphs[3]} character${glyphs[3] === '1' ? '' : 's'}`;
      rows.push([`glyphs (${characters})`, '', glyphs[1], glyphs[2]]);
      assert.ok(shown.glyphs.startsWith(`Glyphs: ${line.slice(line.indexOf(': ') + 2, line.indexOf(','))} for `
        + `${characters}; ${glyphs[4]} used by a single entry only`), shown.glyphs);
    }
  }
  assert.deepEqual(shown.rows, rows);
  assert.equal(shown.bars.length, rows.length, 'a bar per row');
  const costliest = native.filter((line) => /^ {4}group \d entry \d+ \(/.test(line)).map((line) => line.trim());
  assert.deepEqual(shown.costliest.map((text) => withoutLines(`    ${text}`).trim()), costliest);
  assert.equal(shown.distance, native[native.length - 1].trim());
}

describe('where the bytes go, as kvzpack --report tells it', () => {
  for (const best of [false, true]) {
    test(`sample.kvz${best ? ' --best' : ''}`, async () => {
      const dir = tempDir();
      fs.copyFileSync(path.join(examples, 'sample.kvz'), path.join(dir, 'sample.kvz'));
      const native = runNative(kvzpack, ['--report', ...(best ? ['--best'] : []), 'sample.kvz'], dir);
      assert.equal(native.status, 0, native.stderr);
      await withPage(server.url, async ({ page }) => {
        await setOption(page, 'best', best);
        assert.equal(await runFile(page, path.join(dir, 'sample.kvz')), 'done');
        const shown = await shownSpace(page);
        assertSameSpace(shown, reportLines(native.stdout));
        assert.equal(shown.costliest.length, 10);
      });
      fs.rmSync(dir, { recursive: true, force: true });
    });
  }
});

// Sets kvzdeck build's options in the form; each change converts again.
async function setBuildOptions(page, options) {
  for (const [name, value] of Object.entries(options)) {
    if (typeof value === 'boolean') {
      await setOption(page, name, value);
      continue;
    }
    await page.$eval(`#option-${name}`, (element, text) => {
      element.value = text;
      element.dispatchEvent(new Event('change'));
    }, value);
  }
}

// Sets a control of the form beside the file shown (#table-ID) to `value`
// and waits until the file is built again.
async function chooseInTableForm(page, id, value) {
  const runs = await page.$eval('#status', (status) => status.dataset.runs);
  await page.$eval(`#table-${id}`, (element, chosen) => {
    if (element.type === 'checkbox') element.checked = chosen;
    else element.value = chosen;
    element.dispatchEvent(new Event('change', { bubbles: true }));
  }, value);
  await page.waitForFunction((before) => document.querySelector('#status').dataset.runs !== before, {}, runs);
}

// The form beside the file shown: each column's name, role and suggested
// role; the header box; whether the form is there at all.
async function shownTableForm(page) {
  return page.evaluate(() => ({
    shown: !document.querySelector('#table-section').hidden,
    columns: [...document.querySelectorAll('#table-columns select')].map((select) => ({
      name: select.labels[0].textContent, role: select.value, suggested: select.dataset.suggested })),
    header: document.querySelector('#table-header')?.checked ?? null,
    furigana: document.querySelector('#table-furigana')?.value ?? null,
  }));
}

describe('tables and Anki exports, built as kvzdeck builds them', () => {
  const inputs = path.join(root, 'tests', 'deck', 'inputs');
  const cases = [
    { file: 'cards-utf8-bom.csv', options: {} },
    { file: 'cards-cp932.csv', options: { encoding: 'cp932' } },
    { file: 'cards-utf16le.txt', options: {} },
    { file: 'anki-notes.txt', options: {} },
    { file: 'anki-notes.txt', options: {}, form: { furigana: 'both' } },
    { file: 'japanese-header-utf16.txt', options: {} },
    { file: 'semicolon-english-header.csv', options: {} },
    { file: 'cr-only.txt', options: {} },
    { file: 'cards-in-plain-text.txt', options: {}, form: { furigana: 'reading' } },
  ];
  // The options each file's own header row suggests, as the page applies them unasked.
  const suggested = {
    'japanese-header-utf16.txt': ' --columns "品詞=group,単語=short1,読み=short2,意味=long"',
    'semicolon-english-header.csv': ' --columns "Lesson=group,Word=short1,Reading=short2,Meaning=long"',
  };
  for (const { file, options, form = {} } of cases) {
    const flags = [...Object.entries(options), ...Object.entries(form)]
      .map(([name, value]) => ` --${name} ${value.includes(',') ? `"${value}"` : value}`).join('')
      + (suggested[file] ?? '');
    test(`${file}${flags}: the .kvz, the deck's TSV and the image of the command shown`, async () => {
      const dir = tempDir();
      fs.copyFileSync(path.join(inputs, file), path.join(dir, file));
      const base = path.parse(file).name;
      await withPage(server.url, async ({ page }) => {
        await setBuildOptions(page, options);
        assert.equal(await runFile(page, path.join(dir, file)), 'done');
        for (const [name, value] of Object.entries(form)) await chooseInTableForm(page, name, value);
        assert.equal(await statusText(page), 'done');
        const command = await shownCommand(page);
        assert.ok(command.startsWith(`kvzdeck build${flags} ${file} ${base}.kvz && `), command);
        // An export NAME.txt would be the numbered text's name: the outputs go elsewhere.
        assert.equal(command.includes(' && mkdir -p out && kvzpack --preview --output-dir out '), file.endsWith('.txt'),
          command);
        const native = runCommandLine(command, dir);
        assert.equal(native.status, 0, native.errors.join('\n'));
        const told = native.errors.map((line) => line.replace(`: ${base}.kvz: `, `: ${file}: `));
        assert.deepEqual(await messages(page), told);
        await assertNativeDownloads(page, dir, base, file);
        assert.deepEqual(fs.readFileSync(path.join(dir, file)), fs.readFileSync(path.join(inputs, file)),
          `${file} left as it was`);
        const dumped = runNative(kvzdeck, ['dump', `${base}.kvz`], dir);
        assert.equal(dumped.status, 0, dumped.stderr);
        const deckTsv = await download(page, 'deck-tsv');
        assert.equal(deckTsv.toString(), dumped.stdout);
        assert.equal(await page.$eval('#download-deck-tsv', (link) => link.download), `${base}.deck.tsv`);
      });
      fs.rmSync(dir, { recursive: true, force: true });
    });
  }

  test('a table naming none of its columns is refused as kvzdeck refuses it, and the form\'s roles build it', async () => {
    const dir = tempDir();
    fs.writeFileSync(path.join(dir, 'words.csv'), '犬,いぬ,dog\n猫,ねこ,cat\n');
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, path.join(dir, 'words.csv')), 'failed');
      const refused = runCommandLine(await shownCommand(page), dir);
      assert.equal(refused.status, 1);
      assert.deepEqual(await messages(page), refused.errors);
      assert.deepEqual(await offeredDownloads(page), []);
      const form = await shownTableForm(page);
      assert.deepEqual(form.columns.map((column) => [column.name, column.role]),
        [['1: 犬', '-'], ['2: いぬ', '-'], ['3: dog', '-']]);
      assert.equal(form.header, false);
      await chooseInTableForm(page, 'column-0', 'short1');
      await chooseInTableForm(page, 'column-2', 'long');
      assert.equal(await statusText(page), 'done');
      const command = await shownCommand(page);
      assert.ok(command.startsWith('kvzdeck build --no-header --columns "short1,-,long" words.csv words.kvz'), command);
      assert.equal(runCommandLine(command, dir).status, 0);
      assertSameBytes(await download(page, 'kvz'), fs.readFileSync(path.join(dir, 'words.kvz')), 'words.kvz');
      // A role given twice is refused as the command line refuses it.
      await chooseInTableForm(page, 'column-1', 'short1');
      assert.equal(await statusText(page), 'failed');
      const twice = runCommandLine(await shownCommand(page), dir);
      assert.equal(twice.status, 2);
      // The page has no --help to point to.
      assert.deepEqual(await messages(page), twice.errors.filter((line) => !line.startsWith('Try ')));
    });
    fs.rmSync(dir, { recursive: true, force: true });
  });

  // Rows of lessons as a Japanese spreadsheet writes them, the lessons out of order.
  const japaneseCsv = ['課,単語,読み,意味,備考', '第二課,犬,いぬ,dog,', '第一課,猫,ねこ,cat,pet', '第二課,鳥,とり,bird,',
    '第一課,食べる,たべる,to eat,', '第三課,赤い,あかい,red,'].join('\r\n') + '\r\n';

  test('a CSV with a Japanese header is built from the roles its names suggest, as the command shown builds it', async () => {
    const dir = tempDir();
    fs.writeFileSync(path.join(dir, 'words.csv'), japaneseCsv);
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, path.join(dir, 'words.csv')), 'done');
      const form = await shownTableForm(page);
      assert.ok(form.shown);
      assert.deepEqual(form.columns.map((column) => [column.name, column.role]),
        [['1: 課', 'group'], ['2: 単語', 'short1'], ['3: 読み', 'short2'], ['4: 意味', 'long'], ['5: 備考', '-']]);
      for (const column of form.columns) assert.equal(column.role, column.suggested, column.name);
      assert.equal(form.header, true);
      // Each of the form's options says what it does in words, with its flag beside it.
      for (const [id, flag] of [['separator', '--separator'], ['header', '--header'], ['group-size', '--group-size'],
        ['furigana', '--furigana']]) {
        const label = await page.$eval(`#table-${id}`, (input) => {
          const [first] = input.labels;
          const code = first.querySelector('code.flag');
          return { flag: code?.textContent, words: first.textContent.replace(code?.textContent ?? '', '').trim() };
        });
        assert.equal(label.flag, flag, id);
        assert.ok(/^[A-Z][a-z]/.test(label.words) && !label.words.includes('--'), `${id}: "${label.words}"`);
      }
      const command = await shownCommand(page);
      assert.equal(command, 'kvzdeck build --columns "課=group,単語=short1,読み=short2,意味=long,備考=-" words.csv '
        + 'words.kvz && kvzpack --preview words.kvz');
      const native = runCommandLine(command, dir);
      assert.equal(native.status, 0, native.errors.join('\n'));
      assert.deepEqual(await messages(page), native.errors.map((line) => line.replace(': words.kvz: ', ': words.csv: ')));
      await assertNativeDownloads(page, dir, 'words');
      // The costliest entries are named by their word and the line that holds it.
      const rows = japaneseCsv.split('\r\n');
      const costliest = await page.$$eval('#costliest li', (items) => items.map((item) => item.textContent));
      assert.equal(costliest.length, 5);
      for (const line of costliest) {
        const [, group, word, row] = /^group (\d) entry \d+ \((.+), line (\d+)\): \d+ bytes?$/.exec(line) ?? [];
        assert.ok(row, line);
        assert.equal(rows[Number(row) - 1].split(',')[1], word, line);
        const groupRow = await page.$eval(`#space-table tbody tr:nth-child(${Number(group) + 1}) th`, (th) => th.textContent);
        assert.equal(groupRow, `group ${group} (${rows[Number(row) - 1].split(',')[0]})`);
      }
      // Another role for one column builds the file again, as its new command does.
      await chooseInTableForm(page, 'column-3', 'short4');
      const changed = await shownCommand(page);
      assert.ok(changed.startsWith('kvzdeck build --columns "課=group,単語=short1,読み=short2,意味=short4,備考=-" '),
        changed);
      assert.equal(runCommandLine(changed, dir).status, 0);
      assertSameBytes(await download(page, 'kvz'), fs.readFileSync(path.join(dir, 'words.kvz')), 'words.kvz');
    });
    fs.rmSync(dir, { recursive: true, force: true });
  });

  test('a sheet of 30 lessons is refused with the --group-size that merges them, which the form then takes', async () => {
    const dir = tempDir();
    fs.copyFileSync(path.join(inputs, 'thirty-lessons.csv'), path.join(dir, 'lessons.csv'));
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, path.join(dir, 'lessons.csv')), 'failed');
      const refused = runCommandLine(await shownCommand(page), dir);
      assert.equal(refused.status, 1);
      assert.deepEqual(await messages(page), refused.errors);
      const [, size] = / --group-size (\d+) /.exec((await messages(page))[0]) ?? [];
      assert.ok(size, 'the refusal names the --group-size that makes 8 groups');
      await chooseInTableForm(page, 'group-size', size);
      assert.equal(await statusText(page), 'done');
      const command = await shownCommand(page);
      assert.ok(command.startsWith(`kvzdeck build --columns "課=group,単語=short1,読み=short2,意味=long" --group-size ${size} `),
        command);
      assert.equal(runCommandLine(command, dir).status, 0);
      await assertNativeDownloads(page, dir, 'lessons');
    });
    fs.rmSync(dir, { recursive: true, force: true });
  });

  test('an export and a CSV chosen together each keep their own options', async () => {
    const dir = tempDir();
    fs.writeFileSync(path.join(dir, 'words.csv'), japaneseCsv);
    fs.copyFileSync(path.join(inputs, 'anki-notes.txt'), path.join(dir, 'anki-notes.txt'));
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, path.join(dir, 'anki-notes.txt'), path.join(dir, 'words.csv')), 'done');
      const exportFirst = await download(page, 'kvz');
      // The export's header says its columns: its form offers the furigana alone.
      let form = await shownTableForm(page);
      assert.ok(form.shown);
      assert.deepEqual(form.columns, []);
      assert.equal(form.header, null);
      await page.click('#files li:nth-child(2) button');
      await chooseInTableForm(page, 'column-3', 'short4');
      await chooseInTableForm(page, 'header', true);
      const csvCommand = await shownCommand(page);
      assert.ok(csvCommand.includes('意味=short4'), csvCommand);
      assert.ok(!csvCommand.includes('--furigana'), csvCommand);
      // The export was not built again, and its results are what they were.
      await page.click('#files li:nth-child(1) button');
      assertSameBytes(await download(page, 'kvz'), exportFirst, 'anki-notes.kvz');
      assert.ok(!(await shownCommand(page)).includes('--columns'));
      await chooseInTableForm(page, 'furigana', 'both');
      const exportCommand = await shownCommand(page);
      assert.ok(exportCommand.startsWith('kvzdeck build --furigana both anki-notes.txt anki-notes.kvz && '), exportCommand);
      assert.equal(runCommandLine(exportCommand, dir).status, 0);
      await assertNativeDownloads(page, dir, 'anki-notes', 'anki-notes.txt');
      // The CSV kept its own choice, and none of the export's.
      await page.click('#files li:nth-child(2) button');
      form = await shownTableForm(page);
      assert.equal(form.columns[3].role, 'short4');
      assert.equal(form.furigana, '');
      assert.equal(await shownCommand(page), csvCommand);
      assert.equal(runCommandLine(csvCommand, dir).status, 0);
      await assertNativeDownloads(page, dir, 'words');
      // A page option builds both again, each with its own form's options,
      // and the file shown stays shown.
      const runs = await page.$eval('#status', (status) => status.dataset.runs);
      await setOption(page, 'strict', true);
      await page.waitForFunction((before) => document.querySelector('#status').dataset.runs !== before, {}, runs);
      assert.equal(await statusText(page), 'done');
      assert.ok((await shownCommand(page)).includes('意味=short4'));
      await page.click('#files li:nth-child(1) button');
      assert.ok((await shownCommand(page)).includes('--furigana both'));
    });
    fs.rmSync(dir, { recursive: true, force: true });
  });

  test('--cut and --replace: each change listed as kvzdeck lists it; without them the line is refused', async () => {
    const dir = tempDir();
    const tsv = fs.readFileSync(path.join(root, 'tests', 'cli', 'cases', 'kvzdeck', 'tables', 'kvzdeck-build-cut-and-replace', 'in', 'words.tsv'));
    fs.writeFileSync(path.join(dir, 'words.tsv'), tsv);
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, path.join(dir, 'words.tsv')), 'failed');
      const refused = runNative(kvzdeck, ['build', 'words.tsv', 'words.kvz'], dir);
      assert.equal(refused.status, 1);
      assert.deepEqual(await messages(page), errorLines(refused.stderr));
      await setBuildOptions(page, { cut: true, replace: '〓' });
      await page.waitForFunction(() => document.querySelector('#status').textContent === 'done');
      assert.ok((await shownCommand(page)).startsWith('kvzdeck build --cut --replace "〓" words.tsv words.kvz'));
      const built = runNative(kvzdeck, ['build', '--cut', '--replace', '〓', 'words.tsv', 'words.kvz'], dir);
      assert.equal(built.status, 0, built.stderr);
      assert.deepEqual(await messages(page), errorLines(built.stderr));
      assertSameBytes(await download(page, 'kvz'), fs.readFileSync(path.join(dir, 'words.kvz')), 'words.kvz');
    });
    fs.rmSync(dir, { recursive: true, force: true });
  });
});

// The parts offered for download, by file name.
async function partDownloads(page) {
  const encoded = await page.$$eval('#part-downloads a[download]', (links) => Promise.all(links.map(async (link) => {
    const bytes = new Uint8Array(await (await fetch(link.href)).arrayBuffer());
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return [link.download, btoa(text)];
  })));
  return new Map(encoded.map(([name, text]) => [name, Buffer.from(text, 'base64')]));
}

describe('a deck too large for the device, split', () => {
  test('the parts offered are those of the command shown, each with its log line, and each part\'s sheet is shown', async () => {
    const dir = tempDir();
    const awk = path.join(root, 'tests', 'cli', 'generators', 'deck.awk');
    const generated = runNative('awk', ['-f', awk], dir);
    assert.equal(generated.status, 0, generated.stderr);
    fs.writeFileSync(path.join(dir, 'deck.tsv'), generated.stdout);
    await withPage(server.url, async ({ page }) => {
      await setOption(page, 'split', true);
      assert.equal(await runFile(page, path.join(dir, 'deck.tsv')), 'done');
      const command = await shownCommand(page);
      assert.equal(command, 'kvzdeck build deck.tsv deck.kvz && kvzpack --split --preview deck.kvz');
      const native = runCommandLine(command, dir);
      assert.equal(native.status, 0, native.errors.join('\n'));
      assert.deepEqual(await messages(page), native.errors);
      const parts = fs.readdirSync(dir).filter((file) => /^deck-\d+\.(ihx|txt|png)$/.test(file)).sort();
      assert.ok(parts.length >= 6, `${parts.length} part files written natively`);
      const offered = await partDownloads(page);
      assert.deepEqual([...offered.keys()].sort(), parts);
      for (const file of parts.filter((name) => !name.endsWith('.png'))) {
        assertSameBytes(offered.get(file), fs.readFileSync(path.join(dir, file)), file);
      }
      assertSameBytes(await download(page, 'kvz'), fs.readFileSync(path.join(dir, 'deck.kvz')), 'deck.kvz');
      // The log lines: the native run's standard output (without -v).
      const logged = runNative(kvzpack, ['--split', 'deck.kvz'], dir).stdout.trim().split('\n');
      const shownLines = (await page.$eval('#summary pre', (pre) => pre.textContent)).split('\n');
      assert.deepEqual(shownLines.filter((line) => /^deck-\d+\.ihx:[0-9A-F]{4}-[0-9A-F]{4}$/.test(line)), logged);
      // Where the bytes go: the whole deck's report, over the limit.
      const reported = runNative(kvzpack, ['--split', '--report', 'deck.kvz'], dir);
      assertSameSpace(await shownSpace(page), reportLines(reported.stdout), true);
      const choices = await page.$$eval('#part option', (options) => options.map((option) => option.textContent));
      assert.deepEqual(choices, logged.map((line) => line.slice(0, line.indexOf('.'))));
      for (const [index, choice] of choices.entries()) {
        await page.select('#part', String(index));
        assertSameSheet(await previewCanvases(page), offered.get(`${choice}.png`),
          fs.readFileSync(path.join(dir, `${choice}.png`)));
      }
    });
    fs.rmSync(dir, { recursive: true, force: true });
  });
});

// A deck that --best takes seconds over, in the page too: far too large for
// the device, every entry a different text.
function slowDeck() {
  const lines = ['Big'];
  for (let i = 0; i < 4000; ++i) lines.push([`${i * 7919} ${i}x${i * 31}`, `${i}`, 'b', 'c', 'd', 'e'].join('\t'));
  for (let group = 1; group < 8; ++group) lines.push(`G${group}`);
  const built = buildNatively(`${lines.join('\n')}\n`, 'slow.tsv');
  assert.equal(built.status, 0, built.errors.join('\n'));
  return built.kvz;
}

// Starts --best on slowDeck() and returns once the page says it converts it.
async function startSlowRun(page, deck) {
  await setOption(page, 'best', true);
  await (await page.$('input#deck')).uploadFile(deck);
  await page.waitForFunction(() => document.querySelector('#status').textContent.startsWith('converting slow.kvz'));
}

describe('several files, long runs and cancelling', () => {
  test('several files at once: each converted, each with its own messages and downloads', async () => {
    const dir = tempDir();
    fs.copyFileSync(path.join(examples, 'example.kvz'), path.join(dir, 'example.kvz'));
    fs.writeFileSync(path.join(dir, 'broken.kvz'), fs.readFileSync(path.join(examples, 'example.kvz')).subarray(0, 2000));
    fs.copyFileSync(path.join(examples, 'sample.tsv'), path.join(dir, 'sample.tsv'));
    const names = ['example.kvz', 'broken.kvz', 'sample.tsv'];
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, ...names.map((name) => path.join(dir, name))), 'failed');
      const listed = await page.$$eval('#files button', (buttons) => buttons.map((b) => b.dataset.state));
      assert.deepEqual(listed, ['done', 'failed', 'done']);
      for (const [index, name] of names.entries()) {
        await page.click(`#files li:nth-child(${index + 1}) button`);
        assert.equal(await page.$eval('#result-heading', (h) => h.textContent), name);
        const native = runCommandLine(await shownCommand(page), dir);
        const base = path.parse(name).name;
        assert.deepEqual(await messages(page), native.errors.map((line) => line.replace(`: ${base}.kvz: `, `: ${name}: `)));
        await assertNativeDownloads(page, dir, base);
        const offered = await page.$$eval('.downloads a[download]', (links) => links.map((link) => link.download));
        for (const file of offered) assert.ok(file.startsWith(`${base}.`), `${file} offered for ${name}`);
        if (name === 'broken.kvz') {
          assert.deepEqual(offered, []);
          assert.equal(await page.$$eval('#preview canvas', (canvases) => canvases.length), 0);
        }
      }
    });
  });

  test('the list of files counts each file\'s messages in words that agree with the number', async () => {
    const dir = tempDir();
    fs.copyFileSync(path.join(examples, 'example.kvz'), path.join(dir, 'example.kvz'));
    fs.writeFileSync(path.join(dir, 'broken.kvz'), fs.readFileSync(path.join(examples, 'example.kvz')).subarray(0, 2000));
    const missing = buildNatively(generatedTsv(3, (i) => (i === 1 ? 'x\\xFA\\x40\\xFA\\x41' : i === 2 ? '\\xF0\\x40' : 'plain')),
      'missing.tsv');
    assert.equal(missing.status, 0, missing.errors.join('\n'));
    const cases = [
      { name: 'example.kvz', file: path.join(dir, 'example.kvz'), messages: 0, shown: 'example.kvz: done' },
      { name: 'broken.kvz', file: path.join(dir, 'broken.kvz'), messages: 1, shown: 'broken.kvz: failed (1 message)' },
      { name: 'missing.kvz', file: missing.kvz, messages: 3, shown: 'missing.kvz: done (3 messages)' },
    ];
    for (const { name, file, messages: count } of cases) {
      assert.equal(convertNatively(file, name).errors.length, count, `${name} natively`);
    }
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, ...cases.map((c) => c.file)), 'failed');
      const listed = await page.$$eval('#files button', (buttons) => buttons.map((b) => b.textContent));
      assert.deepEqual(listed, cases.map((c) => c.shown));
    });
  });

  test('after a failing file nothing of the earlier file is left', async () => {
    const dir = tempDir();
    fs.writeFileSync(path.join(dir, 'broken.kvz'), fs.readFileSync(path.join(examples, 'sample.kvz')).subarray(0, 3000));
    await withPage(server.url, async ({ page }) => {
      assert.equal(await runFile(page, path.join(examples, 'sample.kvz')), 'done');
      assert.equal(await runFile(page, path.join(dir, 'broken.kvz')), 'failed');
      assert.deepEqual(await offeredDownloads(page), []);
      assert.equal(await page.$$eval('#preview canvas', (canvases) => canvases.length), 0);
      assert.equal(await page.$eval('#summary-section', (section) => section.hidden), true);
      assert.equal(await page.$$eval('#files li', (items) => items.length), 1);
      assert.ok((await messages(page)).every((line) => line.includes('broken.kvz')));
    });
  });

  test('a file\'s command line is shown while it converts, and still after it is cancelled', async () => {
    const slow = slowDeck();
    await withPage(server.url, async ({ page }) => {
      await startSlowRun(page, slow);
      await page.waitForFunction(() => document.querySelector('#command-line').textContent !== '');
      assert.equal(await shownCommand(page), 'kvzpack --best --preview slow.kvz');
      assert.equal(await page.$eval('#command', (paragraph) => paragraph.hidden), false);
      await page.click('#cancel');
      assert.equal(await shownCommand(page), 'kvzpack --best --preview slow.kvz');
    });
  });

  test('a long run shows it is working and is cancelled; the page converts again afterwards', async () => {
    const slow = slowDeck();
    const native = convertNatively(path.join(examples, 'example.kvz'), 'example.kvz');
    await withPage(server.url, async ({ page }) => {
      await startSlowRun(page, slow);
      assert.equal(await page.$eval('#working', (bar) => bar.hidden), false);
      // The page answers while the worker converts.
      assert.equal(await page.evaluate(() => 6 * 7), 42);
      await page.click('#cancel');
      assert.equal(await page.$eval('#status', (status) => status.textContent), 'cancelled');
      assert.equal(await page.$eval('#cancel', (button) => button.hidden), true);
      assert.deepEqual(await offeredDownloads(page), []);
      await setOption(page, 'best', false);
      assert.equal(await runFile(page, path.join(examples, 'example.kvz')), 'done');
      assertSameBytes(await download(page, 'ihx'), native.ihx, 'example.ihx');
    });
  });

  test('a file chosen while another converts starts at once, the older run cancelled', async () => {
    const slow = slowDeck();
    const native = convertNatively(path.join(examples, 'example.kvz'), 'example.kvz');
    await withPage(server.url, async ({ page }) => {
      await startSlowRun(page, slow);
      await setOption(page, 'best', false);
      assert.equal(await runFile(page, path.join(examples, 'example.kvz')), 'done');
      assert.equal(await page.$eval('#status', (status) => status.dataset.runs), '1', 'the older run never ended');
      assert.deepEqual(await messages(page), native.errors);
      assertSameBytes(await download(page, 'ihx'), native.ihx, 'example.ihx');
      const offered = await page.$$eval('.downloads a[download]', (links) => links.map((link) => link.download));
      assert.deepEqual(offered.sort(), ['example.ihx', 'example.png', 'example.txt']);
    });
  });
});

describe('a first visit', () => {
  test('before any file nothing stands empty or live; the sample deck is offered', async () => {
    await withPage(server.url, async ({ page }) => {
      for (const id of ['results', 'summary-section', 'downloads-section', 'preview-section', 'files-section']) {
        assert.equal(await page.$eval(`#${id}`, (element) => element.hidden), true, `#${id} is hidden`);
      }
      assert.equal(await page.$eval('#zoom', (select) => select.disabled), true);
      assert.equal(await page.$eval('#entry-fields', (fields) => fields.disabled), true);
      const sample = await page.$eval('a#download-sample', async (link) => [link.download,
        [...new Uint8Array(await (await fetch(link.href)).arrayBuffer())]]);
      assert.equal(sample[0], 'sample.tsv');
      assert.ok(Buffer.from(sample[1]).equals(fs.readFileSync(path.join(examples, 'sample.tsv'))));
      assert.equal(await page.$eval('a[href="#deck-layout"]', (link) => document.querySelector(link.hash) !== null), true);
    });
  });

  test('a sheet wider than the page is fitted to its width; a zoom chosen is kept', async () => {
    await withPage(server.url, async ({ page }) => {
      await page.setViewport({ width: 800, height: 900 });
      assert.equal(await runFile(page, path.join(examples, 'sample.kvz')), 'done');
      assert.equal(await page.$eval('#zoom', (select) => select.value), 'fit');
      const fitted = await page.$eval('#preview canvas', (canvas) =>
        [canvas.getBoundingClientRect().width, document.querySelector('#preview').clientWidth]);
      assert.ok(Math.abs(fitted[0] - fitted[1]) < 1, `${fitted[0]} fits ${fitted[1]}`);
      await page.select('#zoom', '3');
      assert.equal(await runFile(page, path.join(examples, 'example.kvz')), 'done');
      assert.equal(await page.$eval('#zoom', (select) => select.value), '3');
      const zoomed = await page.$eval('#preview canvas', (canvas) => canvas.getBoundingClientRect().width / canvas.width);
      assert.equal(zoomed, 3);
    });
  });
});
