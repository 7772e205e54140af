// What the browser tests share: checks, waiting, a program folder, the program, the window.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

// The line the program prints when ready; the address's first path segment is the secret.
export const READY_LINE = /^Norvik DriveSentinel: (http:\/\/127\.0\.0\.1:\d+\/[0-9a-f]{32}\/)$/m;

let failures = 0;

export function check(condition, what) {
  console.log(`${condition ? 'ok  ' : 'FAIL'} ${what}`);
  if (!condition) failures += 1;
}

export function fail(error) {
  failures += 1;
  console.log(`FAIL ${error.stack || error}`);
}

export function finish(what) {
  console.log(failures === 0 ? `all ${what} passed` : `${failures} ${what} failed`);
  process.exit(failures === 0 ? 0 : 1);
}

// The command-line arguments named in `names`; the last one is an artefact folder, made.
export function commandLine(script, names) {
  const values = process.argv.slice(2);
  if (values.length < names.length) {
    console.error(`usage: node ${script} ${names.join(' ')}`);
    process.exit(2);
  }
  fs.mkdirSync(values[names.length - 1], { recursive: true });
  return values;
}

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

export async function waitFor(predicate, what, timeout = 15000) {
  const until = Date.now() + timeout;
  while (Date.now() < until) {
    const value = await predicate();
    if (value) return value;
    await sleep(25);
  }
  throw new Error(`timed out waiting for ${what}`);
}

// A program folder of its own: the data folder beside the executable and the ini file.
export function makeHome(program, ini = 'Loading_Time=1\nPE_Cycle_Limit=3000\n') {
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'ds-browser-'));
  fs.cpSync(path.join(path.dirname(program), 'data'), path.join(home, 'data'), { recursive: true });
  fs.writeFileSync(path.join(home, 'Norvik_DriveSentinel.ini'), ini);
  return home;
}

export const removeHome = (home) => fs.rmSync(home, { recursive: true, force: true });

// Starts the program; the child collects its output and knows when it exited.
export function startProgram(program, args) {
  const child = spawn(program, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  [child.output, child.errors] = ['', ''];
  child.stdout.on('data', (chunk) => { child.output += chunk; });
  child.stderr.on('data', (chunk) => { child.errors += chunk; });
  child.exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
  return child;
}

// The exit code, or 'hung' when the program has not ended within `timeout`.
export const exitCode = (child, timeout) => Promise.race([child.exited, sleep(timeout).then(() => 'hung')]);

export async function stopProgram(child) {
  if (child.exitCode !== null || child.signalCode !== null) return;
  child.kill('SIGTERM');
  await exitCode(child, 5000);
}

export const programAddress = async (child) =>
  (await waitFor(() => child.output.match(READY_LINE), 'the address line'))[1];

export const launchBrowser = () => chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
    '--disable-component-update', '--no-first-run', '--disable-sync'],
});

// The file names of the documents the window's frame asks for, in order, from now on (empty
// the list to start a new count).
export function watchFrameDocuments(page) {
  const documents = [];
  page.on('request', (request) => {
    if (request.isNavigationRequest() && request.frame() !== page.mainFrame()) documents.push(new URL(request.url()).pathname.replace(/.*\//, ''));
  });
  return documents;
}

// Opens the window at `address`; `problems`, when given, collects script errors and failed requests.
export async function openWindow(browser, address, problems) {
  const context = await browser.newContext({ viewport: { width: 1000, height: 700 }, acceptDownloads: true });
  const page = await context.newPage();
  if (problems) {
    page.on('pageerror', (error) => problems.push(`script error: ${error.message}`));
    page.on('console', (message) => { if (message.type() === 'error') problems.push(`console: ${message.text()}`); });
    page.on('response', (response) => { if (response.status() >= 400) problems.push(`${response.status()} ${response.url()}`); });
  }
  await page.goto(address);
  await page.waitForSelector('#window:not([hidden])', { timeout: 20000 });
  await page.waitForFunction(() => document.getElementById('skin').dataset.ready === '1');
  const box = await page.locator('#window').boundingBox();
  const click = (x, y, options) => page.mouse.click(box.x + x, box.y + y, options);
  const pageId = () => page.evaluate(() => Number(document.getElementById('window').dataset.page));
  // The address of the frame's page (a click on a tab first points the frame at a held
  // address, which the program answers with the view).
  const frameSource = () => page.evaluate(() => {
    const frame = document.getElementById('browser');
    try {
      const shown = frame.contentWindow.location;
      if (shown.href !== 'about:blank') return shown.pathname + shown.search;
    } catch (error) { /* a page of another origin */ }
    return frame.getAttribute('src') || '';
  });
  // The browser frame (`inner`: any frame) once its final document matching `pattern` has loaded.
  // Loaded to its end, so the shell's input filter is surely in it (the shell adds it once it
  // sees the page's document, at the latest at the frame's load event).
  const showFrame = async (pattern, inner = false) => {
    const frame = await waitFor(async () => {
      if (!inner && !pattern.test(await frameSource())) return null;
      const found = page.frames().find((f) => (inner || f.parentFrame() === page.mainFrame()) && pattern.test(f.url()));
      return found && (await found.evaluate(() => document.readyState === 'complete').catch(() => false)) ? found : null;
    }, `the page matching ${pattern}`);
    await frame.waitForLoadState('load');
    return frame;
  };
  // Clicks the tab at window position `x`; the frame once it shows its page.
  const openTab = async (x, pattern) => {
    await click(x, 78);
    return showFrame(pattern);
  };
  return { context, page, box, click, pageId, frameSource, showFrame, openTab };
}
