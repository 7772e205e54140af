// The demo window in Chromium: from a click on Home or on one of the five tabs to the view
// shown (the frame's final page loaded), over ROUNDS rounds, the first a warm-up. Prints
// each view's median and slowest time, then the median of all views and the slowest view.
//
// Playwright launches Chromium, but the window is opened in a browser context of the
// bench's own, through a DevTools session that enables no domain: Playwright's pages make
// Chromium build two script contexts for every new document (its own and, eagerly, the
// page's), about 10 ms of each view that no user's browser spends. The clicks are real
// input events (Input.dispatchMouseEvent); the time is taken in the page, from the
// mouse-down to the frame's load event.
// usage: node browser_bench.mjs PATH/TO/drivesentinel [ROUNDS]
import { launchBrowser, makeHome, programAddress, removeHome, startProgram, stopProgram, waitFor } from '../tests/browser/harness.mjs';

const [program, rounds = 6] = process.argv.slice(2);
const VIEWS = [['Home', 661, 17], ['Disk Information', 318, 78], ['Health', 418, 78],
  ['S.M.A.R.T.', 518, 78], ['Tool', 618, 78], ['System Information', 718, 78]];
const median = (v) => [...v].sort((a, b) => a - b)[Math.floor((v.length - 1) / 2)];
// The answer of `promise`, or a failure after `ms` (the timer does not keep the bench alive).
const within = (promise, ms, what) =>
  Promise.race([promise, new Promise((_, fail) => setTimeout(fail, ms, new Error(`${what}: no answer in ${ms} ms`)).unref())]);

// A page of a browser context of its own, driven through a DevTools session of its own.
async function openBarePage(browser, address) {
  const browserSession = await browser.newBrowserCDPSession();
  const { browserContextId } = await browserSession.send('Target.createBrowserContext');
  const { targetId } = await browserSession.send('Target.createTarget', { url: 'about:blank', browserContextId });
  const { sessionId } = await browserSession.send('Target.attachToTarget', { targetId, flatten: false });
  let lastId = 0;
  const answers = new Map();
  browserSession.on('Target.receivedMessageFromTarget', (event) => {
    const message = JSON.parse(event.message);
    const answer = answers.get(message.id);
    if (!answer) return;
    answers.delete(message.id);
    if (message.error) answer.fail(new Error(message.error.message));
    else answer.take(message.result);
  });
  const send = (method, params = {}) => within(new Promise((take, fail) => {
    const id = ++lastId;
    answers.set(id, { take, fail });
    browserSession.send('Target.sendMessageToTarget', { sessionId, message: JSON.stringify({ id, method, params }) }).catch(fail);
  }), 20000, method);
  const evaluate = async (expression) => {
    const { result, exceptionDetails } = await send('Runtime.evaluate', { expression, awaitPromise: true, returnByValue: true });
    if (exceptionDetails) throw new Error(`${expression.slice(0, 60)}: ${exceptionDetails.exception?.description || exceptionDetails.text}`);
    return result.value;
  };
  await send('Emulation.setDeviceMetricsOverride', { width: 1000, height: 700, deviceScaleFactor: 1, mobile: false });
  await send('Page.navigate', { url: address });
  await waitFor(() => evaluate(`!!document.getElementById('window') && !document.getElementById('window').hidden &&
    document.getElementById('skin').dataset.ready === '1'`).catch(() => false), 'the window');
  const [left, top] = await evaluate(`(() => { const box = document.getElementById('window').getBoundingClientRect(); return [box.x, box.y]; })()`);
  const click = async (x, y) => {
    for (const type of ['mouseMoved', 'mousePressed', 'mouseReleased']) {
      await send('Input.dispatchMouseEvent', { type, x: left + x, y: top + y, button: type === 'mouseMoved' ? 'none' : 'left', clickCount: 1 });
    }
  };
  return { evaluate, click };
}

const home = makeHome(program);
const server = startProgram(program, ['--demo', '--headless', '--port', '0', '--home', home]);
const browser = await launchBrowser();
try {
  const { evaluate, click } = await openBarePage(browser, await programAddress(server));
  await waitFor(() => evaluate(`(() => { const cancel = document.querySelector('.dialog[data-kind="autorun"] button[data-answer="cancel"]');
    if (cancel) cancel.click(); return !!cancel; })()`), 'the autorun question');
  await new Promise((settle) => setTimeout(settle, 2000));  // the start-up reads are over
  await click(318, 78);  // away from Home, so that the first view is a change
  await waitFor(() => evaluate(`document.getElementById('home').classList.contains('hidden')`), 'the first tab');
  const times = new Map(VIEWS.map(([name]) => [name, []]));
  for (let round = 0; round < Math.max(2, rounds); ++round) {
    for (const [name, x, y] of VIEWS) {
      // Armed in the page: the time from the mouse-down to the view shown. Every view, Home's
      // list of disks included, is a page built into the frame, its address carrying the
      // view's number; the loading page is not one.
      await evaluate(`window.benchShown = new Promise((resolve) => {
        const frame = document.getElementById('browser');
        const viewOf = () => new URLSearchParams(frame.contentWindow.location.search).get('view');
        const before = viewOf();
        let start = 0;
        document.addEventListener('mousedown', () => { start = performance.now(); }, { capture: true, once: true });
        frame.addEventListener('load', function loaded() {
          if (viewOf() === before || frame.contentWindow.location.pathname.endsWith('/loading.html')) return;
          frame.removeEventListener('load', loaded);
          resolve(performance.now() - start);
        });
      }); 0`);
      await click(x, y);
      const ms = await within(evaluate('window.benchShown'), 20000, `${name} shown`);
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
