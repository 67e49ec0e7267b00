// Takes the page's screenshots for docs/: examples/default.json as served (the whole page,
// down to the lights and the top view), the lights section alone, the scene with its output
// switched to grey (the gradient greyed out), and with Invert switched on beside the scene
// as saved. Run from the repository:
//   node tests/browser/screenshots.mjs build/release/host/cli/corvane-host build/release/corvane
import {spawn} from 'node:child_process';
import path from 'node:path';
import {fileURLToPath} from 'node:url';
import puppeteer from 'puppeteer-core';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const [host, plugins] = process.argv.slice(2);
const server = spawn(path.resolve(host), ['serve', 'examples/default.json', '--port', '0', '--plugins', path.resolve(plugins)], {cwd: root});
const address = await new Promise((resolve) => {
  let out = '';
  server.stdout.on('data', (c) => { out += c; const m = out.match(/(http:\/\/127\.0\.0\.1:\d+\/)/); if (m) resolve(m[1]); });
});
const browser = await puppeteer.launch({executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true,
  args: ['--no-sandbox', '--disable-gpu']});
try {
  const page = await browser.newPage();
  await page.setViewport({width: 1180, height: 720});
  const settled = () => page.waitForFunction(() => document.body.dataset.busy === '0' &&
    document.getElementById('preview').dataset.state === 'final', {timeout: 60000});
  await page.goto(address);
  await settled();
  await page.screenshot({path: path.join(root, 'docs/lookdev.png'), fullPage: true});
  await (await page.$('#lights-section')).screenshot({path: path.join(root, 'docs/lookdev-lights.png')});
  await page.evaluate(() => window.scrollTo(0, 0)); // the element's picture scrolled to it
  await page.select('.param[data-symbol="XCORVANE_OUTPUT"] select', '0');
  await settled();
  await page.screenshot({path: path.join(root, 'docs/lookdev-grey.png')});
  await page.select('.param[data-symbol="XCORVANE_OUTPUT"] select', '1');
  await settled();
  await page.click('#compare');
  await settled();
  await page.click('.param[data-symbol="XCORVANE_INVERT"] input[type=checkbox]');
  await settled();
  await page.waitForFunction(() => document.getElementById('change-state').dataset.changed === 'true');
  await page.screenshot({path: path.join(root, 'docs/lookdev-compare.png')});
} finally {
  await browser.close();
  server.kill('SIGINT');
}
