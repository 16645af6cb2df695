"use strict";

// The bridge (a native-messaging host beside orv) listens on orv's control port and passes each switch on.
const BRIDGE = "tarvelo_orv_bridge";
// How long to wait before starting the bridge again after it ended (port taken, Firefox restarting it).
const RECONNECT_MS = 10000;

// Mode 1: the HTTP proxy at host:port; 3: the proxy at host:port of that kind ("http", "socks4", "socks5")
// with that user name and password (both may be empty); 0: direct; 2: orv has closed, direct. "Direct" here
// hands the request back to Firefox's own connection setting, which is a direct connection unless the user
// chose another.
let state = { mode: 0, host: "", port: 0, kind: "http", user: "", password: "" };

// The requests whose proxy challenge was answered once already: a second challenge means the credentials
// were refused, and Firefox then asks the user instead of this extension repeating them forever.
const answered = new Set();

function proxyActive() {
  return state.mode === 1 || state.mode === 3;
}

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
  if (!proxyActive() || isLocal(details.url)) {
    return { type: "direct" };
  }
  if (state.kind === "socks5") {
    // The proxy resolves the names, as the tester asked it to; the username method only when given one.
    const proxy = { type: "socks", host: state.host, port: state.port, proxyDNS: true };
    if (state.user !== "" || state.password !== "") {
      proxy.username = state.user;
      proxy.password = state.password;
    }
    return proxy;
  }
  if (state.kind === "socks4") {
    return { type: "socks4", host: state.host, port: state.port, proxyDNS: true };
  }
  return { type: "http", host: state.host, port: state.port };
}, { urls: ["<all_urls>"] });

// An HTTP proxy's challenge: answered with the active proxy's credentials, once a request, and only for
// that proxy.
browser.webRequest.onAuthRequired.addListener((details) => {
  const ours = details.isProxy && proxyActive() && state.kind === "http" && state.user !== "" &&
    details.challenger && details.challenger.host === state.host && details.challenger.port === state.port;
  if (!ours || answered.has(details.requestId)) {
    return {};
  }
  answered.add(details.requestId);
  return { authCredentials: { username: state.user, password: state.password } };
}, { urls: ["<all_urls>"] }, ["blocking"]);

function forget(details) {
  answered.delete(details.requestId);
}
browser.webRequest.onCompleted.addListener(forget, { urls: ["<all_urls>"] });
browser.webRequest.onErrorOccurred.addListener(forget, { urls: ["<all_urls>"] });

browser.proxy.onError.addListener((error) => {
  console.warn("ORV: proxy error:", error.message);
});

function show() {
  let title = "ORV: direct connection";
  if (proxyActive()) {
    const scheme = state.kind === "http" ? "" : `${state.kind}://`;
    title = `ORV: proxy ${scheme}${state.host}:${state.port}`;
  } else if (state.mode === 2) {
    title = "ORV: closed; direct connection";
  }
  browser.browserAction.setTitle({ title });
  browser.browserAction.setBadgeText({ text: proxyActive() ? "on" : "" });
  browser.browserAction.setBadgeBackgroundColor({ color: "#2e7d32" });
}

function validProxy(message) {
  return typeof message.host === "string" && Number.isInteger(message.port) &&
    message.port >= 1 && message.port <= 65535;
}

function validExtras(message) {
  return ["http", "socks4", "socks5"].includes(message.kind) &&
    typeof message.user === "string" && typeof message.password === "string";
}

// The bridge checked the message already; a message of another shape is ignored all the same.
function apply(message) {
  const valid = message && [0, 1, 2, 3].includes(message.mode) &&
    (message.mode === 0 || message.mode === 2 || validProxy(message)) &&
    (message.mode !== 3 || validExtras(message));
  if (!valid) {
    return;
  }
  state = { mode: message.mode, host: "", port: 0, kind: "http", user: "", password: "" };
  if (message.mode === 1 || message.mode === 3) {
    state.host = message.host;
    state.port = message.port;
  }
  if (message.mode === 3) {
    state.kind = message.kind;
    state.user = message.user;
    state.password = message.password;
  }
  answered.clear();
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
