// The look-development page: lays out each plug-in shader's attribute panel from the
// description the server reports, sends every edit to the server, shows the module's
// enabling after each answer, and renders the preview (coarse first, then full) and the
// material swatch again. On request it shows the scene as last saved beside the edit.
// Beside the shader it edits the scene's lights (their settings and a top view to drag them
// on), the linked built-in sub-shaders, the camera's view, and steps through the server's
// history of edits (undo, redo).
'use strict';

const state = {
  plugins: new Map(), // plug-in ID -> {name, description}
  hostParams: {}, // settings of the host's own nodes: light, camera, and built-in shaders by plugin name
  icons: new Set(), // registered icon IDs
  scene: null, // the last /api/scene answer
  shader: null, // name of the shader being edited
  previewGeneration: 0,
  compare: false, // the saved scene's preview is shown beside the current one
  savedStale: true, // the saved scene changed (load, save) since its preview was fetched
  files: [], // the scene files of the served folder
  focusKey: undefined, // the data-key of the control to focus after the next panel redraw
  readouts: new WeakMap(), // preview image -> {src, ctx} of its pixels, for the pointer readout
  top: null, // the top view's frame: {cx, cz, size} in scene units
  wheel: null, // {factor, timer} of wheel turns not sent yet
};

const $ = (id) => document.getElementById(id);

let nextId = 0;
/// A fresh element ID, for tying labels to controls.
const freshId = (stem) => `${stem}-${++nextId}`;

function el(tag, attrs = {}, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs)) {
    if (k === 'class') e.className = v;
    else if (k.startsWith('on')) e.addEventListener(k.slice(2), v);
    else if (v !== undefined && v !== null && v !== false) e.setAttribute(k, v === true ? '' : v);
  }
  for (const c of children) if (c !== null && c !== undefined) e.append(c);
  return e;
}

// ---- messages and requests ----------------------------------------------------------

// action: {label, run} adds a button to the message (an undo).
function showMessage(text, isError, action) {
  const m = $('message');
  m.hidden = !text;
  m.replaceChildren(text || '');
  if (text && action) {
    m.append(' ', el('button', {type: 'button', class: 'message-action', onclick: () => { showMessage('', false); action.run(); }},
      action.label));
  }
  m.classList.toggle('error', !!isError);
}

function busy(delta) {
  document.body.dataset.busy = String(Number(document.body.dataset.busy) + delta);
}

async function api(method, path, body) {
  busy(1);
  try {
    const options = {method, headers: {}};
    if (body !== undefined) {
      options.headers['Content-Type'] = 'application/json';
      options.body = JSON.stringify(body);
    }
    const res = await fetch(path, options);
    const data = await res.json().catch(() => ({error: `HTTP ${res.status}`}));
    if (!res.ok) {
      showMessage(data.error || `HTTP ${res.status}`, true);
      return null;
    }
    return data;
  } catch (e) {
    showMessage(`The server does not answer: ${e.message}`, true);
    return null;
  } finally {
    busy(-1);
  }
}

// ---- description helpers ---------------------------------------------------------------

function flag(element, name) {
  const f = element.flags.find((x) => x.name === name);
  return f ? f.args : null;
}

function flagNumber(element, name) {
  const args = flag(element, name);
  if (!args || !args.length) return null;
  const v = Number(args.join(''));
  return Number.isFinite(v) ? v : null;
}

/// A value with its unit as the page shows it: "30 %", "45°", "12".
function withUnit(v, suffix) {
  if (!suffix) return String(v);
  return suffix === '°' ? `${v}°` : `${v} ${suffix}`;
}

/// The range a field takes, in its shown unit: "0 % to 100 %", "from 0", "up to 180°"; '' when open.
function rangeText(min, max, suffix) {
  const show = (v) => withUnit(+v.toPrecision(12), suffix);
  if (min !== null && max !== null) return `${show(min)} to ${show(max)}`;
  if (min !== null) return `from ${show(min)}`;
  if (max !== null) return `up to ${show(max)}`;
  return '';
}

// Stored value per shown value: PERCENT shows 100 times the value, DEGREE degrees of radians.
function unitOf(element) {
  const args = flag(element, 'UNIT');
  const unit = args && args[0];
  if (unit === 'PERCENT') return {scale: 0.01, suffix: '%'};
  if (unit === 'DEGREE') return {scale: Math.PI / 180, suffix: '°'};
  return {scale: 1, suffix: unit ? unit.toLowerCase() : ''};
}

function currentShader() {
  return state.scene.editable.find((s) => s.name === state.shader);
}

/// The host's words for the flag bits of a list parameter, when it has any.
function flagNotes(pluginId, symbol) {
  const notes = state.plugins.get(pluginId)?.notes;
  return notes?.lists?.[symbol] ?? [];
}

// ---- edits -----------------------------------------------------------------------------

async function setParam(symbol, value) {
  const answer = await api('POST', '/api/param', {shader: state.shader, param: symbol, value});
  applyShaderAnswer(answer);
}

async function editLights(symbol, action, light, flags) {
  const body = {shader: state.shader, param: symbol, action, light};
  if (flags !== undefined) body.flags = flags;
  applyShaderAnswer(await api('POST', '/api/lights', body));
}

function applyShaderAnswer(answer, keepMessage = false) {
  if (answer) {
    const i = state.scene.editable.findIndex((s) => s.name === answer.name);
    if (i >= 0) state.scene.editable[i] = answer;
    if (!keepMessage) showMessage('', false);
    refreshPreviews();
    showChanged({changed: answer.sceneChanged, file: state.scene.file});
    showHistory(answer.history);
  }
  // A refused edit changed nothing: the panel shows the server's values again.
  renderPanel();
  renderSubShaders();
}

