#!/usr/bin/env node
'use strict';
// Plays SWF movies in the Ruffle web player inside headless Chromium and reports what a viewer
// would see: exact frames as PNG files, the timeline as it plays, and the URL a click opens.
// Chromium starts once for a whole batch of requests; the page and Ruffle are served from a
// loopback server, and every other request the page makes is recorded and answered locally.
//
//   harness.js check                              is the player there? (exit 77 if not)
//   harness.js frame MOVIE K OUT.png [transparent] frame K (from 0) at the stage size, 1:1;
//                                                 transparent: the player draws no stage, so
//                                                 the page (grey) shows where the movie is clear
//   harness.js timeline MOVIE SECONDS [REF.png...] what shows when, labelled by the closest REF
//   harness.js click MOVIE X Y [X Y...]           what each click at stage pixel (X, Y) opens
//   harness.js gifdecode GIF OUTDIR               the GIF as the browser decodes it (gifdecode.js)
//   harness.js page PAGE [REF.png...]             a page as a visitor opens it: PAGE is an
//                                                 http://127.0.0.1 address, or an HTML file
//                                                 served with its folder; the player's picture
//                                                 once loaded and a second later, labelled by
//                                                 the closest REF, without a click; or the
//                                                 page's words when it cannot play
//   harness.js batch FILE                         one request a line, fields separated by tabs
//
// Results go to standard output, one tab-separated line each:
//   frame MOVIE K ok OUT.png | frame MOVIE K error MESSAGE
//   timeline MOVIE show START_MS END_MS LABEL PSNR   (LABEL -1: no reference given)
//   timeline MOVIE end loops|holds LAST_LABEL | timeline MOVIE error MESSAGE
//   click MOVIE X Y opens URL | click MOVIE X Y nothing | click MOVIE X Y error MESSAGE
//   gifdecode GIF frame K DURATION_MS PNG | gifdecode GIF repeats N | gifdecode GIF error MESSAGE
//   page PAGE shows LABEL PSNR (twice) | page PAGE says TEXT | page PAGE error MESSAGE
// Exit status: 0 when every request was answered (errors included), 77 when Chromium or the
// npm packages are missing, 2 on a usage error, 1 when the browser failed.

const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const crypto = require('crypto');
const { parseSwf, stopAtFrame } = require('./swf');
const { decodePng, psnr } = require('./png');
const { parseGifDecode, answerGifDecode } = require('./gifdecode');

const EXIT_SKIP = 77;
const CHROMIUM = process.env.QUORVEL_CHROMIUM || '/usr/bin/chromium';
const CHROMIUM_FLAGS = [
  '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  // WebGL through SwiftShader: without a GPU, this is what Ruffle's default renderer runs on.
  '--enable-unsafe-swiftshader',
  // Report the http: URL a movie opens as it is, not as the browser would upgrade it.
  '--disable-features=HttpsUpgrades',
];
const FAST_RATE = 60;        // frames per second while seeking to a frame
const SEEK_TIMEOUT_MS = 30000;
const CLICK_WAIT_MS = 500;   // how long a click has to open something
const START_WAIT_MS = 200;   // playing time before the first click
const PAGE_SHOT_GAP_MS = 1000;  // between the two pictures of a page
const SHOWN_PSNR = 30;          // a picture shows a reference from this PSNR (dB) on

class UsageError extends Error {}

// The npm packages, or the reason they cannot be used.
function loadDependencies() {
  const missing = [];
  let puppeteer = null;
  let ruffleDir = null;
  try {
    puppeteer = require('puppeteer-core');
  } catch {
    missing.push('puppeteer-core');
  }
  try {
    ruffleDir = path.dirname(require.resolve('@ruffle-rs/ruffle/package.json'));
  } catch {
    missing.push('@ruffle-rs/ruffle');
  }
  if (missing.length) {
    return { reason: `npm packages missing (${missing.join(', ')}): run scripts/setup-deps` };
  }
  if (!fs.existsSync(CHROMIUM)) return { reason: `Chromium not found at ${CHROMIUM}` };
  const ruffleVersion = JSON.parse(fs.readFileSync(path.join(ruffleDir, 'package.json'))).version;
  return { puppeteer, ruffleDir, ruffleVersion };
}

