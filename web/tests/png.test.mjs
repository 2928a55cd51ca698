// The page's own PNG writer against node's zlib: random and sheet-like
// bitmaps, every scale the page may use, decoded pixel for pixel.
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import path from 'node:path';
import { before, test } from 'node:test';

import { readGreyPng, siteDir } from './support.mjs';

let converter;

before(async () => {
  const require = createRequire(import.meta.url);
  const createKvzModule = require(path.resolve(siteDir, '..', 'kvzweb.js'));
  converter = await createKvzModule();
});

// A small deterministic generator, so that a failure can be replayed.
function random(seed) {
  let state = seed >>> 0;
  return () => {
    state = (state * 1664525 + 1013904223) >>> 0;
    return state / 2 ** 32;
  };
}

const kinds = {
  noise: (next) => Math.floor(next() * 256),
  // Mostly paper with some ink and labels, as on a sheet.
  sheet: (next) => { const r = next(); return r < 0.8 ? 0xff : r < 0.95 ? 0x00 : 0x60; },
  // Long runs of one value, longer than a deflate match.
  runs: (next, x) => (Math.floor(x / 300) % 2 ? 0x00 : 0xff) ^ (next() < 0.001 ? 0xff : 0),
};

const cases = [];
for (const [width, height] of [[1, 1], [7, 3], [300, 20], [1200, 5]]) {
  for (const kind of Object.keys(kinds)) {
    for (const scale of [1, 2, 3, 4]) cases.push({ width, height, kind, scale });
  }
}

for (const { width, height, kind, scale } of cases) {
  test(`${width} x ${height} ${kind} at scale ${scale}`, () => {
    const next = random(width * 7919 + height * 104729 + scale);
    const pixels = new Uint8Array(width * height);
    for (let y = 0; y < height; ++y) {
      for (let x = 0; x < width; ++x) pixels[y * width + x] = kinds[kind](next, x);
      // Some rows repeat the one above.
      if (y > 0 && next() < 0.3) pixels.copyWithin(y * width, (y - 1) * width, y * width);
    }
    const png = readGreyPng(Buffer.from(converter.encodePng(pixels, width, height, scale)));
    assert.deepEqual([png.width, png.height], [width * scale, height * scale]);
    for (let y = 0; y < png.height; ++y) {
      for (let x = 0; x < png.width; ++x) {
        const expected = pixels[Math.floor(y / scale) * width + Math.floor(x / scale)];
        if (png.pixels[y * png.width + x] !== expected) assert.fail(`pixel (${x}, ${y})`);
      }
    }
  });
}

test('pixels that do not fill the size, or a scale out of range, give no PNG', () => {
  const pixels = new Uint8Array(12);
  assert.notEqual(converter.encodePng(pixels, 4, 3, 1), null);
  for (const [width, height, scale] of [[4, 4, 1], [5, 3, 1], [0, 3, 1], [4, 3, 0], [4, 3, 17]]) {
    assert.equal(converter.encodePng(pixels, width, height, scale), null, `${width} x ${height} at ${scale}`);
  }
});
