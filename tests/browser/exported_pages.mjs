// Exported report pages in headless Chromium: the page of `ostero-report export --format html`
// and the page unpacked from the MIME document. Clicking a "+" opens its table and turns the
// button into "-"; "Expand all" opens every group and changes its label; the page raises no
// script error of its own. The MIME document itself is checked by check_mhtml.py. A page saved
// under a file name made to add an attribute to the chart picture runs no script of that name
// and still shows its chart.
//
// usage: node exported_pages.mjs TOOL REPORT WORKDIR
import { execFileSync } from 'node:child_process';
import { mkdirSync, rmSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const [tool, report, work] = process.argv.slice(2);
const here = dirname(fileURLToPath(import.meta.url));
rmSync(work, { recursive: true, force: true });
mkdirSync(work, { recursive: true });
const page = join(work, 'report.htm');
const mht = join(work, 'report.mht');
const hostile = join(work, 'x" onerror="window.ran=1;alert(1);var a=x.htm');
execFileSync(tool, ['export', report, '--format', 'html', page, '--language', 'EN']);
execFileSync(tool, ['export', report, '--format', 'html', hostile, '--language', 'EN']);
execFileSync(tool, ['export', report, '--format', 'mht', mht]);
execFileSync('python3', [join(here, 'check_mhtml.py'), mht, join(work, 'unpacked')], { stdio: 'inherit' });

const failures = [];
function check(condition, what) {
  if (!condition) failures.push(what);
}

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox'],
});
try {
  for (const [name, file] of [['page', page], ['unpacked MIME page', join(work, 'unpacked', 'htm.htm')]]) {
    const tab = await browser.newPage();
    const errors = [];
    tab.on('pageerror', (error) => errors.push(error.message));
    // The maker's scripts are on the web; the page must work without them.
    await tab.route('**/*', (route) =>
      route.request().url().startsWith('file:') ? route.continue() : route.abort());
    await tab.goto(pathToFileURL(file).href);

    const tables = await tab.locator('table[id^="table_"]').count();
    check(tables > 3, `${name}: only ${tables} group tables`);
    check(await tab.locator('#table_0').isHidden(), `${name}: table_0 open at first`);
    await tab.click('#button_0');
    check(await tab.locator('#table_0').isVisible(), `${name}: + did not open table_0`);
    check((await tab.inputValue('#button_0')) === '-', `${name}: + did not turn into -`);
    await tab.click('#button_0');
    check(await tab.locator('#table_0').isHidden(), `${name}: - did not close table_0`);

    await tab.click('#Collapse_all_button');
    for (let i = 0; i < tables; ++i) {
      const shown = await tab.evaluate((n) => document.getElementById('table_' + n).style.display, i);
      check(shown === 'block', `${name}: Expand all left table_${i} ${shown}`);
    }
    check((await tab.inputValue('#Collapse_all_button')) === '-', `${name}: Expand all button`);
    check((await tab.textContent('#Expand_Btn_Text')).startsWith('Collaps all'),
      `${name}: Expand all label is "${await tab.textContent('#Expand_Btn_Text')}"`);
    await tab.click('#Collapse_all_button');
    check((await tab.textContent('#Expand_Btn_Text')).startsWith('Expand all'), `${name}: label back`);

    // Texts arrive as they were, whatever the page is taken for.
    const body = await tab.textContent('body');
    for (const text of ['71 °C & rising <fast>', '5 € “quoted” café', 'a=b; c==d']) {
      check(body.includes(text), `${name}: text "${text}" missing`);
    }
    if (name !== 'page') {
      // The unpacked page shows its own pictures.
      const sizes = await tab.evaluate(() =>
        Array.from(document.images).map((i) => [i.getAttribute('src'), i.naturalWidth, i.naturalHeight]));
      for (const [src, w, h] of sizes) {
        if (src === 'Header.gif') check(w === 341 && h === 40, `banner ${w}x${h}`);
        else if (src.endsWith('_16.gif')) check(w === 16 && h === 16, `${src} ${w}x${h}`);
      }
      check(sizes.length > 3, `${name}: only ${sizes.length} pictures`);
    }
    check(errors.length === 0, `${name}: script errors: ${errors.join('; ')}`);
    await tab.close();
  }
  {
    const tab = await browser.newPage();
    const dialogs = [];
    tab.on('dialog', async (dialog) => {
      dialogs.push(dialog.message());
      await dialog.dismiss();
    });
    await tab.route('**/*', (route) =>
      route.request().url().startsWith('file:') ? route.continue() : route.abort());
    await tab.goto(pathToFileURL(hostile).href);
    await tab.click('#Collapse_all_button');
    const chart = await tab.evaluate(() => {
      const image = Array.from(document.images).find((i) => i.alt === 'Sensorlog');
      return image ? [image.getAttributeNames().join(' '), image.complete && image.naturalWidth] : null;
    });
    check(chart !== null, 'hostile file name: no chart picture');
    if (chart) {
      check(chart[0] === 'style src alt', `hostile file name: chart picture has attributes ${chart[0]}`);
      check(chart[1] === 640, `hostile file name: chart picture did not load (${chart[1]})`);
    }
    check(dialogs.length === 0, `hostile file name: script ran: ${dialogs.join('; ')}`);
    check((await tab.evaluate(() => window.ran)) === undefined, 'hostile file name: script ran');
    await tab.close();
  }
  // The document itself opens in the browser and shows the report.
  const tab = await browser.newPage();
  await tab.goto(pathToFileURL(mht).href);
  check((await tab.content()).includes('Hardwaredevices'), 'the MIME document does not show the report');
  await tab.close();
} finally {
  await browser.close();
}
if (failures.length) {
  console.error(failures.join('\n'));
  process.exit(1);
}
console.log('exported pages work in Chromium');