// Serves the page, Ruffle's files and the movies registered with addMovie, on 127.0.0.1 only.
class Server {
  constructor(ruffleDir) {
    this.movies = new Map();
    this.server = http.createServer((req, res) => this.answer(req, res));
    this.ruffleDir = ruffleDir;
  }
  async listen() {
    await new Promise((resolve) => this.server.listen(0, '127.0.0.1', resolve));
    this.origin = `http://127.0.0.1:${this.server.address().port}`;
  }
  addMovie(bytes) {
    const name = `/movie/${this.movies.size}.swf`;
    this.movies.set(name, bytes);
    return name;
  }
  dropMovie(name) {
    this.movies.delete(name);
  }
  // The address of an HTML file, its folder served under /site/ as a plain web server would.
  addSite(page) {
    this.site = path.dirname(path.resolve(page));
    return `${this.origin}/site/${encodeURIComponent(path.basename(page))}`;
  }
  answer(req, res) {
    const url = decodeURIComponent(req.url.split('?')[0]);
    let body = null;
    let type = 'application/octet-stream';
    const inSite = this.site && url.startsWith('/site/') && path.join(this.site, url.slice(6));
    if (inSite && inSite.startsWith(this.site + path.sep) && fs.existsSync(inSite) &&
        fs.statSync(inSite).isFile()) {
      body = fs.readFileSync(inSite);
      type = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' }[
        path.extname(inSite)] || type;
    } else if (url === '/') {
      body = fs.readFileSync(path.join(__dirname, 'page.html'));
      type = 'text/html; charset=utf-8';
    } else if (this.movies.has(url)) {
      body = this.movies.get(url);
      type = 'application/x-shockwave-flash';
    } else if (url.startsWith('/ruffle/')) {
      const file = path.join(this.ruffleDir, path.basename(url));
      if (fs.existsSync(file)) body = fs.readFileSync(file);
      if (file.endsWith('.wasm')) type = 'application/wasm';
      if (file.endsWith('.js')) type = 'text/javascript';
    }
    res.writeHead(body ? 200 : 404, { 'content-type': type });
    res.end(body);
  }
  close() {
    this.server.close();
  }
}

class Player {
  constructor(deps) {
    this.deps = deps;
    this.requested = [];  // pages the movie asked the browser to open, in order
    this.log = [];
  }

  async open(viewport) {
    this.server = new Server(this.deps.ruffleDir);
    await this.server.listen();
    this.profile = fs.mkdtempSync(path.join(os.tmpdir(), 'quorvel-chromium-'));
    this.browser = await this.deps.puppeteer.launch({
      executablePath: CHROMIUM,
      headless: true,
      userDataDir: this.profile,
      args: CHROMIUM_FLAGS,
    });
    this.page = await this.browser.newPage();
    await this.page.setViewport({ ...viewport, deviceScaleFactor: 1 });
    this.page.on('console', (m) => this.log.push(m.text()));
    this.page.on('pageerror', (e) => this.log.push(`page error: ${e.message}`));
    await this.page.setRequestInterception(true);
    this.page.on('request', (request) => {
      if (request.url().startsWith(this.server.origin + '/')) {
        request.continue();
        return;
      }
      // Nothing leaves the machine. A navigation is what a click on a URL button starts (the
      // player's own interface also loads data: images); answered with 204, it leaves the page
      // in place.
      if (request.isNavigationRequest()) this.requested.push(request.url());
      request.respond({ status: 204, body: '' });
    });
    await this.page.goto(this.server.origin + '/');
    await this.page.waitForFunction(() => window.RufflePlayer && window.RufflePlayer.newest);
    // The first screenshot of a page is slow; take it now rather than in a timeline.
    await this.page.screenshot({ type: 'png', clip: { x: 0, y: 0, width: 1, height: 1 } });
  }

