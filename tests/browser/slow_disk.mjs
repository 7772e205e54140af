// The window over a disk that answers slowly: a tab click shows the loading page once the
// loading delay is over, then the tab's page, and a quick click on another tab or Home
// meanwhile still ends on that view.
// usage: node slow_disk.mjs PATH/TO/drivesentinel ARTEFACT_FOLDER
import fs from 'node:fs';
import path from 'node:path';
import {
  check, commandLine, fail, finish, launchBrowser, makeHome, openWindow, programAddress,
  removeHome, startProgram, stopProgram, waitFor, watchFrameDocuments,
} from './harness.mjs';

const [program] = commandLine('slow_disk.mjs', ['PATH/TO/drivesentinel', 'ARTEFACT_FOLDER']);
const home = makeHome(program);
// The demo machine, its first disk taking 700 ms for each SMART READ DATA.
const machine = path.join(home, 'machine');
fs.cpSync(path.join(path.dirname(program), 'data', 'sim', 'demo'), machine, { recursive: true });
fs.appendFileSync(path.join(machine, '0-qra-x50', 'description.dat'), 'fault_slow_commands=B0:D0\nfault_slow_ms=700\n');

const server = startProgram(program, ['--sim', machine, '--headless', '--port', '0', '--home', home]);
let browser;
try {
  browser = await launchBrowser();
  const { page, click, showFrame } = await openWindow(browser, await programAddress(server));
  await page.click('.dialog[data-kind="autorun"] button[data-answer="cancel"]', { timeout: 20000 });
  await showFrame(/HomePage\.html/);
  const documents = watchFrameDocuments(page);

  await click(518, 78);  // S.M.A.R.T.: the disk is read first
  const smart = await showFrame(/SMARTPage\.html/);
  check(/Own verdict/.test(await smart.evaluate(() => document.body.innerText)), 'the S.M.A.R.T. page comes after the slow read');
  check(documents.join(',') === '.view,loading.html,SMARTPage.html',
    `the frame shows the loading page while the disk answers, then the page (${documents})`);

  // Health reads the disk again (slow); System while that read runs: System is what stays.
  documents.length = 0;
  await click(418, 78);
  await waitFor(() => documents.includes('loading.html'), 'the loading page of Health');
  await click(718, 78);
  await showFrame(/SystemPage\.html/);
  await new Promise((resolve) => setTimeout(resolve, 1500));  // the Health read has ended by now
  const shown = () => page.frames().find((frame) => frame.parentFrame() === page.mainFrame()).url();
  check(/SystemPage\.html/.test(shown()), `a later click wins over a slow page (${documents})`);

  // Home while Health's read runs: Home's page waits for that read, longer than the held
  // navigation waits (the frame keeps the loading page), and comes in once it is built.
  documents.length = 0;
  await click(418, 78);
  await waitFor(() => documents.includes('loading.html'), 'the loading page of Health again');
  await click(661, 17);
  await showFrame(/HomePage\.html/);
  check(/HomePage\.html/.test(shown()), `Home comes in after a held navigation that brought nothing (${documents})`);
} catch (error) {
  fail(error);
} finally {
  if (browser) await browser.close();
  await stopProgram(server);
  removeHome(home);
}
finish('slow disk checks');
