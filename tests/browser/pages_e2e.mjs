// End-to-end test of the report pages in the window, in headless Chromium: Disk
// Information (drive list navigation), System Information, S.M.A.R.T. with its two exports,
// and the Unsupported page for another maker's disk.
// usage: node pages_e2e.mjs PATH/TO/drivesentinel ARTEFACT_FOLDER
import fs from 'node:fs';
import path from 'node:path';
import {
  check, commandLine, fail, finish, launchBrowser, makeHome, openWindow, programAddress,
  removeHome, startProgram, stopProgram, waitFor,
} from './harness.mjs';

const [program, artefacts] = commandLine('pages_e2e.mjs', ['PATH/TO/drivesentinel', 'ARTEFACT_FOLDER']);

const start = (home) => startProgram(program, ['--demo', '--headless', '--port', '0', '--home', home]);

const homes = [];
const servers = [];
let browser;
try {
  browser = await launchBrowser();

  const problems = [];
  homes.push(makeHome(program));
  servers.push(start(homes[0]));
  const address = await programAddress(servers[0]);
  const token = new URL(address).pathname.split('/')[1];
  const { page, box, click, openTab } = await openWindow(browser, address, problems);

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
  const cookie = await waitFor(async () => {
    const text = await frame.evaluate(() => document.cookie);
    return text.includes(`ds${token}_disk_sel=1`) && text;
  }, 'the drive choice cookie');
  check(true, `the page stores the shown drive as a cookie of this run (${cookie})`);

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
  homes.push(makeHome(program, { settings: 'Disk_Sel=3\r\nactive_rec=0\r\nhealth_display_type=0\r\n' }));
  servers.push(start(homes[1]));
  const other = await openWindow(browser, await programAddress(servers[1]));
  await other.openTab(518, /Unsupported\.html/);
  check(true, 'another maker\'s disk gets the Unsupported page on the S.M.A.R.T. tab');
} catch (error) {
  fail(error);
  for (const server of servers) console.log(server.errors);
} finally {
  if (browser) await browser.close();
  for (const server of servers) await stopProgram(server);
  homes.forEach(removeHome);
}
finish('page checks');
