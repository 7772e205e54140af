// End-to-end test of the report pages in the window, in headless Chromium: Disk
// Information (drive list navigation), System Information, S.M.A.R.T. with its two exports,
// and the Unsupported page for another maker's disk.
// usage: node pages_e2e.mjs PATH/TO/drivesentinel ARTEFACT_FOLDER
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

const [program, artefacts] = process.argv.slice(2);
if (!program || !artefacts) {
  console.error('usage: node pages_e2e.mjs PATH/TO/drivesentinel ARTEFACT_FOLDER');
  process.exit(2);
}
fs.mkdirSync(artefacts, { recursive: true });

let failures = 0;
function check(condition, what) {
  console.log(`${condition ? 'ok  ' : 'FAIL'} ${what}`);
  if (!condition) failures += 1;
}

async function waitFor(predicate, what, timeout = 15000) {
  const until = Date.now() + timeout;
  while (Date.now() < until) {
    const value = await predicate();
    if (value) return value;
    await new Promise((resolve) => setTimeout(resolve, 25));
  }
  throw new Error(`timed out waiting for ${what}`);
}

// A program folder of its own; `settings` is the text of data/setting.dat, if any.
function makeHome(settings) {
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'ds-pages-'));
  fs.cpSync(path.join(path.dirname(program), 'data'), path.join(home, 'data'), { recursive: true });
  fs.writeFileSync(path.join(home, 'Norvik_DriveSentinel.ini'), 'Loading_Time=1\nPE_Cycle_Limit=3000\n');
  if (settings) fs.writeFileSync(path.join(home, 'data', 'setting.dat'), settings);
  return home;
}

function start(home) {
  const child = spawn(program, ['--demo', '--headless', '--port', '0', '--home', home],
    { stdio: ['ignore', 'pipe', 'pipe'] });
  child.output = '';
  child.errors = '';
  child.stdout.on('data', (chunk) => { child.output += chunk; });
  child.stderr.on('data', (chunk) => { child.errors += chunk; });
  child.exited = new Promise((resolve) => child.on('exit', resolve));
  return child;
}

// Opens the window of a running program; returns the page, its window box and helpers.
async function openWindow(browser, server, problems) {
  const line = await waitFor(() => server.output.match(/(http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+)/), 'the address');
  const context = await browser.newContext({ viewport: { width: 1000, height: 700 }, acceptDownloads: true });
  const page = await context.newPage();
  page.on('pageerror', (error) => problems.push(`script error: ${error.message}`));
  page.on('console', (message) => { if (message.type() === 'error') problems.push(`console: ${message.text()}`); });
  page.on('response', (response) => { if (response.status() >= 400) problems.push(`${response.status()} ${response.url()}`); });
  await page.goto(line[1]);
  await page.waitForSelector('#window:not([hidden])', { timeout: 20000 });
  await page.waitForFunction(() => document.getElementById('skin').dataset.ready === '1');
  const box = await page.locator('#window').boundingBox();
  const frameSource = () => page.evaluate(() => document.getElementById('browser').getAttribute('src') || '');
  const click = (x, y) => page.mouse.click(box.x + x, box.y + y);
  // Clicks a tab and waits until the browser frame shows a page whose address matches.
  const openTab = async (x, pattern) => {
    await click(x, 78);
    await waitFor(async () => pattern.test(await frameSource()), `a page matching ${pattern}`);
    const frame = await waitFor(() => page.frames().find((f) => pattern.test(f.url())), 'the frame');
    await frame.waitForLoadState('load');
    return frame;
  };
  return { page, box, click, openTab };
}

