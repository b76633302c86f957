// The shift at a glance: the X-report of GET /v1/shift (takings per currency
// and payment kind, the cash in the drawer) and the journal a page at a
// time, one request per page. Plain browser JavaScript: the page talks only
// to the server that served it. With a token (tarv serve --token-file) it
// asks for it once and keeps it for the tab (sessionStorage).
'use strict';

const kRefreshMs = 2000;
const kPage = 50;  // journal entries per page
// Document times are the register's local time: UTC+03:00.
const kRegisterOffsetMs = 3 * 3600 * 1000;
const kTokenKey = 'tarv-token';

const kKinds = {
  deposit: 'Внесение',
  withdraw: 'Изъятие',
  ch_withdraw: 'Выдача держателю карты',
  sale: 'Продажа',
  refund: 'Возврат',
  rollback: 'Аннулирование',
  report: 'Закрытие смены',
  order: 'Заказ',
  open: 'Открытие смены',
};

let newestShown = null;  // the last entry of the page on show; null: the latest page
let rendered = '';       // what the page shows, to skip identical redraws
let timer = null;        // the next refresh

class SignInNeeded extends Error {}

function token() { return sessionStorage.getItem(kTokenKey) || ''; }

async function get(path) {
  const headers = token() ? {Authorization: `Bearer ${token()}`} : {};
  const response = await fetch(path, {cache: 'no-store', headers});
  if (response.status === 401) throw new SignInNeeded();
  if (!response.ok) throw new Error(`${path}: HTTP ${response.status}`);
  return response.json();
}

// "sale" for both "sale" and "tarvcore_create_sale".
function exportName(entry) {
  return String(entry.export).replace(/^tarvcore_(create|register)_/, '');
}

function money(kopecks, currency) {
  const sign = kopecks < 0 ? '-' : '';
  const k = Math.abs(Number(kopecks));
  const text = `${sign}${Math.floor(k / 100)}.${String(k % 100).padStart(2, '0')}`;
  return currency ? `${text} ${currency}` : text;
}

// One format for every time: DD.MM.YYYY HH:MM:SS in the register's time.
function registerTime(rfc3339) {
  if (!rfc3339) return '';
  const t = new Date(new Date(rfc3339).getTime() + kRegisterOffsetMs);
  const two = (n) => String(n).padStart(2, '0');
  return `${two(t.getUTCDate())}.${two(t.getUTCMonth() + 1)}.${t.getUTCFullYear()} ` +
         `${two(t.getUTCHours())}:${two(t.getUTCMinutes())}:${two(t.getUTCSeconds())}`;
}

function element(tag, attributes, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes || {})) node.setAttribute(name, value);
  for (const child of children) node.append(child);
  return node;
}

function cells(...values) { return values.map((v) => element('td', {}, String(v))); }

function drawHeader(shift) {
  let text = shift.open ? `Смена ${shift.shift} открыта ${registerTime(shift.opened_at)}`
                        : `Смена ${shift.shift} закрыта ${registerTime(shift.closed_at)}`;
  text += ` · документов: ${shift.documents}, отказов: ${shift.refusals}`;
  text += ` · следующий документ № ${shift.next_document}`;
  document.getElementById('shift').textContent = text;
}

// One table per currency: sales and refunds by payment kind, the net, and
// what went into and out of the drawer.
function drawTakings(takings) {
  const tables = [];
  for (const [currency, t] of Object.entries(takings)) {
    const id = `takings-${currency}`;
    const body = element('tbody');
    for (const [kind, name] of [['cash', 'Наличные'], ['card', 'Карта'], ['other', 'Прочее']]) {
      body.append(element('tr', {'data-kind': kind}, ...cells(
          name, money(t.sales[kind]), money(t.refunds[kind]),
          money(t.sales[kind] - t.refunds[kind]))));
    }
    body.append(element('tr', {class: 'total', 'data-kind': 'total'}, ...cells(
        'Всего', money(t.sales.sum), money(t.refunds.sum), money(t.sales.sum - t.refunds.sum))));
    const moves = [['Аннулирования', t.rollbacks.sum], ['Внесения', t.deposits],
                   ['Изъятия', t.withdrawals], ['Выдачи держателям карт', t.card_holder_withdrawals]];
    const list = element('p', {class: 'quiet'},
                         moves.map(([name, sum]) => `${name}: ${money(sum, currency)}`).join(' · '));
    tables.push(element('h3', {id}, currency),
                element('table', {'aria-labelledby': id, 'data-currency': currency},
                        element('thead', {}, element('tr', {}, ...['Оплата', 'Продажи', 'Возвраты',
                                                                    'Итого'].map(
                            (h) => element('th', {scope: 'col'}, h)))),
                        body),
                list);
  }
  if (!tables.length) tables.push(element('p', {class: 'quiet'}, 'Продаж в смене пока нет.'));
  document.getElementById('takings').replaceChildren(...tables);
}

