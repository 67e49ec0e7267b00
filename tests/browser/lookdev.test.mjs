// The look-development page in Debian's headless Chromium, against `corvane-host serve`
// on a copy of a closed-form scene (two distant lights on a wall, so every wall pixel has
// the same grey). The tests run in order on one page and server.
//
// Environment: CORVANE_HOST (corvane-host), CORVANE_PLUGINS (plug-ins folder),
// CORVANE_TEST_DATA (tests/data), CORVANE_HOSTILE_MODULE (the module of tests/hostile,
// which misbehaves as CORVANE_HOSTILE says), CHROMIUM (default /usr/bin/chromium). A missing
// browser or node_modules fails the run: `scripts/setup` installs both.
import {after, before, describe, test} from 'node:test';
import assert from 'node:assert/strict';
import {spawn, execFileSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const chromium = process.env.CHROMIUM || '/usr/bin/chromium';
const host = process.env.CORVANE_HOST;
const plugins = process.env.CORVANE_PLUGINS;
const data = process.env.CORVANE_TEST_DATA;
const hostileModule = process.env.CORVANE_HOSTILE_MODULE;

let puppeteer;
let server, browser, page, folder, address;

/// Starts `corvane-host serve` on a free port and resolves with its address.
function serve(scene, cwd, pluginsFolder = plugins, env = process.env) {
  const child = spawn(host, ['serve', scene, '--port', '0', '--plugins', pluginsFolder], {cwd, env});
  return new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (chunk) => {
      out += chunk;
      const m = out.match(/at (http:\/\/127\.0\.0\.1:\d+\/)/);
      if (m) resolve({child, address: m[1]});
    });
    child.stderr.on('data', (chunk) => { out += chunk; });
    // A server that ends before the tests stop it says why, beside the tests that then fail.
    child.on('exit', (code, signal) => {
      if (!child.stopping) console.error(`corvane-host serve exited (${signal ?? code}): ${out}`);
      reject(new Error(`corvane-host serve exited with ${code}: ${out}`));
    });
  });
}

/// Waits until no request is open and the preview shows its full image.
async function settled() {
  await page.waitForFunction(() => document.body.dataset.busy === '0' &&
    document.getElementById('preview').dataset.state === 'final', {timeout: 30000});
}

/// The 8-bit RGBA pixels of an image element at its natural size.
async function pixelsOf(selectorOrDataUrl) {
  return page.evaluate(async (what) => {
    let img;
    if (what.startsWith('data:')) {
      img = new Image();
      img.src = what;
      await img.decode();
    } else {
      img = document.querySelector(what);
    }
    const canvas = document.createElement('canvas');
    canvas.width = img.naturalWidth;
    canvas.height = img.naturalHeight;
    const ctx = canvas.getContext('2d');
    ctx.drawImage(img, 0, 0);
    return {width: canvas.width, height: canvas.height,
      rgba: Array.from(ctx.getImageData(0, 0, canvas.width, canvas.height).data)};
  }, selectorOrDataUrl);
}

async function centreGrey() {
  const {width, height, rgba} = await pixelsOf('#preview');
  const i = ((height >> 1) * width + (width >> 1)) * 4;
  assert.equal(rgba[i], rgba[i + 1], 'grey output has equal channels');
  return rgba[i];
}

/// The byte the shader's arithmetic gives a wall lit by the scene's distant lights: each
/// counted light adds or subtracts the average of colour x brightness, then 0..1 clamping.
function expectedGrey(scene, flagsByLight) {
  let v = 0;
  for (const light of scene.lights) {
    const flags = flagsByLight[light.name] ?? 0;
    if (!(flags & 1)) continue;
    const b = light.brightness ?? 1;
    const average = (light.color[0] * b + light.color[1] * b + light.color[2] * b) / 3;
    v += flags & 2 ? average : -average;
  }
  return Math.round(Math.min(1, Math.max(0, v)) * 255);
}

async function messageShown() {
  await page.waitForFunction(() => !document.getElementById('message').hidden, {timeout: 10000});
  return page.$eval('#message', (m) => ({text: m.textContent, error: m.classList.contains('error')}));
}

async function loadPuppeteer() {
  assert.ok(host && plugins && data, 'CORVANE_HOST, CORVANE_PLUGINS and CORVANE_TEST_DATA must be set');
  assert.ok(fs.existsSync(chromium), `${chromium} is missing: run scripts/setup (Debian package chromium)`);
  try {
    puppeteer = (await import('puppeteer-core')).default;
  } catch (e) {
    assert.fail(`puppeteer-core is missing (${e.message}): run scripts/setup (npm ci in tests/browser)`);
  }
}

/// Closes the browser, stops the server and removes the suite's folder.
async function closeAll() {
  await browser?.close();
  if (server) server.stopping = true;
  server?.kill('SIGINT');
  if (folder) fs.rmSync(folder, {recursive: true, force: true});
}

