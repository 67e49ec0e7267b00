// The gradient control of the look-development page: the knots as handles on the bar (drag,
// click to add, keys to move and remove) and as rows of a table (colour, position,
// interpolation). Loaded before app.js, whose helpers (el, state, showMessage, setParam)
// it uses when the panel is built.
'use strict';

const percentOf = (p) => `${+(p * 100).toFixed(1)} %`;
const clamp01 = (v) => Math.min(1, Math.max(0, v));

/// The colour a gradient shows at p, straight between the knots either side (for a new knot).
function colourAt(sorted, p) {
  const after = sorted.find((k) => k.position >= p) ?? sorted[sorted.length - 1];
  const before = [...sorted].reverse().find((k) => k.position <= p) ?? sorted[0];
  if (!before) return {color: [1, 1, 1], brightness: 1};
  const span = after.position - before.position;
  const t = span > 0 ? (p - before.position) / span : 0;
  const mix = (a, b) => a + (b - a) * t;
  return {color: before.color.map((c, j) => mix(c * before.brightness, after.color[j] * after.brightness)), brightness: 1,
    interpolation: before.interpolation};
}

// Keys by position: the focus finds a knot's control again after the rows are sorted anew.
const knotKey = (field, position) => `knot-${field}@${position}`;

// A knot's handle on the bar: dragged (sent on release), moved with the arrow keys (1 %, with
// Shift 10 %), removed with Delete or Backspace (never the last knot), Enter goes to its colour.
function knotHandle(k, n, knots, bar, disabled, send) {
  const handle = el('button', {type: 'button', class: 'knot-handle', disabled, 'data-key': knotKey('handle', k.position),
    'aria-label': `Knot ${n} at ${percentOf(k.position)}`, title: `Knot ${n}: drag, or use the arrow keys; Delete removes it`});
  handle.style.left = `${k.position * 100}%`;
  handle.style.background = rgbToHex(k.color.map((c) => c * k.brightness));
  const moveTo = (p) => {
    k.position = +clamp01(p).toFixed(4);
    state.focusKey = knotKey('handle', k.position);
    send();
  };
  let drag = null;
  handle.addEventListener('pointerdown', (ev) => {
    if (ev.button !== 0 || disabled) return;
    handle.setPointerCapture(ev.pointerId);
    drag = {x: ev.clientX, moved: false, p: k.position};
    bar.dataset.dragged = 'false';
  });
  handle.addEventListener('pointermove', (ev) => {
    if (!drag) return;
    const rect = bar.getBoundingClientRect();
    drag.moved ||= Math.abs(ev.clientX - drag.x) > 2;
    drag.p = clamp01((ev.clientX - rect.left) / rect.width);
    handle.style.left = `${drag.p * 100}%`;
    handle.setAttribute('aria-label', `Knot ${n} at ${percentOf(drag.p)}`);
  });
  handle.addEventListener('pointerup', () => {
    const done = drag;
    drag = null;
    if (!done?.moved) return;
    bar.dataset.dragged = 'true'; // the click that follows is no click on the bar
    moveTo(+done.p.toFixed(3));
  });
  handle.addEventListener('keydown', (ev) => {
    const step = ev.shiftKey ? 0.1 : 0.01;
    const moves = {ArrowLeft: -step, ArrowDown: -step, ArrowRight: step, ArrowUp: step};
    if (ev.key in moves) {
      ev.preventDefault();
      moveTo(k.position + moves[ev.key]);
    } else if (ev.key === 'Delete' || ev.key === 'Backspace') {
      ev.preventDefault();
      if (knots.length <= 1) return showMessage(`Knot ${n} is the gradient's only knot: a gradient keeps at least one.`, true);
      knots.splice(knots.indexOf(k), 1);
      const rest = [...knots].sort((a, b) => a.position - b.position);
      const next = rest.find((x) => x.position >= k.position) ?? rest[rest.length - 1];
      state.focusKey = knotKey('handle', next.position);
      send();
    } else if (ev.key === 'Enter') {
      ev.preventDefault();
      const colour = bar.closest('.gradient').querySelector(`[data-key="${knotKey('colour', k.position)}"]`);
      // The focus goes to the colour field, where Enter or Space opens the system's picker; a
      // picker opened from here would take the keys meant for the page.
      colour?.focus();
    }
  });
  return handle;
}

