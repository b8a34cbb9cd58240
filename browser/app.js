// quarn-plant-web's pages: the plant (tiles, yield per hour, Pareto,
// sockets, the sessions behind a figure), a unit's history and an image's
// recall list. Everything comes from the service's own origin; the words
// and the plant's time zone come in the page's JSON data block.
'use strict';

const context = JSON.parse(document.getElementById('context').textContent);
const query = new URLSearchParams(location.search);
const GONE_MS = 35000;

// ---- words and times --------------------------------------------------

// A text of the catalogue with %1, %2 ... filled in at once, as Qt's arg().
function t(key, ...args) {
  const text = context.texts[key] || key;
  return text.replace(/%(\d)/g, (m, n) => (args[n - 1] === undefined ? m : String(args[n - 1])));
}

const periods = context.zone.periods;

// The stretch of one UTC offset that holds the moment ms.
function zoneAt(ms) {
  let at = periods[0];
  for (const p of periods) {
    if (p.from > ms) break;
    at = p;
  }
  return at;
}

function pad(n) {
  return String(n).padStart(2, '0');
}

// A time (ISO, UTC) in the plant's zone: {date, clock, abbr}.
function local(iso) {
  const ms = Date.parse(iso);
  const zone = zoneAt(ms);
  const d = new Date(ms + zone.offset * 1000);
  return {
    date: `${d.getUTCFullYear()}-${pad(d.getUTCMonth() + 1)}-${pad(d.getUTCDate())}`,
    clock: `${pad(d.getUTCHours())}:${pad(d.getUTCMinutes())}`,
    seconds: pad(d.getUTCSeconds()),
    abbr: zone.abbr,
  };
}

function nowAbbr() {
  return zoneAt(Date.now()).abbr;
}

// "14:05", "2026-12-07 14:05", with the zone's name when it is not today's
// (a time from the other side of a clock change).
function timeText(iso, withSeconds) {
  if (!iso) return '-';
  const l = local(iso);
  const today = local(new Date().toISOString()).date;
  let text = l.date === today ? l.clock : `${l.date} ${l.clock}`;
  if (withSeconds) text += `:${l.seconds}`;
  return l.abbr === nowAbbr() ? text : `${text} ${l.abbr}`;
}

function percent(part, whole) {
  return whole > 0 ? `${((100 * part) / whole).toFixed(1)} %` : '-';
}

// ---- the page's skeleton ----------------------------------------------

function el(tag, attributes, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attributes || {})) {
    if (v === undefined || v === null || v === false) continue;
    if (k === 'class') e.className = v;
    else if (k === 'text') e.textContent = v;
    else if (k.startsWith('on')) e.addEventListener(k.slice(2), v);
    else e.setAttribute(k, v === true ? '' : v);
  }
  for (const c of children) if (c !== null && c !== undefined) e.append(c);
  return e;
}

function get(url) {
  return fetch(url, { cache: 'no-store' }).then((r) =>
    r.json().then((body) => {
      if (!r.ok) throw new Error(body.error || r.statusText);
      return body;
    }),
  );
}

function setStatus(text, kind) {
  const s = document.getElementById('status');
  s.textContent = text;
  s.className = kind || '';
}

function header() {
  document.getElementById('home').textContent = t('plant');
  const box = document.getElementById('serial-box');
  box.placeholder = t('serial');
  box.setAttribute('aria-label', t('serial'));
  document.getElementById('open').textContent = t('open');
  document.getElementById('search').addEventListener('submit', (e) => {
    e.preventDefault();
    const serial = box.value.trim();
    if (serial) location.assign(`/unit/${encodeURIComponent(serial)}`);
  });
  const zone = `${nowAbbr()} (${context.zone.id})`;
  document.getElementById('zone').textContent = t('times_in', zone);
  if (query.get('kiosk') === '1') document.documentElement.classList.add('kiosk');
}

