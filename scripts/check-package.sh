#!/usr/bin/env bash
# Builds the Debian package from a configured build folder (cpack -G DEB), checks its file list and
# control fields, has lintian judge it, unpacks it into a temporary root, validates its metainfo and menu
# entries, compares the options of orv --help with its manual page and completion, and runs the unpacked
# orv through its bin/ link.
#   ./scripts/check-package.sh BUILD_DIR
# Prints each check as it passes; the first failure prints one "FAILED:" line and exits 1.
set -euo pipefail

fail() {
    echo "check-package: FAILED: $*" >&2
    exit 1
}
ok() { echo "check-package: ok: $*"; }

[ $# -eq 1 ] || {
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
}
[ -f "$1/CPackConfig.cmake" ] || fail "'$1' is no configured build folder (no CPackConfig.cmake)"
build=$(cd "$1" && pwd)
for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/orv-package-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The package
rm -f "$build"/tarvelo_*.deb
(cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log" >&2
    fail "cpack -G DEB in $build"
}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$build/tarvelo_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "cpack did not write $(basename "$deb"); it wrote: $(cd "$build" && ls ./*.deb 2>/dev/null)"
ok "built $(basename "$deb"): $(stat -c %s "$deb") bytes, $(dpkg-deb -f "$deb" Installed-Size) KiB installed"

# Every file and link with its mode and owner; folders are left out.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { line = $1 " " $2; for (i = 6; i <= NF; i++) line = line " " $i; print line }' |
    sort >"$work/files"
sort >"$work/expected" <<'EOF'
lrwxrwxrwx root/root ./usr/bin/orv -> ../lib/tarvelo/orv
-rwxr-xr-x root/root ./usr/lib/tarvelo/orv
lrwxrwxrwx root/root ./usr/bin/quillet -> ../lib/tarvelo/quillet
-rwxr-xr-x root/root ./usr/lib/tarvelo/quillet
-rwxr-xr-x root/root ./usr/lib/tarvelo/orv-firefox-bridge
-rw-r--r-- root/root ./usr/lib/tarvelo/firefox/manifest.json
-rw-r--r-- root/root ./usr/lib/tarvelo/firefox/background.js
-rw-r--r-- root/root ./usr/lib/tarvelo/firefox/icon.svg
-rw-r--r-- root/root ./usr/lib/tarvelo/DangerousIP.dat
-rw-r--r-- root/root ./usr/lib/systemd/system/orv-judge.service
-rw-r--r-- root/root ./usr/share/applications/orv.desktop
-rw-r--r-- root/root ./usr/share/applications/quillet.desktop
-rw-r--r-- root/root ./usr/share/man/man1/orv.1.gz
-rw-r--r-- root/root ./usr/share/man/man1/quillet.1.gz
-rw-r--r-- root/root ./usr/share/metainfo/io.github.tarvelo.tarvelo.metainfo.xml
-rw-r--r-- root/root ./usr/share/bash-completion/completions/orv
-rw-r--r-- root/root ./usr/share/icons/hicolor/scalable/apps/tarvelo.svg
-rw-r--r-- root/root ./usr/share/doc/tarvelo/README.md
-rw-r--r-- root/root ./usr/share/doc/tarvelo/copyright
-rw-r--r-- root/root ./usr/share/doc/tarvelo/changelog.gz
EOF
diff -u "$work/expected" "$work/files" >&2 || fail "the package's files differ from the expected list (above: - expected, + found)"
ok "file list: $(wc -l <"$work/files") entries, as expected"

field() { dpkg-deb -f "$deb" "$1"; }
for expected in "Package: tarvelo" "Version: $version" "Section: net" "Architecture: $(dpkg --print-architecture)"; do
    [ "${expected%%:*}: $(field "${expected%%:*}")" = "$expected" ] || fail "control field: want '$expected', found '$(field "${expected%%:*}")'"
done
if [ -z "$(field Maintainer)" ] || [ -z "$(field Description)" ]; then
    fail "control: Maintainer or Description is empty"
fi
depends=$(field Depends)
for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 libc6; do
    [[ ", $depends," =~ ,\ ${library}[\ ,] ]] || fail "Depends does not name $library: $depends"
done
ok "control: tarvelo $version, section net; Depends: $depends"

# Debian's own judge of packages: not one error or warning.
lintian "$deb" >"$work/lintian.log" 2>&1 || true
if grep -qv '^running with root privileges is not recommended!$' "$work/lintian.log"; then
    cat "$work/lintian.log" >&2
    fail "lintian $(basename "$deb") (above)"
fi
ok "lintian: no errors, no warnings"

