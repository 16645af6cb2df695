#!/usr/bin/env bash
# `orv --help`, the manual page orv(1) and the bash completion must name the same options, and the
# completion must offer the right words after each of them.
#   tests/package/orv_options.sh ORV ORV_1_GZ COMPLETION
set -euo pipefail
[ $# -eq 3 ] || {
    echo "usage: $0 ORV ORV_1_GZ COMPLETION" >&2
    exit 2
}
orv=$1 page=$2 completion=$3
fail() {
    echo "orv_options: FAILED: $*" >&2
    exit 1
}
# The words, sorted, on one line.
words() { sort -u | paste -sd ' ' -; }
options() { sed 's/\\-/-/g' | grep -o -- '--[a-z][a-z-]*' | words; }

# The folders that --help ends with are the running copy's, not options.
help=$("$orv" --help | sed '/^Files:/,$d' | options)
[ -n "$help" ] || fail "orv --help names no options"
# The page's examples (.nf to .fi) may show other programs' options.
man=$(zcat "$page" | sed '/^\.nf/,/^\.fi/d' | options)
[ "$help" = "$man" ] || fail "orv --help names: $help; $(basename "$page") names: $man"
echo "orv_options: ok: orv --help and $(basename "$page") name the same options: $help"

# What the completion offers at the end of LINE, asked as bash asks.
# shellcheck source=/dev/null
source /usr/share/bash-completion/bash_completion
# shellcheck source=/dev/null
source "$completion"
offers() {
    local line=$1
    local COMP_LINE=$line COMP_POINT=${#line} COMP_WORDS COMP_CWORD COMPREPLY=()
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _orv orv "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
    ((${#COMPREPLY[@]} == 0)) || printf '%s\n' "${COMPREPLY[@]}" | words
}

work=$(mktemp -d "${TMPDIR:-/tmp}/orv-options-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
touch list.txt page.html shot.png
mkdir saved
# LINE | the words offered
while IFS='|' read -r line want; do
    got=$(offers "$line")
    [ "$got" = "$want" ] || fail "completing '$line': want '$want', got '$got'"
done <<'EOF_CASES'
orv |--check --direct --download --extract --help --hidden --judge-server --next --screenshot --status --test --use --version
orv --status |--format
orv --status --format |json text
orv --use |
orv --hidden |
orv --te|--test
orv --version |
orv --judge-server |
orv --judge-server 8080 |
orv --extract |list.txt page.html saved shot.png
orv --extract list.txt p|page.html
orv --screenshot |saved shot.png
orv --screenshot shot.png |
orv --download |--export
orv --download --export |list.txt page.html saved shot.png
orv --test |list.txt page.html saved shot.png
orv --test list.txt |--dispatch --export --format --include-passwords --judge --kind --threads --timeout
orv --test --threads 8 |list.txt page.html saved shot.png
orv --test list.txt --threads 8 --format csv --|--dispatch --export --include-passwords --judge --kind --timeout
orv --test list.txt --kind |detect http socks4 socks5
orv --test list.txt --include-passwords --kind socks5 --|--dispatch --export --format --judge --threads --timeout
orv --extract list.txt --kind s|socks4 socks5
orv --test list.txt --dispatch |prompt tick
orv --test list.txt --dispatch tick --|--export --format --include-passwords --judge --kind --threads --timeout
orv --test list.txt --threads |
orv --test list.txt --judge |
orv --test list.txt --format |csv json text
orv --test list.txt --format j|json
orv --test list.txt --export s|saved shot.png
EOF_CASES
echo "orv_options: ok: the completion offers the expected words in 29 places"

offered=$(offers 'orv ' && offers 'orv --download ' && offers 'orv --test list.txt ' && offers 'orv --extract --' &&
    offers 'orv --status ')
offered=$(options <<<"$offered")
[ "$help" = "$offered" ] || fail "orv --help names: $help; the completion offers: $offered"
echo "orv_options: ok: the completion offers every option of orv --help"
