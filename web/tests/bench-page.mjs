// The page's speed on examples/large.kvz in headless Chromium, beside the
// native kvzpack: `make bench-web`. Each round opens the page in a fresh
// browser context (nothing cached), waits until the converter is loaded,
// converts the deck once (first) and again (warm), then turns --best on
// (which converts it again, first with --best) and converts it once more
// (warm with --best). The native figures are whole runs of kvzpack, with
// and without --preview (the page always draws the sheet and its PNG), and
// with --best, with and without --preview, one of each after each round of
// the page, so that both meet
// the same load of a shared machine. Medians of ROUNDS rounds (default 5).
import fs from 'node:fs';
import path from 'node:path';

import { kvzpack, root, runNative, startBrowser, startServer, tempDir } from './support.mjs';

const rounds = Number(process.env.ROUNDS ?? 5);
const deck = path.join(root, 'examples', 'large.kvz');

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = Math.floor(sorted.length / 2);
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

// One whole run of kvzpack with `args` on a copy of the deck in `dir`.
function nativeMilliseconds(dir, args) {
  const start = process.hrtime.bigint();
  const run = runNative(kvzpack, [...args, 'large.kvz'], dir);
  const ms = Number(process.hrtime.bigint() - start) / 1e6;
  if (run.status !== 0) throw new Error(`kvzpack failed: ${run.stderr}`);
  return ms;
}

// Runs `start` (a file chosen, an option changed) and waits for the run it
// starts to end.
async function timeRun(page, start) {
  const before = await page.$eval('#status', (status) => status.dataset.runs ?? '0');
  await start();
  await page.waitForFunction((runs) => (document.querySelector('#status').dataset.runs ?? '0') !== runs,
    { timeout: 60000 }, before);
  const { text, ms, converterMs } = await page.$eval('#status',
    (status) => ({ text: status.textContent, ms: status.dataset.runMs, converterMs: status.dataset.converterMs }));
  if (text !== 'done') throw new Error(`the page says ${text}`);
  return { ms: Number(ms), converterMs: Number(converterMs) };
}

async function convertOnce(page) {
  return timeRun(page, async () => (await page.$('input#deck')).uploadFile(deck));
}

async function pageRound(browser, url) {
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  await page.goto(url, { waitUntil: 'load' });
  await page.waitForFunction(() => document.querySelector('#status').dataset.readyMs !== undefined);
  const ready = Number(await page.$eval('#status', (status) => status.dataset.readyMs));
  const first = await convertOnce(page);
  const warm = await convertOnce(page);
  const bestFirst = await timeRun(page, () => page.click('#option-best'));
  const bestWarm = await convertOnce(page);
  await context.close();
  return { ready, first, warm, bestFirst, bestWarm };
}

const server = await startServer();
const chrome = await startBrowser();
try {
  const dir = tempDir();
  fs.copyFileSync(deck, path.join(dir, 'large.kvz'));
  const results = [];
  for (let i = 0; i < rounds; ++i) {
    const round = await pageRound(chrome.browser, server.url);
    round.native = nativeMilliseconds(dir, []);
    round.nativePreview = nativeMilliseconds(dir, ['--preview']);
    round.nativeBest = nativeMilliseconds(dir, ['--best']);
    round.nativeBestPreview = nativeMilliseconds(dir, ['--best', '--preview']);
    results.push(round);
  }
  fs.rmSync(dir, { recursive: true, force: true });
  const ready = median(results.map((r) => r.ready));
  const first = median(results.map((r) => r.first.ms));
  const firstConverter = median(results.map((r) => r.first.converterMs));
  const warm = median(results.map((r) => r.warm.ms));
  const warmConverter = median(results.map((r) => r.warm.converterMs));
  const whole = median(results.map((r) => r.ready + r.first.ms));
  const bestFirst = median(results.map((r) => r.bestFirst.ms));
  const bestWarm = median(results.map((r) => r.bestWarm.ms));
  const bestWarmConverter = median(results.map((r) => r.bestWarm.converterMs));
  const native = median(results.map((r) => r.native));
  const nativePreview = median(results.map((r) => r.nativePreview));
  const nativeBest = median(results.map((r) => r.nativeBest));
  const nativeBestPreview = median(results.map((r) => r.nativeBestPreview));
  const row = (what, ms) => `| ${what} | ${ms.toFixed(0)} ms |`;
  console.log(`examples/large.kvz, median of ${rounds} rounds\n`);
  console.log('| Run | Time |\n|---|---|');
  console.log(row('page load until the converter is ready', ready));
  console.log(row('first conversion in the page (file chosen until done)', first));
  console.log(row('of which the converter in the worker', firstConverter));
  console.log(row('first conversion, page load included', whole));
  console.log(row('warm conversion in the page', warm));
  console.log(row('of which the converter in the worker', warmConverter));
  console.log(row('native kvzpack (whole run)', native));
  console.log(row('native kvzpack --preview (whole run)', nativePreview));
  console.log(row('first conversion with --best in the page', bestFirst));
  console.log(row('warm conversion with --best in the page', bestWarm));
  console.log(row('of which the converter in the worker', bestWarmConverter));
  console.log(row('native kvzpack --best (whole run)', nativeBest));
  console.log(row('native kvzpack --best --preview (whole run)', nativeBestPreview));
  console.log(`\nwarm / native: ${(warm / native).toFixed(2)}; warm / native --preview: ${(warm / nativePreview).toFixed(2)}`);
  console.log(`warm --best / native --best: ${(bestWarm / nativeBest).toFixed(2)}; warm --best / native --best --preview: ${(bestWarm / nativeBestPreview).toFixed(2)}`);
} finally {
  await chrome.close();
  await server.close();
}
