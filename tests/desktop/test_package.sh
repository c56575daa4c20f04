#!/usr/bin/env bash
# Builds the Debian package from the build folder and checks it: its file name, Debian's checker
# (lintian: no error, no warning), the files it holds, its Depends, no maintainer scripts, and one
# version throughout (the package, the executable's --version, the changelog, the metainfo).
#   test_package.sh BUILD_DIR
# Exits 77 (skipped) where the tools are missing; tools/setup.sh installs them.
set -euo pipefail
build=$1
for tool in cpack lintian dpkg-shlibdeps dpkg-deb file; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (tools/setup.sh installs it)"; exit 77; }
done
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

(cd "$build" && cpack -G DEB -B "$dir/out" >"$dir/cpack.log" 2>&1) || { cat "$dir/cpack.log"; exit 1; }
debs=("$dir"/out/*.deb)
[ "${#debs[@]}" -eq 1 ] || { echo "FAIL: cpack made ${#debs[@]} packages"; exit 1; }
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "groovestone-dsd_${version}_amd64.deb" ] || fail "file name $(basename "$deb")"

# Debian's checker as root warns that it runs as root: only its findings count.
if ! findings=$(lintian --fail-on error,warning "$deb" 2>/dev/null) || grep -qE '^[EW]:' <<<"$findings"; then
  fail "lintian: $findings"
fi

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$dir/files"
id=org.groovestone.GroovestoneDSD
for path in /usr/bin/Groovestone-lp-dsd /usr/share/applications/$id.desktop /usr/share/metainfo/$id.metainfo.xml \
  /usr/share/man/man1/Groovestone-lp-dsd.1.gz /usr/share/doc/groovestone-dsd/copyright \
  /usr/share/doc/groovestone-dsd/changelog.gz; do
  grep -qx "$path" "$dir/files" || fail "no $path"
done
for size in 16 32 48 64 128 256; do
  grep -qx "/usr/share/icons/hicolor/${size}x${size}/apps/$id.png" "$dir/files" || fail "no ${size}x${size} icon"
done
# Nothing outside /usr; the desktop's triggers do the rest, so the control part holds no scripts.
grep -v '^/usr/' "$dir/files" | grep -vx '/' && fail "files outside /usr"
dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -vxE '|control|md5sums' &&
  fail "maintainer scripts or other control files"

# Depends names the libraries of the executable and of the engine libraries it carries.
depends=$(dpkg-deb -f "$deb" Depends)
for package in libgtk-3-0 libasound2 libpng16-16 libjpeg62-turbo; do
  grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done

dpkg-deb -x "$deb" "$dir/root"
[ "$("$dir/root/usr/bin/Groovestone-lp-dsd" --version)" = "Groovestone DSD $version" ] ||
  fail "--version of the packaged program is not $version"
zcat "$dir/root/usr/share/doc/groovestone-dsd/changelog.gz" | head -n1 | grep -qF "groovestone-dsd ($version)" ||
  fail "the changelog's newest entry is not $version"
grep -qF "<release version=\"$version\"" "$dir/root/usr/share/metainfo/$id.metainfo.xml" ||
  fail "the metainfo's releases lack $version"

[ "$failures" -eq 0 ] && echo "package $(basename "$deb") built and checked"
exit $((failures > 0))