async function openPage() {
  browser = await puppeteer.launch({executablePath: chromium, headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage']});
  page = await browser.newPage();
  await page.setViewport({width: 1100, height: 720});
  await page.goto(address);
}

describe('look-development page', () => {
  before(async () => {
    await loadPuppeteer();
    folder = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-browser-'));
    fs.copyFileSync(path.join(data, 'scenes', 'distant-a-b.json'), path.join(folder, 'wall.json'));
    // The same wall with light B switched off in the scene.
    const off = JSON.parse(fs.readFileSync(path.join(folder, 'wall.json'), 'utf8'));
    off.lights.find((l) => l.name === 'B').enabled = false;
    fs.writeFileSync(path.join(folder, 'off.json'), JSON.stringify(off));
    ({child: server, address} = await serve('wall.json', folder));
    await openPage();
    await settled();
  });

  after(closeAll);

  test('the panel lists every parameter with its label and the flag icons', async () => {
    const described = await page.evaluate(() => fetch('/api/describe').then((r) => r.json()));
    const plugin = described.plugins.find((p) => p.description);
    // Spare Value is stored and saved but read by nothing: the description hides it.
    const hidden = (e) => e.flags.some((f) => f.name === 'HIDDEN');
    assert.ok(plugin.description.elements.some((e) => e.symbol === 'XCORVANE_SPARE_VALUE' && hidden(e)));
    assert.equal(await page.$('.param[data-symbol="XCORVANE_SPARE_VALUE"]'), null);
    const params = plugin.description.elements.filter((e) => e.type !== 'GROUP' && e.type !== 'SEPARATOR' && !hidden(e));
    assert.ok(params.length >= 6);
    for (const e of params) {
      const label = await page.$eval(`.param[data-symbol="${e.symbol}"] .label`, (l) => l.textContent);
      assert.equal(label, e.label, e.symbol);
    }
    const labels = await page.$$eval('.param .label', (ls) => ls.map((l) => l.textContent));
    for (const text of ['Lights', 'Shader', 'Mix Mode', 'Invert', 'Output', 'Gradient'])
      assert.ok(labels.includes(text), text);
    const cycle = await page.$$eval('.param[data-symbol="XCORVANE_OUTPUT"] option', (os) => os.map((o) => o.textContent));
    assert.deepEqual(cycle, ['Grey', 'Gradient']);
    // The sign switches show the registered icons, and they decode.
    const icons = await page.$$eval('.inex .flag img', (is) => is.map((i) => ({src: i.getAttribute('src'), w: i.naturalWidth})));
    assert.deepEqual(icons.map((i) => i.src), ['/api/icon/1057876.png', '/api/icon/1057875.png']);
    assert.ok(icons.every((i) => i.w > 0));
  });

  test('switching Output to Gradient enables the gradient', async () => {
    const gradient = '.param[data-symbol="XCORVANE_GRADIENT"]';
    const hint = (symbol) => page.$eval(`.param[data-symbol="${symbol}"]`, (r) => r.querySelector('.param-hint')?.textContent ?? null);
    assert.equal(await hint('XCORVANE_GRADIENT'), 'Used while Output is Gradient.');
    assert.equal(await page.$eval(gradient, (r) => r.dataset.enabled), 'false');
    assert.equal(await page.$eval(`${gradient} input[type=number]`, (i) => i.disabled), true);
    await page.select('.param[data-symbol="XCORVANE_OUTPUT"] select', '1');
    await settled();
    assert.equal(await page.$eval(gradient, (r) => r.dataset.enabled), 'true');
    assert.equal(await page.$eval(`${gradient} input[type=number]`, (i) => i.disabled), false);
    assert.equal(await hint('XCORVANE_GRADIENT'), null);
    await page.select('.param[data-symbol="XCORVANE_OUTPUT"] select', '0');
    await settled();
    assert.equal(await page.$eval(gradient, (r) => r.dataset.enabled), 'false');
  });

  test("flipping a light's sign changes the preview as the shader's arithmetic says", async () => {
    const scene = JSON.parse(fs.readFileSync(path.join(folder, 'wall.json'), 'utf8'));
    const flags = {A: 3, B: 1};
    assert.equal(await centreGrey(), expectedGrey(scene, flags));
    // The value under the pointer is read off the preview.
    const box = await (await page.$('#preview')).boundingBox();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    assert.match(await page.$eval('#pointer-value', (s) => s.textContent),
      new RegExp(`^Under the pointer: \\d+ % grey \\(${expectedGrey(scene, flags)}\\)$`));
    await page.mouse.move(0, 0);
    const sign = (light) => `.inex li[data-object="${light}"] .flag[data-bit="1"]`;
    await page.click(sign('B'));
    await settled();
    flags.B = 3;
    assert.equal(await centreGrey(), expectedGrey(scene, flags));
    await page.click(sign('A'));
    await settled();
    flags.A = 1;
    assert.equal(await centreGrey(), expectedGrey(scene, flags));
    await page.click(sign('A'));
    await settled();
    flags.A = 3;
    assert.equal(await centreGrey(), expectedGrey(scene, flags));
  });

  test('bad input answers 4xx with a message that the page shows, and changes nothing', async () => {
    const before = await page.evaluate(() => fetch('/api/scene').then((r) => r.text()));
    // Out of range from the page: an intensity below 0 %, named by its label and light.
    const intensity = 'fieldset.light[data-node="A"] .node-param[data-key="brightness"] input';
    await page.$eval(intensity, (i) => { i.value = '-50'; i.dispatchEvent(new Event('change')); });
    let shown = await messageShown();
    assert.ok(shown.error);
    assert.match(shown.text, /^Intensity of A\b/);
    assert.doesNotMatch(shown.text, /brightness/);
    await page.waitForFunction((s) => document.querySelector(s).value === '100', {}, intensity);
    // Requests a page would not send.
    const answers = await page.evaluate(async () => {
      const post = (url, body, type = 'application/json') =>
        fetch(url, {method: 'POST', headers: {'Content-Type': type}, body}).then(async (r) => ({status: r.status, ...(await r.json())}));
      return [
        await post('/api/param', '{"shader": "Mask", "param"'),
        await post('/api/param', JSON.stringify({shader: 'Mask', param: 'XCORVANE_MIXMODE', value: 'add'})),
        await post('/api/lights', JSON.stringify({shader: 'Mask', action: 'add', light: 'Sun'})),
        await post('/api/param', 'x'.repeat(200000)),
        await post('/api/save', JSON.stringify({path: '/tmp/elsewhere.json'})),
      ];
    });
    for (const a of answers) {
      assert.ok(a.status >= 400 && a.status < 500, JSON.stringify(a));
      assert.ok(a.error.length > 0);
    }
    // Saving outside the served folder from the page.
    await page.$eval('#save-path', (i) => { i.value = '../escaped.json'; });
    await page.click('#save');
    await page.waitForFunction(() => /outside the served folder/.test(document.getElementById('message').textContent));
    assert.ok(!fs.existsSync(path.join(folder, '..', 'escaped.json')));
    // The server still answers, with the scene as it was.
    assert.equal(await page.evaluate(() => fetch('/api/scene').then((r) => r.text())), before);
  });

  test('save, then render from the command line: the same pixels', async () => {
    await page.click('.param[data-symbol="XCORVANE_INVERT"] input[type=checkbox]');
    await settled();
    await page.$eval('#save-path', (i) => { i.value = 'saved.json'; });
    await page.click('#save');
    await page.waitForFunction(() => document.getElementById('message').textContent === 'Saved saved.json');
    const rendered = path.join(folder, 'saved.png');
    execFileSync(host, ['render', path.join(folder, 'saved.json'), '-o', rendered, '--plugins', plugins], {stdio: 'pipe'});
    const file = fs.readFileSync(rendered);
    const shown = await pixelsOf('#preview');
    const fromCli = await pixelsOf(`data:image/png;base64,${file.toString('base64')}`);
    assert.equal(shown.width, fromCli.width);
    assert.equal(shown.height, fromCli.height);
    assert.deepEqual(shown.rgba, fromCli.rgba);
    const previewBytes = await page.evaluate(() => fetch('/api/preview.png').then((r) => r.arrayBuffer()).then((b) => Array.from(new Uint8Array(b))));
    assert.deepEqual(Buffer.from(previewBytes), file);
  });

  test('a light row says in words what its switches do, and the help line what the shader does', async () => {
    const described = await page.evaluate(() => fetch('/api/describe').then((r) => r.json()));
    const notes = described.plugins.find((p) => p.description).notes;
    assert.equal(await page.$eval('#plugin-help', (p) => (p.hidden ? '' : p.textContent)), notes.help);
    const rows = await page.$$eval('.inex li', (ls) => ls.map((li) => ({
      object: li.dataset.object,
      words: [...li.querySelectorAll('.word')].map((w) => w.textContent),
      names: [...li.querySelectorAll('[data-bit]')].map((c) => c.getAttribute('aria-label')),
      remove: li.querySelector('.remove').textContent,
    })));
    assert.deepEqual(rows, [
      {object: 'A', words: ['Active', 'Add'], names: ['A: Active', 'A: Add'], remove: 'Remove'},
      {object: 'B', words: ['Active', 'Add'], names: ['B: Active', 'B: Add'], remove: 'Remove'},
    ]);
    // The sign switch of B says Subtract once B subtracts again.
    await page.click('.inex li[data-object="B"] .flag[data-bit="1"]');
    await settled();
    assert.equal(await page.$eval('.inex li[data-object="B"] .flag[data-bit="1"]', (b) => b.getAttribute('aria-label')), 'B: Subtract');
    // The remove button keeps its distance from the sign switch beside it.
    const gap = await page.$eval('.inex li[data-object="B"]', (li) =>
      li.querySelector('.remove').getBoundingClientRect().left - li.querySelector('.flag[data-bit="1"]').getBoundingClientRect().right);
    assert.ok(gap >= 12, `the remove button is ${gap} px from the switch`);
  });

  test('removing a light offers the lights to add again, and Undo puts it back as it was', async () => {
    const choice = () => page.$eval('.add-choice', (s) => ({disabled: s.disabled, options: [...s.options].map((o) => o.textContent)}));
    const hint = () => page.$eval('.param[data-symbol="XCORVANE_LIGHTS"]', (r) => r.querySelector('.hint')?.textContent ?? null);
    assert.deepEqual(await choice(), {disabled: true, options: ['Every light of the scene is in the list.']});
    assert.equal(await hint(), 'Every light of the scene is in the list.');
    const before = await centreGrey();
    const lights = () => page.evaluate(() => fetch('/api/scene').then((r) => r.json()).then((s) => s.editable[0].parameters.XCORVANE_LIGHTS));
    const listed = await lights();

    await page.click('.inex li[data-object="A"] .remove');
    await settled();
    assert.deepEqual(await page.$$eval('.inex li', (ls) => ls.map((l) => l.dataset.object)), ['B']);
    assert.deepEqual(await choice(), {disabled: false, options: ['A']});
    assert.equal(await hint(), null);
    assert.equal(await page.$eval('.param[data-symbol="XCORVANE_LIGHTS"] .add', (b) => b.textContent), 'Add light');
    const shown = await messageShown();
    assert.equal(shown.text, 'Removed A from Lights. Undo');
    await page.click('#message .message-action');
    await settled();
    assert.deepEqual(await lights(), listed, 'the entry is back in its place with its flags');
    assert.equal(await centreGrey(), before);
    assert.equal(await page.$eval('#message', (m) => m.hidden), true);
  });

  test('the page shows the scene as last saved beside the edit', async () => {
    await page.select('#load-path', 'wall.json');
    await page.click('#load');
    await page.waitForFunction(() => document.getElementById('message').textContent === 'Loaded wall.json');
    await settled();
    await page.click('#compare');
    await settled();
    assert.equal(await page.$eval('#compare', (b) => b.getAttribute('aria-pressed')), 'true');
    assert.equal(await page.$eval('#saved-figure', (f) => f.hidden), false);
    assert.equal(await page.$eval('#change-state', (s) => s.textContent), 'No changes since wall.json was saved or opened');
    const fromFile = path.join(folder, 'wall.png');
    execFileSync(host, ['render', path.join(folder, 'wall.json'), '-o', fromFile, '--plugins', plugins], {stdio: 'pipe'});
    const file = await pixelsOf(`data:image/png;base64,${fs.readFileSync(fromFile).toString('base64')}`);
    assert.deepEqual(await pixelsOf('#saved-preview'), file);
    assert.deepEqual(await pixelsOf('#preview'), file);

    // An edit changes the current image only, until it is saved.
    await page.click('.param[data-symbol="XCORVANE_INVERT"] input[type=checkbox]');
    await settled();
    await page.waitForFunction(() => document.getElementById('change-state').textContent === 'Unsaved changes');
    assert.match(await page.$eval('#scene-file', (s) => s.textContent), /wall\.json \(unsaved changes\)/);
    assert.deepEqual(await pixelsOf('#saved-preview'), file);
    assert.notDeepEqual(await pixelsOf('#preview'), file);
    // The pointer readout reads the image under the pointer, also after the other one.
    const readAt = async (selector) => {
      const box = await (await page.$(selector)).boundingBox();
      await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
      return page.$eval('#pointer-value', (s) => s.textContent);
    };
    const current = await readAt('#preview');
    assert.notEqual(await readAt('#saved-preview'), current);
    assert.equal(await readAt('#preview'), current);
    await page.mouse.move(0, 0);
    // Saving over another scene file asks first; not answering leaves the file as it was.
    const offBefore = fs.readFileSync(path.join(folder, 'off.json'));
    await page.$eval('#save-path', (i) => { i.value = 'off.json'; });
    await page.click('#save');
    assert.equal((await messageShown()).text, 'off.json exists already. Replace off.json');
    assert.deepEqual(fs.readFileSync(path.join(folder, 'off.json')), offBefore);
    const generation = await page.$eval('#saved-preview', (i) => Number(i.dataset.generation));
    await page.$eval('#save-path', (i) => { i.value = 'compared.json'; });
    await page.click('#save');
    await page.waitForFunction((g) => Number(document.getElementById('saved-preview').dataset.generation) > g &&
      document.getElementById('preview').dataset.state === 'final', {timeout: 30000}, generation);
    await page.waitForFunction(() => document.getElementById('change-state').textContent ===
      'No changes since compared.json was saved or opened');
    assert.equal(await page.$eval('#scene-file', (s) => s.textContent), 'compared.json');
    assert.deepEqual(await pixelsOf('#saved-preview'), await pixelsOf('#preview'));
    // Answering the question replaces the file.
    await page.$eval('#save-path', (i) => { i.value = 'saved.json'; });
    await page.click('#save');
    await messageShown();
    await page.click('#message .message-action');
    await page.waitForFunction(() => document.getElementById('message').textContent === 'Saved saved.json');
    assert.deepEqual(fs.readFileSync(path.join(folder, 'saved.json')), fs.readFileSync(path.join(folder, 'compared.json')));
    await page.click('#compare');
    assert.equal(await page.$eval('#saved-figure', (f) => f.hidden), true);
  });

  test('every control is reached with Tab, named for a screen reader, and works from the keyboard', async () => {
    // Marks each enabled, visible control, then walks the page with Tab.
    const count = await page.evaluate(() => {
      const all = [...document.querySelectorAll('button, input, select')]
        .filter((c) => !c.disabled && c.getClientRects().length > 0);
      all.forEach((c, i) => { c.dataset.tabMark = String(i); });
      return all.length;
    });
    assert.ok(count > 15, `${count} controls`);
    await page.evaluate(() => document.activeElement?.blur());
    const reached = new Set();
    for (let i = 0; i < count + 5; ++i) {
      await page.keyboard.press('Tab');
      const mark = await page.evaluate(() => document.activeElement?.dataset.tabMark);
      if (mark !== undefined) reached.add(mark);
    }
    assert.equal(reached.size, count, 'every control takes the focus');

    // Every control has a name, from its label or its own words.
    const snapshot = await page.accessibility.snapshot({interestingOnly: true});
    const roles = new Set(['button', 'checkbox', 'combobox', 'spinbutton', 'textbox', 'ColorWell', 'menulistpopup']);
    const unnamed = [];
    const names = new Map();
    (function walk(node) {
      if (roles.has(node.role)) {
        if (!node.name || !node.name.trim()) unnamed.push(node.role);
        names.set(node.name, node.role);
      }
      for (const child of node.children ?? []) walk(child);
    })(snapshot);
    assert.deepEqual(unnamed, []);
    for (const label of ['Invert', 'Output', 'Mix Mode', 'Shader', 'A: Active', 'B: Subtract', 'Knot 1 position', 'Knot 1 at 0 %',
      'Intensity', 'Orbit left', 'Zoom in', 'Reset view', 'A at X 0, Z 0'])
      assert.ok(names.has(label), `a control named "${label}"`);

    // Space on the sign switch of B, with the focus kept on it after the panel is redrawn.
    const scene = JSON.parse(fs.readFileSync(path.join(folder, 'wall.json'), 'utf8'));
    await page.focus('.inex li[data-object="B"] .flag[data-bit="1"]');
    await page.keyboard.press('Space');
    await settled();
    assert.equal(await page.evaluate(() => document.activeElement.getAttribute('aria-label')), 'B: Add');
    // compared.json has Invert on: the grey is the inverted sum.
    assert.equal(await centreGrey(), 255 - expectedGrey(scene, {A: 3, B: 3}));
    await page.keyboard.press('Enter');
    await settled();
    assert.equal(await page.evaluate(() => document.activeElement.getAttribute('aria-label')), 'B: Subtract');
    // Arrow keys choose in a focused choice.
    await page.focus('.param[data-symbol="XCORVANE_OUTPUT"] select');
    await page.keyboard.press('ArrowDown');
    await settled();
    assert.equal(await page.$eval('.param[data-symbol="XCORVANE_GRADIENT"]', (r) => r.dataset.enabled), 'true');
    await page.keyboard.press('ArrowUp');
    await settled();
    assert.equal(await page.$eval('.param[data-symbol="XCORVANE_GRADIENT"]', (r) => r.dataset.enabled), 'false');
  });

  test('a light switched off in the scene is drawn as off, with the reason', async () => {
    await page.select('#load-path', 'off.json');
    await page.click('#load');
    await page.waitForFunction(() => document.getElementById('message').textContent === 'Loaded off.json');
    await settled();
    const rows = await page.$$eval('.inex li', (ls) => ls.map((li) => ({
      object: li.dataset.object, off: li.classList.contains('scene-off'), title: li.title,
      badge: li.querySelector('.badge')?.textContent ?? null})));
    assert.deepEqual(rows.map((r) => [r.object, r.off, r.badge]), [['A', false, null], ['B', true, 'off in scene']]);
    assert.match(rows[1].title, /^B: switched off in the scene/);
    // B subtracts in the list, but being off it takes nothing away.
    const scene = JSON.parse(fs.readFileSync(path.join(folder, 'off.json'), 'utf8'));
    assert.equal(await centreGrey(), expectedGrey(scene, {A: 3}));
  });

  test("a knot's interpolation is chosen per knot: Step holds its colour up to the next knot", async () => {
    // The wall's value is 0.5 (A alone): halfway along the default red-to-blue gradient.
    const centre = async () => {
      const {width, height, rgba} = await pixelsOf('#preview');
      const i = ((height >> 1) * width + (width >> 1)) * 4;
      return rgba.slice(i, i + 3);
    };
    await page.select('.param[data-symbol="XCORVANE_OUTPUT"] select', '1');
    await settled();
    const first = '.param[data-symbol="XCORVANE_GRADIENT"] tr.knot:first-child select';
    assert.equal(await page.$eval(first, (s) => s.selectedOptions[0].textContent), 'Smooth');
    assert.deepEqual(await centre(), [128, 0, 128]);
    // The bar over the knots shows the same: most of the way blue when smooth, red when stepped.
    const barAt90 = async () => {
      const shot = await (await page.$('.param[data-symbol="XCORVANE_GRADIENT"] .gradient-bar')).screenshot({encoding: 'base64'});
      const {width, height, rgba} = await pixelsOf(`data:image/png;base64,${shot}`);
      const i = ((height >> 1) * width + Math.round(width * 0.9)) * 4;
      return rgba.slice(i, i + 3);
    };
    assert.ok((await barAt90())[2] > 200);
    await page.select(first, '5');
    await settled();
    assert.deepEqual(await centre(), [255, 0, 0]);
    assert.deepEqual(await barAt90(), [255, 0, 0]);
    const knots = () => page.evaluate(() => fetch('/api/scene').then((r) => r.json())
      .then((s) => s.editable[0].parameters.XCORVANE_GRADIENT.knots.map((k) => [k.position, k.interpolation])));
    assert.deepEqual(await knots(), [[0, 5], [1, 2]]);

    // A new knot goes halfway, stepped like the knot before it, and keeps the focus while
    // it is moved past another knot and the rows are sorted anew.
    await page.click('.param[data-symbol="XCORVANE_GRADIENT"] .gradient > button');
    await settled();
    assert.deepEqual(await knots(), [[0, 5], [0.5, 5], [1, 2]]);
    assert.equal(await page.evaluate(() => document.activeElement.dataset.key), 'knot-position@0.5');
    await page.keyboard.down('Control');
    await page.keyboard.press('a');
    await page.keyboard.up('Control');
    await page.keyboard.type('0.8');
    await page.keyboard.press('Tab');
    await settled();
    assert.deepEqual(await knots(), [[0, 5], [0.8, 5], [1, 2]]);
    assert.equal(await page.evaluate(() => document.activeElement.dataset.key), 'knot-position@0.8');
  });

  test('in a narrow window the preview keeps its proportions', async () => {
    await page.setViewport({width: 620, height: 720});
    try {
      const {shown, natural} = await page.$eval('#preview', (i) => ({
        shown: i.getBoundingClientRect().width / i.getBoundingClientRect().height,
        natural: i.naturalWidth / i.naturalHeight}));
      assert.ok(Math.abs(shown - natural) < 0.05, `shown ${shown}, natural ${natural}`);
    } finally {
      await page.setViewport({width: 1100, height: 720});
    }
  });
});

// The scene's own nodes edited from the page: lights (settings and the top view), the linked
// colour shader, the camera's view, the gradient's knots on their bar, and the history. A
// floor and a ball under three lights of each type, through the gradient, small enough that
// a full preview takes a few milliseconds.
describe('look-development page: lights, view, sub-shader, knots and history', () => {
  const lit = {
    version: 1,
    camera: {position: [0, 400, -400], target: [0, 0, 0], fov: 50, resolution: [48, 32]},
    render: {background: [0.1, 0.1, 0.1], samples: 2},
    objects: [
      {name: 'Floor', type: 'plane', direction: [0, 1, 0], up: [0, 0, 1], width: 800, depth: 800, material: 'M'},
      {name: 'Ball', type: 'sphere', position: [100, 60, 50], radius: 60, material: 'M'}],
    lights: [
      {name: 'Key', type: 'omni', position: [-150, 200, -100], color: [1, 0.8, 0.6], falloff: 'linear', radius: 600},
      {name: 'Spot', type: 'spot', position: [200, 300, 0], direction: [-0.5, -1, 0], angle: 60, innerAngle: 20},
      {name: 'Sun', type: 'distant', direction: [0, -1, 0], color: [0.2, 0.2, 0.2], brightness: 0.5}],
    materials: [{name: 'M', shader: 'Mask'}],
    shaders: [
      {name: 'Mask', plugin: 'Corvane', parameters: {
        XCORVANE_LIGHTS: [{object: 'Key', flags: 3}, {object: 'Spot', flags: 3}, {object: 'Sun', flags: 1}],
        XCORVANE_SHADER: 'Tint', XCORVANE_OUTPUT: 1,
        XCORVANE_GRADIENT: {knots: [{color: [0, 0, 0.5], position: 0}, {color: [1, 0.5, 0], position: 0.5},
          {color: [1, 1, 1], position: 1}]}}},
      {name: 'Tint', plugin: 'color', color: [1, 1, 1], brightness: 1}],
  };
  const light = (name) => `fieldset.light[data-node="${name}"]`;
  const field = (node, key) => `fieldset[data-node="${node}"] .node-param[data-key="${key}"]`;
  const sceneNow = () => page.evaluate(() => fetch('/api/scene').then((r) => r.json()));
  const lightNow = async (name) => (await sceneNow()).lightNodes.find((l) => l.name === name);
  const knotsNow = async () => (await sceneNow()).editable[0].parameters.XCORVANE_GRADIENT.knots;
  const typeInto = async (selector, text) => {
    await page.$eval(selector, (i, t) => { i.value = t; i.dispatchEvent(new Event('change')); }, text);
    await settled();
  };
  const openFile = async (name) => {
    await listed(name);
    await page.select('#load-path', name);
    await page.click('#load');
    await page.waitForFunction((n) => document.getElementById('message').textContent === `Loaded ${n}`, {}, name);
    await settled();
  };
  const listed = (name) => page.waitForFunction((n) => [...document.querySelectorAll('#load-path option')].some((o) => o.value === n), {}, name);
  const ctrl = async (key, shift = false) => {
    await page.evaluate(() => document.activeElement?.blur());
    await page.keyboard.down('Control');
    if (shift) await page.keyboard.down('Shift');
    await page.keyboard.press(key);
    if (shift) await page.keyboard.up('Shift');
    await page.keyboard.up('Control');
    await settled();
  };
  // The mouse reaches only what is in the window: the element is scrolled into it first.
  const centreOf = async (selector) => {
    await page.$eval(selector, (e) => e.scrollIntoView({block: 'center'}));
    const box = await (await page.$(selector)).boundingBox();
    return {x: box.x + box.width / 2, y: box.y + box.height / 2, box};
  };
  const drag = async (selector, dx, dy, to) => {
    const {x, y} = await centreOf(selector);
    await page.mouse.move(x, y);
    await page.mouse.down();
    await page.mouse.move(to ? to.x : x + dx, to ? to.y : y + dy, {steps: 6});
    await page.mouse.up();
    await settled();
  };
  const near = (a, b, eps, what) => assert.ok(Math.abs(a - b) <= eps, `${what}: ${a} is not near ${b}`);
  // Equal up to the last bits of numbers (angles go through radians when saved and loaded).
  const sameValues = (a, b, where) => {
    if (typeof a === 'number' && typeof b === 'number') return near(a, b, 1e-9 * Math.max(1, Math.abs(b)), where);
    if (a && b && typeof a === 'object') {
      assert.deepEqual(Object.keys(a), Object.keys(b), where);
      for (const k of Object.keys(a)) sameValues(a[k], b[k], `${where}.${k}`);
      return;
    }
    assert.equal(a, b, where);
  };

  before(async () => {
    await loadPuppeteer();
    folder = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-browser-lights-'));
    fs.writeFileSync(path.join(folder, 'lit.json'), JSON.stringify(lit));
    // The same scene without Key, for an edit of a light that is gone.
    const noKey = structuredClone(lit);
    noKey.lights = noKey.lights.filter((l) => l.name !== 'Key');
    noKey.shaders[0].parameters.XCORVANE_LIGHTS.shift();
    fs.writeFileSync(path.join(folder, 'nokey.json'), JSON.stringify(noKey));
    ({child: server, address} = await serve('lit.json', folder));
    await openPage();
    await settled();
  });

  after(closeAll);

  test('each light shows the settings of its type, in the units the user reads', async () => {
    const keys = (name) => page.$$eval(`${light(name)} .node-param`, (rs) => rs.map((r) => r.dataset.key));
    assert.deepEqual(await keys('Key'), ['enabled', 'type', 'color', 'brightness', 'falloff', 'radius', 'position']);
    assert.deepEqual(await keys('Spot'), ['enabled', 'type', 'color', 'brightness', 'falloff', 'radius', 'angle', 'innerAngle',
      'position', 'direction']);
    assert.deepEqual(await keys('Sun'), ['enabled', 'type', 'color', 'brightness', 'falloff', 'radius', 'position', 'direction']);
    const shown = (node, key) => page.$eval(field(node, key), (r) => ({label: r.querySelector('.label').textContent,
      value: r.querySelector('input, select').value, unit: r.querySelector('.unit')?.textContent ?? ''}));
    assert.deepEqual(await shown('Sun', 'brightness'), {label: 'Intensity', value: '50', unit: '% (0 % to 100000 %)'});
    assert.deepEqual(await shown('Spot', 'angle'), {label: 'Outer Angle', value: '60', unit: '° (0° to 180°)'});
    assert.deepEqual(await shown('Spot', 'innerAngle'), {label: 'Inner Angle', value: '20', unit: '° (0° to 180°)'});
    assert.equal((await shown('Key', 'falloff')).value, 'linear');
    // Samples are said in words wherever the page shows them.
    assert.match(await page.$eval('#preview-info', (f) => f.textContent), /, 2 samples per pixel,/);
    assert.doesNotMatch(await page.$eval('body', (b) => b.innerText), /\bspp\b/);
    // Every light has a handle on the top view, over the outlines of the floor and the ball.
    assert.deepEqual(await page.$$eval('#top-view .light-handle', (hs) => hs.map((h) => h.getAttribute('aria-label'))),
      ['Key at X -150, Z -100', 'Spot at X 200, Z 0', 'Sun at X 0, Z 0']);
    assert.equal(await page.$$eval('#top-view .outline', (os) => os.length), 2);
  });

  test('a light edit re-renders, and Undo / Redo (buttons and keys) step through it', async () => {
    const original = await pixelsOf('#preview');
    assert.equal(await page.$eval('#undo', (b) => b.disabled), true);
    await typeInto(`${field('Key', 'brightness')} input`, '250');
    assert.equal((await lightNow('Key')).brightness, 2.5);
    const brighter = await pixelsOf('#preview');
    assert.notDeepEqual(brighter, original);
    assert.equal(await page.$eval('#undo', (b) => b.title), 'Undo Intensity of Key');
    assert.equal(await page.$eval('#redo', (b) => b.disabled), true);
    await page.click('#undo');
    await settled();
    assert.equal((await lightNow('Key')).brightness, 1);
    assert.equal(await page.$eval(`${field('Key', 'brightness')} input`, (i) => i.value), '100');
    assert.deepEqual(await pixelsOf('#preview'), original);
    assert.equal(await page.$eval('#redo', (b) => b.title), 'Redo Intensity of Key');
    await ctrl('z', true);
    assert.equal((await lightNow('Key')).brightness, 2.5);
    assert.deepEqual(await pixelsOf('#preview'), brighter);
    await ctrl('z');
    assert.equal((await lightNow('Key')).brightness, 1);
    await ctrl('y');
    assert.equal((await lightNow('Key')).brightness, 2.5);
    // In a text field Ctrl+Z is the field's own.
    await page.focus('#save-path');
    await page.keyboard.down('Control');
    await page.keyboard.press('z');
    await page.keyboard.up('Control');
    await settled();
    assert.equal((await lightNow('Key')).brightness, 2.5);
    await page.click('#undo');
    await settled();
    // A spot's type and cone, and a choice: the rows follow the type.
    await page.select(`${field('Sun', 'type')} select`, 'spot');
    await settled();
    assert.ok(await page.$(field('Sun', 'angle')));
    await page.click('#undo');
    await settled();
    assert.equal(await page.$(field('Sun', 'angle')), null);
  });

  test("a refused light value shows the server's message and changes nothing", async () => {
    const before = await sceneNow();
    await page.$eval(`${field('Key', 'radius')} input`, (i) => { i.value = '-5'; i.dispatchEvent(new Event('change')); });
    const shown = await messageShown();
    assert.ok(shown.error);
    assert.match(shown.text, /^Radius of Key\b/);
    await settled();
    assert.equal(await page.$eval(`${field('Key', 'radius')} input`, (i) => i.value), '600');
    assert.deepEqual(await sceneNow(), before);
    // Not a number at all: the page says so by the label, and sends nothing.
    await page.$eval(`${field('Key', 'position')} input`, (i) => { i.value = ''; i.dispatchEvent(new Event('change')); });
    await page.waitForFunction(() => /^Position of Key: enter three numbers/.test(document.getElementById('message').textContent));
    assert.deepEqual(await sceneNow(), before);
  });

  test('a light dragged on the top view, or moved with the arrow keys, moves in the scene', async () => {
    const handle = '#top-view .light-handle[data-light="Key"]';
    const before = await pixelsOf('#preview');
    const frame = await page.$eval('#top-view', (v) => v.getBoundingClientRect().width);
    const size = await page.evaluate(() => state.top.size);
    // While dragging, the view shows where the light goes; the scene changes on release.
    const {x, y} = await centreOf(handle);
    await page.mouse.move(x, y);
    await page.mouse.down();
    await page.mouse.move(x + 45, y, {steps: 6});
    assert.match(await page.$eval('#top-info', (f) => f.textContent), /^Key: X -?\d+(\.\d+)?, Z -?\d+(\.\d+)?$/);
    assert.deepEqual((await lightNow('Key')).position, [-150, 200, -100]);
    await page.mouse.up();
    await settled();
    const moved = await lightNow('Key');
    near(moved.position[0], -150 + 45 * size / frame, size / frame * 3, 'X after the drag');
    near(moved.position[2], -100, size / frame * 3, 'Z after the drag');
    assert.equal(moved.position[1], 200, 'the height is kept');
    assert.notDeepEqual(await pixelsOf('#preview'), before);
    // The arrow keys move the focused light one step; the focus stays on its handle.
    await page.focus(handle);
    await page.keyboard.press('ArrowUp');
    await settled();
    const step = await page.evaluate(() => niceStep(state.top.size / 40));
    const up = await lightNow('Key');
    near(up.position[2], moved.position[2] + step, 1e-6, 'Z after ArrowUp');
    assert.equal(up.position[0], moved.position[0]);
    assert.equal(await page.evaluate(() => document.activeElement.dataset.light), 'Key');
    await page.click('#undo');
    await settled();
    await page.click('#undo');
    await settled();
    assert.deepEqual((await lightNow('Key')).position, [-150, 200, -100]);
    assert.deepEqual(await pixelsOf('#preview'), before);
  });

  test('orbit, zoom and reset move the camera about the point it looks at', async () => {
    const start = (await sceneNow()).camera;
    const original = await pixelsOf('#preview');
    const dist = (c) => Math.hypot(...c.position);
    await page.click('button[aria-label="Orbit right"]');
    await settled();
    const orbited = (await sceneNow()).camera;
    assert.ok(orbited.position[0] > 1, 'Orbit right takes the camera round to its right (+X, as it looks along +Z)');
    near(dist(orbited), dist(start), 1e-6 * dist(start), 'the distance to the point looked at');
    assert.notDeepEqual(await pixelsOf('#preview'), original);
    await page.click('button[aria-label="Zoom in"]');
    await settled();
    near(dist((await sceneNow()).camera), dist(start) / 1.25, 1e-6 * dist(start), 'the distance after Zoom in');
    // Dragging on the preview orbits on release; the wheel zooms.
    // 0.4° a pixel: the scene follows the pointer, so dragging right and down takes the
    // camera round to its left and up.
    const angles = (c) => [Math.atan2(c.position[0], c.position[2]), Math.asin(c.position[1] / dist(c))].map((r) => r * 180 / Math.PI);
    const before = angles((await sceneNow()).camera);
    await drag('#preview', 30, 10);
    const after = angles((await sceneNow()).camera);
    near(after[0] - before[0], 12, 0.5, 'the turn across');
    near(after[1] - before[1], 4, 0.5, 'the turn up');
    const {x, y} = await centreOf('#preview');
    await page.mouse.move(x, y);
    const wheeled = dist((await sceneNow()).camera);
    await page.mouse.wheel({deltaY: 100});
    await page.waitForFunction((d) => fetch('/api/scene').then((r) => r.json())
      .then((s) => Math.abs(Math.hypot(...s.camera.position) - d) > 1), {}, wheeled);
    await settled();
    assert.ok(dist((await sceneNow()).camera) > wheeled, 'turning the wheel down moves away');
    await page.click('#reset-view');
    await settled();
    const reset = (await sceneNow()).camera;
    for (let i = 0; i < 3; ++i) near(reset.position[i], start.position[i], 1e-6, 'the camera as loaded');
    assert.deepEqual(await pixelsOf('#preview'), original);
  });

  test("the linked colour shader's settings are edited beside the shader", async () => {
    assert.equal(await page.$eval('#subshaders legend', (l) => l.textContent), 'Sub-shader Tint (color)');
    const original = await pixelsOf('#preview');
    await typeInto(`${field('Tint', 'brightness')} input`, '50');
    assert.equal((await sceneNow()).subShaders.find((s) => s.name === 'Tint').values.brightness, 0.5);
    assert.notDeepEqual(await pixelsOf('#preview'), original);
    assert.equal(await page.$eval('#undo', (b) => b.title), 'Undo Brightness of Tint');
    await page.click('#undo');
    await settled();
    assert.deepEqual(await pixelsOf('#preview'), original);
  });

  test('gradient knots are dragged, added, moved and removed on the bar', async () => {
    const bar = '.param[data-symbol="XCORVANE_GRADIENT"] .gradient-bar';
    const knot = (n) => `${bar} .knot-handle[aria-label^="Knot ${n} at"]`;
    const labels = () => page.$$eval(`${bar} .knot-handle`, (hs) => hs.map((h) => h.getAttribute('aria-label')));
    assert.deepEqual(await labels(), ['Knot 1 at 0 %', 'Knot 2 at 50 %', 'Knot 3 at 100 %']);
    // Drag knot 2 to 70 %: sent on release.
    const {box} = await centreOf(bar);
    await drag(knot(2), 0, 0, {x: box.x + box.width * 0.7, y: box.y + box.height / 2});
    near((await knotsNow())[1].position, 0.7, 0.01, 'knot 2 after the drag');
    // A click on the bar's empty part adds a knot there, coloured between its neighbours.
    await page.mouse.click(box.x + box.width * 0.35, box.y + box.height / 2);
    await settled();
    let knots = await knotsNow();
    assert.equal(knots.length, 4);
    const added = knots.find((k) => Math.abs(k.position - 0.35) <= 0.01);
    assert.ok(added, JSON.stringify(knots));
    const next = knots.find((k) => k.position > 0.5);
    const t = added.position / next.position;
    [0, 0, 0.5].forEach((c, i) => near(added.color[i], c + (next.color[i] - c) * t, 0.02, `channel ${i}`));
    // The focus is on the new knot's handle, which the arrow keys move by 1 %, with Shift by 10 %.
    const focused = async () => {
      const [, n, at] = (await page.evaluate(() => document.activeElement.getAttribute('aria-label'))).match(/^Knot (\d+) at (.*) %$/);
      return {n: Number(n), at: Number(at), position: (await knotsNow())[n - 1].position};
    };
    let f = await focused();
    assert.equal(f.position, added.position);
    near(f.at, added.position * 100, 1e-9, 'the label');
    await page.keyboard.press('ArrowRight');
    await settled();
    f = await focused();
    near(f.position, added.position + 0.01, 1e-9, 'after ArrowRight');
    near(f.at, f.position * 100, 1e-9, 'the label after ArrowRight');
    await page.keyboard.down('Shift');
    await page.keyboard.press('ArrowLeft');
    await page.keyboard.up('Shift');
    await settled();
    f = await focused();
    near(f.position, added.position - 0.09, 1e-9, 'after Shift+ArrowLeft');
    // Enter takes the focus to the knot's colour; Delete removes the knot.
    await page.focus(knot(f.n));
    await page.keyboard.press('Enter');
    assert.equal(await page.evaluate(() => document.activeElement.getAttribute('aria-label')), `Knot ${f.n} colour`);
    await page.focus(knot(f.n));
    await page.keyboard.press('Delete');
    await settled();
    assert.equal((await knotsNow()).length, 3);
    // Two knots on one place are both kept, in their order.
    await typeInto('.param[data-symbol="XCORVANE_GRADIENT"] tr.knot:nth-child(2) input[type=number]', '1');
    knots = await knotsNow();
    assert.deepEqual(knots.map((k) => k.position), [0, 1, 1]);
    assert.deepEqual(await labels(), ['Knot 1 at 0 %', 'Knot 2 at 100 %', 'Knot 3 at 100 %']);
    await page.select('.param[data-symbol="XCORVANE_GRADIENT"] tr.knot:first-child select', '3');
    await settled();
    assert.deepEqual((await knotsNow()).map((k) => k.color), knots.map((k) => k.color));
    // A colour typed as anything but #rrggbb is refused, naming the knot.
    const hexField = '.param[data-symbol="XCORVANE_GRADIENT"] tr.knot:first-child input.hex';
    await page.$eval(hexField, (i) => { i.value = 'orange-ish'; i.dispatchEvent(new Event('change')); });
    assert.equal((await messageShown()).text, 'Knot 1 colour: "orange-ish" is not a colour; write it as #rrggbb, for example #ff8000.');
    assert.deepEqual((await knotsNow()).map((k) => k.color), knots.map((k) => k.color));
    await typeInto(hexField, '#ff8000');
    assert.deepEqual((await knotsNow())[0].color, [1, 128 / 255, 0]);
    // Down to one knot, which stays.
    await page.focus(knot(3));
    await page.keyboard.press('Backspace');
    await settled();
    await page.focus(knot(2));
    await page.keyboard.press('Delete');
    await settled();
    assert.equal((await knotsNow()).length, 1);
    await page.focus(knot(1));
    await page.keyboard.press('Delete');
    assert.equal((await messageShown()).text, "Knot 1 is the gradient's only knot: a gradient keeps at least one.");
    assert.equal((await knotsNow()).length, 1);
  });

  test('an edit of a light that another page removed is refused, and the page shows the scene as it is', async () => {
    // Another client opens a scene without Key.
    const loaded = await page.evaluate(() => fetch('/api/load', {method: 'POST', headers: {'Content-Type': 'application/json'},
      body: JSON.stringify({path: 'nokey.json'})}).then((r) => r.status));
    assert.equal(loaded, 200);
    const before = await sceneNow();
    await page.$eval(`${field('Key', 'brightness')} input`, (i) => { i.value = '20'; i.dispatchEvent(new Event('change')); });
    const shown = await messageShown();
    assert.ok(shown.error);
    assert.match(shown.text, /Key/);
    await page.waitForFunction(() => !document.querySelector('fieldset.light[data-node="Key"]'));
    await settled();
    assert.deepEqual(await sceneNow(), before);
    assert.equal(await page.$eval('#scene-file', (s) => s.textContent), 'nokey.json');
  });

  test('edits of every kind saved from the page load back as shown, and render to the same pixels', async () => {
    await openFile('lit.json');
    await typeInto(`${field('Spot', 'brightness')} input`, '140');
    await typeInto(`${field('Spot', 'color')} input`, '#80c0ff');
    await drag('#top-view .light-handle[data-light="Key"]', -30, 20);
    await typeInto(`${field('Tint', 'color')} input`, '#ffe0c0');
    await page.click('button[aria-label="Orbit left"]');
    await settled();
    await page.click('button[aria-label="Zoom out"]');
    await settled();
    await page.focus('.param[data-symbol="XCORVANE_GRADIENT"] .knot-handle[aria-label^="Knot 2 at"]');
    await page.keyboard.press('ArrowLeft');
    await settled();
    // One edit taken back, so the saved file holds what Undo left.
    await typeInto(`${field('Sun', 'brightness')} input`, '90');
    await page.click('#undo');
    await settled();
    const edited = await sceneNow();
    await page.$eval('#save-path', (i) => { i.value = 'edited.json'; });
    await page.click('#save');
    await page.waitForFunction(() => document.getElementById('message').textContent === 'Saved edited.json');
    assert.equal(await page.$eval('#undo', (b) => b.disabled), false, 'saving keeps the history');
    // Spare Value has no control, but the shader keeps it and the file has it.
    const savedFile = JSON.parse(fs.readFileSync(path.join(folder, 'edited.json'), 'utf8'));
    assert.equal(savedFile.shaders.find((x) => x.name === 'Mask').parameters.XCORVANE_SPARE_VALUE, 1);
    const rendered = path.join(folder, 'edited.png');
    execFileSync(host, ['render', path.join(folder, 'edited.json'), '-o', rendered, '--plugins', plugins], {stdio: 'pipe'});
    const fromCli = await pixelsOf(`data:image/png;base64,${fs.readFileSync(rendered).toString('base64')}`);
    const shownBefore = await pixelsOf('#preview');
    assert.deepEqual(shownBefore, fromCli);

    // Another file, then the saved one: the controls show the saved values, and the same image.
    await openFile('nokey.json');
    assert.equal(await page.$eval('#undo', (b) => b.disabled), true, 'opening a file clears the history');
    await openFile('edited.json');
    const reloaded = await sceneNow();
    for (const key of ['lightNodes', 'subShaders', 'camera']) sameValues(reloaded[key], edited[key], key);
    sameValues(reloaded.editable[0].parameters, edited.editable[0].parameters, 'parameters');
    assert.equal(await page.$eval(`${field('Spot', 'brightness')} input`, (i) => i.value), '140');
    assert.equal(await page.$eval(`${field('Spot', 'color')} input`, (i) => i.value), '#80c0ff');
    assert.equal(await page.$eval(`${field('Sun', 'brightness')} input`, (i) => i.value), '50');
    assert.equal(await page.$eval(`${field('Tint', 'color')} input`, (i) => i.value), '#ffe0c0');
    assert.equal(await page.$eval('.param[data-symbol="XCORVANE_GRADIENT"] .knot-handle:nth-child(2)', (h) => h.getAttribute('aria-label')),
      'Knot 2 at 49 %');
    const key = reloaded.lightNodes.find((l) => l.name === 'Key');
    assert.equal(await page.$eval('#top-view .light-handle[data-light="Key"]', (h) => h.getAttribute('aria-label')),
      `Key at X ${key.position[0]}, Z ${key.position[2]}`);
    assert.deepEqual(await pixelsOf('#preview'), fromCli);
  });
});

// A plug-in that crashes in every Output beside Corvane: the preview fails with the host's
// line naming the module, the page shows it, and the edits made on the page are kept.
describe('look-development page beside a crashing plug-in', () => {
  const scene = {
    camera: {position: [0, 0, 0], direction: [0, 0, 1], fov: 40, resolution: [8, 6]},
    objects: [
      {name: 'Left', type: 'plane', position: [-20, 0, 10], direction: [0, 0, -1], width: 40, depth: 40, material: 'Good'},
      {name: 'Right', type: 'plane', position: [20, 0, 10], direction: [0, 0, -1], width: 40, depth: 40, material: 'Bad'}],
    materials: [{name: 'Good', shader: 'Mask'}, {name: 'Bad', shader: 'H'}],
    shaders: [{name: 'Mask', plugin: 'Corvane'}, {name: 'H', plugin: 1999001}],
  };
  let module;

  before(async () => {
    await loadPuppeteer();
    assert.ok(hostileModule && fs.existsSync(hostileModule), 'CORVANE_HOSTILE_MODULE must name the built test module');
    folder = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-browser-hostile-'));
    const pluginsFolder = path.join(folder, 'plugins');
    fs.mkdirSync(path.join(pluginsFolder, 'a-hostile'), {recursive: true});
    module = path.join(pluginsFolder, 'a-hostile', 'hostile.xso64');
    fs.copyFileSync(hostileModule, module);
    fs.cpSync(plugins, path.join(pluginsFolder, 'corvane'), {recursive: true});
    fs.writeFileSync(path.join(folder, 'scene.json'), JSON.stringify(scene));
    ({child: server, address} = await serve('scene.json', folder, pluginsFolder,
      {...process.env, CORVANE_HOSTILE: 'segv-output'}));
    await openPage();
  });

  after(closeAll);

  test('the preview fails with the line naming the module, and an edit made after it is kept', async () => {
    const preview = () => page.$eval('#preview', (i) => i.dataset.state);
    await page.waitForFunction(() => document.getElementById('preview').dataset.state === 'failed', {timeout: 30000});
    let shown = await messageShown();
    assert.ok(shown.error);
    assert.ok(shown.text.includes(`module ${module}, plug-in 1999001, Output: crashed (signal 11`), shown.text);
    assert.match(shown.text, /the scene and its edits are kept/);
    // The server goes on: the panel still edits Corvane, and the scene holds the edit.
    await page.click('.param[data-symbol="XCORVANE_INVERT"] input[type=checkbox]');
    await page.waitForFunction(() => document.body.dataset.busy === '0', {timeout: 30000});
    assert.equal(await preview(), 'failed', 'every preview meets the crashing shader again');
    const saved = await page.evaluate(() => fetch('/api/scene').then((r) => r.json()));
    assert.match(JSON.stringify(saved), /"XCORVANE_INVERT":true/);
    // The new worker still compares with the scene as loaded, not with the restored edit.
    assert.equal(saved.changed, true);
    shown = await messageShown();
    assert.match(shown.text, /crashed \(signal 11/);
  });
});
