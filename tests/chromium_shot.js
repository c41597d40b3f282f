// A screenshot of a page by headless Chromium, taken once the page says it is ready
// (window.shotReady) rather than after a fixed budget of time: a video's seek and the drawing of
// its cues finish when they finish, and a picture taken before shows nothing.
//   node chromium_shot.js PAGE.html OUT.png
// Chromium is driven through its DevTools protocol on a pipe: commands on its fd 3, answers on
// its fd 4, each message JSON ended by a NUL byte.
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const path = require('path');

const [page, out] = process.argv.slice(2);
const browser = spawn('chromium', ['--headless', '--no-sandbox', '--disable-gpu', '--remote-debugging-pipe',
  '--allow-file-access-from-files', '--hide-scrollbars', 'about:blank'],
  { stdio: ['ignore', 'ignore', 'ignore', 'pipe', 'pipe'] });
const fail = (why) => { console.error(`chromium_shot: ${why}`); browser.kill('SIGKILL'); process.exit(1); };
setTimeout(() => fail('the page was not ready within 40 s'), 40000);
browser.on('exit', (code) => fail(`chromium ended early (${code})`));

let next = 1, pending = new Map(), buffer = '';
browser.stdio[4].setEncoding('utf8');  // a character split between two reads stays whole
browser.stdio[4].on('data', (chunk) => {
  buffer += chunk;
  let end;
  while ((end = buffer.indexOf('\0')) >= 0) {
    const message = JSON.parse(buffer.slice(0, end));
    buffer = buffer.slice(end + 1);
    const waiter = pending.get(message.id);
    if (!waiter) continue;
    pending.delete(message.id);
    message.error ? fail(`${waiter.method}: ${message.error.message}`) : waiter.resolve(message.result);
  }
});
function send(method, params = {}, sessionId) {
  const id = next++;
  browser.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + '\0');
  return new Promise((resolve) => pending.set(id, { method, resolve }));
}

(async () => {
  const { targetId } = await send('Target.createTarget', { url: 'about:blank' });
  const { sessionId } = await send('Target.attachToTarget', { targetId, flatten: true });
  // The window's size includes the browser's frame: the page gets exactly 640x360.
  await send('Emulation.setDeviceMetricsOverride', { width: 640, height: 360, deviceScaleFactor: 1, mobile: false },
    sessionId);
  await send('Page.navigate', { url: 'file://' + path.resolve(page) }, sessionId);
  for (;;) {
    const { result } = await send('Runtime.evaluate', { expression: 'window.shotReady === true' }, sessionId);
    if (result.value) break;
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
  const { data } = await send('Page.captureScreenshot', { format: 'png' }, sessionId);
  fs.writeFileSync(out, Buffer.from(data, 'base64'));
  browser.removeAllListeners('exit');
  browser.on('exit', () => process.exit(0));
  send('Browser.close');
})();