/// An answer that carries the whole scene state (node, view, undo, redo): all is drawn anew.
function applySceneAnswer(answer, keepMessage = false) {
  if (!answer) return renderScene();
  state.scene = {...answer, file: answer.file ?? state.scene.file};
  if (!keepMessage) showMessage('', false);
  showChanged({changed: answer.sceneChanged ?? answer.changed, file: state.scene.file});
  renderScene();
  refreshPreviews();
}

// One setting of a light, the camera or a built-in shader. A refusal may come from a scene
// that changed under the page (another page opened a file): the page then shows what the
// server holds, keeping the server's message.
async function setNode(node, key, value) {
  const answer = await api('POST', '/api/node', {node, key, value});
  if (answer) return applySceneAnswer(answer);
  const scene = await api('GET', '/api/scene');
  if (scene) useScene(scene);
}

async function setView(request) {
  applySceneAnswer(await api('POST', '/api/view', request));
}

/// which: 'undo' or 'redo'.
async function historyStep(which) {
  applySceneAnswer(await api('POST', `/api/${which}`, {}));
}

/// The Undo and Redo buttons say what they would undo or redo, and are off when nothing is.
function showHistory(history) {
  if (!history) return;
  state.scene.history = history;
  for (const [which, count, label] of [['undo', history.undo, history.undoLabel], ['redo', history.redo, history.redoLabel]]) {
    const button = $(which);
    const word = which === 'undo' ? 'Undo' : 'Redo';
    button.disabled = !count;
    button.title = count ? (label ? `${word} ${label}` : word) : `Nothing to ${which}`;
    button.setAttribute('aria-label', button.title);
  }
}

// Removing a light asks nothing: the message offers to undo it (the entry comes back where it
// was, with its flags).
async function removeLight(e, entries, entry) {
  const answer = await api('POST', '/api/lights', {shader: state.shader, param: e.symbol, action: 'remove', light: entry.object});
  applyShaderAnswer(answer, true);
  if (answer) {
    showMessage(`Removed ${entry.object} from ${e.label || e.symbol}.`, false,
      {label: 'Undo', run: () => historyStep('undo')});
  }
}

// ---- controls, one per element type ---------------------------------------------------------

function realControl(e, value, disabled, id) {
  const {scale, suffix} = unitOf(e);
  const min = flagNumber(e, 'MIN'), max = flagNumber(e, 'MAX');
  const shown = typeof value === 'number' ? +(value / scale).toPrecision(12) : '';
  const input = el('input', {
    type: 'number', step: 'any', value: shown, min, max, disabled, id,
    onchange: () => {
      const v = Number(input.value);
      if (input.value.trim() === '' || !Number.isFinite(v)) return showMessage(`${e.label || e.symbol}: enter a number`, true), renderPanel();
      setParam(e.symbol, v * scale);
    },
  });
  // MIN and MAX of the description are in the shown unit (percent for PERCENT).
  const range = rangeText(min, max, suffix);
  return el('span', {}, input, el('span', {class: 'unit'}, range ? `${suffix} (${range})` : suffix));
}

function longControl(e, value, disabled, id) {
  if (e.cycle.length) {
    const select = el('select', {disabled, id, onchange: () => setParam(e.symbol, Number(select.value))});
    for (const c of e.cycle) select.append(el('option', {value: c.id, selected: c.id === value}, c.label || c.symbol));
    return select;
  }
  const input = el('input', {
    type: 'number', step: 1, value: value ?? 0, min: flagNumber(e, 'MIN'), max: flagNumber(e, 'MAX'), disabled, id,
    onchange: () => setParam(e.symbol, Number(input.value)),
  });
  return input;
}

function boolControl(e, value, disabled, id) {
  const box = el('input', {type: 'checkbox', checked: !!value, disabled, id, onchange: () => setParam(e.symbol, box.checked)});
  return box;
}

function linkControl(e, value, disabled, id) {
  const select = el('select', {disabled, id, onchange: () => setParam(e.symbol, select.value === '' ? null : select.value)});
  select.append(el('option', {value: ''}, '(none)'));
  for (const name of state.scene.shaders) {
    if (name === state.shader) continue;
    select.append(el('option', {value: name, selected: name === value}, name));
  }
  return select;
}

// One switch of a list entry's flag bit, with its word beside it: the host's word for the
// bit ("Add" / "Subtract") where it has one, else "Flag n". Drawn as a button with the
// icon the description names for the bit's state (IMAGE_0n_ON / IMAGE_0n_OFF, n counted
// from 1), else as a checkbox.
function flagSwitch(e, bit, entry, disabled, note) {
  const on = (entry.flags & (1 << bit)) !== 0;
  const n = String(bit + 1).padStart(2, '0');
  const icon = flagNumber(e, `IMAGE_${n}_${on ? 'ON' : 'OFF'}`);
  const toggle = () => editLights(e.symbol, 'flags', entry.object, entry.flags ^ (1 << bit));
  const onWord = note?.on || `Flag ${bit + 1}`;
  const offWord = note?.off || onWord;
  const word = on ? onWord : offWord;
  const twoWords = onWord !== offWord;
  const hint = (on ? note?.onHint : note?.offHint) || `flag ${bit + 1} ${on ? 'on' : 'off'}`;
  const title = `${entry.object}: ${hint}` + (twoWords ? ` (click for ${on ? offWord : onWord})` : '');
  if (icon !== null && state.icons.has(icon)) {
    // The word names the state; a switch with one word for both states is pressed or not.
    return el('button', {type: 'button', class: `flag ${on ? 'on' : 'off'}`, title, disabled, 'data-bit': bit,
      'aria-label': `${entry.object}: ${word}`, 'aria-pressed': twoWords ? undefined : String(on), onclick: toggle},
    el('img', {src: `/api/icon/${icon}.png`, alt: ''}), el('span', {class: 'word'}, word));
  }
  const id = freshId('flag');
  const box = el('input', {type: 'checkbox', class: 'flag-box', id, checked: on, disabled, 'data-bit': bit,
    'aria-label': `${entry.object}: ${word}`, onchange: toggle});
  return el('label', {class: 'flag-label', for: id, title}, box, el('span', {class: 'word'}, word));
}