function csvLink(href) {
  return el('a', { class: 'csv', href, download: '', text: t('csv') });
}

function table(columns, rows, options) {
  const head = el('tr', {}, ...columns.map((c) => el('th', { scope: 'col', class: c.num ? 'num' : null, text: c.title })));
  const body = el('tbody');
  for (const row of rows) {
    const tr = el('tr', options && options.rowClass ? { class: options.rowClass(row) } : {});
    for (const c of columns) {
      const cell = c.cell(row);
      tr.append(el('td', { class: c.num ? 'num' : null }, cell instanceof Node ? cell : String(cell)));
    }
    if (options && options.pick) {
      tr.classList.add('pick');
      tr.tabIndex = 0;
      tr.addEventListener('click', () => options.pick(row));
      tr.addEventListener('keydown', (e) => e.key === 'Enter' && options.pick(row));
    }
    body.append(tr);
  }
  return el('div', { class: 'scroll' }, el('table', {}, el('thead', {}, head), body));
}

// ---- live: one stream for every tab (a shared worker), else its own ---

function listen(onEvent) {
  let heard = Date.now();
  let goneSince = null;
  const gone = (since) => {
    if (goneSince) return;
    goneSince = since;
    document.documentElement.classList.add('gone');
    onEvent({ type: 'gone', since });
  };
  const hear = (message) => {
    heard = Date.now();
    if (message.type === 'error') return gone(new Date());
    if (goneSince) {
      goneSince = null;
      document.documentElement.classList.remove('gone');
    }
    onEvent(message);
  };
  setInterval(() => Date.now() - heard > GONE_MS && gone(new Date(heard)), 1000);
  if (window.SharedWorker) {
    try {
      const worker = new SharedWorker('/static/live-worker.js');
      worker.port.onmessage = (m) => hear(m.data);
      worker.port.start();
      addEventListener('pagehide', () => worker.port.postMessage('bye'));
      return;
    } catch (e) {
      // fall through: a stream of this tab's own
    }
  }
  const source = new EventSource('/api/v1/events');
  for (const type of ['hello', 'figures', 'state', 'beat', 'reset'])
    source.addEventListener(type, (e) => hear({ type, data: e.data }));
  source.onerror = () => hear({ type: 'error' });
}

// ---- the plant ---------------------------------------------------------

const plant = {
  seq: -1,
  key: null,
  fetching: false,
  again: false,
  view: null,
  state: null,
  charts: {},
  drawn: false,
};

function selection() {
  const s = new URLSearchParams();
  for (const name of ['period', 'since', 'station', 'image']) {
    const v = query.get(name);
    if (v) s.set(name, v);
  }
  return s;
}

function stateText(state) {
  if (!state) return t('connecting');
  const figures = state.figures_at ? t('figures_of', timeText(state.figures_at, true)) : t('no_figures');
  if (state.mode === 'away') return [t('db_away', timeText(state.away_since, true), figures), 'away'];
  if (state.mode === 'polling') return [`${t('polling', state.why)}; ${figures}`, ''];
  if (state.mode === 'connecting') return [t('connecting'), ''];
  return [`${t('live')}; ${figures}`, ''];
}

function showState(state) {
  plant.state = state || plant.state;
  const [text, kind] = stateText(plant.state);
  setStatus(text, kind);
}