// The bar draws the gradient as the module reads it; a click on its empty part adds a knot there.
function gradientBar(knots, sorted, disabled, send) {
  // A step knot holds its colour up to the next knot: a second stop of its colour there.
  const hex = (k) => rgbToHex(k.color.map((c) => c * k.brightness));
  const at = (p) => `${(p * 100).toFixed(1)}%`;
  const stops = sorted.flatMap((k, i) => {
    const next = sorted[i + 1];
    const own = `${hex(k)} ${at(k.position)}`;
    return k.interpolation === 5 && next ? [own, `${hex(k)} ${at(next.position)}`] : [own];
  });
  const bar = el('div', {class: 'gradient-bar', title: disabled ? undefined : 'Click to add a knot here'});
  bar.style.background = stops.length > 1 ? `linear-gradient(to right, ${stops.join(', ')})` : (stops[0] || '#000').split(' ')[0];
  knots.forEach((k, i) => bar.append(knotHandle(k, i + 1, knots, bar, disabled, send)));
  bar.addEventListener('click', (ev) => {
    const dragged = bar.dataset.dragged === 'true';
    bar.dataset.dragged = 'false';
    if (disabled || dragged || ev.target !== bar) return;
    const p = +clamp01(ev.offsetX / bar.clientWidth).toFixed(3);
    knots.push({...colourAt(sorted, p), position: p});
    state.focusKey = knotKey('handle', p);
    send();
  });
  return bar;
}

// One row of the knot table: colour (picker and #rrggbb), position, interpolation, remove.
function knotRow(k, i, knots, disabled, send) {
  const key = (field) => knotKey(field, k.position);
  const color = el('input', {type: 'color', value: rgbToHex(k.color), disabled, 'aria-label': `Knot ${i + 1} colour`,
    'data-key': key('colour'),
    onchange: () => { k.color = hexToRgb(color.value); send(); }});
  const hexField = el('input', {type: 'text', class: 'hex', value: rgbToHex(k.color), disabled, size: 7, spellcheck: 'false',
    'aria-label': `Knot ${i + 1} colour as #rrggbb`, 'data-key': key('hex'),
    onchange: () => {
      const rgb = parseHex(hexField.value);
      if (!rgb) {
        showMessage(`Knot ${i + 1} colour: "${hexField.value}" is not a colour; write it as #rrggbb, for example #ff8000.`, true);
        return renderPanel();
      }
      k.color = rgb;
      send();
    }});
  const pos = el('input', {type: 'number', min: 0, max: 1, step: 0.01, value: k.position, disabled,
    'aria-label': `Knot ${i + 1} position`, 'data-key': key('position'),
    onchange: () => {
      const v = Number(pos.value);
      if (pos.value.trim() === '' || !(v >= 0 && v <= 1)) return showMessage(`Knot ${i + 1} position: enter a number from 0 to 1`, true), renderPanel();
      k.position = v;
      state.focusKey = knotKey('position', v);
      send();
    }});
  // How the colour runs on to the next knot; a value the page has no word for stays as it is.
  const blend = el('select', {disabled, 'aria-label': `Knot ${i + 1} interpolation`, 'data-key': key('interpolation'),
    onchange: () => { k.interpolation = Number(blend.value); send(); }});
  const kinds = [[2, 'Smooth'], [3, 'Linear'], [5, 'Step']];
  const current = k.interpolation ?? 2;
  if (!kinds.some(([v]) => v === current)) kinds.push([current, `Other (${current})`]);
  for (const [v, word] of kinds) blend.append(el('option', {value: v, selected: v === current}, word));
  const remove = el('button', {type: 'button', disabled: disabled || knots.length <= 1, 'aria-label': `Remove knot ${i + 1}`,
    'data-key': key('remove'),
    onclick: () => { knots.splice(i, 1); send(); }}, '−');
  return el('tr', {class: 'knot'}, el('td', {}, color, ' ', hexField), el('td', {}, pos), el('td', {}, blend), el('td', {}, remove));
}

function gradientControl(e, value, disabled, id) {
  const g = value && Array.isArray(value.knots) ? structuredClone(value) : {knots: []};
  const knots = g.knots.map((k) => ({color: [1, 1, 1], brightness: 1, position: 0, ...k}));
  const send = () => setParam(e.symbol, {...g, knots});
  // Sorted stably: knots on one position keep their order.
  const sorted = [...knots].sort((a, b) => a.position - b.position);
  const bar = gradientBar(knots, sorted, disabled, send);
  const table = el('table', {class: 'knots'});
  knots.forEach((k, i) => table.append(knotRow(k, i, knots, disabled, send)));
  const add = el('button', {type: 'button', disabled, onclick: () => {
    // A new knot halfway along the widest gap, with the colour halfway between its
    // neighbours and the interpolation of the knot before it (a step ramp stays stepped).
    let at = 0.5, widest = -1, before = sorted[0], after = sorted[0];
    for (let i = 0; i + 1 < sorted.length; ++i) {
      const gap = sorted[i + 1].position - sorted[i].position;
      if (gap > widest) { widest = gap; at = (sorted[i].position + sorted[i + 1].position) / 2; [before, after] = [sorted[i], sorted[i + 1]]; }
    }
    const knot = {color: [1, 1, 1], brightness: 1, position: +at.toFixed(4)};
    if (before) {
      knot.color = before.color.map((c, j) => (c + after.color[j]) / 2);
      knot.interpolation = before.interpolation ?? 2;
    }
    knots.push(knot);
    state.focusKey = knotKey('position', knot.position);
    send();
  }}, 'Add knot');
  return el('div', {class: 'gradient', role: 'group', 'aria-labelledby': id}, bar, table, add);
}