function inExcludeControl(e, value, disabled, id, shader) {
  const entries = Array.isArray(value) ? value : [];
  const numFlags = flagNumber(e, 'NUM_FLAGS') ?? 0;
  const notes = flagNotes(shader.pluginId, e.symbol);
  const off = state.scene.lightsOff || {};
  const list = el('ul', {class: 'inex', 'aria-label': e.label || e.symbol});
  for (const entry of entries) {
    const reason = entry.object !== null ? off[entry.object] : undefined;
    const name = el('span', {class: 'name', title: reason}, entry.object ?? '(deleted)');
    if (reason) name.append(el('span', {class: 'badge'}, 'off in scene'));
    const row = el('li', {'data-object': entry.object ?? '', class: reason ? 'scene-off' : undefined,
      title: reason ? `${entry.object}: ${reason}` : undefined}, name);
    if (entry.object !== null) {
      const switches = el('span', {class: 'switches'});
      for (let bit = 0; bit < numFlags; ++bit) switches.append(flagSwitch(e, bit, entry, disabled, notes[bit]));
      row.append(switches, el('button', {type: 'button', class: 'remove', title: `Remove ${entry.object} from the list`,
        'aria-label': `Remove ${entry.object}`, disabled, onclick: () => removeLight(e, entries, entry)}, 'Remove'));
    }
    list.append(row);
  }
  // The scene's lights not in the list yet, or why there are none to add.
  const listed = new Set(entries.map((x) => x.object));
  const addable = state.scene.lights.filter((name) => !listed.has(name));
  const choice = el('select', {class: 'add-choice', disabled: disabled || !addable.length, 'aria-label': `Light to add to ${e.label || e.symbol}`});
  for (const name of addable) choice.append(el('option', {value: name}, off[name] ? `${name} (off in scene)` : name));
  const none = !state.scene.lights.length ? 'The scene has no lights.' : 'Every light of the scene is in the list.';
  if (!addable.length) choice.append(el('option', {value: ''}, none));
  const add = el('button', {type: 'button', class: 'add', disabled: disabled || !addable.length,
    onclick: () => editLights(e.symbol, 'add', choice.value)}, 'Add light');
  return el('div', {role: 'group', 'aria-labelledby': id}, list, el('div', {class: 'add-row'}, choice, ' ', add),
    addable.length ? null : el('div', {class: 'hint'}, none));
}

function rgbToHex(c) {
  return '#' + c.map((v) => Math.round(Math.min(1, Math.max(0, v)) * 255).toString(16).padStart(2, '0')).join('');
}

function hexToRgb(hex) {
  return [1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16) / 255);
}

/// "#rrggbb" (or "rrggbb") as a colour, else null.
function parseHex(text) {
  const m = /^#?([0-9a-f]{6})$/i.exec(text.trim());
  return m ? hexToRgb(`#${m[1]}`) : null;
}

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

function vectorControl(e, value, disabled, id) {
  const v = Array.isArray(value) ? value : [0, 0, 0];
  if (e.type === 'COLOR') {
    const input = el('input', {type: 'color', value: rgbToHex(v), disabled, id, onchange: () => setParam(e.symbol, hexToRgb(input.value))});
    return input;
  }
  const inputs = v.map((x, i) => el('input', {type: 'number', step: 'any', value: x, disabled, 'aria-label': `${e.label || e.symbol} ${'XYZ'[i]}`,
    onchange: () => setParam(e.symbol, inputs.map((n) => Number(n.value)))}));
  return el('span', {role: 'group', 'aria-labelledby': id}, ...inputs);
}

function stringControl(e, value, disabled, id) {
  const input = el('input', {type: 'text', value: value ?? '', disabled, id, onchange: () => setParam(e.symbol, input.value)});
  return input;
}

// Controls of one form element take a <label for>; the others are groups named by the label.
const grouped = new Set(['IN_EXCLUDE', 'GRADIENT', 'VECTOR']);
const controls = {
  REAL: realControl, LONG: longControl, BOOL: boolControl, SHADERLINK: linkControl, LINK: linkControl,
  IN_EXCLUDE: inExcludeControl, GRADIENT: gradientControl, VECTOR: vectorControl, COLOR: vectorControl,
  STRING: stringControl,
};

// ---- settings of lights and built-in shaders, from the server's hostParams --------------------

/// Shown value per value in the scene file: PERCENT shows 100 times it; angles are degrees already.
function hostUnit(p) {
  if (p.unit === 'PERCENT') return {scale: 0.01, suffix: '%'};
  if (p.unit === 'DEGREE') return {scale: 1, suffix: '°'};
  return {scale: 1, suffix: ''};
}

