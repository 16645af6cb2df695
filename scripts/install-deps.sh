#!/usr/bin/env bash
# Installs every Debian package that building, testing and benchmarking Tarvelo needs.
# Packages already installed are skipped, so a second run is quick and quiet.
set -euo pipefail

PACKAGES=(
    # build
    build-essential cmake ninja-build pkg-config git clang clang-format libclang-rt-14-dev
    # the Debian package (cpack computes its Depends with dpkg-shlibdeps), its manual pages and its checks
    dpkg-dev scdoc lintian appstream desktop-file-utils bash-completion
    # core libraries
    libre2-dev libboost-regex-dev zlib1g-dev libcurl4-openssl-dev libglib2.0-dev gsettings-desktop-schemas
    libssl-dev nlohmann-json3-dev
    # the country test's address database (also a dependency of the package)
    tor-geoipdb
    # the window
    qt6-base-dev qt6-svg-dev libqt6svg6 qt6-image-formats-plugins libgl-dev fonts-dejavu-core
    # Quillet: Firefox's windows are asked to close through the X server
    libxcb1-dev
    # the extension's test in a real browser
    firefox-esr
    # tests and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev tinyproxy lighttpd xvfb xauth ripgrep python3 time
    # the SOCKS servers of the integration tests
    dante-server microsocks
    # the system proxy's tests: gsettings reads back, a private session bus, dconf's store
    libglib2.0-bin dbus-daemon dconf-gsettings-backend
)

# The Firefox tests install their tools with npm (tests/firefox/npm-install.sh); Debian's Node.js will do.
if ! command -v npm >/dev/null; then
    PACKAGES+=(nodejs npm)
fi

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages: ${missing[*]}" >&2
    echo "install-deps: run as root (or install them with sudo apt-get install)" >&2
    exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
# tinyproxy, lighttpd and danted are started by the tests themselves, never as system services.
for svc in tinyproxy lighttpd danted; do
    if command -v systemctl >/dev/null 2>&1; then systemctl disable --now "$svc" >/dev/null 2>&1 || true; fi
    if [ -x "/etc/init.d/$svc" ]; then "/etc/init.d/$svc" stop >/dev/null 2>&1 || true; fi
done
echo "install-deps: done"
