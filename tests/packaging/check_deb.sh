#!/usr/bin/env bash
# The Debian package as a person gets it: its control fields and the
# dependencies dpkg-shlibdeps found, exactly its files, then, unpacked into
# a scratch root, the program it carries (--version, info on a tune), the
# manual page (rendered without a warning, naming every command and option
# the program has), the bash completion (offering exactly each command's
# options), and lintian (no error, no warning).
#   tests/packaging/check_deb.sh DEB VERSION
set -euo pipefail
cd "$(dirname "$0")/../.."
deb=$1
version=$2

fail() {
    echo "deb: FAIL ($deb): $*" >&2
    exit 1
}

field() { dpkg-deb --field "$deb" "$1"; }

dpkg-deb --info "$deb" >/dev/null || fail "dpkg-deb cannot read it"
[[ $(field Package) == zarvel-cli ]] || fail "Package is $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version is $(field Version), not $version"
[[ $(field Architecture) == amd64 ]] || fail "Architecture is $(field Architecture)"
depends=$(field Depends)
IFS=',' read -ra entries <<<"$depends"
for library in libc6 libstdc++6 librtmidi; do
    found=
    for entry in "${entries[@]}"; do
        [[ ${entry# } == "$library"*" (>= "[0-9]* ]] && found=1
    done
    [[ -n $found ]] || fail "no versioned dependency on $library: $depends"
done

# Exactly these files (directories aside), owned by root, executable only
# where they should be.
expected='-rw-r--r-- root/root ./usr/share/bash-completion/completions/zarvel-cli
-rw-r--r-- root/root ./usr/share/doc/zarvel-cli/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/zarvel-cli/copyright
-rw-r--r-- root/root ./usr/share/man/man1/zarvel-cli.1.gz
-rwxr-xr-x root/root ./usr/bin/zarvel-cli'
files=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort)
[[ $files == "$(sort <<<"$expected")" ]] ||
    fail "files differ:"$'\n'"$(diff <(sort <<<"$expected") <(echo "$files") || true)"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
cli=$root/usr/bin/zarvel-cli

# The program itself, with what it found in the package's dependencies.
got=$("$cli" --version) || fail "zarvel-cli --version failed"
[[ $got == *"$version"* ]] || fail "zarvel-cli --version says [$got], not $version"
got=$("$cli" info tests/tunes/melody.sid) || fail "zarvel-cli info failed"
[[ $got == *"Zarvel Melody"* ]] || fail "zarvel-cli info does not show the tune's name:"$'\n'"$got"

# The manual page: groff's warnings on, nothing on stderr.
man_page=$root/usr/share/man/man1/zarvel-cli.1.gz
rendered=$(MANWIDTH=80 LC_ALL=C man --warnings -l "$man_page" 2>"$root/man-warnings") || fail "man cannot render the page"
[[ ! -s $root/man-warnings ]] || fail "man warns:"$'\n'"$(cat "$root/man-warnings")"
[[ $rendered == *"zarvel-cli"* && $rendered == *"EXIT STATUS"* ]] || fail "the rendered page lacks its sections"
source_text=$(gzip -dc "$man_page")

# The commands and options, as the program lists them in its --help.
commands=$("$cli" --help | awk '/^Subcommands:/ { on = 1; next } on && NF { print $1 }')
[[ -n $commands ]] || fail "zarvel-cli --help lists no command"
options_of() {  # COMMAND... : its options, one a line, without -h
    "$cli" "$@" --help | grep -oE '^  (-[a-zA-Z],)?--[a-z][a-z-]*' | tr ',' '\n' | tr -d ' ' | grep -vx -- -h | sort
}

for command in $commands; do
    grep -q "^\.SS \"\?$command\b" <<<"$source_text" || fail "the manual page has no section for $command"
    for option in $(options_of "$command"); do
        grep -qF -- "${option//-/\\-}" <<<"$source_text" || fail "the manual page does not name $command $option"
    done
done
for option in $(options_of); do
    grep -qF -- "${option//-/\\-}" <<<"$source_text" || fail "the manual page does not name $option"
done

# The completion, run as bash runs it after bash-completion has loaded.
complete_words() {  # WORD... (the last one is being completed)
    bash -c '
        source /usr/share/bash-completion/bash_completion
        source "$1"
        shift
        COMP_WORDS=("$@")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMP_LINE="${COMP_WORDS[*]}"
        COMP_POINT=${#COMP_LINE}
        _zarvel_cli zarvel-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}"
    ' completion "$root/usr/share/bash-completion/completions/zarvel-cli" "$@" | sort
}
expected=$( (echo "$commands"; options_of) | sort)
got=$(complete_words zarvel-cli '')
[[ $got == "$expected" ]] || fail "completion of a command differs:"$'\n'"$(diff <(echo "$expected") <(echo "$got") || true)"
for command in $commands; do
    expected=$(options_of "$command")
    got=$(complete_words zarvel-cli "$command" -)
    [[ $got == "$expected" ]] ||
        fail "completion of $command's options differs:"$'\n'"$(diff <(echo "$expected") <(echo "$got") || true)"
done

report=$(lintian --fail-on error,warning "$deb" 2>&1) || fail "lintian:"$'\n'"$report"

echo "deb: $deb: zarvel-cli $version, its dependencies, files, program, manual page, completion; lintian clean"