function filters(view) {
  const period = el('select', { id: 'period', 'aria-label': t('period') });
  const options = [['today', t('today')], ['24h', t('24h')], ['7d', t('7d')], ['30d', t('30d')]];
  if (query.get('since')) options.push(['since', t('since', query.get('since'))]);
  for (const [value, text] of options) period.append(el('option', { value, text }));
  period.value = query.get('since') ? 'since' : query.get('period') || 'today';
  const station = el('select', { id: 'station', 'aria-label': t('station') });
  station.append(el('option', { value: '', text: t('every_station') }));
  const names = new Set(view.tiles.map((x) => x.station));
  if (query.get('station')) names.add(query.get('station'));
  for (const name of [...names].sort()) station.append(el('option', { value: name, text: name }));
  station.value = query.get('station') || '';
  const image = el('input', { id: 'image', 'aria-label': t('image'), placeholder: t('image_hint'), value: query.get('image') || '' });
  const apply = () => {
    const since = query.get('since');
    query.delete('since');
    query.delete('period');
    if (period.value === 'since') query.set('since', since);
    else if (period.value !== 'today') query.set('period', period.value);
    for (const [name, input] of [['station', station], ['image', image]]) {
      if (input.value.trim()) query.set(name, input.value.trim());
      else query.delete(name);
    }
    history.replaceState(null, '', `${location.pathname}?${query}`);
    plant.key = null;
    plant.seq = -1;
    plant.parts = {};
    fetchView();
  };
  period.addEventListener('change', apply);
  station.addEventListener('change', apply);
  image.addEventListener('change', apply);
  image.addEventListener('keydown', (e) => e.key === 'Enter' && apply());
  return el('form', { class: 'filters', onsubmit: (e) => e.preventDefault() },
    el('label', {}, t('period'), period), el('label', {}, t('station'), station), image);
}

function notes(view) {
  const n = view.approval_mismatches;
  const mismatch = t('mismatches', n === null ? '-' : n);
  const box = el('p', { class: 'notes' },
    el('span', { id: 'mismatches', class: n > 0 ? 'mismatch' : null, role: 'note', 'aria-label': mismatch, text: mismatch }));
  if (view.image_units !== null) {
    const units = t('image_units', view.image_units);
    box.append(el('a', { id: 'image-units', href: `/image/${encodeURIComponent(query.get('image') || '')}`, text: units }));
  }
  return box;
}

function figure(role, value, extra, cls) {
  return el('div', { class: `figure ${cls || ''}`, role: 'group', 'aria-label': `${role}: ${value}` },
    el('span', { class: 'role', text: role }),
    el('span', { class: 'value' }, value, extra ? el('span', { class: 'units', text: ` ${extra}` }) : null));
}

function tile(x) {
  const minutes = x.last_record ? Math.max(0, Math.floor((Date.now() - Date.parse(x.last_record)) / 60000)) : null;
  const last = minutes === null ? '-' : x.quiet ? t('quiet', minutes) : t('ago', minutes);
  const failure = x.last_failure ? t('at', x.last_failure_outcome, timeText(x.last_failure)) : t('none');
  const units = t('units_n', x.units_today);
  return el('section', { class: `tile${x.quiet ? ' quiet' : ''}`, role: 'group', 'aria-label': t('station_n', x.station) },
    el('h2', { text: x.station }),
    figure(t('last_hour'), String(x.last_hour)),
    figure(t('good_today'), String(x.good_today)),
    figure(t('failed_today'), String(x.failed_today)),
    figure(t('yield'), percent(x.first_pass_good_today, x.units_today), units),
    figure(t('second_pass'), percent(x.second_pass_good_today, x.units_today), units),
    figure(t('final'), percent(x.final_good_today, x.units_today), units),
    figure(t('last_failure'), failure),
    figure(t('last_record'), last, null, x.quiet ? 'quiet' : ''));
}

function chartSection(id, title, csvPart, body) {
  const q = selection();
  return el('section', { class: 'chart', id, 'aria-label': title },
    el('h2', {}, title, csvLink(`/api/v1/plant/${csvPart}.csv?${q}`)), body);
}

function newChart(name, canvas, config) {
  if (plant.charts[name]) plant.charts[name].destroy();
  plant.charts[name] = new Chart(canvas, config);
}

// Lines and bars told apart without colour names: a palette that reads on
// light and dark ground alike.
const PALETTE = ['#1f77b4', '#d62728', '#2ca02c', '#ff7f0e', '#9467bd', '#8c564b', '#e377c2',
  '#17becf', '#bcbd22', '#7f7f7f'];

