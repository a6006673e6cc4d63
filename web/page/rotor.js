// SPDX-License-Identifier: GPL-3.0-or-later
// The rotor page: watches Kestavo's state over /live and sends GO, Stop and
// Park as small JSON posts. Nothing here decides what a heading is; Kestavo
// does, and says so in words.
'use strict';

(() => {
  const TOKEN_KEY = 'kestavo-token';
  const LOST = 'Connection to Kestavo lost; trying again…';
  const FIRST_RETRY_MS = 1000;
  const LAST_RETRY_MS = 10000;

  const $ = (id) => document.getElementById(id);
  const dial = $('dial');

  let state = null;
  let heardLive = false;
  let askedForPassword = false; // a command was answered 401

  const figures = (degrees) => {
    const tenths = Math.round(degrees * 10) / 10;
    return Number.isInteger(tenths) ? String(tenths + 0) : tenths.toFixed(1);
  };
  const shown = (degrees) => figures(degrees) + '°';
  // Screen readers skip "°" or read it as a symbol.
  const spoken = (degrees) => {
    const number = figures(degrees);
    return number + (number === '1' ? ' degree' : ' degrees');
  };
  const known = (value) => typeof value === 'number' && Number.isFinite(value);
  const token = () => sessionStorage.getItem(TOKEN_KEY);

  // Only changed text is written, so that a live region speaks only news.
  const say = (element, text) => {
    if (element.textContent !== text) element.textContent = text;
  };

  function statusText(s) {
    if (!s.readBack) return known(s.target) ? 'Target ' + shown(s.target) : 'No target yet';
    if (!s.answering) return 'No bearing from the controller';
    if (!known(s.bearing)) return "Waiting for the controller's bearing";
    if (!known(s.target)) return 'Bearing ' + shown(s.bearing);
    return 'Bearing ' + shown(s.bearing) + ' → ' + shown(s.target);
  }

  function dialLabel(s) {
    const target = known(s.target) ? 'target ' + spoken(s.target) : 'no target';
    // Without read-back nobody knows where the antenna points.
    if (!s.readBack) return 'Dial: ' + target;
    const bearing = known(s.bearing) ? 'bearing ' + spoken(s.bearing) : 'bearing not known';
    return 'Dial: ' + bearing + ', ' + target;
  }

  // Attributes, not inline styles: the page's policy allows no style="".
  function place(element, degrees) {
    if (known(degrees)) {
      element.setAttribute('transform', 'rotate(' + degrees + ')');
      element.setAttribute('visibility', 'visible');
    } else {
      element.setAttribute('visibility', 'hidden');
    }
  }

  function render() {
    const s = state;
    if (!s) return;
    place($('needle'), s.readBack ? s.bearing : null);
    place($('target-mark'), s.target);
    dial.setAttribute('aria-label', dialLabel(s));
    say($('status'), statusText(s));
    say($('stall'), s.stalled ? 'The rotor does not turn' : '');
    say($('notice'), s.notice || '');
    say($('error'), s.error || '');
    const heading = $('heading');
    heading.inputMode = s.home ? 'text' : 'decimal';
    say($('heading-hint'), s.home
      ? 'Degrees from north, clockwise, or a locator such as JN58; or tap the dial.'
      : 'Degrees from north, clockwise; or tap the dial.');
    if (known(s.park)) $('park').title = 'Turns to ' + shown(s.park);
    showLogin();
  }

  function showLogin() {
    const wanted = ((state && state.locked) || askedForPassword) && !token();
    const form = $('login');
    if (form.hidden === !wanted) return;
    form.hidden = !wanted;
  }

  function answer(text, refused) {
    const element = $('answer');
    element.classList.toggle('refused', Boolean(refused));
    say(element, text);
  }

  async function post(path, body) {
    const headers = { 'Content-Type': 'application/json' };
    const held = token();
    if (held) headers.Authorization = 'Bearer ' + held;
    const response = await fetch(path, {
      method: 'POST', headers, body: JSON.stringify(body), cache: 'no-store',
    });
    let reply = {};
    try {
      reply = await response.json();
    } catch {
      // A proxy's page or an empty body: the status tells enough.
    }
    return { status: response.status, ok: response.ok, reply };
  }

  const refusal = (result) => (typeof result.reply.refused === 'string' && result.reply.refused)
    || 'Kestavo answered with HTTP status ' + result.status;

  async function command(path, body) {
    // The last answer goes, so that a new one is never mistaken for it.
    answer('', false);
    let result;
    try {
      result = await post(path, body);
    } catch {
      answer('Kestavo did not answer; the rotor may not have been told.', true);
      return;
    }
    if (result.ok) {
      answer(typeof result.reply.told === 'string' ? result.reply.told : '', false);
      return;
    }
    if (result.status === 401) {
      sessionStorage.removeItem(TOKEN_KEY);
      askedForPassword = true;
      showLogin();
      answer(refusal(result), true);
      $('password').focus();
      return;
    }
    answer(refusal(result), true);
  }

  $('go').addEventListener('submit', (event) => {
    event.preventDefault();
    const text = $('heading').value.trim();
    if (!text) {
      answer(state && state.home ? 'Type a heading or a locator first.' : 'Type a heading first.', true);
      $('heading').focus();
      return;
    }
    command('/go', { text });
  });
  $('stop').addEventListener('click', () => command('/stop', {}));
  $('park').addEventListener('click', () => command('/park', {}));

  // As in the desktop window, Esc stops the rotor.
  document.addEventListener('keydown', (event) => {
    if (event.key === 'Escape' && !event.defaultPrevented && event.target !== $('password')) {
      command('/stop', {});
    }
  });

  // A tap aims where it points from the centre: north up, clockwise.
  dial.addEventListener('click', (event) => {
    const matrix = dial.getScreenCTM();
    if (!matrix) return;
    const p = new DOMPoint(event.clientX, event.clientY).matrixTransform(matrix.inverse());
    // Too near the hub, the direction is a guess.
    if (Math.hypot(p.x, p.y) < 10) return;
    const degrees = (Math.atan2(p.x, -p.y) * 180 / Math.PI + 360) % 360;
    const step = state && state.tenths ? 10 : 1;
    const aimed = (Math.round(degrees * step) / step) % 360;
    const text = state && state.tenths ? aimed.toFixed(1) : String(aimed);
    $('heading').value = text;
    command('/go', { text });
  });

  $('login').addEventListener('submit', async (event) => {
    event.preventDefault();
    let result;
    try {
      result = await post('/login', { password: $('password').value });
    } catch {
      answer('Kestavo did not answer.', true);
      return;
    }
    if (result.ok && typeof result.reply.token === 'string' && result.reply.token) {
      sessionStorage.setItem(TOKEN_KEY, result.reply.token);
      $('password').value = '';
      askedForPassword = false;
      showLogin();
      answer('Unlocked: commands go through.', false);
      $('heading').focus();
      return;
    }
    answer(refusal(result), true);
    $('password').select();
  });

  function take(next) {
    if (!next || typeof next !== 'object') return;
    state = next;
    render();
  }

  let retryMs = FIRST_RETRY_MS;
  function connect() {
    const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
    let socket;
    try {
      socket = new WebSocket(scheme + location.host + '/live');
    } catch {
      lost();
      return;
    }
    socket.addEventListener('message', (event) => {
      let next;
      try {
        next = JSON.parse(event.data);
      } catch {
        return;
      }
      heardLive = true;
      // Back-off starts over only once the server has said something.
      retryMs = FIRST_RETRY_MS;
      say($('connection'), '');
      dial.classList.remove('stale');
      take(next);
    });
    // An error is always followed by close.
    socket.addEventListener('close', lost);
  }

  function lost() {
    say($('connection'), LOST);
    dial.classList.add('stale');
    setTimeout(connect, retryMs);
    retryMs = Math.min(retryMs * 2, LAST_RETRY_MS);
  }

  // The first picture comes sooner this way; /live then keeps it current.
  fetch('/state', { cache: 'no-store' })
    .then((response) => (response.ok ? response.json() : null))
    .then((first) => { if (!heardLive) take(first); })
    .catch(() => {});
  connect();
})();
