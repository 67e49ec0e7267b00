// The look-development page: lays out each plug-in shader's attribute panel from the
// description the server reports, sends every edit to the server, shows the module's
// enabling after each answer, and renders the preview (coarse first, then full) and the
// material swatch again. On request it shows the scene as last saved beside the edit.
// Beside the shader it edits the scene's lights (their settings and a top view to drag them
// on), the linked built-in sub-shaders, the camera's view, and steps through the server's
// history of edits (undo, redo). The gradient control is gradient.js, the scene's own
// settings and the top view scene.js; both load first and this file starts the page.
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

/// A number typed in its shown unit (shown = stored / scale) with the range beside it; min and
/// max are shown values. A field left empty or not a number is refused with what's name and
/// redraw() puts the value back; otherwise send(shown number).
function numberField({value, scale, suffix, min, max, what, redraw, send, attrs}) {
  const shown = typeof value === 'number' ? +(value / scale).toPrecision(12) : '';
  const input = el('input', {type: 'number', step: 'any', value: shown, min, max, ...attrs,
    onchange: () => {
      const v = Number(input.value);
      if (input.value.trim() === '' || !Number.isFinite(v)) return showMessage(`${what}: enter a number`, true), redraw();
      send(v);
    }});
  const range = rangeText(min, max, suffix);
  return el('span', {}, input, el('span', {class: 'unit'}, range ? `${suffix} (${range})` : suffix));
}

function realControl(e, value, disabled, id) {
  const {scale, suffix} = unitOf(e);
  // MIN and MAX of the description are in the shown unit (percent for PERCENT).
  return numberField({value, scale, suffix, min: flagNumber(e, 'MIN'), max: flagNumber(e, 'MAX'),
    what: e.label || e.symbol, redraw: renderPanel, send: (v) => setParam(e.symbol, v * scale), attrs: {disabled, id}});
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
