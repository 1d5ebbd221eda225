// The Windows panel's page in the Linux-side headless Chromium: it loads, lists each device of
// the list as a card, connects one through its button and shows the state read back.
// node windows_panel_page.js URL MODULES_DIR
"use strict";
const path = require("path");
const [url, modules] = process.argv.slice(2);
const { chromium } = require(path.resolve(modules, "playwright-core"));
const kTimeout = 60000;

(async () => {
  const browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"],
  });
  const errors = [];
  try {
    const page = await browser.newPage();
    page.on("console", (m) => { if (m.type() === "error") errors.push(m.text()); });
    page.on("pageerror", (e) => errors.push(String(e)));
    await page.goto(url);
    for (const name of ["LAN", "VISA", "GPIB"]) {
      await page.locator(`article.device[data-device="${name}"]`).waitFor({ timeout: kTimeout });
    }
    const card = page.locator('article.device[data-device="GPIB"]');
    await card.locator('button[data-action="connect"]').click();
    await card.locator(".connected", { hasText: /^connected$/ }).waitFor({ timeout: kTimeout });
    if (errors.length > 0) throw new Error("console errors: " + JSON.stringify(errors));
  } finally {
    await browser.close();
  }
})().catch((e) => {
  console.error(String(e));
  process.exit(1);
});
