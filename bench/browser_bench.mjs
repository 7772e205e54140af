// The window on the demo machine in Chromium: from a click on Home or on one of the five tabs
// to the page shown (the frame's final page loaded; for Home, its picture shown), over several
// rounds, the first one a warm-up. Prints every view's median and the slowest one.
// usage: node browser_bench.mjs PATH/TO/drivesentinel [ROUNDS]
import {
  launchBrowser, makeHome, openWindow, programAddress, removeHome, startProgram, stopProgram,
} from '../tests/browser/harness.mjs';

const [program, roundsText = '6'] = process.argv.slice(2);
if (!program) {
  console.error('usage: node browser_bench.mjs PATH/TO/drivesentinel [ROUNDS]');
  process.exit(2);
}
const rounds = Math.max(2, Number(roundsText));
// Window positions of the buttons: Home on the caption, the tabs below it.
const VIEWS = [['Home', 661, 17], ['Disk Information', 318, 78], ['Health', 418, 78],
  ['S.M.A.R.T.', 518, 78], ['Tool', 618, 78], ['System Information', 718, 78]];
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor((values.length - 1) / 2)];

const home = makeHome(program);
const server = startProgram(program, ['--demo', '--headless', '--port', '0', '--home', home]);
let browser;
let status = 0;
try {
  const address = await programAddress(server);
  browser = await launchBrowser();
  const { page, click } = await openWindow(browser, address);
  // The autorun question at start is answered once, before any timing; then a tab leaves
  // Home, so that the first view is a change.
  await page.click('.dialog[data-kind="autorun"] button[data-answer="cancel"]', { timeout: 20000 });
  await click(318, 78);
  await page.waitForSelector('#home.hidden', { state: 'attached' });
  const times = new Map(VIEWS.map(([name]) => [name, []]));
  for (let round = 0; round < rounds; ++round) {
    for (const [name, x, y] of VIEWS) {
      // Armed in the page: the time of the mouse-down, then of the view shown.
      const armed = page.evaluate((isHome) => new Promise((resolve) => {
        const frame = document.getElementById('browser');
        const picture = document.getElementById('home');
        const before = frame.getAttribute('src');
        let start = 0;
        document.addEventListener('mousedown', () => { start = performance.now(); }, { capture: true, once: true });
        const done = () => resolve(performance.now() - start);
        if (isHome) {
          const seen = new MutationObserver(() => {
            if (!picture.classList.contains('hidden')) { seen.disconnect(); requestAnimationFrame(done); }
          });
          seen.observe(picture, { attributes: true });
          return;
        }
        const loaded = () => {
          const shown = frame.contentWindow.location.pathname;
          if (frame.getAttribute('src') === before || shown.endsWith('/loading.html')) return;
          frame.removeEventListener('load', loaded);
          done();
        };
        frame.addEventListener('load', loaded);
      }), name === 'Home');
      await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => resolve())));
      await click(x, y);
      const ms = await Promise.race([armed, new Promise((resolve) => setTimeout(() => resolve(null), 20000))]);
      if (ms === null) throw new Error(`${name} was not shown`);
      if (round > 0) times.get(name).push(ms);
    }
  }
  const all = [...times.values()].flat();
  for (const [name, values] of times) {
    console.log(`browser: ${name}: median ${median(values).toFixed(1)} ms, slowest ${Math.max(...values).toFixed(1)} ms`);
  }
  const slowest = [...times].map(([name, values]) => [name, median(values)]).sort((a, b) => b[1] - a[1])[0];
  console.log(`browser: click to page shown over ${rounds - 1} rounds: median ${median(all).toFixed(1)} ms; ` +
    `slowest view ${slowest[0]} (median ${slowest[1].toFixed(1)} ms, worst ${Math.max(...all).toFixed(1)} ms)`);
} catch (error) {
  console.log(`FAIL ${error.stack || error}`);
  status = 1;
} finally {
  if (browser) await browser.close();
  await stopProgram(server);
  removeHome(home);
}
process.exit(status);
