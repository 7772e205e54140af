// The Tool page clicked at its pixels: edit mode, fields saved, "Refresh By", mail test, erase.
// usage: node tool_page.mjs PATH/TO/drivesentinel ARTEFACT_FOLDER
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import {
  check, commandLine, fail, finish, launchBrowser, makeHome, openWindow, programAddress,
  removeHome, startProgram, stopProgram, waitFor,
} from './harness.mjs';

const [program, artefacts] = commandLine('tool_page.mjs', ['PATH/TO/drivesentinel', 'ARTEFACT_FOLDER']);
const PASSWORD = 'ab"c<d&e;f=g h ';
// Window pixels inside each click rectangle of the Tool page.
const AT = { tab: [618, 78], edit: [620, 155], save: [689, 155], alert: [435, 155], fahrenheit: [193, 204],
  ssl: [626, 344], test: [672, 423], start: [688, 496] };

const home = makeHome(program);
let smtp;
// The monitor's first pass comes after the test: it never holds the erased disk or the mail.
const server = startProgram(program, ['--demo', '--headless', '--port', '0', '--home', home,
  '--monitor-period', '86400']);
let browser;
try {
  browser = await launchBrowser();
  const problems = [];
  const address = await programAddress(server);
  const { context, page, box, click, showFrame, openTab } = await openWindow(browser, address, problems);
  await page.click('.dialog[data-kind="autorun"] button[data-answer="cancel"]');
  const press = (where) => click(...AT[where]);
  const settings = () => fs.readFileSync(path.join(home, 'data', 'setting_tool_page.dat'), 'latin1');
  // The Tool page once it shows the edit mode asked for.
  const toolPage = (editable) => waitFor(async () => {
    const frame = await showFrame(/ToolPage\.html/);
    const enabled = await frame.evaluate(() => !document.getElementById('above').disabled).catch(() => null);
    return enabled === editable ? frame : null;
  }, `the Tool page in ${editable ? 'edit' : 'view'} mode`);
  const dialog = (kind) => page.waitForSelector(`.dialog[data-kind="${kind}"]`, { timeout: 30000 });
  const answer = (kind, reply) => page.click(`.dialog[data-kind="${kind}"] button[data-answer="${reply}"]`);

  // The first Tool page's Edit image is held back, so the page stays loading: a click on it
  // meanwhile is still the page's (view mode, every field greyed).
  let releaseImage = () => {};
  const imageHeld = new Promise((resolve) => { releaseImage = resolve; });
  await page.route(/\/button_edit\.png$/, async (route) => {
    await imageHeld;
    await route.continue().catch(() => {});  // the page may have gone meanwhile
  }, { times: 1 });
  await press('tab');
  await waitFor(async () => {
    const f = page.frames().find((one) => one.parentFrame() === page.mainFrame() && /ToolPage\.html/.test(one.url()));
    return f && f.evaluate(() => document.readyState !== 'complete' && document.getElementById('above').disabled).catch(() => false);
  }, 'the Tool page in view mode, its images still coming');
  // The shell looks for a new page each animation frame: two of them and it has seen this one.
  await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
  // Edit, the unit first (it rebuilds the page), then the fields, then the switches, Save.
  await press('edit');
  try {
    await toolPage(true);
  } finally {
    releaseImage();
  }
  let frame;
  await press('fahrenheit');
  frame = await waitFor(async () => {
    const f = await toolPage(true); // the page may be replaced meanwhile: then look again
    return await f.evaluate(() => /temp_f_on/.test(document.getElementById('temperature').innerHTML)).catch(() => false) && f;
  }, 'the Fahrenheit image');
  check(/TemperatureType=1/.test(settings()), 'the unit click switches to Fahrenheit and saves it');
  const typed = { above: '140', under: '32', capacity: '10', health_status: '20', lifespan_years: '1', lifespan_days: '30',
    refresh_by: '2', from: 'ds@plant.example', to: 'a@x.example, b@y.example', host: '127.0.0.1', port: '9', id: 'monitor',
    passwd: PASSWORD };
  for (const [id, value] of Object.entries(typed)) await frame.fill(`#${id}`, value);
  await frame.selectOption('#refresh_by_type', '1');
  await press('alert');
  await press('ssl');
  await page.screenshot({ path: path.join(artefacts, 'tool-edit.png'), clip: box });
  await press('save');
  frame = await toolPage(false);
  const saved = await waitFor(() => /Passwd=/.test(settings()) && settings(), 'the saved settings');
  // The SSL switch only flips the field; Save stores it with the rest, "lifespan_days" as LifespanDays.
  const expected = ['EnableAlert=1', 'TemperatureType=1', 'EnableSSL=1', 'RefreshByType=1',
    ...Object.entries(typed).map(([id, value]) => `${id.replace(/(^|_)(.)/g, (m, s, c) => c.toUpperCase())}=${value}`)];
  for (const line of expected) check(saved.includes(line + '\r\n'), `saved: ${line}`);

  await openTab(318, /disk_info/);
  await press('tab');
  frame = await toolPage(false);
  const shown = await frame.evaluate(() => ({ passwd: document.getElementById('passwd').value,
    to: document.getElementById('to').value, type: document.getElementById('refresh_by_type').value }));
  check(shown.passwd === PASSWORD && shown.to === typed.to && shown.type === '1',
    `the page shows the stored values again (${JSON.stringify(shown)})`);
  await press('edit');
  await toolPage(true);
  await press('save');
  await toolPage(false);
  check(settings() === saved, 'saving again keeps every value byte for byte');

  // A refused Save stores nothing and leaves the page as typed, in edit mode.
  await press('edit');
  frame = await toolPage(true);
  for (const [id, value, said] of [['refresh_by', '', /Please input "Refresh By" field!/],
    ['to', 'x'.repeat(5000), /Please shorten the "To" field/]]) {
    const before = await frame.inputValue(`#${id}`);
    await frame.fill(`#${id}`, value);
    await press('save');
    check(said.test(await (await dialog('message')).innerText()), `a Save with ${id} of ${value.length} is refused`);
    await answer('message', 'ok');
    check(settings() === saved && await frame.inputValue(`#${id}`) === value, 'nothing saved, the page kept');
    await frame.fill(`#${id}`, before);
  }

  // The mail test's outcome and colour once its Close button shows with a text (not the empty label).
  const mailTest = async () => {
    await press('test');
    return waitFor(() => page.evaluate(() => {
      const label = document.querySelector('.dialog[data-kind="mailtest"] .text');
      const closable = document.querySelector('.dialog[data-kind="mailtest"] button[data-answer="ok"]');
      return closable && label.textContent && [label.innerText, getComputedStyle(label).color];
    }), 'the mail test outcome', 30000);
  };
  // Nothing listens at port 9, so the dialog ends in red with the reason.
  const [verdict, red] = await mailTest();
  check(/Error/.test(verdict) && red === 'rgb(255, 0, 0)', `the mail test fails in red: "${verdict}"`);
  await page.screenshot({ path: path.join(artefacts, 'mail-test.png'), clip: box });
  await answer('mailtest', 'ok');

  // Then a real SMTP server on loopback (aiosmtpd, SSL off again): the mail arrives, in black.
  // Unbuffered (-u): through a pipe Python would hold the printed mail until it exits.
  const smtpPort = await new Promise((resolve) => {
    const probe = net.createServer().listen(0, '127.0.0.1', () => probe.close(resolve.bind(null, probe.address().port)));
  });
  smtp = startProgram('/usr/bin/python3', ['-u', '-m', 'aiosmtpd', '-n', '-l', `127.0.0.1:${smtpPort}`]);
  await waitFor(() => new Promise((resolve) => {
    net.connect(smtpPort, '127.0.0.1', function () { this.end(); resolve(true); }).on('error', () => resolve(false));
  }), 'the SMTP server');
  frame = await toolPage(true);
  await frame.fill('#port', String(smtpPort));
  await press('ssl');
  const [sent, black] = await mailTest();
  check(!/Error/.test(sent) && black === 'rgb(0, 0, 0)', `the test mail is sent: "${sent}" in black`);
  await answer('mailtest', 'ok');
  const mail = await waitFor(() => /This is a test email/.test(smtp.output) && smtp.output, 'the mail');
  check(/Subject: Norvik test mail/.test(mail) && /a@x\.example/.test(mail) && /b@y\.example/.test(mail),
    'the server got the test mail with its subject and both recipients');
  await press('save');
  await toolPage(false);

  // Security erase. The first sample disk holds "/": refused after the warning.
  await press('start');
  const warningText = await (await dialog('yesno')).innerText();
  check(/permanently delete all the data/.test(warningText) && /QRA-X50/.test(warningText), 'the warning names the disk');
  await answer('yesno', 'no');
  await press('start');
  await dialog('yesno');
  await answer('yesno', 'yes');
  check(/Please remove the file system first!/.test(await (await dialog('message')).innerText()),
    'a disk with a mounted file system is refused');
  await answer('message', 'ok');

  frame = await openTab(318, /disk_info_0_0\.html/);
  await frame.selectOption('.title select', 'disk_info_2_0.html');
  // The list moves the frame itself; the page it opens stores the choice.
  await waitFor(async () => (await context.cookies(address + 'data/')).some(
    (c) => c.name.endsWith('_disk_sel') && c.value === '2'), 'the choice of the third drive');
  await press('tab');
  await toolPage(false);
  await press('start');
  check(/QRC-X57/.test(await (await dialog('yesno')).innerText()), 'the warning names the chosen disk');
  await answer('yesno', 'yes');
  const done = await (await dialog('message')).innerText();
  check(/erased by TRIM/.test(done), `the erase ends: "${done}"`);
  await answer('message', 'ok');
  frame = await toolPage(false);
  const progress = await frame.evaluate(() => document.getElementById('progress-done').style.width);
  check(progress === '100%', `the progress bar stands at 100 % (${progress})`);
  await page.screenshot({ path: path.join(artefacts, 'tool-erased.png'), clip: box });
  check(problems.length === 0, `no script errors or failed requests${problems.length ? ': ' + problems.join('; ') : ''}`);
} catch (error) {
  fail(error);
  console.log(server.errors);
} finally {
  if (browser) await browser.close();
  if (smtp) await stopProgram(smtp);
  await stopProgram(server);
  removeHome(home);
}
finish('Tool page checks');