function hourLabel(iso) {
  const l = local(iso);
  const label = `${l.date.slice(5)} ${l.clock}`;
  return l.abbr === nowAbbr() ? label : `${label} ${l.abbr}`;
}

// The yield chart's lines and options for the view.
function yieldConfig(view) {
  const hours = [...new Set(view.hours.map((h) => h.hour))].sort();
  const stations = [...new Set(view.hours.map((h) => h.station))].sort();
  const byKey = new Map(view.hours.map((h) => [`${h.station}|${h.hour}`, h]));
  const datasets = stations.map((s, i) => ({
    label: s,
    borderColor: PALETTE[i % PALETTE.length],
    backgroundColor: PALETTE[i % PALETTE.length],
    data: hours.map((h) => {
      const x = byKey.get(`${s}|${h}`);
      return x && x.units ? (100 * x.first_pass_good) / x.units : null;
    }),
    spanGaps: true,
  }));
  return {
    type: 'line',
    data: { labels: hours.map(hourLabel), datasets },
    options: {
      animation: false, maintainAspectRatio: false,
      scales: { y: { min: 0, max: 100, title: { display: true, text: t('first_pass_yield') } },
        x: { title: { display: true, text: t('hour') } } },
      onClick: (e, items) => {
        if (!items.length) return;
        const station = stations[items[0].datasetIndex];
        const from = hours[items[0].index];
        const until = new Date(Date.parse(from) + 3600000).toISOString();
        sessions(t('sessions_hour', station, timeText(from)), { station, since: from, until });
      },
    },
  };
}

function yieldChart(view) {
  const canvas = el('canvas', { role: 'img', 'aria-label': t('yield_per_hour') });
  const box = el('div', { class: 'chart-box' }, canvas);
  if (window.Chart) newChart('yield', canvas, yieldConfig(view));
  return box;
}

// A push moves an hour or two: the chart drawn again in place, not made anew.
function refreshYield(view) {
  const chart = plant.charts.yield;
  if (!chart) return false;
  const config = yieldConfig(view);
  chart.data = config.data;
  chart.options.onClick = config.options.onClick;
  chart.update('none');
  return true;
}

function paretoChart(view) {
  const canvas = el('canvas', { role: 'img', 'aria-label': t('failures_by_cause') });
  const box = el('div', { class: 'chart-box' }, canvas);
  const pick = (c) => sessions(t('sessions_cause', c.label), { outcome: c.outcome, stage: c.stage });
  const list = table(
    [{ title: t('col_outcome'), cell: (c) => c.label }, { title: t('failures'), num: true, cell: (c) => c.count }],
    view.causes, { pick });
  if (!window.Chart) return el('div', {}, list);
  const total = view.causes.reduce((a, c) => a + c.count, 0);
  let sum = 0;
  const cumulative = view.causes.map((c) => ((sum += c.count), (100 * sum) / total));
  newChart('pareto', canvas, {
    data: {
      labels: view.causes.map((c) => c.label),
      datasets: [
        { type: 'bar', label: t('failures'), data: view.causes.map((c) => c.count), yAxisID: 'y',
          backgroundColor: PALETTE[1] },
        { type: 'line', label: t('cumulative'), data: cumulative, yAxisID: 'share',
          borderColor: PALETTE[0], backgroundColor: PALETTE[0] },
      ],
    },
    options: {
      animation: false, maintainAspectRatio: false,
      scales: { y: { beginAtZero: true, title: { display: true, text: t('failures') } },
        share: { position: 'right', min: 0, max: 100, title: { display: true, text: t('cumulative') } } },
      onClick: (e, items) => items.length && pick(view.causes[items[0].index]),
    },
  });
  return el('div', {}, box, list);
}

