#!/usr/bin/env bash
# Makes the Debian package of a build (cmake --build BUILD_DIR --target package) and checks it:
# its name, fields and files, that lintian finds no error in it, and that the programs work
# from wherever it is unpacked (dpkg-deb -x), away from the build tree: quorvel converts,
# extracts, and play serves Ruffle from the package's own files.
# Usage: check-package.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
player=""
cleanup() {
  [ -z "$player" ] || kill "$player" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

rm -f "$build"/quorvel_*.deb
cmake --build "$build" -j "$(nproc)" --target package >"$work/package.out" 2>&1 ||
  { cat "$work/package.out" >&2; fail "the package target failed"; }
debs=("$build"/quorvel_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "the package target made no quorvel_*.deb"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "quorvel_${version}_$(dpkg --print-architecture).deb" ] ||
  fail "$(basename "$deb") is not named as Debian names packages"

# The libraries that dpkg-shlibdeps found, and FreeImage, which extraction loads by itself.
depends=$(dpkg-deb -f "$deb" Depends)
has_gui=$(dpkg-deb -c "$deb" | grep -c '\./usr/bin/quorvel-gui$' || true)
needed=(libc6 libgif7 libwebpdemux2 libfreeimage3)
[ "$has_gui" = 0 ] || needed+=(libqt6widgets6 qt6-qpa-plugins)
for package in "${needed[@]}"; do
  grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done

unpacked=$work/root
dpkg-deb -x "$deb" "$unpacked"
files=(usr/bin/quorvel usr/lib/quorvel/quorvel-server.so usr/share/quorvel/ruffle/ruffle.js
       usr/share/man/man1/quorvel.1.gz usr/share/bash-completion/completions/quorvel
       usr/share/zsh/vendor-completions/_quorvel
       usr/share/doc/quorvel/copyright usr/share/doc/quorvel/changelog.gz)
[ "$has_gui" = 0 ] || files+=(usr/bin/quorvel-gui usr/share/man/man1/quorvel-gui.1.gz
                              usr/share/icons/hicolor/scalable/apps/quorvel.svg
                              usr/share/icons/hicolor/48x48/apps/quorvel.png)
for file in "${files[@]}"; do
  [ -f "$unpacked/$file" ] || fail "the package lacks /$file"
done
if [ "$has_gui" != 0 ]; then
  metainfo=$(ls "$unpacked"/usr/share/metainfo/*.metainfo.xml) || fail "no AppStream metadata"
  [ -f "$unpacked/usr/share/applications/$(basename "$metainfo" .metainfo.xml).desktop" ] ||
    fail "no desktop entry named after $(basename "$metainfo")"
fi
[ -z "$(find "$unpacked" -name '*.map')" ] || fail "the package holds Ruffle's source maps"
zcat "$unpacked/usr/share/doc/quorvel/changelog.gz" | head -n 1 | grep -qF "quorvel ($version)" ||
  fail "packaging/changelog has no entry for $version on top"

lintian --fail-on error "$deb" >"$work/lintian.out" 2>&1 ||
  { cat "$work/lintian.out" >&2; fail "lintian finds errors in $(basename "$deb")"; }
cat "$work/lintian.out"

# The unpacked programs, with nothing pointing them at the build tree.
unset QUORVEL_RUFFLE_DIR
quorvel=$unpacked/usr/bin/quorvel
gif=$root/examples/bouncing.gif
"$quorvel" convert -q -o "$work/out" "$gif" || fail "the unpacked quorvel cannot convert"
[ "$(head -c 3 "$work/out/bouncing.swf")" = FWS ] || fail "convert wrote no movie"
"$quorvel" extract -q --format png -o "$work/frames" "$gif" || fail "the unpacked quorvel cannot extract"
frames=$("$quorvel" info "$gif" | awk '$1 == "frames" { print $2 }')
[ "$(find "$work/frames" -name '*.png' | wc -l)" = "$frames" ] || fail "extract did not write $frames frames"

# Marked, the unpacked Ruffle differs from every other copy: play must serve this one.
echo "// unpacked from $(basename "$deb")" >>"$unpacked/usr/share/quorvel/ruffle/ruffle.js"
"$quorvel" play --no-open "$work/out/bouncing.swf" >"$work/address" 2>"$work/play.err" &
player=$!
for _ in $(seq 100); do [ -s "$work/address" ] && break; sleep 0.1; done
address=$(head -n 1 "$work/address")
[ -n "$address" ] || fail "the unpacked quorvel play printed no address: $(cat "$work/play.err")"
curl -fsS -o "$work/ruffle.js" "${address}ruffle/ruffle.js" || fail "play did not serve Ruffle"
curl -fsS -o "$work/movie.swf" "${address}movie.swf" || fail "play did not serve the movie"
kill -INT "$player"
status=0; wait "$player" || status=$?
player=""
[ "$status" = 130 ] || fail "the unpacked quorvel play ended with $status: $(cat "$work/play.err")"
cmp -s "$work/ruffle.js" "$unpacked/usr/share/quorvel/ruffle/ruffle.js" ||
  fail "play served a Ruffle other than the package's"
cmp -s "$work/movie.swf" "$work/out/bouncing.swf" || fail "play served another movie"
echo "check-package: $(basename "$deb") ($(stat -c %s "$deb") bytes) is good"