function drawDrawer(drawer) {
  const rows = Object.entries(drawer).map(
      ([currency, cash]) => element('tr', {'data-currency': currency},
                                    ...cells(currency, money(cash, currency))));
  document.querySelector('#drawer tbody').replaceChildren(...rows);
}

function outcome(entry) {
  const status = Number(entry.status);
  if (status === 0) return 'проведено';
  if (status === 1) return `отказ: ${entry.message || ''} (${entry.code})`;
  return 'запрос не разобран';
}

function drawJournal(entries, first, last, newest) {
  const rows = entries.slice().reverse().map((e) => {
    const refused = Number(e.status) !== 0;
    const row = element('tr', {'data-seq': e.seq, 'data-status': e.status},
                        ...cells(e.seq, registerTime(e.at), kKinds[exportName(e)] || e.export,
                                 e.doc_number ?? '',
                                 e.sum !== undefined ? money(e.sum, e.currency) : '',
                                 outcome(e)));
    if (refused) row.className = 'refused';
    return row;
  });
  document.querySelector('#journal tbody').replaceChildren(...rows);
  document.getElementById('page-info').textContent =
      entries.length ? `записи ${first}–${last} из ${newest}` : 'журнал пуст';
  document.getElementById('older').disabled = first <= 1;
  document.getElementById('newer').disabled = last >= newest;
}

function showSignIn(message) {
  document.getElementById('content').hidden = true;
  document.getElementById('signin').hidden = false;
  document.getElementById('signin-error').textContent = message || '';
  document.getElementById('shift').textContent = 'Нужен вход';
  document.getElementById('token').focus();
}

async function refresh() {
  try {
    const shift = await get('/v1/shift');
    const newest = Number(shift.last_entry);
    const last = newestShown === null ? newest : Math.min(newestShown, newest);
    const first = Math.max(1, last - kPage + 1);
    const entries = last ? await get(`/v1/journal?from=${first}&limit=${last - first + 1}`) : [];
    document.getElementById('signin').hidden = true;
    document.getElementById('content').hidden = false;
    const key = JSON.stringify([shift, entries]);
    if (key !== rendered) {
      rendered = key;
      drawHeader(shift);
      drawTakings(shift.takings);
      drawDrawer(shift.drawer);
      drawJournal(entries, first, last, newest);
    }
    document.getElementById('refreshed').textContent =
        `обновлено ${registerTime(new Date().toISOString())}`;
  } catch (failure) {
    if (failure instanceof SignInNeeded) {
      showSignIn(token() ? 'Токен не подошёл.' : '');
      return;  // until the form is sent
    }
    document.getElementById('refreshed').textContent = `не обновлено: ${failure.message}`;
  }
  clearTimeout(timer);
  timer = setTimeout(refresh, kRefreshMs);
}

function page(direction) {
  const info = document.getElementById('page-info').textContent.match(/(\d+)–(\d+) из (\d+)/);
  if (!info) return;
  const [last, newest] = [Number(info[2]), Number(info[3])];
  const next = last + direction * kPage;
  newestShown = next >= newest ? null : Math.max(next, Math.min(kPage, newest));
  rendered = '';
  clearTimeout(timer);
  refresh();
}

document.getElementById('older').addEventListener('click', () => page(-1));
document.getElementById('newer').addEventListener('click', () => page(1));
document.getElementById('signin').addEventListener('submit', (event) => {
  event.preventDefault();
  sessionStorage.setItem(kTokenKey, document.getElementById('token').value.trim());
  document.getElementById('token').value = '';
  refresh();
});
// A link may carry the token after '#token=' (it never reaches a server);
// it is kept for the tab and taken off the address, also when it is not
// well-formed percent-encoding (then it is kept as typed, and refused).
const given = location.hash.match(/^#token=(.*)$/);
if (given) {
  history.replaceState(null, '', location.pathname + location.search);
  let text = given[1];
  try {
    text = decodeURIComponent(text);
  } catch (malformed) {
    // '%E0%A4%A': kept as typed
  }
  if (text.trim()) sessionStorage.setItem(kTokenKey, text.trim());
}
refresh();