  // A page in a tab of its own that may reach this machine alone, as a visitor opens it: no
  // harness, no click. The player's picture once it shows one of the references (or at once,
  // without any), and a second later, each with the closest reference and its PSNR; or what
  // the page says instead of playing.
  async pageShots(target, refs) {
    const url = target.startsWith('http://') ? target : this.server.addSite(target);
    const tab = await this.browser.newPage();
    try {
      await tab.setRequestInterception(true);
      tab.on('request', (request) => {
        if (request.url().startsWith('http://127.0.0.1:')) request.continue();
        else request.respond({ status: 204, body: '' });
      });
      tab.on('pageerror', (e) => this.log.push(`page error: ${e.message}`));
      // As in a desktop browser before the visitor's first click, sound cannot start (headless
      // Chromium lets it): Ruffle's default autoplay would then wait for a click.
      await tab.evaluateOnNewDocument(() => Object.defineProperty(
        AudioContext.prototype, 'state', { get: () => 'suspended' }));
      await tab.goto(url);
      // The movie loaded, or the page's own words on why it cannot play.
      const said = await (await tab.waitForFunction(() => {
        const player = document.querySelector('#movie > *');
        const words = document.getElementById('no-ruffle');
        if (words && !words.hidden) return words.textContent;
        return player && player.ruffle && player.ruffle().readyState === 2 && ' ';
      }, { timeout: SEEK_TIMEOUT_MS })).jsonValue();
      if (said.trim()) return { said };
      const box = await (await tab.$('#movie > *')).boundingBox();
      const shot = async () =>
        closest(decodePng(Buffer.from(await tab.screenshot({ type: 'png', clip: box }))), refs);
      const deadline = Date.now() + SEEK_TIMEOUT_MS;
      let first = await shot();
      while (refs.length && Number(first[1]) < SHOWN_PSNR && Date.now() < deadline) {
        await new Promise((r) => setTimeout(r, 50));
        first = await shot();
      }
      await new Promise((r) => setTimeout(r, PAGE_SHOT_GAP_MS));
      return { shown: [first, await shot()] };
    } finally {
      await tab.close();
    }
  }

  async close() {
    if (this.browser) await this.browser.close().catch(() => {});
    if (this.server) this.server.close();
    if (this.profile) fs.rmSync(this.profile, { recursive: true, force: true });
  }

  version() {
    const renderer = this.log.map((l) => /Used renderer: ([\w-]+)/.exec(l)).find(Boolean);
    return `Ruffle ${this.deps.ruffleVersion} (${renderer ? renderer[1] : 'renderer unknown'})`;
  }

  async start(bytes, swf, frameRate, recordSeconds, transparent) {
    if (this.movieUrl) this.server.dropMovie(this.movieUrl);
    this.movieUrl = this.server.addMovie(bytes);
    await this.page.evaluate(
      (url, w, h, rate, seconds, clear) => window.harness.start(url, w, h, rate, seconds, clear),
      this.movieUrl, swf.width, swf.height, frameRate || 0, recordSeconds || 0, !!transparent);
  }

  async shot(swf) {
    return Buffer.from(await this.page.screenshot({
      type: 'png',
      clip: { x: 0, y: 0, width: swf.width, height: swf.height },
    }));
  }

  // Frame k of the movie: a copy that stops there and traces a token when it gets there; once
  // it has, the picture is taken when two screenshots in a row agree.
  async frame(bytes, k, transparent) {
    const swf = parseSwf(bytes);
    const token = `quorvel-frame-${k}-${crypto.randomBytes(4).toString('hex')}`;
    await this.start(stopAtFrame(bytes, k, token), swf, FAST_RATE, 0, transparent);
    await this.page.waitForFunction((t) => window.harness.traces.includes(t),
      { timeout: SEEK_TIMEOUT_MS, polling: 'raf' }, token);
    let previous = null;
    for (let tries = 0; tries < 20; tries++) {
      await this.page.evaluate(() => window.harness.frames(2));
      const picture = await this.shot(swf);
      if (previous && picture.equals(previous)) return picture;
      previous = picture;
    }
    throw new Error('the picture did not settle after the movie stopped');
  }

