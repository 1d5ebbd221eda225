// The panel in headless Chromium: connect a simulated PA4520, switch it to Operate, see the
// wait's progress and the state, take screenshots, and time how long the page takes to show a
// state the amplifier has confirmed.
// node panel_browser_test.js URL TRANSCRIPT OUT_DIR MODULES_DIR TIME_SCALE
"use strict";
const fs = require("fs");
const path = require("path");
const [url, transcript, outDir, modules, timeScale] = process.argv.slice(2);
const { chromium } = require(path.resolve(modules, "playwright-core"));

// The first switch is watched and photographed; the ones after it are timed.
const kRuns = 11;
const kTimeout = 60000;

// Every line the simulator writes to its transcript, with the wall-clock time it was seen.
function watchTranscript(file) {
  const seen = [];
  let offset = 0;
  let rest = "";
  const timer = setInterval(() => {
    let fd;
    try { fd = fs.openSync(file, "r"); } catch (e) { return; }
    const buffer = Buffer.alloc(1 << 16);
    for (;;) {
      const n = fs.readSync(fd, buffer, 0, buffer.length, offset);
      if (n <= 0) break;
      offset += n;
      rest += buffer.toString("utf8", 0, n);
    }
    fs.closeSync(fd);
    const now = Date.now();
    let end;
    while ((end = rest.indexOf("\n")) >= 0) {
      const line = rest.slice(0, end);
      rest = rest.slice(end + 1);
      try { seen.push({ at: now, entry: JSON.parse(line) }); } catch (e) { /* partial line */ }
    }
  }, 1);
  return { seen, stop: () => clearInterval(timer) };
}

function check(condition, what) {
  if (!condition) throw new Error("failed: " + what);
  console.log("ok: " + what);
}

(async () => {
  const watcher = watchTranscript(transcript);
  const browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"],
  });
  try {
    const page = await browser.newPage({ viewport: { width: 1000, height: 720 } });
    page.on("pageerror", (e) => { throw new Error("page error: " + e.message); });
    await page.goto(url);
    const card = page.locator('article.device[data-device="AMP1"]');
    await card.waitFor({ timeout: kTimeout });
    check(await card.locator(".route").textContent() !== "", "the page lists AMP1 with its route");
    check(await page.locator("article.device").count() === 2, "the page lists every device");

    await card.locator('button[data-action="connect"]').click();
    await card.locator(".connected", { hasText: /^connected$/ }).waitFor({ timeout: kTimeout });
    check((await card.locator(".model").textContent()) === "PA4520", "connected to a PA4520");

    await card.locator(".in-band").fill("2");
    const shownAt = [];
    for (let run = 0; run < kRuns; ++run) {
      const operate = run % 2 === 0;
      const target = operate ? 3 : 0;
      const before = await page.evaluate(() => window.marlinEvents.length);
      await card.locator(`button[data-state="${target}"]`).click();
      if (run === 0) {
        await card.locator(".wait:not([hidden]) .wait-what").waitFor({ timeout: kTimeout });
        const what = await card.locator(".wait-what").textContent();
        const time = await card.locator(".wait-time").textContent();
        check(what.length > 0 && / of /.test(time), `the wait shows live: "${what}" ${time}`);
        await card.locator(".window:not([hidden])").waitFor({ timeout: kTimeout });
        check((await card.locator(".indicator-label").textContent()) === "OPERATE",
          "the PA4520's wait window shows OPERATE");
        check((await card.locator(".stop").textContent()) === "STOP", "with its STOP button");
        await page.screenshot({ path: path.join(outDir, "panel-switching.png") });
      }
      const name = operate ? "Operate (3)" : "Off (0)";
      await card.locator(".state", { hasText: name }).waitFor({ timeout: kTimeout });
      await card.locator(".busy", { hasText: "idle" }).waitFor({ timeout: kTimeout });
      if (run === 0) check(true, "the state turns Operate");
      const shown = await page.evaluate(([from, state]) => window.marlinEvents.slice(from).find(
        (e) => e.type === "device" && e.data.name === "AMP1" && e.data.state === state),
        [before, target]);
      if (run > 0) shownAt.push(shown.at);
    }
    await page.waitForTimeout(500);  // the timeline refreshes after the last outcome
    check((await page.locator("#timeline svg").count()) === 1, "the timeline shows");
    // The page's policy refuses inline styles: the lanes must take their colour from the
    // page's stylesheet, not fall back to black.
    const laneFill = await page.evaluate(
      () => getComputedStyle(document.querySelector("#timeline svg .lane")).fill);
    check(laneFill === "rgb(244, 246, 248)", `the timeline is drawn in its colours (${laneFill})`);
    await page.screenshot({ path: path.join(outDir, "panel-operate.png") });

    // When the simulator wrote each line, in wall-clock time: its own timestamp (on its clock,
    // time-scaled) placed by the earliest sighting, since the watcher can see a line late but
    // never early. The confirmation is the simulator's last answer before the page showed it.
    const scale = Number(timeScale);
    const offset = Math.min(...watcher.seen.map((s) => s.at - s.entry.t_ms / scale));
    const answers = watcher.seen.filter((s) => s.entry.dir === "out")
      .map((s) => offset + s.entry.t_ms / scale);
    const latencies = shownAt.map((at) => {
      const before = answers.filter((a) => a <= at);
      return Math.round(at - before[before.length - 1]);
    });
    const sorted = [...latencies].sort((a, b) => a - b);
    const median = (sorted[(sorted.length - 1) >> 1] + sorted[sorted.length >> 1]) / 2;
    const summary = { runs: latencies.length, latenciesMs: latencies, medianMs: median,
                      maxMs: sorted[sorted.length - 1] };
    fs.writeFileSync(path.join(outDir, "latency.json"), JSON.stringify(summary, null, 2) + "\n");
    console.log("confirmation to page (ms): " + JSON.stringify(summary));
  } finally {
    watcher.stop();
    await browser.close();
  }
})().catch((e) => {
  console.error(e.stack || String(e));
  process.exit(1);
});