function socketsPart(view) {
  const rate = (part, n) => (n ? (100 * part) / n : 0);
  const bar = (value, cls) => {
    const b = el('span', { class: `bar ${cls || ''}` });
    b.style.width = `${Math.min(100, value) * 0.8}px`;
    return el('span', {}, b, ` ${value.toFixed(1)}`);
  };
  const flags = (s) => [s.flagged && t('failures'), s.repeats_flagged && t('repeats'), s.service_due && t('service')].filter(Boolean);
  const sorted = [...view.sockets].sort((a, b) => flags(b).length - flags(a).length);
  const columns = [
    { title: t('col_station'), cell: (s) => s.station },
    { title: t('col_socket'), cell: (s) => el('span', { title: s.slot, text: s.short_name }) },
    { title: t('col_sessions'), num: true, cell: (s) => s.sessions },
    { title: `${t('failed')} (${t('per_100')})`, cell: (s) => bar(rate(s.failed, s.sessions)) },
    { title: `${t('block_repeats')} (${t('per_100')})`, cell: (s) => bar(rate(s.repeats, s.sessions), 'repeats') },
    { title: t('col_since_service'), num: true, cell: (s) => (s.since_service === null ? '-' : s.since_service) },
    { title: t('col_flags'), cell: (s) => flags(s).join(', ') },
  ];
  const warnings = view.sockets.flatMap((s) => s.warnings);
  const flagged = el('ul', { class: 'warnings', 'aria-label': t('flagged') },
    ...(warnings.length ? warnings : [t('no_flag')]).map((w) => el('li', { text: w })));
  const pick = (s) => sessions(t('sessions_socket', s.short_name, s.station), { station: s.station, slot: s.slot });
  return el('div', {}, el('h3', { text: t('flagged') }), flagged,
    table(columns, sorted, { pick, rowClass: (s) => (flags(s).length ? 'flagged' : '') }));
}

// The page's parts, each made again only when what it shows changed: a push
// moves a tile or two and an hour, not every socket's row.
const PARTS = [
  ['filters', (v) => [v.tiles.map((x) => x.station), v.filter], filters],
  ['notes', (v) => [v.approval_mismatches, v.image_units], notes],
  ['tiles', (v) => [v.tiles, Math.floor(Date.now() / 60000)],
    (v) => el('div', { class: 'tiles', id: 'tiles' }, ...v.tiles.map(tile))],
  ['yield', (v) => v.hours, (v) => chartSection('yield-chart', t('yield_per_hour'), 'yield', yieldChart(v)),
    refreshYield],
  ['pareto', (v) => v.causes, (v) => chartSection('pareto-chart', t('failures_by_cause'), 'causes', paretoChart(v))],
  ['sockets', (v) => v.sockets, (v) => chartSection('sockets-chart', t('sockets'), 'sockets', socketsPart(v))],
];

function render(view) {
  const main = document.getElementById('main');
  plant.parts = plant.parts || {};
  const shown = [];
  for (const [name, what, make, refresh] of PARTS) {
    const signature = JSON.stringify(what(view));
    const part = plant.parts[name];
    if (part && part.signature !== signature && refresh && refresh(view)) part.signature = signature;
    else if (!part || part.signature !== signature) plant.parts[name] = { signature, node: make(view) };
    shown.push(plant.parts[name].node);
  }
  shown.forEach((node, i) => {
    if (main.children[i] !== node) main.insertBefore(node, main.children[i] || null);
  });
  while (main.children.length > shown.length) main.lastChild.remove();
  if (plant.panel) main.append(plant.panel);
  // Drawn once the browser has laid the figures out for the next frame.
  const seq = plant.seq;
  requestAnimationFrame(() => {
    document.documentElement.dataset.drawn = String(seq);
    performance.mark(`drawn-${seq}`);
  });
}