const homes = [];
const servers = [];
let browser;
try {
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
      '--disable-component-update', '--no-first-run', '--disable-sync'],
  });

  const problems = [];
  homes.push(makeHome());
  servers.push(start(homes[0]));
  const { page, box, click, openTab } = await openWindow(browser, servers[0], problems);

  // Disk Information: the first drive's page, then another drive through the drive list.
  let frame = await openTab(318, /disk_info_0_0\.html/);
  let text = await frame.evaluate(() => document.body.innerText);
  check(/QRA/.test(text) && !/STR_/.test(text), 'Disk Information shows the first drive, every field filled');
  check(/SATA Gen\d/.test(text) && /TRIM|S\.M\.A\.R\.T\./.test(text), 'transfer mode and features are shown');
  await page.screenshot({ path: path.join(artefacts, 'disk-information.png'), clip: box });
  await frame.selectOption('.title select', 'disk_info_1_0.html');
  frame = await waitFor(() => page.frames().find((f) => /disk_info_1_0\.html/.test(f.url())), 'the second drive page');
  await frame.waitForLoadState('load');
  text = await frame.evaluate(() => document.body.innerText);
  check(/QRB/.test(text), 'choosing the second drive in the list opens its page');
  const cookie = await frame.evaluate(() => document.cookie);
  check(/disk_sel=1/.test(cookie), `the page stores the shown drive as a cookie (${cookie})`);

  // System Information.
  frame = await openTab(718, /SystemPage\.html/);
  text = await frame.evaluate(() => document.body.innerText);
  check(/\d+MB/.test(text) && /QRA/.test(text) && !/STR_/.test(text), 'System Information shows memory and the kept disks');
  await page.screenshot({ path: path.join(artefacts, 'system-information.png'), clip: box });

  // S.M.A.R.T.: the attribute table, the IDENTIFY table and the two exports.
  frame = await openTab(518, /SMARTPage\.html/);
  const attributes = await waitFor(() => page.frames().find((f) => /SMARTInfo\.html/.test(f.url())), 'the attribute table');
  await attributes.waitForLoadState('load');
  const rows = await attributes.evaluate(() => [...document.querySelectorAll('tr')].filter((r) => r.cells.length === 8).length);
  check(rows >= 9, `the attribute table has a header and the drive's attributes (${rows} rows)`);
  const identify = await waitFor(() => page.frames().find((f) => /SMART_ID_Info\.html/.test(f.url())), 'the IDENTIFY table');
  await identify.waitForLoadState('load');
  check(/Word 255: Integrity word/.test(await identify.evaluate(() => document.body.innerText)), 'the IDENTIFY table is complete');
  await page.screenshot({ path: path.join(artefacts, 'smart.png'), clip: box });
  for (const [y, name] of [[155, 'SMART.xls'], [357, 'Identify.xls']]) {
    const download = page.waitForEvent('download', { timeout: 10000 }).catch(() => null);
    await click(705, y);
    const offered = await download;
    check(offered && offered.suggestedFilename() === name, `the export button offers ${name}`);
    if (offered) {
      const saved = path.join(artefacts, name);
      await offered.saveAs(saved);
      const head = fs.readFileSync(saved).subarray(0, 8).toString('hex');
      check(head === 'd0cf11e0a1b11ae1', `${name} is a compound file`);
    }
  }
  check(problems.length === 0, `no script errors or failed requests${problems.length ? ': ' + problems.join('; ') : ''}`);

  // Another maker's disk selected: the S.M.A.R.T. tab shows the Unsupported page.
  homes.push(makeHome('Disk_Sel=3\r\nactive_rec=0\r\nhealth_display_type=0\r\n'));
  servers.push(start(homes[1]));
  const other = await openWindow(browser, servers[1], []);
  await other.openTab(518, /Unsupported\.html/);
  check(true, 'another maker\'s disk gets the Unsupported page on the S.M.A.R.T. tab');
} catch (error) {
  failures += 1;
  console.log(`FAIL ${error.stack || error}`);
  for (const server of servers) console.log(server.errors);
} finally {
  if (browser) await browser.close();
  for (const server of servers) {
    server.kill('SIGTERM');
    await Promise.race([server.exited, new Promise((resolve) => setTimeout(resolve, 5000))]);
  }
  for (const home of homes) {
    try {
      fs.rmSync(home, { recursive: true, force: true });
    } catch (error) {
      console.log(`note: could not remove ${home}: ${error.message}`);
    }
  }
}
console.log(failures === 0 ? 'all page checks passed' : `${failures} page checks failed`);
process.exit(failures === 0 ? 0 : 1);
