#!/usr/bin/env bash
# The Debian package as Debian and software centres see it: builds it with
# scripts/package.sh, then lintian (any error or warning fails; notes are
# shown), the AppStream data with appstreamcli, and the manual pages as
# `man -k` lists them once mandb has indexed them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh lintian appstream man-db
deb=$(scripts/package.sh | tail -n 1)
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
echo "lintian $(basename "$deb"):"
lintian --display-info --fail-on error,warning "$deb" || fail "lintian found errors or warnings"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"  # mandb indexes as the man user
dpkg -x "$deb" "$scratch"
metainfo=("$scratch"/usr/share/metainfo/*.metainfo.xml)
[ -f "${metainfo[0]}" ] || fail "no AppStream metainfo in /usr/share/metainfo"
appstreamcli validate --no-net "${metainfo[@]}" || fail "appstreamcli rejects ${metainfo[*]#"$scratch"}"

man=$scratch/usr/share/man
mandb --quiet --no-purge "$man" >/dev/null
for page in varnek-test ecusim; do
  MANPATH=$man man -k "^$page\$" | grep -q "^$page (1)" || fail "man -k does not list $page(1)"
done
MANPATH=$man man -k '^(varnek-test|ecusim)$'
