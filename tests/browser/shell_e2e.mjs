// The window in Chromium: autorun question, system menu, tabs, right clicks, F2, tray, licence,
// Close, page inputs, pages, exports, the self-test buttons, the Home view.
// usage: node shell_e2e.mjs PATH/TO/drivesentinel ARTEFACT_FOLDER
import fs from 'node:fs';
import path from 'node:path';
import {
  check, commandLine, exitCode, fail, finish, launchBrowser, makeHome, openWindow,
  programAddress, removeHome, sleep, startProgram, stopProgram, waitFor, watchFrameDocuments,
} from './harness.mjs';

const [program, artefacts] = commandLine('shell_e2e.mjs', ['PATH/TO/drivesentinel', 'ARTEFACT_FOLDER']);
const home = makeHome(program, 'Loading_Time=1\nPE_Cycle_Limit=3000\nEnd_User_License_Agreement=data\\EULA.txt\n');

const server = startProgram(program, ['--demo', '--headless', '--port', '0', '--home', home]);
let browser;
try {
  const address = await programAddress(server);
  const token = new URL(address).pathname.split('/')[1];

  const second = startProgram(program, ['--demo', '--headless', '--home', home]);
  const secondCode = await exitCode(second, 5000);
  check(secondCode === 0 && second.output === '', `a second instance exits silently (code ${secondCode})`);

  browser = await launchBrowser();
  const problems = [];
  const { context, page, box, click, pageId, frameSource, showFrame, openTab } = await openWindow(browser, address, problems);
  check((await context.cookies()).every((cookie) => !cookie.value.includes(token)), 'no cookie carries the token');
  check(box.width === 800 && box.height === 600, 'the window is 800 x 600');
  // The autorun question waits for the first page; "No" and "Do not ask me again" are kept.
  const autorun = await page.waitForSelector('.dialog[data-kind="autorun"]');
  check(/^Norvik autorun setting\s*Always start this program at system startup/.test(await autorun.innerText()),
    'the first page gets the autorun question');
  await page.check('#autorun-no');
  await page.check('#autorun-check');
  await page.click('.dialog[data-kind="autorun"] button[data-answer="ok"]');
  await waitFor(() => /donotaskmeagain\t1/.test(fs.readFileSync(path.join(home, 'data', 'registry.dat'), 'latin1')),
    'DoNotAskMeAgain kept');
  await click(42, 42);  // the program icon opens the system menu
  await page.click('#system-menu .item:has-text("About Norvik_DriveSentinel...")');
  const about = await page.waitForSelector('.dialog[data-kind="message"]');
  check(/^About Norvik DriveSentinel\s*Norvik DriveSentinel\s*OK$/.test(await about.innerText()), 'the About box');
  await page.click('.dialog[data-kind="message"] button');
  const homeShown = () => page.evaluate(() => !document.getElementById('home').classList.contains('hidden'));
  const homeRows = async () => (await showFrame(/HomePage\.html/)).evaluate(() => document.querySelectorAll('tr.disk[onclick]').length);
  check(!(await homeShown()) && (await homeRows()) === 4, 'the Home view at start: one row per kept disk of the demo');
  check(await page.evaluate(() => document.getElementById('skin').getContext('2d').getImageData(1, 1, 1, 1).data[3]) === 0,
    'the green colour key of the skin is transparent');
  await page.screenshot({ path: path.join(artefacts, 'window-home.png'), clip: box });

  // The loading page waits its delay after the click: a page built within it never shows it.
  // (How many builds beat the delay depends on the machine; that the delay holds does not.)
  const earlyLoading = [];
  let [clickedAt, inputs] = [0, 0];
  const documents = watchFrameDocuments(page);  // the frame's documents asked for since the click
  page.on('request', (request) => {
    if (/loading\.html/.test(request.url()) && Date.now() - clickedAt < 100) earlyLoading.push(request.url());
    if (request.method() === 'POST' && /\/data\/\.input$/.test(request.url())) inputs += 1;
  });
  for (const [id, left, expected, file] of [[1005, 268, 2, /disk_info_0_0\.html/], [1006, 368, 3, /HealthPage_0\.html/],
    [1007, 468, 4, /SMARTPage\.html/], [1008, 568, 5, /ToolPage\.html/], [1009, 668, 6, /SystemPage\.html/]]) {
    const before = await frameSource();
    [clickedAt, inputs, documents.length] = [Date.now(), 0, 0];
    await click(left + 50, 78);
    await waitFor(async () => (await pageId()) === expected && (await frameSource()) !== before, `tab ${id}`);
    await showFrame(file);
    await sleep(150);  // a second navigation after the first would come now
    check(inputs === 1, `a click on tab ${id} is one request to the program (${inputs})`);
    // The frame heads for the view at the click (a held address), and loads the page once.
    const pages = documents.filter((name) => name !== '.view' && name !== 'loading.html');
    check(documents[0] === '.view' && pages.length === 1 && file.test(pages[0]),
      `tab ${id}: the frame goes to its page in one navigation, held from the click (${documents})`);
    const selected = await page.evaluate((tab) => document.querySelector(`.button[data-id="${tab}"]`).classList.contains('selected'), id);
    check(!(await homeShown()) && selected, `tab ${id} looks selected, hides the Home picture and shows page ${expected}`);
  }

  check(earlyLoading.length === 0, `the loading page waits its delay after a click (${earlyLoading})`);
  const text = (frame) => frame.evaluate(() => document.body.innerText);
  const system = await text(await showFrame(/SystemPage\.html/));
  check(/\d+MB/.test(system) && /QRA/.test(system) && !/STR_/.test(system), 'System Information shows memory and the kept disks');
  await click(644 + 17, 17); // Home
  await waitFor(async () => (await pageId()) === 0 && /HomePage\.html/.test(await frameSource()), 'the Home view again after Home');

  const diskPage = await openTab(318, /disk_info_0_0\.html/);
  const menuPrevented = (target, selector) => target.evaluate((sel) => !document.querySelector(sel).dispatchEvent(
    new MouseEvent('contextmenu', { bubbles: true, cancelable: true, button: 2 })), selector);
  check(await menuPrevented(diskPage, 'body'), 'a right click in the page opens no context menu');
  check(await menuPrevented(page, '#skin'), 'a right click on the window opens no context menu');
  await click(400, 300, { button: 'right' });

  const stored = await waitFor(async () => (await context.cookies(address + 'data/')).find((c) => c.name === `ds${token}_disk_sel`),
    'the drive choice of the Disk Information page');
  check(stored.path === `/${token}/data/`, `the page input lives under the secret data folder (${stored.path})`);

  const disk = await text(diskPage);
  check(/QRA/.test(disk) && !/STR_/.test(disk), 'Disk Information shows the first drive, every field filled');
  check(/SATA Gen\d/.test(disk) && /TRIM|S\.M\.A\.R\.T\./.test(disk), 'transfer mode and features are shown');
  await diskPage.selectOption('.title select', 'disk_info_1_0.html');
  check(/QRB/.test(await text(await showFrame(/disk_info_1_0\.html/, true))), 'choosing the second drive in the list opens its page');

  const smartPage = await openTab(518, /SMARTPage\.html/);
  const rows = await smartPage.evaluate(() => [...document.querySelectorAll('tr')].filter((r) => r.cells.length === 8).length);
  check(rows >= 9, `the attribute table has a header and the drive's attributes (${rows} rows)`);
  check(/Word 255: Integrity word/.test(await text(smartPage)) && smartPage.childFrames().length === 0,
    'the IDENTIFY table is complete, both tables in the page itself (no frame to fetch after it)');
  await page.screenshot({ path: path.join(artefacts, 'smart.png'), clip: box });
  for (const [y, name] of [[155, 'SMART.xls'], [308, 'Identify.xls']]) {
    const download = page.waitForEvent('download', { timeout: 10000 }).catch(() => null);
    await click(705, y);
    const offered = await download;
    check(offered && offered.suggestedFilename() === name, `the export button offers ${name}`);
    await offered?.saveAs(path.join(artefacts, name));
    const head = offered && fs.readFileSync(path.join(artefacts, name)).subarray(0, 8).toString('hex');
    check(head === 'd0cf11e0a1b11ae1', `${name} is a compound file`);
  }
  // The self-test buttons at their pixels: Extended asks first, Short starts, progress, Abort.
  const dialogText = async (kind) => (await page.waitForSelector(`.dialog[data-kind="${kind}"]`, { timeout: 30000 })).innerText();
  const dismiss = (kind) => page.click(`.dialog[data-kind="${kind}"] button[data-answer="${kind === 'yesno' ? 'no' : 'ok'}"]`);
  const smartWith = (id) => waitFor(async () => { const frame = await showFrame(/SMARTPage\.html/);
    return (await frame.$(`#${id}`).catch(() => null)) && frame; }, `the S.M.A.R.T. page with #${id}`);
  check(/Extended test \(30 min\)/.test(await text(await smartWith('selftest-short'))), 'the self-test buttons show their minutes');
  await click(532, 460);
  check(/about 30 minutes/.test(await dialogText('yesno')), 'an extended self-test is asked for first');
  await dismiss('yesno');
  await click(386, 460);
  check(/short self-test was started in off-line mode/.test(await dialogText('message')), 'the short self-test starts');
  await dismiss('message');
  check(/Self-test running, \d+ % left/.test(await text(await smartWith('selftest-abort'))), 'the page shows its progress');
  await click(663, 460);
  check(/aborted/.test(await dialogText('message')), 'Abort stops the self-test');
  await dismiss('message');
  check(!/running/.test(await text(await smartWith('selftest-short'))), 'after Abort the page offers the tests again');

  // F2: a wrong code does nothing, "Talvex" shows 1004 and the Internal page, F2 again leaves.
  const internalVisible = () => page.evaluate(() => !document.querySelector('.button[data-id="1004"]').hidden);
  const accessCode = async (code, submit) => {
    await page.keyboard.press('F2');
    await page.fill('.dialog[data-kind="password"] #password-input', code);
    await submit();
  };
  await accessCode('talvex', () => page.click('.dialog[data-kind="password"] button[data-answer="ok"]'));
  await sleep(400);
  check(!(await internalVisible()) && (await pageId()) === 4, 'a wrong access code does nothing');
  await accessCode('Talvex', () => page.keyboard.press('Enter'));
  await waitFor(async () => (await internalVisible()) && (await pageId()) === 1, 'F2 and Talvex showing button 1004 and the Internal page');
  await showFrame(/\/(?!loading\.html)[^/]+\.html/);
  await page.screenshot({ path: path.join(artefacts, 'window-internal.png'), clip: box });
  await page.keyboard.press('F2');
  await waitFor(async () => !(await internalVisible()) && (await pageId()) === 0, 'F2 again hiding button 1004 and returning Home');
  await (await showFrame(/HomePage\.html/)).click('tr.disk[onclick] >> nth=1');
  check(/QRB/.test(await text(await showFrame(/disk_info_1_0\.html/))) && (await pageId()) === 2,
    'a click on the second row of the Home view opens that disk\'s Disk Information page');

  const other = await context.newPage();
  await other.goto(address);
  await other.waitForSelector('#window:not([hidden])');
  await click(668 + 50, 41 + 37);
  await waitFor(() => other.evaluate(() => document.getElementById('window').dataset.page === '6'), 'a second shell showing the same window state');
  await other.close();

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

  const [licence] = await Promise.all([context.waitForEvent('page', { timeout: 5000 }), click(678 + 17, 17)]);
  await licence.waitForLoadState();
  check((await licence.content()).includes('End User License Agreement'), 'the licence text opens in a new tab');
  check(problems.length === 0, `no script errors or failed requests${problems.length ? ': ' + problems.join('; ') : ''}`);

  const flood = await page.evaluate(async (bodies) => {
    const statuses = [];
    for (let i = 0; i < 300; i += 1) statuses.push((await fetch('data/.input', { method: 'POST', headers: { 'Content-Type': 'application/x-www-form-urlencoded' }, body: bodies[i % bodies.length] })).status);
    return statuses;
  }, ['type=mousedown&button=0&x=1&y=1', 'type=button&id=424242', 'type=mousedown&button=0&x=99999&y=-5', 'type=nonsense', 'type=button&id=1e9', '%%%']);
  check(flood.every((status) => [204, 400, 503].includes(status)), 'a flood of inputs gets clear answers');
  check((await (await page.request.get(address + 'data/empty.html')).status()) === 200, 'the program still answers after the flood');

  await click(746 + 17, 17);
  await page.waitForSelector('#ended:not([hidden])', { timeout: 10000 }); // the shell says so
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
