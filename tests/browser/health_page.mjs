// The Health page in Chromium: charts, the display selector with its cookie, click-map positions.
// usage: node health_page.mjs PATH/TO/health_page_sample SOURCE_DATA_FOLDER ARTEFACT_FOLDER
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { execFileSync } from 'node:child_process';
import { check, commandLine, fail, finish, launchBrowser } from './harness.mjs';

const [sample, sourceData, artefacts] = commandLine('health_page.mjs',
  ['PATH/TO/health_page_sample', 'SOURCE_DATA_FOLDER', 'ARTEFACT_FOLDER']);

// The page's files; the sample writer builds the pages of a year of history up to 7 March 2016.
const home = fs.mkdtempSync(path.join(os.tmpdir(), 'ds-health-'));
const data = path.join(home, 'data');
for (const part of ['template/HealthPage.tmp', 'css', 'images', 'js']) fs.cpSync(path.join(sourceData, part), path.join(data, part), { recursive: true });
const shown = execFileSync(sample, [home, '2016', '3', '7']).toString().trim();
check(shown === 'HealthPage_0.html', `the build shows the page of display type 0 (${shown})`);

// The data folder served under /<secret>/data/ as the program serves it, for the page cookies.
const secret = '0123456789abcdef0123456789abcdef';
const dataPath = `/${secret}/data/`;
const types = { '.html': 'text/html; charset=windows-1252', '.css': 'text/css', '.svg': 'image/svg+xml', '.js': 'text/javascript' };
const server = http.createServer((request, response) => {
  const url = new URL(request.url, 'http://127.0.0.1');
  const file = path.join(data, decodeURIComponent(url.pathname.slice(dataPath.length)));
  const found = url.pathname.startsWith(dataPath) && file.startsWith(data + path.sep) && fs.existsSync(file);
  // The page's ".inputs" request, which hands its cookies to the program, is answered too.
  response.writeHead(found ? 200 : url.pathname === dataPath + '.inputs' ? 204 : 404,
    { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' });
  response.end(found ? fs.readFileSync(file) : undefined);
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const origin = `http://127.0.0.1:${server.address().port}`;

let browser;
try {
  browser = await launchBrowser();
  const context = await browser.newContext({ viewport: { width: 756, height: 441 } });
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  const cookie = async () => (await context.cookies(origin + dataPath)).find(
    (c) => c.name === `ds${secret}_health_display_type` && c.path === dataPath);

  // Day page: 1 to 7 March; month page: January to March 2016; year page: 2015 and 2016.
  const expected = [7, 3, 2];
  for (let type = 0; type < 3; type += 1) {
    await page.goto(`${origin}${dataPath}HealthPage_${type}.html`);
    const got = [await page.locator('#chart circle.point').count(), await page.locator('#chart polyline').count(),
      await page.$eval('#display', (list) => list.value), (await cookie())?.value];
    check(`${got}` === `${[expected[type], 1, type, type]}`,
      `display type ${type}: ${expected[type]} points, one line, selector and stored cookie at ${type} (${got})`);
    await page.screenshot({ path: path.join(artefacts, `health-${type}.png`) });
  }

  // The newest day is the lowest point: the erase count only grows.
  await page.goto(`${origin}${dataPath}HealthPage_0.html`);
  const heights = await page.$$eval('#chart circle.point', (dots) => dots.map((dot) => Number(dot.getAttribute('cy'))));
  check(heights.every((y, i) => i === 0 || y >= heights[i - 1]), 'health falls (or stays) from day to day');
  const tips = await page.$$eval('#chart circle.point title', (titles) => titles.map((t) => t.textContent));
  check(tips[0].startsWith('01/Mar/2016') && tips[6].startsWith('07/Mar/2016'), `points run 01/Mar/2016 .. 07/Mar/2016 (${tips[0]}, ${tips[6]})`);

  await Promise.all([page.waitForURL(/HealthPage_2\.html$/), page.selectOption('#display', '2')]);
  check((await cookie())?.value === '2', 'the selector stores the new display type');

  // The click map's window rectangles of the check box and export button (page = window - 22, 117).
  for (const [selector, left, right, top, bottom] of [['#rec', 472, 495, 314, 337], ['#export', 694, 716, 314, 337]]) {
    const hit = await page.evaluate(([x, y, sel]) => document.elementFromPoint(x, y)?.closest(sel) != null,
      [(left + right) / 2 - 22, (top + bottom) / 2 - 117, selector]);
    check(hit, `${selector} lies under the click-map rectangle ${left}-${right} x ${top}-${bottom}`);
  }
  check(await page.isChecked('#rec'), 'the check box shows that recording is on');
  await page.click('#rec');
  check(await page.isChecked('#rec'), 'a click leaves the check box to the program (no local toggle)');
  check(errors.length === 0, `no script errors (${errors.join('; ')})`);
} catch (error) {
  fail(error);
} finally {
  if (browser) await browser.close();
  server.close();
  fs.rmSync(home, { recursive: true, force: true });
}
finish('health page checks');
