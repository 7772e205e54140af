// The window of Norvik DriveSentinel, played in the browser. The program sends the
// window's look, dialogs and downloads on ui/events; this page sends button presses,
// mouse-downs in window coordinates, F2, dialog answers, tray clicks and the commands of the
// window's system menu to data/.input.
// Every address is relative to this page's own, whose first path segment is the run's
// secret; the program names its files from the window's root ("/data/..."), and local()
// puts them under that segment.
'use strict';

(function () {
  // The buttons, the browser's origin and the program icon come from the program's page
  // registry in the "layout" event that ends the first events of the stream.
  let layout = null;
  // The window has no caption: a click on the program icon of its skin, as on a caption's
  // icon, or Alt+Space opens its system menu. "&" marks an entry's access key.
  const SYSTEM_MENU = [
    ['Mi&nimize', { type: 'button', id: '1001' }],
    ['&Close', { type: 'button', id: '1000' }],
    null,
    ['&About Norvik_DriveSentinel...', { type: 'syscommand', id: '16' }],
  ];

  const windowBox = document.getElementById('window');
  const frame = document.getElementById('browser');
  const homePicture = document.getElementById('home');
  const trayIcon = document.getElementById('tray-icon');
  const modalLayer = document.getElementById('modal-layer');
  const splash = document.getElementById('splash');
  const ended = document.getElementById('ended');
  const connection = document.getElementById('connection');
  const systemMenu = document.getElementById('system-menu');

  let state = null;
  let frameSequence = -1;
  // The loading page goes into the frame only once the page it stands for has kept the
  // window waiting this long: a page that is ready at once replaces it before it could be
  // seen, and would only cost a request.
  const LOADING_DELAY_MS = 120;
  let loadingTimer = 0;
  // A click that opens a view points the frame at once at a held address, which the program
  // answers with the view once it is built (or the loading page, once that delay is over; or
  // nothing, and the frame keeps its page). The browser sets up the new document meanwhile.
  // Until that navigation ends, a new frame of the state waits for it; the program answers
  // within the loading delay, so a hold that brought nothing ends after HOLD_LIMIT_MS.
  const HOLD_LIMIT_MS = 1000;
  let held = false;
  let holdTimer = 0;
  let shownSequence = -1;  // the frame sequence the frame was last sent to
  const buttons = new Map();
  const dialogs = [];  // open dialogs, oldest first

  // "/data/x" of the program becomes "data/x" below the secret segment; web addresses stay.
  function local(url) {
    return typeof url === 'string' && url.startsWith('/') && !url.startsWith('//') ? url.slice(1) : url;
  }

  // Inputs go one after another: two quick clicks (a switch, then Save) must reach the
  // program in the order they were made, not in the order their requests happen to arrive.
  let lastInput = Promise.resolve();
  function send(fields) {
    lastInput = lastInput.then(() => fetch('data/.input', {
      method: 'POST',
      credentials: 'same-origin',
      headers: { 'Content-Type': 'application/x-www-form-urlencoded' },
      body: new URLSearchParams(fields).toString(),
    })).catch(() => {});
    return lastInput;
  }

  // Pure green (0, 255, 0) of a skin picture is see-through, as the colour key asks.
  function drawKeyed(canvas, url) {
    const picture = new Image();
    picture.onload = () => {
      const context = canvas.getContext('2d');
      context.drawImage(picture, 0, 0, canvas.width, canvas.height);
      const pixels = context.getImageData(0, 0, canvas.width, canvas.height);
      const data = pixels.data;
      for (let i = 0; i < data.length; i += 4) {
        if (data[i] === 0 && data[i + 1] === 255 && data[i + 2] === 0) data[i + 3] = 0;
      }
      context.putImageData(pixels, 0, 0);
      canvas.dataset.ready = '1';
    };
    picture.src = url;
  }

  function buildButtons() {
    const holder = document.getElementById('buttons');
    for (const [id, left, top, width, height, tip] of layout.buttons) {
      const element = document.createElement('div');
      element.className = 'button';
      element.dataset.id = String(id);
      element.title = tip;
      Object.assign(element.style, {
        left: left + 'px', top: top + 'px', width: width + 'px', height: height + 'px',
      });
      const picture = document.createElement('img');
      picture.alt = tip;
      element.appendChild(picture);
      const entry = { element, picture, hover: false, face: null };
      element.addEventListener('mouseenter', () => { entry.hover = true; paintButton(entry); });
      element.addEventListener('mouseleave', () => { entry.hover = false; paintButton(entry); });
      element.addEventListener('click', (event) => {
        if (event.button !== 0) return;
        send({ type: 'button', id: String(id) });
        if (layout.views.includes(id)) holdView();
      });
      holder.appendChild(element);
      buttons.set(id, entry);
    }
  }

  function paintButton(entry) {
    if (!entry.face) return;
    const source = local(entry.hover ? entry.face.hover : entry.face.normal);
    if (entry.picture.getAttribute('src') !== source) entry.picture.setAttribute('src', source);
    entry.element.classList.toggle('selected', entry.face.selected);
  }

  function applyState(next) {
    state = next;
    const visible = next.windowShown && !next.minimized && !next.ended;
    windowBox.hidden = !visible;
    if (!visible) closeSystemMenu();
    windowBox.dataset.page = String(next.page);
    trayIcon.hidden = !next.minimized || next.ended;
    document.title = next.minimized
      ? 'Norvik DriveSentinel is running in the background'
      : 'Norvik DriveSentinel';
    homePicture.classList.toggle('hidden', !next.homePicture);
    for (const [id, entry] of buttons) {
      entry.face = next.buttons[String(id)];
      entry.element.hidden = id === 1004 && !next.internalButton;
      paintButton(entry);
    }
    if (next.frameSequence !== frameSequence) {
      frameSequence = next.frameSequence;
      // A held navigation may have brought this view already (sequences only grow).
      if (!held && next.frameSequence > shownSequence) showFrame(next);
    }
    if (next.ended) {
      ended.hidden = false;
      splash.hidden = true;
      events.close();
    }
  }

  function showFrame(look) {
    clearTimeout(loadingTimer);
    shownSequence = look.frameSequence;
    const target = look.frame && local(look.frame) + '?view=' + look.frameSequence;
    if (target && /(^|\/)loading\.html$/.test(look.frame)) {
      loadingTimer = setTimeout(() => navigateFrame(target), LOADING_DELAY_MS);
    } else if (target) {
      navigateFrame(target);
    }
  }

  function holdView() {
    if (windowInputsBlocked()) return;
    clearTimeout(loadingTimer);
    clearTimeout(holdTimer);
    held = true;
    holdTimer = setTimeout(endHold, HOLD_LIMIT_MS);
    // From the newest view known: the frame's own may be newer than the state when the
    // held navigation came in before its state event.
    navigateFrame('data/.view?from=' + Math.max(frameSequence, shownSequence, 0));
  }

  // The held navigation ended: a later frame of the state than the one it brought goes in now.
  function endHold() {
    if (!held) return;
    held = false;
    clearTimeout(holdTimer);
    if (state && state.frameSequence > shownSequence) showFrame(state);
  }

  // ---- mouse and keyboard: the pre-translation filter of the window ----
  function windowInputsBlocked() {
    return dialogs.length > 0 || !state || !state.windowShown || state.minimized;
  }

  function leftButtonDown(x, y) {
    if (windowInputsBlocked()) return;
    send({ type: 'mousedown', button: '0', x: String(Math.round(x)), y: String(Math.round(y)),
      at: String(Date.now()) });
  }

  function keyDown(event) {
    if (!systemMenu.hidden) {
      event.preventDefault();
      const key = event.key.toLowerCase();
      const item = [...systemMenu.children].find((entry) => entry.dataset.key === key);
      if (item) item.click();
      else if (event.key === 'Escape') closeSystemMenu();
      return;
    }
    if (event.altKey && event.key === ' ') {
      event.preventDefault();
      openSystemMenu();
      return;
    }
    if (event.key !== 'F2') return;
    event.preventDefault();
    if (windowInputsBlocked()) return;
    send({ type: 'key', key: 'F2' });
  }

  function noContextMenu(event) { event.preventDefault(); }

  windowBox.addEventListener('mousedown', (event) => {
    if (event.button !== 0 || systemMenu.contains(event.target)) return;
    const box = windowBox.getBoundingClientRect();
    const [x, y] = [event.clientX - box.left, event.clientY - box.top];
    const [left, top, width, height] = layout ? layout.icon : [0, 0, 0, 0];
    const onIcon = x >= left && x < left + width && y >= top && y < top + height;
    if (onIcon && systemMenu.hidden) {
      openSystemMenu();
      return;
    }
    closeSystemMenu();
    // A press on a button is the button's own: its click is the one input it sends (no
    // page's click rectangle lies under a button, so its mouse-down would hit nothing).
    if (!onIcon && !event.target.closest('#buttons')) leftButtonDown(x, y);
  });
  document.addEventListener('mousedown', (event) => {
    if (!windowBox.contains(event.target)) closeSystemMenu();
  });
  document.addEventListener('contextmenu', noContextMenu);
  document.addEventListener('keydown', keyDown);

  // The report pages are served from the same origin, so the filter reaches into them. It
  // goes into a page as soon as its document exists, not only at its load event: a click on a
  // page whose images are still coming is the page's too. While the frame navigates, each
  // animation frame looks for the new document (for a few seconds at most: a navigation
  // answered with 204 leaves the old one).
  const FILTER_WATCH_MS = 5000;
  const filteredPages = new WeakSet();
  let watchUntil = 0;
  function filterPage() {
    let page;
    try { page = frame.contentDocument; } catch (error) { return; }
    if (!page || filteredPages.has(page)) return;
    filteredPages.add(page);
    page.addEventListener('contextmenu', noContextMenu);
    page.addEventListener('keydown', keyDown);
    page.addEventListener('mousedown', (event) => {
      closeSystemMenu();
      if (event.button === 0 && layout) {
        leftButtonDown(event.clientX + layout.browser[0], event.clientY + layout.browser[1]);
      }
    });
  }
  function watchForPage() {
    filterPage();
    if (performance.now() < watchUntil) requestAnimationFrame(watchForPage);
  }
  function navigateFrame(url) {
    const watching = performance.now() < watchUntil;
    watchUntil = performance.now() + FILTER_WATCH_MS;
    frame.src = url;
    if (!watching) requestAnimationFrame(watchForPage);
  }

  frame.addEventListener('load', () => {
    watchUntil = 0;
    if (held) {
      try {
        const view = new URLSearchParams(frame.contentWindow.location.search).get('view');
        if (/^\d+$/.test(view || '')) shownSequence = Number(view);
      } catch (error) { /* a page of another origin */ }
      endHold();
    }
    filterPage();
  });

  // ---- the notification icon ----
  trayIcon.addEventListener('mousedown', (event) => {
    send({ type: 'tray', button: event.button === 0 ? 'left' : event.button === 2 ? 'right' : 'middle' });
  });
  trayIcon.addEventListener('contextmenu', noContextMenu);

  // ---- the window's system menu ----
  function closeSystemMenu() { systemMenu.hidden = true; }

  function openSystemMenu() {
    if (windowInputsBlocked()) return;
    systemMenu.replaceChildren();
    for (const entry of SYSTEM_MENU) {
      if (!entry) {
        systemMenu.appendChild(element('hr', {}));
        continue;
      }
      const [label, input] = entry;
      const at = label.indexOf('&');
      const item = element('div', { className: 'item', role: 'menuitem' }, [
        document.createTextNode(label.slice(0, at)),
        element('u', { textContent: label[at + 1] }),
        document.createTextNode(label.slice(at + 2)),
      ]);
      item.dataset.key = label[at + 1].toLowerCase();
      item.addEventListener('click', () => {
        closeSystemMenu();
        send(input);
      });
      systemMenu.appendChild(item);
    }
    systemMenu.hidden = false;
  }

  // ---- modal dialogs ----
  function element(tag, properties, children) {
    const made = document.createElement(tag);
    Object.assign(made, properties || {});
    for (const child of children || []) made.appendChild(child);
    return made;
  }

  function answer(dialog, fields) {
    send(Object.assign({ type: 'dialog', id: String(dialog.id) }, fields));
    closeDialog(dialog.id);
  }

  function renderDialog(dialog) {
    const box = element('div', { className: 'dialog', role: 'dialog' });
    box.dataset.kind = dialog.kind;
    box.dataset.id = String(dialog.id);
    box.appendChild(element('div', { className: 'caption', textContent: dialog.caption || 'Norvik DriveSentinel' }));
    const body = element('div', { className: 'body' });
    if (dialog.icon === 'exclamation') body.appendChild(element('div', { className: 'icon', textContent: '\u26a0' }));
    if (dialog.icon === 'program') body.appendChild(element('img', { className: 'icon', src: 'data/images/tray.svg', alt: '', width: 32, height: 32 }));
    body.appendChild(element('div', { className: 'text', textContent: dialog.text || '' }));
    box.appendChild(body);
    const actions = element('div', { className: 'actions' });
    const button = (label, fields, primary) => {
      const made = element('button', { type: 'button', textContent: label });
      made.dataset.answer = typeof fields === 'function' ? 'ok' : fields.answer;
      made.addEventListener('click', () => answer(dialog, typeof fields === 'function' ? fields() : fields));
      actions.appendChild(made);
      if (primary) box.dataset.primary = label;
      return made;
    };
    let okFields = { answer: 'ok' };
    let cancelFields = { answer: 'ok' };
    if (dialog.kind === 'message') {
      button('OK', okFields, true);
    } else if (dialog.kind === 'yesno') {
      okFields = { answer: 'yes' };
      cancelFields = { answer: 'no' };
      button('Yes', okFields, true);
      button('No', cancelFields);
    } else if (dialog.kind === 'password') {
      const input = element('input', { type: 'text', id: 'password-input', maxLength: 255, autocomplete: 'off' });
      box.appendChild(element('div', { className: 'fields' }, [input]));
      okFields = () => ({ answer: 'ok', text: input.value });
      cancelFields = { answer: 'cancel' };
      button('OK', okFields, true);
      button('Cancel', cancelFields);
      setTimeout(() => input.focus(), 0);
    } else if (dialog.kind === 'mailtest') {
      // The label shows the test's progress and outcome; Close only once the test is over.
      body.querySelector('.text').classList.toggle('failure', dialog.red === true);
      if (dialog.closeVisible !== false) button('Close', okFields, true);
    } else if (dialog.kind === 'autorun') {
      const yes = element('input', { type: 'radio', name: 'autorun-choice', value: 'yes', checked: true, id: 'autorun-yes' });
      const no = element('input', { type: 'radio', name: 'autorun-choice', value: 'no', id: 'autorun-no' });
      const check = element('input', { type: 'checkbox', id: 'autorun-check' });
      box.appendChild(element('div', { className: 'fields' }, [
        element('label', {}, [yes, document.createTextNode(' Yes')]),
        element('label', {}, [no, document.createTextNode(' No')]),
        element('label', {}, [check, document.createTextNode(' Do not ask me again')]),
      ]));
      okFields = () => ({ answer: 'ok', choice: no.checked ? 'no' : 'yes', check: check.checked ? '1' : '0' });
      cancelFields = { answer: 'cancel' };
      button('OK', okFields, true);
      button('Cancel', cancelFields);
    }
    box.appendChild(actions);
    box.addEventListener('keydown', (event) => {
      if (dialog.kind === 'mailtest' && dialog.closeVisible === false) return;
      if (event.key === 'Enter') {
        event.preventDefault();
        answer(dialog, typeof okFields === 'function' ? okFields() : okFields);
      } else if (event.key === 'Escape') {
        event.preventDefault();
        answer(dialog, cancelFields);
      }
    });
    return box;
  }

  function showDialogs() {
    if (dialogs.length > 0) closeSystemMenu();
    modalLayer.replaceChildren();
    modalLayer.hidden = dialogs.length === 0;
    if (dialogs.length === 0) return;
    const top = dialogs[dialogs.length - 1];
    const box = renderDialog(top);
    modalLayer.appendChild(box);
    const focusable = box.querySelector('input[type=text]') || box.querySelector('button');
    if (focusable) setTimeout(() => focusable.focus(), 0);
  }

  function closeDialog(id) {
    const index = dialogs.findIndex((dialog) => dialog.id === id);
    if (index < 0) return;
    dialogs.splice(index, 1);
    showDialogs();
  }

  // ---- the event stream ----
  const events = new EventSource('ui/events');
  const parse = (event) => { try { return JSON.parse(event.data); } catch (error) { return null; } };
  events.addEventListener('open', () => { connection.hidden = true; });
  events.addEventListener('error', () => {
    if (!state || !state.ended) connection.hidden = false;
  });
  events.addEventListener('layout', (event) => {
    const next = parse(event);
    if (!next || layout) return;  // a reconnection repeats it
    layout = next;
    Object.assign(frame.style, { left: layout.browser[0] + 'px', top: layout.browser[1] + 'px' });
    buildButtons();
    if (state) applyState(state);  // the state came first: paint the new buttons
  });
  events.addEventListener('state', (event) => {
    const next = parse(event);
    if (next) applyState(next);
  });
  events.addEventListener('dialog', (event) => {
    const dialog = parse(event);
    if (!dialog || dialogs.some((open) => open.id === dialog.id)) return;
    dialogs.push(dialog);
    showDialogs();
  });
  events.addEventListener('dialog-update', (event) => {
    const update = parse(event);
    const index = update ? dialogs.findIndex((open) => open.id === update.id) : -1;
    if (index < 0) return;
    dialogs[index] = update;
    showDialogs();
  });
  events.addEventListener('dialog-close', (event) => {
    const closed = parse(event);
    if (closed) closeDialog(closed.id);
  });
  events.addEventListener('splash', () => { splash.hidden = false; });
  events.addEventListener('splash-end', () => { splash.hidden = true; });
  events.addEventListener('download', (event) => {
    const offer = parse(event);
    if (!offer) return;
    const link = element('a', { href: local(offer.url) + '?download=' + encodeURIComponent(offer.name), download: offer.name });
    document.body.appendChild(link);
    link.click();
    link.remove();
  });
  events.addEventListener('open-tab', (event) => {
    const target = parse(event);
    if (target && target.url) window.open(local(target.url), '_blank', 'noopener,noreferrer');
  });

  document.getElementById('splash-close').addEventListener('click', () => {
    send({ type: 'splash-close' });
    splash.hidden = true;
  });

  drawKeyed(document.getElementById('skin'), 'data/images/skin.svg');
  drawKeyed(homePicture, 'data/images/home.svg');
  drawKeyed(document.getElementById('splash-skin'), 'data/images/splash.svg');
})();
