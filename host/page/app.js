// The shift at a glance. Polls the register's journal, draws each document of
// the current shift as the receipt the register printed, marks refused calls,
// and sums the takings by payment kind. Plain browser JavaScript: the page
// talks only to the server that served it.
'use strict';

const kRefreshMs = 2000;
const kPage = 500;     // journal entries per request
const kParallel = 6;   // detail requests in flight at once

const journal = [];         // every entry so far, in order of seq
const details = new Map();  // seq -> {answer, receipt}
let rendered = '';          // what the page shows, to skip identical redraws

async function get(path, text) {
  const response = await fetch(path, {cache: 'no-store'});
  if (!response.ok) throw new Error(`${path}: HTTP ${response.status}`);
  return text ? response.text() : response.json();
}

// "sale" for both "sale" and "tarvcore_create_sale".
function exportName(entry) {
  return String(entry.export).replace(/^tarvcore_(create|register)_/, '');
}

function hasDocument(entry) {
  return entry.doc_number !== undefined && entry.doc_number !== null;
}

function money(kopecks) {
  const sign = kopecks < 0 ? '-' : '';
  const k = Math.abs(kopecks);
  return `${sign}${Math.floor(k / 100)}.${String(k % 100).padStart(2, '0')}`;
}

function element(tag, attributes, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes || {})) node.setAttribute(name, value);
  for (const child of children) node.append(child);
  return node;
}

async function fetchNewEntries() {
  for (;;) {
    const from = journal.length ? Number(journal[journal.length - 1].seq) + 1 : 1;
    const page = await get(`/v1/journal?from=${from}&limit=${kPage}`);
    journal.push(...page);
    if (page.length < kPage) return;
  }
}

// The entries of the shift on show: those after the last shift-close report,
// or, when nothing followed that report yet, the shift it closed.
function currentShift() {
  const closes = [];
  journal.forEach((e, i) => {
    if (exportName(e) === 'report' && Number(e.status) === 0) closes.push(i);
  });
  const last = closes.length ? closes[closes.length - 1] : -1;
  if (last >= 0 && last === journal.length - 1) {
    const previous = closes.length > 1 ? closes[closes.length - 2] : -1;
    return journal.slice(previous + 1);
  }
  return journal.slice(last + 1);
}

async function fetchDetails(entries) {
  const missing = entries.filter((e) => !details.has(Number(e.seq)));
  for (let i = 0; i < missing.length; i += kParallel) {
    await Promise.all(missing.slice(i, i + kParallel).map(async (e) => {
      const seq = Number(e.seq);
      const answer = await get(`/v1/journal/${seq}`);
      const receipt = hasDocument(e) ? await get(`/v1/journal/${seq}/receipt`, true) : '';
      details.set(seq, {answer, receipt});
    }));
  }
}

// Takings of the shift: per payment kind, sales and refunds; rollbacks,
// deposits and withdrawals beside; the running total after each document.
function takings(entries) {
  const kinds = {cash: [0, 0], card: [0, 0], other: [0, 0]};
  const moves = {rollbacks: 0, deposits: 0, withdrawals: 0, card_holders: 0};
  const points = [];
  let running = 0;
  for (const e of entries) {
    const doc = details.get(Number(e.seq))?.answer?.document;
    if (Number(e.status) !== 0 || !doc) continue;
    let change;
    if (doc.kind === 'Sale' || doc.kind === 'Refund') {
      const column = doc.kind === 'Sale' ? 0 : 1;
      kinds.cash[column] += doc.cash;
      kinds.card[column] += doc.cashless - doc.other;
      kinds.other[column] += doc.other;
      change = doc.kind === 'Sale' ? doc.total : -doc.total;
    } else if (doc.kind === 'Rollback') {
      moves.rollbacks += doc.amount;
      change = -doc.amount;
    } else if (doc.kind === 'Deposit') {
      moves.deposits += doc.amount;
    } else if (doc.kind === 'Withdraw') {
      moves.withdrawals += doc.amount;
    } else if (doc.kind === 'CardHolderWithdraw') {
      moves.card_holders += doc.amount;
    }
    if (change === undefined) continue;  // the drawer's, not takings
    running += change;
    points.push({number: doc.header.doc_number, change, running});
  }
  return {kinds, moves, points};
}

function drawTotals({kinds, moves}) {
  const body = document.querySelector('#totals tbody');
  body.replaceChildren();
  const all = [0, 0];
  for (const [name, [sales, refunds]] of Object.entries(kinds)) {
    all[0] += sales;
    all[1] += refunds;
    body.append(element('tr', {'data-kind': name}, element('td', {}, name),
                        element('td', {}, money(sales)), element('td', {}, money(refunds)),
                        element('td', {}, money(sales - refunds))));
  }
  body.append(element('tr', {class: 'total', 'data-kind': 'total'}, element('td', {}, 'total'),
                      element('td', {}, money(all[0])), element('td', {}, money(all[1])),
                      element('td', {}, money(all[0] - all[1] - moves.rollbacks))));
  const parts = [];
  if (moves.rollbacks) parts.push(`rollbacks ${money(moves.rollbacks)} (taken off the net)`);
  parts.push(`deposited ${money(moves.deposits)}`, `withdrawn ${money(moves.withdrawals)}`);
  if (moves.card_holders) parts.push(`paid to card holders ${money(moves.card_holders)}`);
  document.getElementById('movements').textContent = `Drawer: ${parts.join(', ')}.`;
}