# The unpacked program, started through bin/orv as a user would.
dpkg-deb -x "$deb" "$work/root"
share="$work/root/usr/share"
"$(dirname "$0")/check-metadata.sh" "$share/metainfo/io.github.tarvelo.tarvelo.metainfo.xml" "$share"/applications/*.desktop
# The metainfo with the menu entry and icon it names, as a software centre gathers them.
appstreamcli validate-tree --no-net --no-color "$work/root" >"$work/appstream.log" 2>&1 || {
    cat "$work/appstream.log" >&2
    fail "appstreamcli validate-tree of the unpacked package (above)"
}
ok "appstreamcli validate-tree: the metainfo finds its menu entry and icon"
"$(dirname "$0")/../tests/package/orv_options.sh" "$work/root/usr/bin/orv" "$share/man/man1/orv.1.gz" \
    "$share/bash-completion/completions/orv"
# bash-completion finds the completion where the package puts it, as at the first Tab after "orv ".
loaded=$(XDG_DATA_DIRS="$share" BASH_COMPLETION_USER_DIR="$work/none" bash -c \
    'source /usr/share/bash-completion/bash_completion && __load_completion orv && shopt -s extdebug && declare -F _orv')
# declare -F names the function, the line it starts on and its file.
[[ $loaded == "_orv "*" $share/bash-completion/completions/orv" ]] || fail "bash-completion did not load orv's completion: '$loaded'"
ok "bash-completion loads orv's completion from share/bash-completion/completions"
orv="$work/root/usr/bin/orv"
program_folder="$work/root/usr/lib/tarvelo"
cmp -s "$program_folder/DangerousIP.dat" "$build/resources/DangerousIP.dat" ||
    fail "the packaged DangerousIP.dat differs from $build/resources/DangerousIP.dat"
desktop="$work/root/usr/share/applications/orv.desktop"
if ! grep -qx 'Exec=orv' "$desktop" || ! grep -qx 'Icon=tarvelo' "$desktop"; then
    fail "orv.desktop does not start orv with the packaged icon: $(grep -E '^(Exec|Icon)=' "$desktop" | tr '\n' ' ')"
fi
ok "menu entry: Exec=orv, Icon=tarvelo"
mkdir "$work/home"
orv_env=(env -u ORV_PROGRAM_DIR -u DISPLAY -u WAYLAND_DISPLAY HOME="$work/home" XDG_DATA_HOME=
    ORV_DATA_DIR="$work/data")
run_orv() { "${orv_env[@]}" "$orv" "$@"; }

out=$(run_orv --version) || fail "orv --version exited with $?"
[ "$out" = "Tarvelo 1.07B Build 0406" ] || fail "orv --version printed '$out'"
ok "orv --version: $out"

# ProgramFolder follows /proc/self/exe through the link into lib/tarvelo, where DangerousIP.dat lies.
out=$(run_orv --help) || fail "orv --help exited with $?"
want="  dangerous networks    $program_folder/DangerousIP.dat"
grep -qxF -- "$want" <<<"$out" || fail "orv --help does not find DangerousIP.dat in $program_folder: $(grep dangerous <<<"$out")"
ok "ProgramFolder is lib/tarvelo: orv finds $program_folder/DangerousIP.dat"

printf 'proxies:\n1.2.3.4:8080\n<td>10.0.0.7</td><td>3128</td>\nnothing here\n' >"$work/sample.txt"
out=$(run_orv --extract "$work/sample.txt") || fail "orv --extract exited with $?"
[ "$out" = $'1.2.3.4:8080\n10.0.0.7:3128' ] || fail "orv --extract printed '$out'"
ok "orv --extract: 2 proxies from the sample"

# The judge server as its unit starts it, from the unpacked program: one start line, then the page.
unit="$work/root/usr/lib/systemd/system/orv-judge.service"
# shellcheck disable=SC2016 # the unit's own variable, written as systemd expands it
grep -qxF 'ExecStart=/usr/bin/orv --judge-server ${ORV_JUDGE_LISTEN}' "$unit" ||
    fail "orv-judge.service does not start /usr/bin/orv --judge-server"
# Started without a shell between, so that the signal reaches orv itself.
"${orv_env[@]}" "$orv" --judge-server 127.0.0.1:0 >"$work/judge.log" 2>&1 &
judge=$!
for _ in $(seq 50); do
    grep -q '^Judge server listening on ' "$work/judge.log" && break
    sleep 0.1
done
port=$(sed -n 's/^Judge server listening on 127\.0\.0\.1://p' "$work/judge.log")
page=$( (exec 3<>"/dev/tcp/127.0.0.1/${port:-1}" && printf 'GET / HTTP/1.0\r\n\r\n' >&3 && cat <&3) 2>&1 || true)
kill "$judge"
wait "$judge" || fail "orv --judge-server did not stop with status 0 at SIGTERM"
grep -qx 'REMOTE_ADDR=127.0.0.1' <<<"$page" || fail "orv --judge-server from the package answered: $page"
ok "orv --judge-server: the unit starts the packaged orv, which serves the judge page"

QT_QPA_PLATFORM=offscreen run_orv --screenshot "$work/shot.png" 2>"$work/screenshot.log" || {
    cat "$work/screenshot.log" >&2
    fail "orv --screenshot exited with an error"
}
signature=$(head -c 8 "$work/shot.png" 2>/dev/null | od -An -tx1 | tr -d ' \n')
[ "$signature" = 89504e470d0a1a0a ] || fail "orv --screenshot wrote no PNG"
ok "orv --screenshot: a $(stat -c %s "$work/shot.png")-byte PNG"

# Whether apt would install it: its dependencies are installed already, so this needs no network.
if command -v apt-get >/dev/null; then
    apt-get install --simulate "$deb" >"$work/apt.log" 2>&1 || {
        cat "$work/apt.log" >&2
        fail "apt-get install --simulate $(basename "$deb")"
    }
    grep -qE '^Inst tarvelo |^tarvelo is already the newest version' "$work/apt.log" || {
        cat "$work/apt.log" >&2
        fail "apt-get --simulate would not install tarvelo"
    }
    ok "apt-get install --simulate: installs with the dependencies already present"
else
    echo "check-package: skipped: apt-get install --simulate (no apt-get)"
fi
echo "check-package: all checks passed"