function fetchView() {
  if (plant.fetching) {
    plant.again = true;
    return;
  }
  plant.fetching = true;
  const asked = performance.now();
  get(`/api/v1/plant?${selection()}`)
    .then((answer) => {
      // Where a push's time goes on this side: the view's fetch and its drawing.
      plant.timing = { heard: plant.heard, asked, fetched: performance.now() };
      plant.seq = answer.seq;
      plant.key = answer.view.key;
      plant.view = answer.view;
      showState(answer.state);
      render(answer.view);
    })
    .catch((e) => setStatus(t('error', e.message), 'away'))
    .finally(() => {
      plant.fetching = false;
      if (plant.again) {
        plant.again = false;
        fetchView();
      }
    });
}

function onPlantEvent(message) {
  const data = message.data ? JSON.parse(message.data) : null;
  switch (message.type) {
    case 'hello':
      showState(data.state);
      return fetchView();
    case 'reset':
      return fetchView();
    case 'state':
      return showState(data);
    case 'figures':
      plant.heard = performance.now();
      if ((plant.key === null || data.key === plant.key) && data.seq > plant.seq) fetchView();
      return;
    case 'gone':
      return setStatus(t('service_gone', timeText(message.since.toISOString(), true),
        plant.state && plant.state.figures_at ? timeText(plant.state.figures_at, true) : '-'), 'gone');
    default:
  }
}

// The sessions behind a figure, newest first, a page at a time.
function sessions(title, filter) {
  // The view's rows (its period, station and image), narrowed to the figure's.
  const params = new URLSearchParams();
  const view = plant.view.filter;
  for (const [k, v] of [['since', view.since], ['station', view.station], ['image', view.image]])
    if (v) params.set(k, v);
  for (const [k, v] of Object.entries(filter)) params.set(k, v);
  const rows = [];
  const body = el('div');
  const more = el('button', { type: 'button', text: t('more') });
  const csv = csvLink('');
  const panel = el('section', { class: 'panel', id: 'sessions-panel', 'aria-label': title },
    el('header', {}, el('h2', { text: title }), csv,
      el('button', { type: 'button', text: t('close'), onclick: () => { panel.remove(); plant.panel = null; } })),
    body, more);
  const load = () => {
    const p = new URLSearchParams(params);
    if (rows.length) p.set('before', rows[rows.length - 1].id);
    get(`/api/v1/sessions?${p}`).then((page) => {
      rows.push(...page);
      more.hidden = page.length < 50;
      const c = new URLSearchParams(params);
      c.set('format', 'csv');
      c.set('limit', String(Math.max(1, Math.min(500, rows.length))));
      csv.href = `/api/v1/sessions?${c}`;
      body.replaceChildren(sessionTable(rows));
    }).catch((e) => body.replaceChildren(el('p', { text: t('error', e.message) })));
  };
  more.addEventListener('click', load);
  plant.panel = panel;
  document.getElementById('main').append(panel);
  panel.scrollIntoView();
  load();
}

function unitLink(serial) {
  return serial ? el('a', { href: `/unit/${encodeURIComponent(serial)}`, text: serial }) : '-';
}

function sessionTable(rows) {
  return table([
    { title: t('col_time'), cell: (s) => timeText(s.started, true) },
    { title: t('col_station'), cell: (s) => s.station },
    { title: t('col_socket'), cell: (s) => s.slot },
    { title: t('col_serial'), cell: (s) => unitLink(s.serial) },
    { title: t('col_outcome'), cell: (s) => s.outcome },
    { title: t('col_stage'), cell: (s) => s.stage },
    { title: t('col_seconds'), num: true, cell: (s) => (s.seconds === null ? '-' : s.seconds) },
    { title: t('col_operator'), cell: (s) => s.operator || '-' },
    { title: t('col_message'), cell: (s) => s.message || '' },
  ], rows);
}

function plantPage() {
  listen(onPlantEvent);
  fetchView();
}

// ---- one unit ------------------------------------------------------------