// Each builder takes (p: the setting's element, value, id, what: "Radius of Key" for messages,
// send(value)) and gives the control; data-focus names it for focus restoration.
function hostReal(p, value, id, what, send) {
  const {scale, suffix} = hostUnit(p);
  const scaled = (v) => (typeof v === 'number' ? +(v / scale).toPrecision(12) : null);
  const min = scaled(p.min), max = scaled(p.max);
  const input = el('input', {type: 'number', step: p.step ? scaled(p.step) : 'any', value: scaled(value) ?? '', min, max, id,
    'data-focus': id,
    onchange: () => {
      const v = Number(input.value);
      if (input.value.trim() === '' || !Number.isFinite(v)) return showMessage(`${what}: enter a number`, true), renderScene();
      send(+(v * scale).toPrecision(12));
    }});
  const range = rangeText(min, max, suffix);
  return el('span', {}, input, el('span', {class: 'unit'}, range ? `${suffix} (${range})` : suffix));
}

function hostLong(p, value, id, what, send) {
  const input = el('input', {type: 'number', step: 1, value: value ?? '', min: p.min, max: p.max, id, 'data-focus': id,
    onchange: () => {
      const v = Number(input.value);
      if (input.value.trim() === '' || !Number.isInteger(v)) return showMessage(`${what}: enter a whole number`, true), renderScene();
      send(v);
    }});
  const range = rangeText(p.min ?? null, p.max ?? null, '');
  return range ? el('span', {}, input, el('span', {class: 'unit'}, `(${range})`)) : input;
}

function hostBool(p, value, id, what, send) {
  const box = el('input', {type: 'checkbox', checked: !!value, id, 'data-focus': id, onchange: () => send(box.checked)});
  return box;
}

function hostChoice(p, value, id, what, send) {
  const select = el('select', {id, 'data-focus': id, onchange: () => send(select.value)});
  const choices = p.choices ?? [];
  for (const c of choices) select.append(el('option', {value: c.value, selected: c.value === value}, c.label));
  // A value the page has no word for (a number in the file) is shown as it is.
  if (!choices.some((c) => c.value === value)) select.append(el('option', {value: String(value), selected: true}, String(value)));
  return select;
}

function hostColor(p, value, id, what, send) {
  const input = el('input', {type: 'color', value: rgbToHex(Array.isArray(value) ? value : [0, 0, 0]), id, 'data-focus': id,
    onchange: () => send(hexToRgb(input.value))});
  return input;
}

function hostVector(p, value, id, what, send) {
  const v = Array.isArray(value) ? value : [0, 0, 0];
  const inputs = v.map((x, i) => el('input', {type: 'number', step: 'any', value: x, 'aria-label': `${what} ${'XYZ'[i]}`,
    'data-focus': `${id}-${i}`,
    onchange: () => {
      const values = inputs.map((n) => Number(n.value));
      if (inputs.some((n) => n.value.trim() === '') || !values.every(Number.isFinite)) {
        return showMessage(`${what}: enter three numbers`, true), renderScene();
      }
      send(values);
    }}));
  return el('span', {role: 'group', 'aria-labelledby': id}, ...inputs);
}

const hostControls = {REAL: hostReal, LONG: hostLong, BOOL: hostBool, CHOICE: hostChoice, COLOR: hostColor, VECTOR: hostVector};

/// One setting of a node as a labelled row; focus names are stable across redraws (node and key).
function hostRow(p, value, node) {
  const make = hostControls[p.type];
  if (!make) return null;
  const id = `node-${node}-${p.key}`.replace(/[^\w-]/g, '_');
  const what = `${p.label} of ${node}`;
  const control = make(p, value, id, what, (v) => setNode(node, p.key, v));
  const label = p.type === 'VECTOR' ? el('span', {class: 'label', id}, p.label) : el('label', {class: 'label', for: id}, p.label);
  return el('div', {class: 'param node-param', 'data-node': node, 'data-key': p.key}, label, el('div', {class: 'control'}, control));
}

/// Rebuilds a container; the control that had the focus gets it back by its data-focus name.
function rebuild(container, children) {
  const active = document.activeElement;
  const had = container.contains(active) ? active.dataset.focus : undefined;
  container.replaceChildren(...children);
  if (had) container.querySelector(`[data-focus="${CSS.escape(had)}"]`)?.focus();
}

function lightGroup(light) {
  const box = el('fieldset', {class: `light${light.enabled === false ? ' off' : ''}`, 'data-node': light.name},
    el('legend', {}, light.name));
  for (const p of state.hostParams.light ?? []) {
    if (p.hidden || (p.lightTypes && !p.lightTypes.includes(light.type))) continue;
    box.append(hostRow(p, light[p.key], light.name));
  }
  return box;
}

function renderLights() {
  const lights = state.scene?.lightNodes ?? [];
  rebuild($('lights'), lights.map(lightGroup));
  $('lights-section').hidden = !lights.length && !(state.scene?.objects ?? []).length;
}

/// The built-in shaders the edited shader links, each with its settings.
function renderSubShaders() {
  const shader = state.scene && currentShader();
  const desc = shader && state.plugins.get(shader.pluginId)?.description;
  const linked = new Set((desc?.elements ?? []).filter((e) => e.type === 'SHADERLINK')
    .map((e) => shader.parameters[e.symbol] ?? shader.parameters[String(e.id)]).filter((v) => typeof v === 'string'));
  const subs = (state.scene?.subShaders ?? []).filter((s) => linked.has(s.name));
  rebuild($('subshaders'), subs.map((s) => {
    const box = el('fieldset', {class: 'subshader', 'data-node': s.name}, el('legend', {}, `Sub-shader ${s.name} (${s.plugin})`));
    for (const p of state.hostParams[s.plugin] ?? []) if (!p.hidden) box.append(hostRow(p, s.values[p.key], s.name));
    return box;
  }));
}

// ---- the top view: the X/Z plane seen from above, +X to the right and +Z up ------------------

const TOP_SIZE = 300; // the view's SVG units a side

