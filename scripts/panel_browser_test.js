// The panel in headless Chromium.
// node panel_browser_test.js MODE URL TRANSCRIPT OUT_DIR MODULES_DIR TIME_SCALE SIM_CONSOLE SIM_PID PANEL_PID
// MODE "many": 64 devices; times the page's load and how long the page takes to show a state
// the amplifier has confirmed while fifteen other devices are polled.
// MODE "page": two devices; a switch watched and photographed, the same timing, a switch that
// fails into Fault, a reload that keeps the band path, a killed simulator and a stopped panel.
"use strict";
const fs = require("fs");
const path = require("path");
const [mode, url, transcript, outDir, modules, timeScale, simConsole, simPid, panelPid] =
  process.argv.slice(2);
const { chromium } = require(path.resolve(modules, "playwright-core"));

// The first switch is watched and photographed; the ones after it are timed.
const kRuns = 11;
const kTimeout = 60000;
// A band path no default would give: a reload that forgets it shows.
const kBand = "4";
// When the test stopped the panel: the page's requests fail from then on, as they should.
let panelStoppedAt = Infinity;

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

async function openPage(browser, consoleErrors) {
  const page = await browser.newPage({ viewport: { width: 1000, height: 820 } });
  page.on("pageerror", (e) => consoleErrors.push({ at: Date.now(), text: "page error: " + e.message }));
  page.on("console", (m) => {
    if (m.type() === "error") consoleErrors.push({ at: Date.now(), text: m.text() });
  });
  return page;
}

// Switches AMP1 between Operate and Off kRuns times; the latencies of all but the first, from
// the amplifier's last answer of a switch to the page receiving the event that shows it. The
// transcript's times are the simulator's clock (time-scaled), placed in wall-clock time by the
// earliest sighting, since the watcher can see a line late but never early.
async function timeSwitches(page, card, watcher, onFirst) {
  const shownAt = [];
  for (let run = 0; run < kRuns; ++run) {
    const operate = run % 2 === 0;
    const target = operate ? 3 : 0;
    const before = await page.evaluate(() => window.marlinEventCount);
    await card.locator(`button[data-state="${target}"]`).click();
    if (run === 0 && onFirst) await onFirst();
    const name = operate ? "Operate (3)" : "Off (0)";
    await card.locator(".state", { hasText: name }).waitFor({ timeout: kTimeout });
    await card.locator(".busy", { hasText: "idle" }).waitFor({ timeout: kTimeout });
    const shown = await page.evaluate(([from, state]) => window.marlinEvents.find(
      (e) => e.seq > from && e.type === "device" && e.data.name === "AMP1" && e.data.state === state),
      [before, target]);
    if (run > 0) shownAt.push(shown.at);
  }
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
  return { runs: latencies.length, latenciesMs: latencies, medianMs: median,
           maxMs: sorted[sorted.length - 1] };
}

async function many(browser, consoleErrors) {
  const page = await openPage(browser, consoleErrors);
  const watcher = watchTranscript(transcript);
  try {
    await page.goto(url);
    // From the start of navigation to every device's row and card drawn, as the page itself
    // notes it; the first load includes the browser's own start, so the page is loaded again.
    const loaded = async () => {
      await page.waitForFunction(() => window.marlinListedAt !== undefined &&
        document.querySelectorAll("#overview tbody tr").length === 64 &&
        document.querySelectorAll("article.device").length === 64, null, { timeout: kTimeout });
      return Math.round(await page.evaluate(() => window.marlinListedAt));
    };
    const firstLoadMs = await loaded();
    await page.reload();
    const loadMs = await loaded();
    check(true, `64 devices listed: page loaded in ${loadMs} ms (${firstLoadMs} ms the first time)`);
    const longName = page.locator("h2", { hasText: "RADIATED_IMMUNITY_RIG" });
    const box = await longName.boundingBox();
    const cardBox = await page.locator("article.device", { has: longName }).boundingBox();
    check(box.x + box.width <= cardBox.x + cardBox.width, "a long device name fits its card");

    for (let i = 2; i <= 16; ++i) {
      const name = "LOAD" + String(i).padStart(2, "0");
      await page.locator(`article.device[data-device="${name}"] button[data-action="connect"]`).click();
    }
    const card = page.locator('article.device[data-device="AMP1"]');
    await card.locator('button[data-action="connect"]').click();
    await card.locator(".connected", { hasText: /^connected$/ }).waitFor({ timeout: kTimeout });
    await card.locator(".in-band").fill(kBand);
    const summary = await timeSwitches(page, card, watcher);
    summary.devices = 64;
    summary.polled = 15;
    summary.pageLoadMs = loadMs;
    summary.firstPageLoadMs = firstLoadMs;
    fs.writeFileSync(path.join(outDir, "latency-64.json"), JSON.stringify(summary, null, 2) + "\n");
    console.log("64 devices, confirmation to page (ms): " + JSON.stringify(summary));
    await page.screenshot({ path: path.join(outDir, "panel-64.png") });
  } finally {
    watcher.stop();
  }
}

