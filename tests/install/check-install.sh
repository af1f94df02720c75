#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop and a shell get from it:
# the programs, manual pages that cover every option, shell completion that completes, and a
# desktop entry and AppStream metadata that their validators accept.
# Usage: check-install.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
share=$prefix/share
for file in bin/quorvel bin/quorvel-gui share/man/man1/quorvel.1.gz share/man/man1/quorvel-gui.1.gz \
            share/bash-completion/completions/quorvel share/zsh/site-functions/_quorvel \
            share/icons/hicolor/scalable/apps/quorvel.svg share/quorvel/ruffle/ruffle.js; do
  [ -e "$prefix/$file" ] || fail "$file was not installed"
done
metainfo=$(ls "$share"/metainfo/*.metainfo.xml) || fail "no AppStream metadata installed"
# The desktop entry is named after the AppStream id, as desktops expect.
desktop=$share/applications/$(basename "$metainfo" .metainfo.xml).desktop
[ -e "$desktop" ] || fail "$desktop was not installed"
# Ruffle's web build without its source maps, found by the installed program.
[ -z "$(find "$share/quorvel/ruffle" -name '*.map')" ] || fail "Ruffle's source maps were installed"
site=$(mktemp -d -p "$prefix")
"$prefix/bin/quorvel" convert -q --html --offline -o "$site" "$(dirname "$0")/../../examples/bouncing.gif" ||
  fail "the installed quorvel cannot copy Ruffle beside a page"
cmp -s "$site/ruffle/ruffle.js" "$share/quorvel/ruffle/ruffle.js" || fail "--offline did not copy Ruffle"
# play finds its web server, a module installed beside the program.
"$prefix/bin/quorvel" play --no-open "$(dirname "$0")/../../examples/bouncing.gif" >"$site/address" 2>"$site/play.err" &
player=$!
for _ in $(seq 100); do [ -s "$site/address" ] && break; sleep 0.1; done
kill -INT "$player"
status=0; wait "$player" || status=$?
[ "$status" = 130 ] || fail "the installed quorvel play ended with $status: $(cat "$site/play.err")"
grep -qE '^http://127\.0\.0\.1:[0-9]+/[0-9a-f]{32}/$' "$site/address" || fail "play printed no address"

# The manual pages render without warnings and name every option that --help lists.
for page in quorvel quorvel-gui; do
  warnings=$(zcat "$share/man/man1/$page.1.gz" | groff -man -Tutf8 -ww -z 2>&1)
  [ -z "$warnings" ] || fail "$page.1: $warnings"
done
manual=$(zcat "$share/man/man1/quorvel.1.gz" | groff -man -Tascii -P-cbou)
for command in convert extract play info; do
  for option in $("$prefix/bin/quorvel" help $command | grep -oE -- '--[a-z][a-z-]+' | sort -u); do
    [ "$option" = --help ] && continue
    grep -qF -- "$option" <<<"$manual" || fail "quorvel.1 does not describe $command $option"
  done
done
for option in --help --version; do
  "$prefix/bin/quorvel-gui" --help | grep -qF -- "$option" || fail "quorvel-gui --help lacks $option"
done

# Bash completion, asked as the shell asks it.
complete_words() { # the words typed so far; the last one is being completed
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _quorvel; echo "${COMPREPLY[*]}"' \
    _ "$share/bash-completion/completions/quorvel" "$@"
}
[ "$(complete_words quorvel "")" = "convert extract play info help --help --version -V" ] ||
  fail "commands: $(complete_words quorvel "")"
[ "$(complete_words quorvel convert --qu)" = "--quality --quiet" ] ||
  fail "convert --qu: $(complete_words quorvel convert --qu)"
[ "$(complete_words quorvel extract clip.gif --format "")" = "png bmp jpg jpeg tga" ] ||
  fail "extract --format: $(complete_words quorvel extract clip.gif --format "")"
[ "$(complete_words quorvel convert --quality n)" = "normal" ] || fail "convert --quality n"
[ "$(complete_words quorvel play --no)" = "--no-open" ] || fail "play --no: $(complete_words quorvel play --no)"

desktop-file-validate "$desktop"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli refuses $metainfo"
grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" ||
  fail "the metadata does not launch $(basename "$desktop")"
echo "check-install: all good"