/// Corners (or a circle) of an object's outline on the ground, in scene units, or null.
function outlineOf(o) {
  const [x, , z] = o.position ?? [0, 0, 0];
  if (o.type === 'sphere') return {circle: [x, z, o.radius ?? 100]};
  if (o.type === 'box') {
    const [sx, , sz] = o.size ?? [200, 200, 200];
    return {points: [[x - sx / 2, z - sz / 2], [x + sx / 2, z - sz / 2], [x + sx / 2, z + sz / 2], [x - sx / 2, z + sz / 2]]};
  }
  if (o.type === 'plane' && o.width > 0 && o.depth > 0) {
    // The plane's own axes: up made square to its direction, and the one across both.
    const d = normalised(o.direction ?? [0, 0, 1]);
    const up = o.up ?? [0, 1, 0];
    const ay = normalised(sub(up, scaled(d, dot(up, d))));
    const ax = cross(ay, d);
    const corner = (sx, sy) => [x + ax[0] * sx * o.width / 2 + ay[0] * sy * o.depth / 2,
      z + ax[2] * sx * o.width / 2 + ay[2] * sy * o.depth / 2];
    return {points: [corner(-1, -1), corner(1, -1), corner(1, 1), corner(-1, 1)]};
  }
  return null;
}

const dot = (a, b) => a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
const sub = (a, b) => a.map((v, i) => v - b[i]);
const scaled = (a, s) => a.map((v) => v * s);
const cross = (a, b) => [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]];
function normalised(a) {
  const n = Math.hypot(...a);
  return n > 0 ? scaled(a, 1 / n) : [0, 0, 1];
}

/// A round step near a tenth of n's size (1, 2, 5, 10, 20, 50 ...).
function niceStep(n) {
  const p = 10 ** Math.floor(Math.log10(Math.max(n, 1e-9)));
  return [1, 2, 5, 10].map((m) => m * p).find((s) => s >= n) ?? 10 * p;
}

/// The frame that holds every outline, light and the camera, square, with a margin.
function topFrame(shapes, scene) {
  const points = shapes.flatMap((s) => (s.circle ? [[s.circle[0] - s.circle[2], s.circle[1] - s.circle[2]],
    [s.circle[0] + s.circle[2], s.circle[1] + s.circle[2]]] : s.points));
  for (const l of scene.lightNodes ?? []) points.push([l.position[0], l.position[2]]);
  if (scene.camera) points.push([scene.camera.position[0], scene.camera.position[2]]);
  if (!points.length) points.push([0, 0]);
  const xs = points.map((p) => p[0]), zs = points.map((p) => p[1]);
  const size = Math.max(Math.max(...xs) - Math.min(...xs), Math.max(...zs) - Math.min(...zs), 1) * 1.15;
  return {cx: (Math.max(...xs) + Math.min(...xs)) / 2, cz: (Math.max(...zs) + Math.min(...zs)) / 2, size};
}

/// Scene X/Z to the view's 0..1 across and down, and back.
const toView = (f, x, z) => [(x - f.cx) / f.size + 0.5, 0.5 - (z - f.cz) / f.size];
const fromView = (f, u, v) => [f.cx + (u - 0.5) * f.size, f.cz + (0.5 - v) * f.size];

function svgEl(tag, attrs) {
  const e = document.createElementNS('http://www.w3.org/2000/svg', tag);
  for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, v);
  return e;
}

/// Outlines, the camera and the lights' directions, drawn under the handles.
function topDrawing(f, shapes, scene) {
  const svg = svgEl('svg', {viewBox: `0 0 ${TOP_SIZE} ${TOP_SIZE}`, 'aria-hidden': 'true'});
  const at = (x, z) => toView(f, x, z).map((c) => c * TOP_SIZE);
  for (const s of shapes) {
    if (s.circle) {
      const [cx, cy] = at(s.circle[0], s.circle[1]);
      svg.append(svgEl('circle', {cx, cy, r: s.circle[2] / f.size * TOP_SIZE, class: 'outline'}));
    } else {
      svg.append(svgEl('polygon', {points: s.points.map((p) => at(...p).join(',')).join(' '), class: 'outline'}));
    }
  }
  const arrow = (pos, dir, cls) => {
    const d = normalised([dir[0], 0, dir[2]]);
    const [x0, y0] = at(pos[0], pos[2]);
    svg.append(svgEl('line', {x1: x0, y1: y0, x2: x0 + d[0] * 24, y2: y0 - d[2] * 24, class: cls}));
  };
  for (const l of scene.lightNodes ?? []) if (l.type !== 'omni' && l.direction) arrow(l.position, l.direction, 'light-dir');
  if (scene.camera) {
    const [cx, cy] = at(scene.camera.position[0], scene.camera.position[2]);
    svg.append(svgEl('rect', {x: cx - 5, y: cy - 4, width: 10, height: 8, class: 'camera'}));
    arrow(scene.camera.position, scene.camera.direction, 'camera-dir');
  }
  return svg;
}