  // What the player shows as it plays, for `seconds` from the start: runs of identical
  // pictures with the time (ms) of their first and last sighting, read in the page at every
  // frame the browser paints.
  async timeline(bytes, seconds) {
    const swf = parseSwf(bytes);
    await this.start(bytes, swf, 0, seconds);
    const runs = await this.page.evaluate(() => window.harness.recording);
    return runs.map(({ start, end, rgba }) => {
      const pixels = Buffer.from(rgba, 'base64');
      const rgb = Buffer.alloc((pixels.length / 4) * 3);
      for (let i = 0, j = 0; i < pixels.length; i += 4, j += 3) pixels.copy(rgb, j, i, i + 3);
      return { start, end, picture: { width: swf.width, height: swf.height, rgb } };
    });
  }

  // Clicks each stage pixel (its centre) of the playing movie and lists what the page tried to
  // open within CLICK_WAIT_MS of the click.
  async clicks(bytes, points) {
    const swf = parseSwf(bytes);
    await this.start(bytes, swf, 0);
    await new Promise((r) => setTimeout(r, START_WAIT_MS));
    await this.page.evaluate(() => window.harness.frames(2));
    const results = [];
    for (const [x, y] of points) {
      const seen = this.requested.length;
      const opened = await this.page.evaluate(() => window.harness.opened.length);
      await this.page.mouse.click(x + 0.5, y + 0.5);
      const deadline = Date.now() + CLICK_WAIT_MS;
      let urls = [];
      while (Date.now() < deadline && urls.length === 0) {
        await new Promise((r) => setTimeout(r, 20));
        const windows = await this.page.evaluate((n) => window.harness.opened.slice(n), opened);
        urls = this.requested.slice(seen).concat(windows);
      }
      results.push(urls);
    }
    return results;
  }
}

function outputLine(...fields) {
  process.stdout.write(fields.map((f) => String(f).replace(/[\t\n]/g, ' ')).join('\t') + '\n');
}

// A request from its fields: [kind, movie, ...].
function parseRequest(fields) {
  const [kind, movie, ...rest] = fields;
  const number = (s) => {
    const v = Number(s);
    if (s === undefined || s === '' || !Number.isFinite(v)) throw new UsageError(`not a number: ${s}`);
    return v;
  };
  if (!movie) throw new UsageError(`${kind || 'request'}: no movie given`);
  if (kind === 'gifdecode' && parseGifDecode(fields)) return parseGifDecode(fields);
  if (kind === 'frame' && (rest.length === 2 || (rest.length === 3 && rest[2] === 'transparent'))) {
    return { kind, movie, frame: number(rest[0]), out: rest[1], transparent: rest.length === 3 };
  }
  if (kind === 'timeline' && rest.length >= 1) {
    return { kind, movie, seconds: number(rest[0]), refs: rest.slice(1) };
  }
  if (kind === 'page') return { kind, movie, refs: rest };
  if (kind === 'click' && rest.length >= 2 && rest.length % 2 === 0) {
    const points = [];
    for (let i = 0; i < rest.length; i += 2) points.push([number(rest[i]), number(rest[i + 1])]);
    return { kind, movie, points };
  }
  throw new UsageError(`bad request: ${fields.join(' ')}`);
}

// The reference closest to a picture, and its PSNR: [-1, -Infinity] without references.
function closest(picture, refs) {
  let label = -1;
  let best = -Infinity;
  refs.forEach((ref, i) => {
    const p = psnr(picture, ref);
    if (p > best) [label, best] = [i, p];
  });
  return [label, Number.isFinite(best) ? best.toFixed(2) : best > 0 ? 'inf' : '-inf'];
}

