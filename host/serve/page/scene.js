// The scene's own settings on the look-development page: each light's and each linked
// built-in shader's controls (from the server's hostParams), the top view with draggable
// lights, and the view's orbit and zoom on the preview. Loaded before app.js, whose helpers
// (el, state, setNode, setView) it uses when the scene is drawn.
'use strict';

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
  // The server's ranges are of the scene-file value: shown in the field's unit.
  const scaled = (v) => (typeof v === 'number' ? +(v / scale).toPrecision(12) : null);
  return numberField({value, scale, suffix, min: scaled(p.min), max: scaled(p.max), what, redraw: renderScene,
    send: (v) => send(+(v * scale).toPrecision(12)), attrs: {id, 'data-focus': id}});
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