/// A light's handle: dragged (the new place is sent on release), or moved a step with the
/// arrow keys (Shift: ten steps).
function lightHandle(f, light, step) {
  const [x, y, z] = light.position;
  const round = (v) => +(Math.round(v / (step / 10)) * (step / 10)).toPrecision(12);
  const place = (u, v) => { handle.style.left = `${u * 100}%`; handle.style.top = `${v * 100}%`; };
  const handle = el('button', {type: 'button', class: `light-handle${light.enabled === false ? ' off' : ''}`,
    'data-light': light.name, 'data-focus': `top-${light.name}`,
    'aria-label': `${light.name} at X ${round(x)}, Z ${round(z)}`,
    title: `${light.name}: drag to move it, or use the arrow keys`});
  handle.style.background = rgbToHex(light.color);
  place(...toView(f, x, z));
  const moveTo = (nx, nz) => setNode(light.name, 'position', [round(nx), y, round(nz)]);
  let drag = null;
  handle.addEventListener('pointerdown', (ev) => {
    if (ev.button !== 0) return;
    handle.setPointerCapture(ev.pointerId);
    drag = {x: ev.clientX, y: ev.clientY, moved: false, at: [x, z]};
  });
  handle.addEventListener('pointermove', (ev) => {
    if (!drag) return;
    const rect = $('top-view').getBoundingClientRect();
    drag.moved ||= Math.hypot(ev.clientX - drag.x, ev.clientY - drag.y) > 2;
    const u = (ev.clientX - rect.left) / rect.width, v = (ev.clientY - rect.top) / rect.height;
    drag.at = fromView(f, u, v);
    place(u, v);
    $('top-info').textContent = `${light.name}: X ${round(drag.at[0])}, Z ${round(drag.at[1])}`;
  });
  handle.addEventListener('pointerup', () => {
    const done = drag;
    drag = null;
    if (done?.moved) moveTo(...done.at);
  });
  handle.addEventListener('keydown', (ev) => {
    const s = ev.shiftKey ? step * 10 : step;
    const moves = {ArrowLeft: [-s, 0], ArrowRight: [s, 0], ArrowUp: [0, s], ArrowDown: [0, -s]};
    if (!(ev.key in moves)) return;
    ev.preventDefault();
    moveTo(x + moves[ev.key][0], z + moves[ev.key][1]);
  });
  return handle;
}

function renderTopView() {
  const scene = state.scene;
  if (!scene) return;
  const shapes = (scene.objects ?? []).map(outlineOf).filter(Boolean);
  const f = topFrame(shapes, scene);
  state.top = f;
  const step = niceStep(f.size / 40);
  rebuild($('top-view'), [topDrawing(f, shapes, scene), ...(scene.lightNodes ?? []).map((l) => lightHandle(f, l, step))]);
  $('top-info').textContent = `Top view (X across, Z up), ${withUnit(step, '')} units a step with the arrow keys: drag a light, or focus it and use the arrows`;
}

// ---- the view: orbit and zoom the camera around the point it looks at ------------------------

/// Dragging on the preview orbits (sent on release); the wheel zooms, turns gathered while
/// they come quickly so that one turn of the wheel is one edit. The buttons move the camera
/// the way they point: Orbit left a positive yaw (the camera goes round to its left).
function viewByPointer(img) {
  let drag = null;
  img.addEventListener('pointerdown', (ev) => {
    if (ev.button !== 0) return;
    ev.preventDefault();
    img.setPointerCapture(ev.pointerId);
    drag = {x: ev.clientX, y: ev.clientY, yaw: 0, pitch: 0};
  });
  img.addEventListener('pointermove', (ev) => {
    if (!drag) return;
    // The scene follows the pointer: dragging right takes the camera round to its left
    // (a positive yaw), dragging down raises it.
    drag.yaw = Math.round((ev.clientX - drag.x) * 0.4);
    drag.pitch = Math.round((ev.clientY - drag.y) * 0.4);
    $('view-hint').textContent = `Orbit ${drag.yaw}° across, ${drag.pitch}° up or down: let go to apply`;
  });
  img.addEventListener('pointerup', () => {
    const done = drag;
    drag = null;
    $('view-hint').textContent = 'Drag on the preview to orbit, wheel to zoom';
    if (done && (done.yaw || done.pitch)) setView({action: 'orbit', yaw: done.yaw, pitch: done.pitch});
  });
  img.addEventListener('wheel', (ev) => {
    ev.preventDefault();
    if (!state.wheel) {
      busy(1); // a zoom is on its way
      state.wheel = {factor: 1, timer: setTimeout(sendWheel, 150)};
    }
    state.wheel.factor = Math.min(20, Math.max(0.05, state.wheel.factor * (ev.deltaY < 0 ? 1.1 : 1 / 1.1)));
  }, {passive: false});
}

async function sendWheel() {
  const {factor} = state.wheel;
  state.wheel = null;
  try {
    await setView({action: 'zoom', factor: +factor.toFixed(4)});
  } finally {
    busy(-1);
  }
}

/// Ctrl+Z undoes, Ctrl+Shift+Z and Ctrl+Y redo, except in a text field (which has its own).
function historyKeys(ev) {
  if (!(ev.ctrlKey || ev.metaKey) || ev.altKey) return;
  const t = ev.target;
  const typing = t.tagName === 'TEXTAREA' || (t.tagName === 'INPUT' && !['checkbox', 'radio', 'color', 'button'].includes(t.type));
  if (typing) return;
  const key = ev.key.toLowerCase();
  const which = key === 'z' ? (ev.shiftKey ? 'redo' : 'undo') : key === 'y' ? 'redo' : null;
  if (!which) return;
  ev.preventDefault();
  if (!$(which).disabled) historyStep(which);
}

function renderScene() {
  renderPanel();
  renderSubShaders();
  renderLights();
  renderTopView();
  showHistory(state.scene?.history);
}

// ---- the panel -----------------------------------------------------------------------------

const focusable = (root) => [...root.querySelectorAll('button, input, select')];

