// The demo window in Chromium: from a click on Home or on one of the five tabs to the view
// shown (the frame's final page loaded), over ROUNDS rounds, the first
// a warm-up. Prints each view's median and the slowest view.
// usage: node browser_bench.mjs PATH/TO/drivesentinel [ROUNDS]
import { launchBrowser, makeHome, openWindow, programAddress, removeHome, startProgram, stopProgram } from '../tests/browser/harness.mjs';

const [program, rounds = 6] = process.argv.slice(2);
const VIEWS = [['Home', 661, 17], ['Disk Information', 318, 78], ['Health', 418, 78],
  ['S.M.A.R.T.', 518, 78], ['Tool', 618, 78], ['System Information', 718, 78]];
const median = (v) => [...v].sort((a, b) => a - b)[Math.floor((v.length - 1) / 2)];
const home = makeHome(program);
const server = startProgram(program, ['--demo', '--headless', '--port', '0', '--home', home]);
const browser = await launchBrowser();
try {
  const { page, click } = await openWindow(browser, await programAddress(server));
  await page.click('.dialog[data-kind="autorun"] button[data-answer="cancel"]', { timeout: 20000 });
  await click(318, 78);  // away from Home, so that the first view is a change
  await page.waitForSelector('#home.hidden', { state: 'attached' });
  const times = new Map(VIEWS.map(([name]) => [name, []]));
  for (let round = 0; round < Math.max(2, rounds); ++round) {
    for (const [name, x, y] of VIEWS) {
      // Armed in the page: the time from the mouse-down to the view shown.
      const shown = page.evaluate(() => new Promise((resolve) => {
        const frame = document.getElementById('browser');
        const before = frame.getAttribute('src');
        let start = 0;
        document.addEventListener('mousedown', () => { start = performance.now(); }, { capture: true, once: true });
        // Every view, Home's list of disks included, is a page built into the frame.
        frame.addEventListener('load', function loaded() {
          if (frame.getAttribute('src') === before || frame.contentWindow.location.pathname.endsWith('/loading.html')) return;
          frame.removeEventListener('load', loaded);
          resolve(performance.now() - start);
        });
      }));
      await page.evaluate(() => 0);  // the listeners above are in place
      await click(x, y);
      const ms = await Promise.race([shown, new Promise((_, fail) => setTimeout(fail, 20000, new Error(`${name} was not shown`)))]);
      if (round > 0) times.get(name).push(ms);
    }
  }
  for (const [name, v] of times) console.log(`browser: ${name}: median ${median(v).toFixed(1)} ms, slowest ${Math.max(...v).toFixed(1)} ms`);
  const all = [...times.values()].flat();
  const [slowName, slowMedian] = [...times].map(([n, v]) => [n, median(v)]).sort((a, b) => b[1] - a[1])[0];
  console.log(`browser: click to view shown over ${all.length / VIEWS.length} rounds: median ${median(all).toFixed(1)} ms; ` +
    `slowest view ${slowName} (median ${slowMedian.toFixed(1)} ms, worst ${Math.max(...all).toFixed(1)} ms)`);
} catch (error) {
  console.log(`FAIL ${error.stack || error}`);
  process.exitCode = 1;
} finally {
  await browser.close();
  await stopProgram(server);
  removeHome(home);
}
