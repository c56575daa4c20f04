#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop finds there: the executable,
# the entry and the metainfo (both through their validators), the icon at each size it claims, and
# the names that tie them together.
#   test_install.sh BUILD_DIR
set -euo pipefail
build=$1
id=org.groovestone.GroovestoneDSD
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null

[ -x "$prefix/bin/Groovestone-lp-dsd" ] || fail "bin/Groovestone-lp-dsd is missing or not executable"
entry=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
[ -f "$entry" ] || fail "no desktop entry"
[ -f "$metainfo" ] || fail "no metainfo"

# desktop-file-validate exits 0 on most errors; anything it prints is a fault.
out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate failed"
[ -z "$out" ] || fail "desktop-file-validate: $out"
# The whole tree, so that the launchable is looked up in it; pedantic hints are not shown here.
if ! out=$(appstreamcli validate-tree --no-net "$prefix" 2>&1) || grep -qE '^ *[EWI]:' <<<"$out"; then
  fail "appstreamcli validate-tree: $out"
fi

key() { sed -n "s/^$1=//p" "$entry"; }
exec_line=$(key Exec)
[ -x "$prefix/bin/${exec_line%% *}" ] || fail "Exec '$exec_line' names no installed executable"
[ "$(key Icon)" = "$id" ] || fail "Icon is '$(key Icon)'"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "launchable is not $id.desktop"

# Every media type of the entry is one shared-mime-info knows, by its name or an alias.
mime=/usr/share/mime/packages/freedesktop.org.xml
IFS=';' read -ra types <<<"$(key MimeType)"
[ "${#types[@]}" -gt 0 ] || fail "no MimeType"
for type in "${types[@]}"; do
  grep -qE "<(mime-type|alias) type=\"$type\"" "$mime" || fail "unknown media type $type"
done

# Each icon is a PNG of its folder's size: the width and height of its header.
for size in 16 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
  if [ ! -f "$png" ]; then
    fail "no ${size}x${size} icon"
    continue
  fi
  header=$(od -An -tx1 -j12 -N12 "$png" | tr -d ' \n')
  [ "$header" = "$(printf '49484452%08x%08x' "$size" "$size")" ] || fail "${size}x${size} icon header $header"
done

[ "$failures" -eq 0 ] && echo "installed and validated"
exit $((failures > 0))