// The panel is built anew after every answer: the control that had the focus (by its row
// and its place in the row) gets it back, so that keyboard use goes on where it was.
function renderPanel() {
  const panel = $('panel');
  const active = document.activeElement;
  const activeRow = panel.contains(active) ? active.closest('.param') : null;
  const keep = activeRow ? {symbol: activeRow.dataset.symbol, index: focusable(activeRow).indexOf(active)} : null;
  // A control with a key (a knot's) is found by it; an edit that moves it names the new key.
  // A click on the gradient bar (which takes no focus) names the new knot's handle too.
  const named = state.focusKey;
  const key = named || (activeRow ? active.dataset.key : undefined);
  state.focusKey = undefined;
  buildPanel(panel);
  const keyed = key && (keep || named) ? [...panel.querySelectorAll('[data-key]')].find((c) => c.dataset.key === key) : null;
  if (keyed) keyed.focus();
  else if (keep) {
    const row = [...panel.querySelectorAll('.param')].find((r) => r.dataset.symbol === keep.symbol);
    const controls = row ? focusable(row).filter((c) => !c.disabled) : [];
    if (controls.length) controls[Math.min(keep.index, controls.length - 1)].focus();
  }
}

function buildPanel(panel) {
  panel.replaceChildren();
  const shader = state.scene && currentShader();
  if (!shader) {
    $('plugin-name').textContent = 'The scene has no plug-in shader';
    return;
  }
  const plugin = state.plugins.get(shader.pluginId);
  const desc = plugin.description;
  const title = desc.displayName || plugin.name;
  $('plugin-name').textContent = shader.name === title ? title : `${title} — ${shader.name}`;
  $('plugin-help').textContent = plugin.notes?.help || '';
  $('plugin-help').hidden = !plugin.notes?.help;
  // Groups nest as the description declares them; elements follow in file order.
  const containers = new Map();
  for (const e of desc.elements) {
    const parent = containers.get(e.groupId) || panel;
    if (e.type === 'GROUP') {
      // A group without a label of its own (a frame the host provides) adds no caption.
      const box = e.label ? el('fieldset', {'data-group': e.symbol}, el('legend', {}, e.label))
        : el('div', {'data-group': e.symbol});
      containers.set(e.id, box);
      parent.append(box);
      continue;
    }
    if (e.type === 'SEPARATOR') {
      parent.append(el('hr'));
      continue;
    }
    // Stored and saved, but not for the user to set.
    if (flag(e, 'HIDDEN')) continue;
    const enabled = shader.enabled[String(e.id)] !== false;
    const make = controls[e.type];
    const value = shader.parameters[e.symbol] ?? shader.parameters[String(e.id)];
    const id = freshId(grouped.has(e.type) ? 'label' : 'control');
    const control = make ? make(e, value, !enabled, id, shader) : el('span', {class: 'unit'}, `${e.type} (not editable here)`);
    const label = grouped.has(e.type) || !make ? el('span', {class: 'label', id}, e.label || e.symbol)
      : el('label', {class: 'label', for: id}, e.label || e.symbol);
    // The host's line for the parameter: always, or why the module disables it.
    const note = plugin.notes?.params?.[e.symbol];
    const hint = note?.hint || (!enabled && note?.disabledHint) || '';
    const row = el('div', {class: `param${enabled ? '' : ' disabled'}`, 'data-symbol': e.symbol, 'data-type': e.type,
      'data-enabled': String(enabled)}, label, el('div', {class: 'control'}, control, hint ? el('div', {class: 'hint param-hint'}, hint) : null));
    parent.append(row);
  }
  // Groups that ended up empty (a description's outer frame) stay visible only by their contents.
  for (const box of containers.values()) if (!box.querySelector('.param')) box.remove();
}

// ---- previews ------------------------------------------------------------------------------

async function fetchImage(url) {
  busy(1);
  try {
    const res = await fetch(url);
    if (!res.ok) {
      const data = await res.json().catch(() => ({}));
      showMessage(data.error || `HTTP ${res.status}`, true);
      return null;
    }
    return {blob: await res.blob(), seconds: res.headers.get('X-Render-Seconds')};
  } catch (e) {
    showMessage(`The server does not answer: ${e.message}`, true);
    return null;
  } finally {
    busy(-1);
  }
}

// The value under the pointer, read from the preview's own pixels.
function pointerValue(ev) {
  const img = ev.currentTarget;
  if (!img.naturalWidth || !img.clientWidth) return;
  let readout = state.readouts.get(img);
  if (readout?.src !== img.src) {
    const canvas = document.createElement('canvas');
    canvas.width = img.naturalWidth;
    canvas.height = img.naturalHeight;
    readout = {src: img.src, ctx: canvas.getContext('2d', {willReadFrequently: true})};
    readout.ctx.drawImage(img, 0, 0);
    state.readouts.set(img, readout);
  }
  const x = Math.min(img.naturalWidth - 1, Math.floor(ev.offsetX * img.naturalWidth / img.clientWidth));
  const y = Math.min(img.naturalHeight - 1, Math.floor(ev.offsetY * img.naturalHeight / img.clientHeight));
  const [r, g, b] = readout.ctx.getImageData(x, y, 1, 1).data;
  const percent = (v) => `${Math.round(v / 2.55)} %`;
  $('pointer-value').textContent = r === g && g === b ? `Under the pointer: ${percent(r)} grey (${r})`
    : `Under the pointer: red ${r}, green ${g}, blue ${b}`;
}

function showImage(img, blob) {
  return new Promise((resolve) => {
    const old = img.src;
    img.onload = () => { if (old.startsWith('blob:')) URL.revokeObjectURL(old); resolve(); };
    img.onerror = () => resolve();
    img.src = URL.createObjectURL(blob);
  });
}

