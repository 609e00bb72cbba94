// Drives Debian's chromium for the page's tests: one JSON request a line on
// standard input, one JSON answer a line on standard output.
//   {"open": URL, "language": "en-US"}   {"eval": EXPRESSION}
//   {"wait": EXPRESSION, "ms": N}         {"screenshot": PATH, "width": W, "height": H}
import puppeteer from 'puppeteer-core';
import readline from 'node:readline';

const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'],
});
const page = await browser.newPage();
const errors = [];
page.on('pageerror', (error) => errors.push(String(error)));

async function handle(request) {
  if (request.open) {
    await page.setExtraHTTPHeaders({ 'Accept-Language': request.language || 'zh-CN' });
    const response = await page.goto(request.open, { waitUntil: 'domcontentloaded' });
    return { status: response.status() };
  }
  if (request.eval) return { value: await page.evaluate(request.eval) };
  if (request.wait) {
    const started = Date.now();
    try {
      await page.waitForFunction(request.wait, { timeout: request.ms || 5000, polling: 20 });
      return { ok: true, ms: Date.now() - started };
    } catch {
      return { ok: false, ms: Date.now() - started };
    }
  }
  if (request.screenshot) {
    await page.setViewport({ width: request.width || 1000, height: request.height || 800 });
    await page.screenshot({ path: request.screenshot, fullPage: true });
    return {};
  }
  return { error: 'unknown request' };
}

const lines = readline.createInterface({ input: process.stdin });
for await (const line of lines) {
  let answer;
  try {
    answer = await handle(JSON.parse(line));
  } catch (error) {
    answer = { error: String(error) };
  }
  answer.pageErrors = errors.splice(0);
  process.stdout.write(JSON.stringify(answer) + '\n');
}
await browser.close();
