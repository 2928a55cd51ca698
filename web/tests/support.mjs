// What the browser tests and the page benchmark share: the site served on
// 127.0.0.1, Debian's Chromium driven headless, the native programs, and a
// PNG reader.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import zlib from 'node:zlib';

import puppeteer from 'puppeteer-core';

const here = path.dirname(fileURLToPath(import.meta.url));
export const root = path.resolve(here, '..', '..');
export const siteDir = path.resolve(root, process.env.KVZPACK_WEB_SITE ?? 'build-web/site');
const nativeBuild = path.resolve(root, process.env.KVZPACK_BUILD ?? 'build');
export const kvzpack = path.join(nativeBuild, 'kvzpack');
export const kvzdeck = path.join(nativeBuild, 'kvzdeck');
const chromium = process.env.KVZPACK_CHROMIUM ?? '/usr/bin/chromium';

const contentTypes = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
};

// A static server of the site on 127.0.0.1 at a free port.
export async function startServer() {
  const server = http.createServer((request, response) => {
    const url = new URL(request.url, 'http://127.0.0.1');
    const name = url.pathname === '/' ? 'index.html' : decodeURIComponent(url.pathname.slice(1));
    const file = path.join(siteDir, name);
    if (!file.startsWith(siteDir + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      response.writeHead(404);
      response.end('not found');
      return;
    }
    response.writeHead(200, { 'Content-Type': contentTypes[path.extname(file)] ?? 'application/octet-stream' });
    response.end(fs.readFileSync(file));
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const { port } = server.address();
  return {
    url: `http://127.0.0.1:${port}/`,
    origin: `http://127.0.0.1:${port}`,
    close: () => new Promise((resolve) => server.close(resolve)),
  };
}

// Headless Chromium with a fresh profile, kept off the network.
export async function startBrowser() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kvzpack-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: chromium,
    headless: true,
    userDataDir: profile,
    args: [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
    ],
  });
  return {
    browser,
    close: async () => {
      await browser.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// A page that records every request it makes.
export async function openPage(browser, url) {
  const page = await browser.newPage();
  const requests = [];
  page.on('request', (request) => requests.push(request.url()));
  const errors = [];
  page.on('pageerror', (error) => errors.push(String(error)));
  await page.goto(url, { waitUntil: 'load' });
  return { page, requests, errors };
}

export async function statusText(page) {
  return page.$eval('#status', (element) => element.textContent);
}

// Chooses the files in input#deck, all at once, and waits until their run
// ends.
export async function runFile(page, ...files) {
  const before = await page.$eval('#status', (element) => element.dataset.runs ?? '0');
  const input = await page.$('input#deck');
  await input.uploadFile(...files);
  await page.waitForFunction(
    (runs) => (document.querySelector('#status').dataset.runs ?? '0') !== runs, { timeout: 60000 }, before);
  return statusText(page);
}

export async function messages(page) {
  return page.$$eval('#warnings li', (items) => items.map((item) => item.textContent));
}

// The file behind a#download-NAME, or null when none is offered.
export async function download(page, kind) {
  const encoded = await page.$eval(`a#download-${kind}`, async (link) => {
    if (!link.getAttribute('href')) return null;
    const bytes = new Uint8Array(await (await fetch(link.href)).arrayBuffer());
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return btoa(text);
  });
  return encoded === null ? null : Buffer.from(encoded, 'base64');
}

// The sheet as the page shows it: its canvases, one below the other, each
// with its pixels as grey values (the red channel).
export async function previewCanvases(page) {
  const bands = await page.$$eval('#preview canvas', (canvases) => canvases.map((canvas) => {
    const { data } = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
    let text = '';
    for (let i = 0; i < data.length; i += 4) text += String.fromCharCode(data[i]);
    return { width: canvas.width, height: canvas.height, grey: btoa(text) };
  }));
  return bands.map((band) => ({ ...band, grey: Buffer.from(band.grey, 'base64') }));
}

export function tempDir() {
  return fs.mkdtempSync(path.join(os.tmpdir(), 'kvzpack-web-'));
}

// Runs a native program in `cwd`: its standard output and error, and its
// exit status.
export function runNative(program, args, cwd) {
  const run = spawnSync(program, args, { cwd, stdio: ['ignore', 'pipe', 'pipe'], maxBuffer: 1 << 28 });
  if (run.error) throw run.error;
  return { status: run.status, stdout: run.stdout.toString(), stderr: run.stderr.toString() };
}

// Lines of a program's standard error, without the phrase search's
// progress lines (each ended by a carriage return).
export function errorLines(stderr) {
  return stderr.split('\n').map((line) => line.slice(line.lastIndexOf('\r') + 1)).filter((line) => line !== '');
}

const crcTable = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});

function crc32(bytes) {
  let c = 0xffffffff;
  for (const byte of bytes) c = crcTable[(c ^ byte) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

function paeth(left, up, upLeft) {
  const p = left + up - upLeft;
  const pa = Math.abs(p - left);
  const pb = Math.abs(p - up);
  const pc = Math.abs(p - upLeft);
  if (pa <= pb && pa <= pc) return left;
  return pb <= pc ? up : upLeft;
}

// The pixels of an 8-bit greyscale, non-interlaced PNG, checking every
// chunk's CRC-32 and the zlib stream.
export function readGreyPng(bytes) {
  const signature = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);
  if (!bytes.subarray(0, 8).equals(signature)) throw new Error('not a PNG');
  let at = 8;
  let width = 0;
  let height = 0;
  const data = [];
  for (;;) {
    const length = bytes.readUInt32BE(at);
    const type = bytes.toString('latin1', at + 4, at + 8);
    const body = bytes.subarray(at + 8, at + 8 + length);
    const crc = bytes.readUInt32BE(at + 8 + length);
    if (crc32(bytes.subarray(at + 4, at + 8 + length)) !== crc) throw new Error(`bad CRC in ${type}`);
    at += 12 + length;
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      if (body[8] !== 8 || body[9] !== 0 || body[12] !== 0) throw new Error('not 8-bit greyscale, plain rows');
    } else if (type === 'IDAT') {
      data.push(body);
    } else if (type === 'IEND') {
      break;
    }
  }
  const raw = zlib.inflateSync(Buffer.concat(data));
  if (raw.length !== (width + 1) * height) throw new Error(`${raw.length} bytes of rows for ${width} x ${height}`);
  const pixels = Buffer.alloc(width * height);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (width + 1)];
    for (let x = 0; x < width; ++x) {
      const value = raw[y * (width + 1) + 1 + x];
      const left = x > 0 ? pixels[y * width + x - 1] : 0;
      const up = y > 0 ? pixels[(y - 1) * width + x] : 0;
      const upLeft = x > 0 && y > 0 ? pixels[(y - 1) * width + x - 1] : 0;
      const predictor = [0, left, up, (left + up) >> 1, paeth(left, up, upLeft)][filter];
      if (predictor === undefined) throw new Error(`unknown filter ${filter}`);
      pixels[y * width + x] = (value + predictor) & 0xff;
    }
  }
  return { width, height, pixels };
}
