// End-to-end test of the DriveSentinel window in headless Chromium.
// usage: node shell_e2e.mjs PATH/TO/drivesentinel ARTEFACT_FOLDER
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

const [program, artefacts] = process.argv.slice(2);
if (!program || !artefacts) {
  console.error('usage: node shell_e2e.mjs PATH/TO/drivesentinel ARTEFACT_FOLDER');
  process.exit(2);
}
fs.mkdirSync(artefacts, { recursive: true });

let failures = 0;
function check(condition, what) {
  if (condition) {
    console.log(`ok   ${what}`);
  } else {
    failures += 1;
    console.log(`FAIL ${what}`);
  }
}

// A program folder of its own: the data folder and the ini file beside the executable.
const home = fs.mkdtempSync(path.join(os.tmpdir(), 'ds-browser-'));
fs.cpSync(path.join(path.dirname(program), 'data'), path.join(home, 'data'), { recursive: true });
fs.writeFileSync(path.join(home, 'Norvik_DriveSentinel.ini'),
  'Loading_Time=1\nPE_Cycle_Limit=3000\nEnd_User_License_Agreement=data\\EULA.txt\n');

function start(args) {
  const child = spawn(program, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  child.output = '';
  child.errors = '';
  child.stdout.on('data', (chunk) => { child.output += chunk; });
  child.stderr.on('data', (chunk) => { child.errors += chunk; });
  child.exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
  return child;
}

async function waitFor(predicate, what, timeout = 10000) {
  const until = Date.now() + timeout;
  while (Date.now() < until) {
    const value = await predicate();
    if (value) return value;
    await new Promise((resolve) => setTimeout(resolve, 25));
  }
  throw new Error(`timed out waiting for ${what}`);
}

const server = start(['--demo', '--headless', '--port', '0', '--home', home]);
let browser;
try {
  const line = await waitFor(() => server.output.match(/^Norvik DriveSentinel: (http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+)$/m), 'the address line');
  const address = line[1];
  const origin = new URL(address).origin;

  // Requests without the token are refused.
  check((await fetch(origin + '/')).status === 403, 'the shell without token is refused');
  check((await fetch(origin + '/data/empty.html')).status === 403, 'data without token is refused');
  check((await fetch(origin + '/data/.input', { method: 'POST', body: 'type=button&id=1000' })).status === 403,
    'inputs without token are refused');
  const foreignHost = await new Promise((resolve) => {
    const request = http.get(address, { headers: { Host: 'evil.example' } }, (response) => {
      response.resume();
      resolve(response.statusCode);
    });
    request.on('error', () => resolve(-1));
  });
  check(foreignHost === 403, 'a foreign Host is refused (DNS rebinding)');

  // A second instance on the same program folder ends at once, silently, with code 0.
  const second = start(['--demo', '--headless', '--home', home]);
  const secondCode = await Promise.race([second.exited, new Promise((r) => setTimeout(() => r('hung'), 5000))]);
  check(secondCode === 0 && second.output === '', `a second instance exits silently (code ${secondCode})`);

  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
      '--disable-component-update', '--no-first-run', '--disable-sync'],
  });
  const context = await browser.newContext({ viewport: { width: 1000, height: 700 }, acceptDownloads: true });
  const page = await context.newPage();
  await page.goto(address);
  await page.waitForSelector('#window:not([hidden])', { timeout: 15000 });
  await page.waitForFunction(() => document.getElementById('skin').dataset.ready === '1');
  check(!page.url().includes('token='), 'the token leaves the address bar');
  const box = await page.locator('#window').boundingBox();
  check(box.width === 800 && box.height === 600, 'the window is 800 x 600');
  const pageId = () => page.evaluate(() => Number(document.getElementById('window').dataset.page));
  const frameSource = () => page.evaluate(() => document.getElementById('browser').getAttribute('src'));
  const homeShown = () => page.evaluate(() => !document.getElementById('home').classList.contains('hidden'));
  check(await homeShown(), 'the Home picture is shown at start');
  const corner = await page.evaluate(() => document.getElementById('skin').getContext('2d').getImageData(1, 1, 1, 1).data[3]);
  check(corner === 0, 'the green colour key of the skin is transparent');
  await page.screenshot({ path: path.join(artefacts, 'window-home.png'), clip: box });

  const click = (x, y, options) => page.mouse.click(box.x + x, box.y + y, options);

  // Every tab, clicked at its pixel position, opens its page in the browser frame.
  const tabs = [[1005, 268, 41, 2], [1006, 368, 41, 3], [1007, 468, 41, 4], [1008, 568, 41, 5], [1009, 668, 41, 6]];
  const timings = [];
  for (const [id, left, top, expected] of tabs) {
    const before = await frameSource();
    const started = Date.now();
    await click(left + 50, top + 37);
    await waitFor(async () => (await pageId()) === expected && (await frameSource()) !== before, `tab ${id}`);
    timings.push(Date.now() - started);
    check(!(await homeShown()), `tab ${id} hides the Home picture and shows page ${expected}`);
    const selected = await page.evaluate((tab) => document.querySelector(`.button[data-id="${tab}"]`).classList.contains('selected'), id);
    check(selected, `tab ${id} looks selected`);
  }
  console.log(`tab click to navigation, as the test sees it: ${timings.join(', ')} ms`);

  // The same inside the page: from the click on a tab to the frame being sent to the page.
  const inPage = await page.evaluate(async () => {
    const frame = document.getElementById('browser');
    const results = [];
    for (const id of [1005, 1009, 1007, 1006, 1008, 1005, 1009, 1007, 1006, 1008]) {
      const before = frame.getAttribute('src');
      const started = performance.now();
      const changed = new Promise((resolve) => {
        const observer = new MutationObserver(() => {
          if (frame.getAttribute('src') !== before && !frame.getAttribute('src').includes('loading.html')) {
            observer.disconnect();
            resolve(performance.now() - started);
          }
        });
        observer.observe(frame, { attributes: true, attributeFilter: ['src'] });
      });
      document.querySelector(`.button[data-id="${id}"]`).click();
      results.push(await changed);
    }
    return results;
  });
  inPage.sort((a, b) => a - b);
  console.log(`tab click to navigation in the page: median ${inPage[5].toFixed(1)} ms, max ${inPage[9].toFixed(1)} ms`);
  await page.screenshot({ path: path.join(artefacts, 'window-system-page.png'), clip: box });

  // Home button.
  await click(644 + 17, 17);
  await waitFor(async () => (await pageId()) === 0 && (await homeShown()), 'the Home page');
  check(true, 'Home shows the Home picture again');

  // Right clicks open no context menu, in the window or in the page.
  await click(268 + 50, 41 + 37);
  await waitFor(async () => (await pageId()) === 2, 'disk information');
  const framePrevented = await page.frameLocator('#browser').locator('body').evaluate((body) => {
    const event = new MouseEvent('contextmenu', { bubbles: true, cancelable: true, button: 2 });
    return !body.dispatchEvent(event);
  });
  check(framePrevented, 'a right click in the page opens no context menu');
  const shellPrevented = await page.evaluate(() => !document.getElementById('skin').dispatchEvent(
    new MouseEvent('contextmenu', { bubbles: true, cancelable: true, button: 2 })));
  check(shellPrevented, 'a right click on the window opens no context menu');
  await click(400, 300, { button: 'right' });

  // F2 with a wrong code does nothing.
  const internalVisible = () => page.evaluate(() => !document.querySelector('.button[data-id="1004"]').hidden);
  await page.keyboard.press('F2');
  await page.waitForSelector('.dialog[data-kind="password"]');
  await page.fill('#password-input', 'talvex');
  await page.click('.dialog[data-kind="password"] button[data-answer="ok"]');
  await new Promise((resolve) => setTimeout(resolve, 400));
  check(!(await internalVisible()) && (await pageId()) === 2, 'a wrong access code does nothing');

  // F2 with "Talvex" shows button 1004 and the Internal page; F2 again leaves for Home.
  await page.keyboard.press('F2');
  await page.waitForSelector('.dialog[data-kind="password"]');
  await page.fill('#password-input', 'Talvex');
  await page.keyboard.press('Enter');
  await waitFor(async () => (await internalVisible()) && (await pageId()) === 1, 'the Internal page');
  check(true, 'F2 and Talvex show button 1004 and the Internal page');
  await page.screenshot({ path: path.join(artefacts, 'window-internal.png'), clip: box });
  await page.keyboard.press('F2');
  await waitFor(async () => !(await internalVisible()) && (await pageId()) === 0, 'leaving internal mode');
  check(true, 'F2 again hides button 1004 and returns Home');

  // A second shell sees the same window.
  const other = await context.newPage();
  await other.goto(origin + '/');
  await other.waitForSelector('#window:not([hidden])');
  await click(668 + 50, 41 + 37);
  await waitFor(() => other.evaluate(() => document.getElementById('window').dataset.page === '6'), 'the second shell following');
  check(true, 'two shells show the same window state');
  await other.close();

  // Minimize to the notification area; only a left click on the icon restores.
  await click(712 + 17, 17);
  await page.waitForSelector('#window[hidden]', { state: 'attached' });
  await page.waitForSelector('#tray-icon:not([hidden])');
  check((await page.title()).includes('running in the background'), 'the tab title says the program runs in the background');
  await page.click('#tray-icon', { button: 'right' });
  await new Promise((resolve) => setTimeout(resolve, 300));
  check(await page.evaluate(() => document.getElementById('window').hidden), 'a right click on the icon does nothing');
  await page.click('#tray-icon');
  await page.waitForSelector('#window:not([hidden])');
  check(await page.evaluate(() => document.getElementById('tray-icon').hidden), 'a left click restores the window and removes the icon');

  // The licence text opens in a new tab.
  const popup = context.waitForEvent('page', { timeout: 5000 }).catch(() => null);
  await click(678 + 17, 17);
  const licence = await popup;
  if (licence) await licence.waitForLoadState();
  check(licence && (await licence.content()).includes('End User License Agreement'), 'the licence text opens in a new tab');

  // A flood of clicks and malformed inputs leaves the program answering.
  const flood = await page.evaluate(async () => {
    const statuses = [];
    const bodies = ['type=mousedown&button=0&x=1&y=1', 'type=button&id=424242', 'type=mousedown&button=0&x=99999&y=-5',
      'type=nonsense', 'type=button&id=1e9', '%%%'];
    for (let i = 0; i < 300; i += 1) {
      const response = await fetch('/data/.input', { method: 'POST', headers: { 'Content-Type': 'application/x-www-form-urlencoded' }, body: bodies[i % bodies.length] });
      statuses.push(response.status);
    }
    return statuses;
  });
  check(flood.every((status) => [204, 400, 503].includes(status)), 'a flood of inputs gets clear answers');
  check((await (await page.request.get(origin + '/data/empty.html')).status()) === 200, 'the program still answers after the flood');

  // Close ends the program with code 0 and the shell says so.
  await click(746 + 17, 17);
  await page.waitForSelector('#ended:not([hidden])', { timeout: 10000 });
  check(true, 'the shell says the program has ended');
  const code = await Promise.race([server.exited, new Promise((r) => setTimeout(() => r('hung'), 10000))]);
  check(code === 0, `the program exits with code 0 (got ${code})`);
} catch (error) {
  failures += 1;
  console.log(`FAIL ${error.stack || error}`);
  console.log(server.errors);
} finally {
  if (browser) await browser.close();
  if (server.exitCode === null) {
    server.kill('SIGTERM');
    await Promise.race([server.exited, new Promise((r) => setTimeout(r, 5000))]);
  }
  try {
    fs.rmSync(home, { recursive: true, force: true });
  } catch (error) {
    console.log(`note: could not remove ${home}: ${error.message}`);
  }
}
console.log(failures === 0 ? 'all browser checks passed' : `${failures} browser checks failed`);
process.exit(failures === 0 ? 0 : 1);
