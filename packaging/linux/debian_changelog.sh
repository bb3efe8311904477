#!/usr/bin/env bash
# Writes the Debian changelog of PACKAGE from CHANGELOG.md to standard output:
# each "## VERSION (YYYY-MM-DD)" release becomes an entry, each "- " item a
# "  * " line, its continuation lines follow indented. Fails when the newest
# release is not VERSION, so that no package goes out without its entry.
#   debian_changelog.sh CHANGELOG.md VERSION PACKAGE "NAME <EMAIL>"
set -euo pipefail
changelog=$1 version=$2 package=$3 maintainer=$4

awk -v version="$version" -v package="$package" -v maintainer="$maintainer" '
  function fail(why) {
    print FILENAME ":" NR ": " why > "/dev/stderr"
    failed = 1
    exit 1
  }
  function close_entry() {
    if (!open) return
    command = "date -u -R -d " date
    command | getline stamp
    close(command)
    printf "\n -- %s  %s\n", maintainer, stamp
    open = 0
  }
  /^## / {
    if (!match($0, /^## [^ ]+ \([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]\)$/)) {
      fail("not a release heading \"## VERSION (YYYY-MM-DD)\": " $0)
    }
    close_entry()
    release = $2
    date = substr($3, 2, 10)
    if (++releases == 1 && release != version) fail("the newest release is " release ", not " version)
    if (releases > 1) print ""
    printf "%s (%s) unstable; urgency=medium\n\n", package, release
    open = 1
    next
  }
  !open || /^[[:space:]]*$/ { next }
  { gsub(/`/, "") }
  /^- / { print "  * " substr($0, 3); next }
  /^  / { print "    " substr($0, 3); next }
  { fail("neither an item \"- \" nor its continuation: " $0) }
  END {
    if (failed) exit 1
    if (releases == 0) fail("no release heading")
    close_entry()
  }' "$changelog"