// Coarse first (a quarter of the size, one sample), then the scene's own size and samples:
// an answer that arrives after a newer edit is dropped.
async function refreshPreviews() {
  const generation = ++state.previewGeneration;
  const img = $('preview');
  const {width, height} = state.scene;
  img.width = width;
  img.height = height;
  img.dataset.state = 'rendering';
  const coarse = await fetchImage(`/api/preview.png?w=${Math.max(1, width >> 2)}&h=${Math.max(1, height >> 2)}&spp=1`);
  if (generation !== state.previewGeneration) return;
  if (coarse) {
    await showImage(img, coarse.blob);
    img.dataset.state = 'coarse';
  }
  const full = await fetchImage('/api/preview.png');
  if (generation !== state.previewGeneration) return;
  if (full) {
    await showImage(img, full.blob);
    $('preview-info').textContent = `Current edit, ${width}×${height}, ${state.scene.samples} ${state.scene.samples === 1 ? 'sample' : 'samples'} per pixel, ${(Number(full.seconds) * 1000).toFixed(0)} ms`;
  }
  const swatch = state.shader ? await fetchImage(`/api/swatch.png?shader=${encodeURIComponent(state.shader)}`) : null;
  if (generation !== state.previewGeneration) return;
  if (swatch) await showImage($('swatch'), swatch.blob);
  if (state.compare && state.savedStale) {
    const saved = await fetchImage('/api/preview.png?scene=saved');
    if (generation !== state.previewGeneration) return;
    const savedImg = $('saved-preview');
    savedImg.width = width;
    savedImg.height = height;
    if (saved) {
      await showImage(savedImg, saved.blob);
      state.savedStale = false;
    }
    savedImg.dataset.state = saved ? 'final' : 'failed';
    savedImg.dataset.generation = String(generation);
  }
  img.dataset.generation = String(generation);
  img.dataset.state = full ? 'final' : 'failed';
}

// Whether the edit differs from the scene as last saved, in the header and the comparison.
function showChanged({changed, file}) {
  state.scene.file = file;
  $('scene-file').textContent = file + (changed ? ' (unsaved changes)' : '');
  $('change-state').textContent = changed ? 'Unsaved changes' : `No changes since ${file} was saved or opened`;
  $('change-state').dataset.changed = String(changed);
  $('saved-info').textContent = `As saved: ${file}`;
}

function setCompare(on) {
  state.compare = on;
  $('compare').setAttribute('aria-pressed', String(on));
  $('saved-figure').hidden = !on;
  $('pair').classList.toggle('comparing', on);
  if (on) refreshPreviews();
}

// ---- scene, files, start -------------------------------------------------------------------

function useScene(scene) {
  state.scene = scene;
  state.savedStale = true;
  showChanged(scene);
  const names = scene.editable.map((s) => s.name);
  if (!names.includes(state.shader)) state.shader = names[0] || null;
  const select = $('shader-select');
  select.replaceChildren(...names.map((n) => el('option', {value: n, selected: n === state.shader}, n)));
  $('shader-choice').hidden = names.length < 2;
  renderScene();
  refreshPreviews();
}

async function listFiles() {
  const files = await api('GET', '/api/files');
  if (!files) return;
  state.files = files.files;
  $('load-path').replaceChildren(...files.files.map((f) => el('option', {value: f, selected: f === state.scene?.file}, f)));
  if (!$('save-path').value && state.scene) $('save-path').value = state.scene.file.replace(/\.json$/, '-edited.json');
}

async function start() {
  const [described, scene] = await Promise.all([api('GET', '/api/describe'), api('GET', '/api/scene')]);
  if (!described || !scene) return;
  for (const p of described.plugins) if (p.description) state.plugins.set(p.id, p);
  for (const icon of described.icons) state.icons.add(icon.id);
  state.hostParams = described.hostParams ?? {};
  useScene(scene);
  listFiles();
  $('compare').addEventListener('click', () => setCompare(!state.compare));
  for (const id of ['preview', 'saved-preview']) {
    $(id).addEventListener('mousemove', pointerValue);
    $(id).addEventListener('mouseleave', () => { $('pointer-value').textContent = ''; });
  }
  $('shader-select').addEventListener('change', (ev) => { state.shader = ev.target.value; renderPanel(); renderSubShaders(); refreshPreviews(); });
  $('undo').addEventListener('click', () => historyStep('undo'));
  $('redo').addEventListener('click', () => historyStep('redo'));
  document.addEventListener('keydown', historyKeys);
  for (const b of document.querySelectorAll('[data-orbit]')) {
    const [yaw, pitch] = b.dataset.orbit.split(',').map(Number);
    b.addEventListener('click', () => setView({action: 'orbit', yaw, pitch}));
  }
  for (const b of document.querySelectorAll('[data-zoom]')) b.addEventListener('click', () => setView({action: 'zoom', factor: Number(b.dataset.zoom)}));
  $('reset-view').addEventListener('click', () => setView({action: 'reset'}));
  viewByPointer($('preview'));
  $('save').addEventListener('click', () => {
    // Another scene file of that name is replaced only when asked twice.
    const name = $('save-path').value.trim();
    if (name !== state.scene.file && state.files.includes(name)) {
      showMessage(`${name} exists already.`, false, {label: `Replace ${name}`, run: () => save(name)});
      return;
    }
    save(name);
  });
  async function save(name) {
    const saved = await api('POST', '/api/save', {path: name});
    if (saved) {
      showMessage(`Saved ${saved.saved}`, false);
      state.savedStale = true;
      showChanged({changed: false, file: saved.saved});
      listFiles();
      if (state.compare) refreshPreviews();
    }
  }
  $('load').addEventListener('click', async () => {
    const scene = await api('POST', '/api/load', {path: $('load-path').value});
    if (scene) { showMessage(`Loaded ${scene.file}`, false); useScene(scene); }
  });
}

start();