// The running takings after each document as a line, each document's share
// as a bar (sales up, refunds and rollbacks down), in inline SVG.
function drawChart(points) {
  const ns = 'http://www.w3.org/2000/svg';
  const width = 480, height = 180, left = 48, right = 8, top = 10, bottom = 22;
  const svg = document.createElementNS(ns, 'svg');
  svg.setAttribute('viewBox', `0 0 ${width} ${height}`);
  svg.setAttribute('role', 'img');
  const shape = (tag, attributes, text) => {
    const node = document.createElementNS(ns, tag);
    for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value);
    if (text !== undefined) node.textContent = text;
    svg.append(node);
    return node;
  };
  const values = points.flatMap((p) => [p.running, p.change]);
  const high = Math.max(100, ...values), low = Math.min(0, ...values);
  const y = (v) => top + (high - v) * (height - top - bottom) / (high - low);
  const step = (width - left - right) / Math.max(points.length, 1);
  const x = (i) => left + step * (i + 0.5);
  shape('line', {class: 'axis', x1: left, x2: width - right, y1: y(0), y2: y(0)});
  shape('text', {x: left - 4, y: y(high) + 4, 'text-anchor': 'end'}, money(high));
  shape('text', {x: left - 4, y: y(0) + 4, 'text-anchor': 'end'}, '0');
  points.forEach((p, i) => {
    const bar = Math.max(step * 0.6, 1);
    shape('rect', {class: p.change < 0 ? 'refund' : 'sale', x: x(i) - bar / 2,
                   y: Math.min(y(p.change), y(0)), width: bar,
                   height: Math.abs(y(p.change) - y(0))});
  });
  if (points.length) {
    const line = points.map((p, i) => `${x(i).toFixed(1)},${y(p.running).toFixed(1)}`);
    shape('polyline', {class: 'line', points: line.join(' ')});
    shape('text', {x: left, y: height - 6}, `No. ${points[0].number}`);
    shape('text', {x: width - right, y: height - 6, 'text-anchor': 'end'},
          `No. ${points[points.length - 1].number}`);
  } else {
    shape('text', {x: width / 2, y: height / 2, 'text-anchor': 'middle'}, 'no takings yet');
  }
  document.getElementById('chart').replaceChildren(svg);
}

function documentCard(entry) {
  const seq = Number(entry.seq);
  const {answer, receipt} = details.get(seq) || {};
  const name = exportName(entry);
  const status = Number(entry.status);
  if (status !== 0) {
    const error = status === 1 && answer?.response ? answer.response : null;
    const card = element('article', {class: 'doc refused', 'data-seq': seq, 'data-status': status},
                         element('h3', {}, `${name} refused · entry ${seq}`));
    if (error) {
      card.append(element('p', {}, error.message || ''), element('code', {}, error.code || ''));
    } else {
      card.append(element('p', {}, 'the request did not decode'));
    }
    return card;
  }
  if (!hasDocument(entry)) {
    return element('article', {class: 'doc plain', 'data-seq': seq},
                   element('h3', {}, `${name} · entry ${seq}`),
                   element('pre', {}, {order: 'order registered', open: 'shift opened'}[name] || 'done'));
  }
  return element('article', {class: 'doc', 'data-seq': seq, 'data-doc': entry.doc_number},
                 element('h3', {}, `No. ${entry.doc_number} · ${name} · entry ${seq}`),
                 element('pre', {class: 'receipt'}, receipt || ''));
}

function drawHeader(state, shift) {
  const context = state.context || {};
  document.getElementById('register').textContent = context.device_id ?? '';
  const opened = context.shift_ctx?.opened_at;
  const closed = context.shift_ctx?.closed_at;
  const refused = shift.filter((e) => Number(e.status) !== 0).length;
  const documents = shift.filter(hasDocument).length;
  let text = closed ? `shift closed ${closed}` : opened ? `shift open since ${opened}` : 'no shift';
  text += ` · ${documents} documents, ${refused} refused`;
  text += ` · next document No. ${context.next_doc_number ?? 1}`;
  document.getElementById('shift').textContent = text;
}

async function refresh() {
  try {
    const state = await get('/v1/state');
    await fetchNewEntries();
    const shift = currentShift();
    await fetchDetails(shift);
    const key = JSON.stringify([state, shift.map((e) => e.seq)]);
    if (key !== rendered) {
      rendered = key;
      drawHeader(state, shift);
      const sums = takings(shift);
      drawTotals(sums);
      drawChart(sums.points);
      document.getElementById('documents').replaceChildren(...shift.map(documentCard));
    }
    document.getElementById('refreshed').textContent =
        `updated ${new Date().toLocaleTimeString()}`;
  } catch (failure) {
    document.getElementById('refreshed').textContent = `not updated: ${failure.message}`;
  } finally {
    setTimeout(refresh, kRefreshMs);
  }
}

refresh();