function flag(value) {
  return value === null ? '-' : value ? t('yes') : t('no');
}

function verdictLine(v) {
  const texts = {
    first_pass: [t('v_first_pass'), 'good'],
    passed: [t('v_passed', v.passed_on), 'good'],
    held: [t('v_held'), 'bad'],
    failing: [t('v_failing', v.attempts), 'bad'],
    none: [t('v_none'), ''],
  };
  const [text, cls] = texts[v.verdict];
  const out = [el('p', { class: `verdict ${cls}`, id: 'verdict', text })];
  if (v.moved) {
    const m = v.moved;
    out.push(el('p', { class: 'moved', role: 'alert', id: 'moved', text: t('moved', m.from_slot, m.from_station, m.to_slot, m.to_station) }));
  }
  return out;
}

function unitPage() {
  const serial = context.subject;
  const main = document.getElementById('main');
  document.getElementById('serial-box').value = serial;
  document.getElementById('serial-box').focus();
  if (!serial) return;
  document.title = `${t('unit_n', serial)} - ${document.title}`;
  const path = encodeURIComponent(serial);
  Promise.all([get(`/api/v1/unit/${path}`), get(`/api/v1/verdict/${path}`)])
    .then(([trace, verdict]) => {
      const heading = el('h1', {}, t('unit_n', serial), csvLink(`/api/v1/unit/${path}?format=csv`));
      if (!trace.length) return main.replaceChildren(heading, el('p', { text: t('no_records', serial) }));
      main.replaceChildren(heading, ...verdictLine(verdict), table([
        { title: t('col_time'), cell: (s) => timeText(s.started, true) },
        { title: t('col_station'), cell: (s) => s.station },
        { title: t('col_socket'), cell: (s) => s.slot },
        { title: t('col_image'), cell: (s) => (s.image_sha256 ? el('a', { class: 'hash', href: `/image/${s.image_sha256}`, title: s.image_sha256, text: s.image_sha256.slice(0, 12) }) : '-') },
        { title: t('col_title'), cell: (s) => s.title || '-' },
        { title: t('col_approved'), cell: (s) => flag(s.approved) },
        { title: t('col_server'), cell: (s) => flag(s.server_approved) },
        { title: t('col_outcome'), cell: (s) => s.outcome },
        { title: t('col_stage'), cell: (s) => s.stage },
        { title: t('col_seconds'), num: true, cell: (s) => (s.seconds === null ? '-' : s.seconds) },
        { title: t('col_operator'), cell: (s) => s.operator || '-' },
        { title: t('col_pushed_by'), cell: (s) => s.pushed_by || '-' },
      ], trace));
      document.documentElement.dataset.drawn = '1';
    })
    .catch((e) => main.replaceChildren(el('p', { role: 'alert', text: t('error', e.message) })));
}

// ---- an image's recall list -----------------------------------------------

function imagePage() {
  const image = context.subject;
  const main = document.getElementById('main');
  const path = `/api/v1/units?image=${encodeURIComponent(image)}`;
  get(path)
    .then((units) => {
      main.replaceChildren(
        el('h1', {}, t('recall', image), csvLink(`${path}&format=csv`)),
        el('p', { id: 'unit-count', text: t('units_n', units.length) }),
        table([
          { title: t('col_serial'), cell: (u) => unitLink(u.serial) },
          { title: t('col_station'), cell: (u) => u.station },
          { title: t('col_socket'), cell: (u) => u.slot },
          { title: t('col_time'), cell: (u) => timeText(u.started, true) },
          { title: t('col_image'), cell: (u) => el('span', { class: 'hash', text: u.image_sha256 }) },
        ], units));
      document.documentElement.dataset.drawn = '1';
    })
    .catch((e) => main.replaceChildren(el('p', { role: 'alert', text: t('error', e.message) })));
}

header();
({ plant: plantPage, unit: unitPage, image: imagePage })[context.page]();
