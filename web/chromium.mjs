// Debian's Chromium, headless, as root: no sandbox, a new empty profile, and none of the
// background connections that a closed network refuses.
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import puppeteer from "puppeteer-core";

export async function launchChromium() {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), "quillomar-chromium-"));
    const browser = await puppeteer.launch({
        executablePath: "/usr/bin/chromium",
        headless: true,
        args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
            "--disable-component-update", "--disable-sync",
            `--user-data-dir=${profile}`],
    });
    // The profile goes with the browser.
    const close = browser.close.bind(browser);
    browser.close = async () => {
        await close();
        fs.rmSync(profile, { recursive: true, force: true, maxRetries: 5, retryDelay: 100 });
    };
    return browser;
}
