#!/usr/bin/env bash
# Installs the Firefox tests' tools (web-ext, puppeteer-core) into tests/firefox/node_modules from the
# lock file, once; never into the build. Run by CTest before the tests that use them.
set -euo pipefail
cd "$(dirname "$0")"
if ! command -v npm >/dev/null; then
    echo "npm-install: npm is missing: the Firefox tests need Node.js 20 or newer with npm" >&2
    exit 1
fi
if [ ! -f node_modules/.package-lock.json ] || [ package-lock.json -nt node_modules/.package-lock.json ]; then
    npm ci --no-audit --no-fund --ignore-scripts
fi
