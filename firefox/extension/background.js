"use strict";

// The bridge (a native-messaging host beside orv) listens on orv's control port and passes each switch on.
const BRIDGE = "tarvelo_orv_bridge";
// How long to wait before starting the bridge again after it ended (port taken, Firefox restarting it).
const RECONNECT_MS = 10000;

// Mode 1: the HTTP proxy at host:port; 0: direct; 2: orv has closed, direct. "Direct" here hands the
// request back to Firefox's own connection setting, which is a direct connection unless the user chose another.
let state = { mode: 0, host: "", port: 0 };

// This machine's own names are never sent through the proxy.
function isLocal(url) {
  let hostname;
  try {
    hostname = new URL(url).hostname;
  } catch (e) {
    return false;
  }
  return hostname === "localhost" || hostname.endsWith(".localhost") ||
         hostname === "127.0.0.1" || hostname === "[::1]";
}

browser.proxy.onRequest.addListener((details) => {
  if (state.mode !== 1 || isLocal(details.url)) {
    return { type: "direct" };
  }
  return { type: "http", host: state.host, port: state.port };
}, { urls: ["<all_urls>"] });

browser.proxy.onError.addListener((error) => {
  console.warn("ORV: proxy error:", error.message);
});

function show() {
  let title = "ORV: direct connection";
  if (state.mode === 1) {
    title = `ORV: proxy ${state.host}:${state.port}`;
  } else if (state.mode === 2) {
    title = "ORV: closed; direct connection";
  }
  browser.browserAction.setTitle({ title });
  browser.browserAction.setBadgeText({ text: state.mode === 1 ? "on" : "" });
  browser.browserAction.setBadgeBackgroundColor({ color: "#2e7d32" });
}

// The bridge checked the message already; a message of another shape is ignored all the same.
function apply(message) {
  const valid = message && [0, 1, 2].includes(message.mode) &&
    (message.mode !== 1 || (typeof message.host === "string" && Number.isInteger(message.port) &&
                            message.port >= 1 && message.port <= 65535));
  if (!valid) {
    return;
  }
  state = message.mode === 1 ? { mode: 1, host: message.host, port: message.port }
                             : { mode: message.mode, host: "", port: 0 };
  show();
}

function connect() {
  const port = browser.runtime.connectNative(BRIDGE);
  port.onMessage.addListener(apply);
  port.onDisconnect.addListener((p) => {
    if (p.error) {
      console.warn("ORV: bridge ended:", p.error.message);
    }
    setTimeout(connect, RECONNECT_MS);
  });
}

show();
connect();
