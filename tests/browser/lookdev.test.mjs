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
    child.on('exit', (code) => reject(new Error(`corvane-host serve exited with ${code}: ${out}`)));
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

  after(async () => {
    await browser?.close();
    server?.kill('SIGINT');
    if (folder) fs.rmSync(folder, {recursive: true, force: true});
  });

  test('the panel lists every parameter with its label and the flag icons', async () => {
    const described = await page.evaluate(() => fetch('/api/describe').then((r) => r.json()));
    const plugin = described.plugins.find((p) => p.description);
    const params = plugin.description.elements.filter((e) => e.type !== 'GROUP' && e.type !== 'SEPARATOR');
    assert.ok(params.length >= 7);
    for (const e of params) {
      const label = await page.$eval(`.param[data-symbol="${e.symbol}"] .label`, (l) => l.textContent);
      assert.equal(label, e.label, e.symbol);
    }
    const labels = await page.$$eval('.param .label', (ls) => ls.map((l) => l.textContent));
    for (const text of ['Lights', 'Shader', 'Mix Mode', 'Spare Value', 'Invert', 'Output', 'Gradient'])
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
    assert.equal(await hint('XCORVANE_SPARE_VALUE'), 'Kept with the shader; it has no effect on the result.');
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
    // Out of range from the panel: 500 % where the description allows 0 to 100 %.
    const spare = '.param[data-symbol="XCORVANE_SPARE_VALUE"] input';
    await page.$eval(spare, (i) => { i.value = '500'; i.dispatchEvent(new Event('change')); });
    let shown = await messageShown();
    assert.ok(shown.error);
    assert.match(shown.text, /XCORVANE_SPARE_VALUE.*outside/);
    assert.equal(await page.$eval(spare, (i) => i.value), '100');
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
    for (const label of ['Invert', 'Output', 'Spare Value', 'Mix Mode', 'Shader', 'A: Active', 'B: Subtract', 'Knot 1 position'])
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

  after(async () => {
    await browser?.close();
    server?.kill('SIGINT');
    if (folder) fs.rmSync(folder, {recursive: true, force: true});
  });

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
