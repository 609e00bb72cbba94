'use strict';
// The plant's signs, kept current from the service's event stream.

const words = {
  zh: {
    online: '在线', offline: '离线', connecting: '正在连接', since: '自', load: '线路负载',
    power: '电源', on: '开机', off: '关机', byCommand: '命令', bySchedule: '定时', until: '至',
    unit: '单元', value: '数据', onSign: '屏上', age: '时间', stale: '过期', refusals: '最近拒绝',
    broker: '代理服务器', connected: '已连接', notConnected: '未连接', noPower: '未知',
    away: 'zarnetd 无法访问：显示的是断开前的状态，恢复后自动更新。', device: '设备编号',
    answered: '上次应答', picture: '图像', own: '常显', timed: '临时',
    none: '无', standby: '备用：线路由另一台 zarnetd 驱动',
    tests: {
      answered: '控制器应答连接测试', no_answer: '连接测试 {n} ms 内无应答',
      other_device: '另一台控制器应答（设备编号 {n}）', garbled: '应答错乱：可能设备编号冲突',
      late: '应答过迟（线路等待 {n} ms）',
    },
  },
  en: {
    online: 'online', offline: 'offline', connecting: 'connecting', since: 'since', load: 'line load',
    power: 'power', on: 'on', off: 'off', byCommand: 'command', bySchedule: 'schedule', until: 'until',
    unit: 'unit', value: 'value', onSign: 'on sign', age: 'age', stale: 'stale', refusals: 'latest refusals',
    broker: 'broker', connected: 'connected', notConnected: 'not connected', noPower: 'unknown',
    away: 'zarnetd cannot be reached: what shows is the state before; it updates by itself when it is back.',
    device: 'device number', answered: 'last answer', picture: 'picture', own: 'standing',
    timed: 'timed', none: 'none',
    standby: 'standby: another zarnetd drives the lines',
  },
};
const t = words[document.documentElement.lang] || words.zh;

const signs = new Map(); // name → { report, at }

// A connection test's outcome in the page's language; a line's fault as the service says it.
function reasonText(report) {
  const test = report.test && t.tests && t.tests[report.test.outcome];
  return test ? test.replace('{n}', report.test.detail) : report.reason;
}

function el(tag, attributes, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes || {})) node.setAttribute(key, value);
  for (const child of children) node.append(child);
  return node;
}

function seconds(s) {
  if (s < 120) return `${Math.round(s)} s`;
  if (s < 7200) return `${Math.round(s / 60)} min`;
  return `${Math.round(s / 3600)} h`;
}

function powerText(power) {
  if (!power) return t.noPower;
  let text = `${t[power.state]} (${power.by === 'command' ? t.byCommand : t.bySchedule})`;
  if (power.until) text += ` ${t.until} ${new Date(power.until).toLocaleString()}`;
  return text;
}

function showingText(showing) {
  let text = t[showing.image] || showing.image;
  if (showing.until) text += ` ${t.until} ${new Date(showing.until).toLocaleTimeString()}`;
  return text;
}

function unitRows(report, elapsed) {
  if (!report.units.length) return '';
  const rows = report.units.map((u) => {
    const age = u.age_s === undefined ? '' : seconds(u.age_s + elapsed);
    return el('tr', { 'data-unit': u.unit, class: u.stale ? 'stale' : '' },
      el('td', {}, u.name ? `${u.unit} ${u.name}` : String(u.unit)),
      el('td', { class: 'value' }, u.value === null ? '' : String(u.value)),
      el('td', {}, u.on_sign === null ? '' : String(u.on_sign)),
      el('td', { class: 'age' }, age),
      el('td', {}, u.stale ? t.stale : ''));
  });
  return el('table', {},
    el('tr', {}, el('th', {}, t.unit), el('th', {}, t.value), el('th', {}, t.onSign),
      el('th', {}, t.age), el('th', {}, '')),
    ...rows);
}