async function twoDevices(browser, consoleErrors) {
  const page = await openPage(browser, consoleErrors);
  const watcher = watchTranscript(transcript);
  try {
    await page.goto(url);
    const card = page.locator('article.device[data-device="AMP1"]');
    await card.waitFor({ timeout: kTimeout });
    check(await card.locator(".route").textContent() !== "", "the page lists AMP1 with its route");
    check(await page.locator("article.device").count() === 2, "the page lists every device");
    // AMP1 may still be connected from the run before: this panel starts without a connection.
    for (const action of ["disconnect", "initialize", "resetfault", "errors", "read"]) {
      check(await card.locator(`button[data-action="${action}"]`).isDisabled(),
        `${action} is disabled while AMP1 is not connected`);
    }
    check(await card.locator('button[data-state="3"]').isDisabled(), "so is Operate");
    check(!(await card.locator('button[data-action="connect"]').isDisabled()), "Connect is not");

    await card.locator('button[data-action="connect"]').click();
    await card.locator(".connected", { hasText: /^connected$/ }).waitFor({ timeout: kTimeout });
    check((await card.locator(".model").textContent()) === "PA4520", "connected to a PA4520");
    check(/^PA4520, serial \d+, SW:/.test(await card.locator(".identification").textContent()),
      "with its serial");

    await card.locator(".in-band").fill(kBand);
    const summary = await timeSwitches(page, card, watcher, async () => {
      await card.locator(".wait:not([hidden]) .wait-what").waitFor({ timeout: kTimeout });
      const what = await card.locator(".wait-what").textContent();
      const time = await card.locator(".wait-time").textContent();
      check(what.length > 0 && / of /.test(time), `the wait shows live: "${what}" ${time}`);
      await card.locator(".window:not([hidden])").waitFor({ timeout: kTimeout });
      check((await card.locator(".indicator-label").textContent()) === "OPERATE",
        "the PA4520's wait window shows OPERATE");
      check((await card.locator(".stop").textContent()) === "STOP", "with its STOP button");
      check(/finishes the switch/.test(await card.locator(".window-note").textContent()),
        "which says what STOP does");
      await page.screenshot({ path: path.join(outDir, "panel-switching.png") });
    });
    fs.writeFileSync(path.join(outDir, "latency.json"), JSON.stringify(summary, null, 2) + "\n");
    console.log("confirmation to page (ms): " + JSON.stringify(summary));
    check(await card.locator(".bandpath").textContent() === kBand, "the band path is the one read back");
    check(await card.locator(".rf").textContent() === "RF on", "Operate shows RF on");
    await page.waitForTimeout(500);  // the timeline refreshes after the last outcome
    check((await page.locator("#timeline svg").count()) === 1, "the timeline shows");
    // The page's policy refuses inline styles: the lanes must take their colour from the
    // page's stylesheet, not fall back to black.
    const laneFill = await page.evaluate(
      () => getComputedStyle(document.querySelector("#timeline svg .lane")).fill);
    check(laneFill === "rgb(244, 246, 248)", `the timeline is drawn in its colours (${laneFill})`);
    await page.screenshot({ path: path.join(outDir, "panel-operate.png"), fullPage: true });

    await page.reload();
    await card.locator(".state", { hasText: "Operate (3)" }).waitFor({ timeout: kTimeout });
    check(await card.locator(".in-band").inputValue() === kBand, "a reload keeps the band path");

    // The amplifier trips while it switches: the card shows Fault and what to do.
    await card.locator('button[data-state="0"]').click();
    await card.locator(".state", { hasText: "Off (0)" }).waitFor({ timeout: kTimeout });
    const before = await page.evaluate(() => window.marlinEventCount);
    await card.locator('button[data-state="3"]').click();
    await page.waitForFunction((from) => window.marlinEvents.some((e) => e.seq > from &&
      e.type === "wait" && e.data.wait.what.includes("waiting for Operate to be confirmed")),
      before, { timeout: kTimeout });
    fs.appendFileSync(simConsole, "fault fault=-300:Overtemperature\n");
    await card.locator(".state", { hasText: "Fault (4)" }).waitFor({ timeout: kTimeout });
    await card.locator(".busy", { hasText: "idle" }).waitFor({ timeout: kTimeout });
    check(/-300/.test(await card.locator(".alarm-what").textContent()), "a failed switch shows Fault");
    check(/Reset fault/.test(await card.locator(".alarm-todo").textContent()), "and what to do");
    check((await card.locator(".rf").textContent()) === "", "and no RF on");
    await page.screenshot({ path: path.join(outDir, "panel-fault.png"), fullPage: true });
    await card.locator('button[data-action="resetfault"]').click();
    await card.locator(".state", { hasText: "Off (0)" }).waitFor({ timeout: kTimeout });

    // The amplifier goes away: the next action finds the link lost.
    process.kill(Number(simPid), "SIGKILL");
    await card.locator('button[data-action="read"]').click();
    await card.locator(".connected", { hasText: "link lost" }).waitFor({ timeout: kTimeout });
    check(await card.locator('button[data-state="3"]').isDisabled(), "a lost link disables Operate");
    check(await page.locator("#overview .lamp.lost").count() === 1, "the overview shows it");

    // The panel goes away: the page says so instead of looking live.
    panelStoppedAt = Date.now();
    process.kill(Number(panelPid), "SIGKILL");
    await page.locator("body.gone").waitFor({ timeout: kTimeout });
    check(/not reachable/.test(await page.locator("#banner").textContent()), "a stopped panel shows");
  } finally {
    watcher.stop();
  }
}

(async () => {
  const browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"],
  });
  const consoleErrors = [];
  try {
    if (mode === "many") await many(browser, consoleErrors);
    else await twoDevices(browser, consoleErrors);
    const errors = consoleErrors.filter((e) => e.at < panelStoppedAt).map((e) => e.text);
    check(errors.length === 0, "no console error: " + JSON.stringify(errors));
  } finally {
    await browser.close();
  }
})().catch((e) => {
  console.error(e.stack || String(e));
  process.exit(1);
});
