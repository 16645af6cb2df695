// Drives a real Firefox for the extension's integration test, one command a line on standard input:
//   load URL   -> one line "@driver JSON" on standard output: {"text": the page's text} or {"error": why}
//   quit       -> closes Firefox and ends
// Firefox is $FIREFOX with the profile folder $PROFILE; it inherits this process's environment (HOME,
// ORV_FIREFOX_PORTS), which its native-messaging host then sees. The first line out is {"ready": version}
// or {"error": why}.
import puppeteer from "puppeteer-core";
import readline from "node:readline";

// Firefox's own output shares standard output (dumpio), so each answer line starts with a marker.
const say = (object) => process.stdout.write("@driver " + JSON.stringify(object) + "\n");

let browser;
try {
  browser = await puppeteer.launch({
    browser: "firefox",
    executablePath: process.env.FIREFOX,
    userDataDir: process.env.PROFILE,
    headless: true,
    dumpio: true,
    env: process.env,
    timeout: 90000,
    protocolTimeout: 60000,
    extraPrefsFirefox: {
      // The per-user extension folder, its pointer files read at every start, no confirmation asked.
      "extensions.enabledScopes": 15,
      "extensions.startupScanScopes": 15,
      "extensions.autoDisableScopes": 0,
      "xpinstall.signatures.required": false,
      // The judge and the proxy are on loopback addresses, which Firefox would never send to a proxy.
      "network.proxy.allow_hijacking_localhost": true,
    },
  });
  say({ ready: await browser.version() });
} catch (error) {
  say({ error: `Firefox did not start under puppeteer-core: ${error.message}` });
  process.exit(1);
}

const page = await browser.newPage();
for await (const line of readline.createInterface({ input: process.stdin })) {
  const [command, argument] = line.split(" ");
  if (command === "load") {
    try {
      await page.goto(argument, { waitUntil: "load", timeout: 20000 });
      say({ text: await page.evaluate(() => document.body ? document.body.innerText : "") });
    } catch (error) {
      say({ error: error.message });
    }
  } else if (command === "quit") {
    break;
  }
}
await browser.close();