async function answer(player, request) {
  if (request.kind === 'gifdecode') return answerGifDecode(player.page, request, outputLine);
  if (request.kind === 'page') {
    const refs = request.refs.map((f) => decodePng(fs.readFileSync(f)));
    const { said, shown } = await player.pageShots(request.movie, refs);
    if (said) outputLine('page', request.movie, 'says', said);
    for (const picture of shown || []) outputLine('page', request.movie, 'shows', ...picture);
    return;
  }
  const bytes = fs.readFileSync(request.movie);
  if (request.kind === 'frame') {
    fs.writeFileSync(request.out, await player.frame(bytes, request.frame, request.transparent));
    outputLine('frame', request.movie, request.frame, 'ok', request.out);
  } else if (request.kind === 'timeline') {
    const refs = request.refs.map((f) => decodePng(fs.readFileSync(f)));
    const runs = await player.timeline(bytes, request.seconds);
    const labels = [];
    for (const run of runs) {
      const [label, score] = closest(run.picture, refs);
      labels.push(label);
      outputLine('timeline', request.movie, 'show', run.start, run.end, label, score);
    }
    const loops = labels.some((l, i) => i > 0 && l < labels[i - 1]);
    outputLine('timeline', request.movie, 'end', loops ? 'loops' : 'holds', labels[labels.length - 1]);
  } else {
    const results = await player.clicks(bytes, request.points);
    request.points.forEach(([x, y], i) => {
      if (results[i].length === 0) outputLine('click', request.movie, x, y, 'nothing');
      for (const url of results[i]) outputLine('click', request.movie, x, y, 'opens', url);
    });
  }
}

function errorLine(request, message) {
  if (request.kind === 'frame') outputLine('frame', request.movie, request.frame, 'error', message);
  else if (request.kind === 'page') outputLine('page', request.movie, 'error', message);
  else if (request.kind === 'timeline') outputLine('timeline', request.movie, 'error', message);
  else if (request.kind === 'gifdecode') outputLine('gifdecode', request.movie, 'error', message);
  else for (const [x, y] of request.points) outputLine('click', request.movie, x, y, 'error', message);
}

async function main(argv) {
  const [command, ...args] = argv;
  let requests;
  if (command === 'check') {
    requests = [];
  } else if (command === 'batch' && args.length === 1) {
    requests = fs.readFileSync(args[0], 'utf8').split('\n')
      .filter((line) => line.trim() && !line.startsWith('#'))
      .map((line) => parseRequest(line.split('\t')));
  } else if (['frame', 'timeline', 'click', 'gifdecode', 'page'].includes(command)) {
    requests = [parseRequest(argv)];
  } else {
    throw new UsageError('usage: harness.js check | frame MOVIE K OUT.png [transparent] | ' +
      'timeline MOVIE SECONDS [REF.png...] | click MOVIE X Y [X Y...] | gifdecode GIF OUTDIR | ' +
      'page PAGE [REF.png...] | ' +
      'batch FILE');
  }

  const deps = loadDependencies();
  if (deps.reason) {
    process.stderr.write(`player unavailable: ${deps.reason}\n`);
    return EXIT_SKIP;
  }
  // A viewport that holds the largest stage of the batch.
  const viewport = { width: 64, height: 64 };
  for (const request of requests) {
    try {
      const swf = parseSwf(fs.readFileSync(request.movie));
      viewport.width = Math.max(viewport.width, swf.width);
      viewport.height = Math.max(viewport.height, swf.height);
    } catch {
      // reported when the request is answered
    }
  }
  const player = new Player(deps);
  try {
    try {
      await player.open(viewport);
    } catch (e) {
      process.stderr.write(`player unavailable: Chromium did not start: ${e.message}\n`);
      return EXIT_SKIP;
    }
    for (const request of requests) {
      try {
        await answer(player, request);
      } catch (e) {
        if (!player.browser.connected) throw e;
        errorLine(request, e.message);
      }
    }
    process.stderr.write(`player: ${player.version()}, ${await player.browser.version()}\n`);
    if (process.env.QUORVEL_PLAYER_LOG) process.stderr.write(player.log.join('\n') + '\n');
  } finally {
    await player.close();
  }
  return 0;
}

main(process.argv.slice(2)).then(
  (code) => process.exit(code),
  (e) => {
    process.stderr.write(`harness: ${e.message}\n`);
    process.exit(e instanceof UsageError ? 2 : 1);
  });