function card(name) {
  const { report, at } = signs.get(name);
  const elapsed = (Date.now() - at) / 1000;
  const picture = el('img', {
    src: `/api/signs/${encodeURIComponent(name)}/picture.png?v=${report.picture}`,
    alt: name,
  });
  const answered = report.seconds_since_answer === null ? ''
    : ` · ${t.answered} ${seconds(report.seconds_since_answer + elapsed)}`;
  const node = el('article', { class: 'card', 'data-sign': name, 'data-state': report.state },
    el('h3', {}, name),
    picture,
    el('div', {},
      el('span', { class: 'state' }, t[report.state] || report.state),
      ` ${t.since} ${new Date(report.since).toLocaleString()}`,
      report.reason ? el('div', { class: 'reason muted' }, reasonText(report)) : ''),
    el('div', { class: 'muted' }, `${t.device} ${report.device}${answered}`),
    el('div', { class: 'power' }, `${t.power}: ${powerText(report.power)}`),
    el('div', { class: 'showing' }, `${t.picture}: ${showingText(report.showing)}`),
    unitRows(report, elapsed));
  if (report.refusals.length) {
    node.append(el('div', { class: 'muted' }, t.refusals),
      el('ul', { class: 'refusals' },
        ...report.refusals.slice().reverse().map((r) =>
          el('li', {}, `${new Date(r.at).toLocaleTimeString()} ${r.topic}: ${r.reason}`))));
  }
  return node;
}

// A picture already loaded stays in place unless it changed, so that it neither
// flickers nor is fetched again.
function keepPicture(old, fresh) {
  const oldImg = old && old.querySelector('img');
  const freshImg = fresh.querySelector('img');
  if (oldImg && oldImg.getAttribute('src') === freshImg.getAttribute('src'))
    freshImg.replaceWith(oldImg);
}

function cardOnPage(name) {
  return document.querySelector(`article[data-sign="${CSS.escape(name)}"]`);
}

function render() {
  const byLine = new Map();
  for (const [name, { report }] of signs) {
    const link = report.line.link;
    if (!byLine.has(link)) byLine.set(link, { load: report.line.load, names: [] });
    byLine.get(link).names.push(name);
  }
  const cards = (names) => names.map((name) => {
    const fresh = card(name);
    keepPicture(cardOnPage(name), fresh);
    return fresh;
  });
  const sections = [...byLine].map(([link, line]) =>
    el('section', { class: 'line', 'data-line': link },
      el('h2', {}, `${link} · ${t.load} ${Math.round(line.load * 100)} %`),
      el('div', { class: 'cards' }, ...cards(line.names))));
  document.getElementById('lines').replaceChildren(...sections);
}

function update(report) {
  const known = signs.has(report.name);
  signs.set(report.name, { report, at: Date.now() });
  const old = cardOnPage(report.name);
  if (!known || !old) { render(); return; }
  const fresh = card(report.name);
  keepPicture(old, fresh);
  old.replaceWith(fresh);
}

async function loadAll() {
  const response = await fetch('/api/signs', { cache: 'no-store' });
  if (!response.ok) throw new Error(response.status);
  signs.clear();
  for (const report of await response.json()) signs.set(report.name, { report, at: Date.now() });
  render();
}

function setAway(away) {
  const banner = document.getElementById('away');
  banner.textContent = t.away;
  banner.hidden = !away;
}

function follow() {
  const events = new EventSource('/events');
  events.addEventListener('open', () => {
    loadAll().then(() => setAway(false), () => setAway(true));
  });
  events.addEventListener('error', () => {
    setAway(true);
    // Refused rather than unreachable (a new token, say): the browser gives up on
    // its own, so the page tries again itself.
    if (events.readyState === EventSource.CLOSED) setTimeout(follow, 5000);
  });
  events.addEventListener('sign', (e) => update(JSON.parse(e.data)));
  events.addEventListener('signs', () => loadAll().catch(() => setAway(true)));
  events.addEventListener('gateway', (e) => {
    const state = JSON.parse(e.data);
    document.getElementById('gateway').textContent =
      `${t.broker}: ${state.broker ? t.connected : t.notConnected}` +
      (state.owner ? '' : ` · ${t.standby}`);
  });
}

// Ages move on between events.
setInterval(() => { if (signs.size) render(); }, 5000);
follow();
