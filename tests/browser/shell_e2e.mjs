// End-to-end test of the DriveSentinel window in headless Chromium: the shell (tabs at their
// pixels, right clicks, F2, tray, licence, Close), where the page inputs live, and the report
// pages: Disk Information with its drive list, System Information and S.M.A.R.T. with its
// two exports.
// usage: node shell_e2e.mjs PATH/TO/drivesentinel ARTEFACT_FOLDER
import fs from 'node:fs';
import path from 'node:path';
import {
  check, commandLine, exitCode, fail, finish, launchBrowser, makeHome, openWindow,
  programAddress, removeHome, sleep, startProgram, stopProgram, waitFor,
} from './harness.mjs';

const [program, artefacts] = commandLine('shell_e2e.mjs', ['PATH/TO/drivesentinel', 'ARTEFACT_FOLDER']);
const home = makeHome(program, 'Loading_Time=1\nPE_Cycle_Limit=3000\nEnd_User_License_Agreement=data\\EULA.txt\n');

const server = startProgram(program, ['--demo', '--headless', '--port', '0', '--home', home]);
let browser;
try {
  const address = await programAddress(server);
  const token = new URL(address).pathname.split('/')[1];

  // A second instance on the same program folder ends at once, silently, with code 0.
  const second = startProgram(program, ['--demo', '--headless', '--home', home]);
  const secondCode = await exitCode(second, 5000);
  check(secondCode === 0 && second.output === '', `a second instance exits silently (code ${secondCode})`);

  browser = await launchBrowser();
  const problems = [];
  const { context, page, box, click, pageId, frameSource, showFrame, openTab } = await openWindow(browser, address, problems);
  check((await context.cookies()).every((cookie) => !cookie.value.includes(token)), 'no cookie carries the token');
  check(box.width === 800 && box.height === 600, 'the window is 800 x 600');
  const homeShown = () => page.evaluate(() => !document.getElementById('home').classList.contains('hidden'));
  check(await homeShown(), 'the Home picture is shown at start');
  const corner = await page.evaluate(() => document.getElementById('skin').getContext('2d').getImageData(1, 1, 1, 1).data[3]);
  check(corner === 0, 'the green colour key of the skin is transparent');
  await page.screenshot({ path: path.join(artefacts, 'window-home.png'), clip: box });

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

  const system = await showFrame(/SystemPage\.html/);
  let text = await system.evaluate(() => document.body.innerText);
  check(/\d+MB/.test(text) && /QRA/.test(text) && !/STR_/.test(text), 'System Information shows memory and the kept disks');
  await page.screenshot({ path: path.join(artefacts, 'window-system-page.png'), clip: box });

  // Home button.
  await click(644 + 17, 17);
  await waitFor(async () => (await pageId()) === 0 && (await homeShown()), 'the Home page');
  check(true, 'Home shows the Home picture again');

  // Right clicks open no context menu, in the window or in the page.
  const diskPage = await openTab(318, /disk_info_0_0\.html/);
  const framePrevented = await diskPage.evaluate(() => {
    const event = new MouseEvent('contextmenu', { bubbles: true, cancelable: true, button: 2 });
    return !document.body.dispatchEvent(event);
  });
  check(framePrevented, 'a right click in the page opens no context menu');
  const shellPrevented = await page.evaluate(() => !document.getElementById('skin').dispatchEvent(
    new MouseEvent('contextmenu', { bubbles: true, cancelable: true, button: 2 })));
  check(shellPrevented, 'a right click on the window opens no context menu');
  await click(400, 300, { button: 'right' });

  // The page's input reaches the program as a cookie below the secret data folder, which
  // pages of other services on this host (other ports) are never sent.
  const stored = await waitFor(async () => (await context.cookies(address + 'data/')).find((c) => c.name === `ds${token}_disk_sel`),
    'the drive choice of the Disk Information page');
  check(stored.path === `/${token}/data/`, `the page input lives under the secret data folder (${stored.path})`);

  // Disk Information: the first drive, every field filled; the drive list opens another.
  text = await diskPage.evaluate(() => document.body.innerText);
  check(/QRA/.test(text) && !/STR_/.test(text), 'Disk Information shows the first drive, every field filled');
  check(/SATA Gen\d/.test(text) && /TRIM|S\.M\.A\.R\.T\./.test(text), 'transfer mode and features are shown');
  await diskPage.selectOption('.title select', 'disk_info_1_0.html');
  const drive1 = await waitFor(() => page.frames().find((f) => /disk_info_1_0\.html/.test(f.url())), 'the second drive page');
  await drive1.waitForLoadState('load');
  check(/QRB/.test(await drive1.evaluate(() => document.body.innerText)), 'choosing the second drive in the list opens its page');

  // S.M.A.R.T.: the attribute table, the IDENTIFY table and the two exports at their pixels.
  await openTab(518, /SMARTPage\.html/);
  const table = async (name) => {
    const frame = await waitFor(() => page.frames().find((f) => name.test(f.url())), `${name}`);
    await frame.waitForLoadState('load');
    return frame;
  };
  const rows = await (await table(/SMARTInfo\.html/)).evaluate(() => [...document.querySelectorAll('tr')].filter((r) => r.cells.length === 8).length);
  check(rows >= 9, `the attribute table has a header and the drive's attributes (${rows} rows)`);
  check(/Word 255: Integrity word/.test(await (await table(/SMART_ID_Info\.html/)).evaluate(() => document.body.innerText)), 'the IDENTIFY table is complete');
  await page.screenshot({ path: path.join(artefacts, 'smart.png'), clip: box });
  for (const [y, name] of [[155, 'SMART.xls'], [357, 'Identify.xls']]) {
    const download = page.waitForEvent('download', { timeout: 10000 }).catch(() => null);
    await click(705, y);
    const offered = await download;
    check(offered && offered.suggestedFilename() === name, `the export button offers ${name}`);
    if (offered) {
      await offered.saveAs(path.join(artefacts, name));
      const head = fs.readFileSync(path.join(artefacts, name)).subarray(0, 8).toString('hex');
      check(head === 'd0cf11e0a1b11ae1', `${name} is a compound file`);
    }
  }

  // F2 with a wrong code does nothing.
  const internalVisible = () => page.evaluate(() => !document.querySelector('.button[data-id="1004"]').hidden);
  await page.keyboard.press('F2');
  await page.waitForSelector('.dialog[data-kind="password"]');
  await page.fill('#password-input', 'talvex');
  await page.click('.dialog[data-kind="password"] button[data-answer="ok"]');
  await sleep(400);
  check(!(await internalVisible()) && (await pageId()) === 4, 'a wrong access code does nothing');

  // F2 with "Talvex" shows button 1004 and the Internal page; F2 again leaves for Home.
  await page.keyboard.press('F2');
  await page.waitForSelector('.dialog[data-kind="password"]');
  await page.fill('#password-input', 'Talvex');
  await page.keyboard.press('Enter');
  await waitFor(async () => (await internalVisible()) && (await pageId()) === 1, 'the Internal page');
  check(true, 'F2 and Talvex show button 1004 and the Internal page');
  await showFrame(/\/(?!loading\.html)[^/]+\.html/);
  await page.screenshot({ path: path.join(artefacts, 'window-internal.png'), clip: box });
  await page.keyboard.press('F2');
  await waitFor(async () => !(await internalVisible()) && (await pageId()) === 0, 'leaving internal mode');
  check(true, 'F2 again hides button 1004 and returns Home');

  // A second shell sees the same window.
  const other = await context.newPage();
  await other.goto(address);
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
  await sleep(300);
  check(await page.evaluate(() => document.getElementById('window').hidden), 'a right click on the icon does nothing');
  await page.click('#tray-icon');
  await page.waitForSelector('#window:not([hidden])');
  check(await page.evaluate(() => document.getElementById('tray-icon').hidden), 'a left click restores the window and removes the icon');

  // The licence text opens in a new tab.
  const licencePopup = context.waitForEvent('page', { timeout: 5000 }).catch(() => null);
  await click(678 + 17, 17);
  const licence = await licencePopup;
  if (licence) await licence.waitForLoadState();
  check(licence && (await licence.content()).includes('End User License Agreement'), 'the licence text opens in a new tab');

  check(problems.length === 0, `no script errors or failed requests${problems.length ? ': ' + problems.join('; ') : ''}`);

  // A flood of clicks and malformed inputs leaves the program answering.
  const flood = await page.evaluate(async () => {
    const statuses = [];
    const bodies = ['type=mousedown&button=0&x=1&y=1', 'type=button&id=424242', 'type=mousedown&button=0&x=99999&y=-5',
      'type=nonsense', 'type=button&id=1e9', '%%%'];
    for (let i = 0; i < 300; i += 1) {
      const response = await fetch('data/.input', { method: 'POST', headers: { 'Content-Type': 'application/x-www-form-urlencoded' }, body: bodies[i % bodies.length] });
      statuses.push(response.status);
    }
    return statuses;
  });
  check(flood.every((status) => [204, 400, 503].includes(status)), 'a flood of inputs gets clear answers');
  check((await (await page.request.get(address + 'data/empty.html')).status()) === 200, 'the program still answers after the flood');

  // Close ends the program with code 0 and the shell says so.
  await click(746 + 17, 17);
  await page.waitForSelector('#ended:not([hidden])', { timeout: 10000 });
  check(true, 'the shell says the program has ended');
  const code = await exitCode(server, 10000);
  check(code === 0, `the program exits with code 0 (got ${code})`);
} catch (error) {
  fail(error);
  console.log(server.errors);
} finally {
  if (browser) await browser.close();
  await stopProgram(server);
  removeHome(home);
}
finish('browser checks');
