#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the result as a user's system sees it:
# every file in its place, both programs run from there (the window program through the smoke
# run), the desktop entry and the AppStream file pass their validators, the manual pages
# render without a warning and match the help, and the bash completion matches the commands.
# Usage: check_install.sh BUILD_DIR
set -uo pipefail
# The pages and the help are Chinese: read and render them as UTF-8 whatever the caller's locale.
export LC_ALL=C.UTF-8
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(realpath "$1")
failures=0
fail() {
  echo "check_install: $*" >&2
  failures=$((failures + 1))
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/usr
if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  echo "check_install: cmake --install failed" >&2
  exit 1
fi
echo "check_install: installed into $prefix"

desktop=$prefix/share/applications/qarvo-gui.desktop
metainfo=$prefix/share/metainfo/org.qarvo.Qarvo.metainfo.xml
manpages=("$prefix/share/man/man1/qarvo.1.gz" "$prefix/share/man/man1/qarvo-gui.1.gz")
completion=$prefix/share/bash-completion/completions/qarvo
for file in bin/qarvo bin/qarvo-gui; do
  [ -x "$prefix/$file" ] || fail "$file is not installed as a program"
done
for file in "$desktop" "$metainfo" "${manpages[@]}" "$completion"; do
  [ -s "$file" ] || fail "${file#"$prefix"/} is missing"
done

# Programs from the prefix must not lean on the build folder.
for program in "$prefix/bin/qarvo" "$prefix/bin/qarvo-gui"; do
  if readelf -d "$program" 2>/dev/null | grep -E 'RPATH|RUNPATH' | grep -qF "$build"; then
    fail "${program#"$prefix"/} still looks for libraries in the build folder"
  fi
done

# The icon: each picture sits in the folder of its size, and the desktop entry's icon name is
# there in every size.
icon=$(sed -n 's/^Icon=//p' "$desktop")
icons=$(cd "$prefix/share/icons/hicolor" 2>/dev/null && find . -path "*/apps/$icon.*" | sort)
[ -n "$icons" ] || fail "no icon $icon in the hicolor theme"
for file in $icons; do
  size=$(cut -d/ -f2 <<<"$file")
  case $file in
    *.png)
      picture=$(file -b "$prefix/share/icons/hicolor/$file" | grep -o '[0-9]\+ x [0-9]\+' | tr -d ' ')
      [ "$picture" = "$size" ] || fail "icon $file is $picture pixels, not $size"
      ;;
    *.svg)
      [ "$size" = scalable ] || fail "icon $file is a drawing outside scalable/"
      ;;
  esac
done

# The command line program, run from the prefix.
if ! help=$("$prefix/bin/qarvo" --help 2>&1); then
  fail "qarvo --help failed: $help"
elif ! grep -q '^用法: qarvo ' <<<"$help"; then
  fail "qarvo --help prints no usage: $help"
fi

# The window program, run from the prefix.
"$root/scripts/gui-smoke.sh" "$prefix/bin/qarvo-gui" || fail "the smoke run of the installed qarvo-gui failed"

# The desktop entry: valid, and it starts the installed program with the files it is given.
if ! out=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$out" ]; then
  fail "desktop-file-validate: $out"
else
  echo "check_install: desktop-file-validate ${desktop#"$prefix"/}: no findings"
fi
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ "$exec_line" = "qarvo-gui %F" ] || fail "the desktop entry runs \"$exec_line\", not \"qarvo-gui %F\""

# The file type of split pieces: the shared MIME database takes it without a complaint, knows
# *.vrk by it, and the desktop entry opens it.
if ! out=$(XDG_DATA_DIRS="$prefix/share" update-mime-database "$prefix/share/mime" 2>&1) ||
  [ -n "$out" ]; then
  fail "update-mime-database: $out"
fi
grep -qxF 'application/x-qarvo-piece:*.vrk' "$prefix/share/mime/globs" 2>/dev/null ||
  fail "the MIME database does not know *.vrk as application/x-qarvo-piece"
grep -qx 'MimeType=.*application/x-qarvo-piece;.*' "$desktop" ||
  fail "the desktop entry does not open application/x-qarvo-piece"

# The AppStream file, where the tool is installed.
if command -v appstreamcli >/dev/null; then
  if ! out=$(appstreamcli validate --no-net "$metainfo" 2>&1); then
    fail "appstreamcli validate: $out"
  else
    echo "check_install: appstreamcli validate ${metainfo#"$prefix"/}: $(tail -n 1 <<<"$out")"
  fi
  # The tree as a whole: the AppStream file together with the desktop entry it launches.
  if ! out=$(appstreamcli validate-tree --no-net "$work" 2>&1); then
    fail "appstreamcli validate-tree: $out"
  fi
  grep -qF "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" ||
    fail "the AppStream file does not launch $(basename "$desktop")"
else
  echo "check_install: appstreamcli is not installed; the AppStream file is not validated"
fi

# The manual pages: no warning from man at 80 columns, and qarvo.1 says what the help says.
for page in "${manpages[@]}"; do
  out=$(MANWIDTH=80 man -l "$page" 2>&1 >/dev/null)
  [ -z "$out" ] || fail "man -l ${page#"$prefix"/}: $out"
done
"$here/check_manpage.sh" "$prefix/bin/qarvo" "${manpages[0]}" || fail "qarvo.1 does not match the help"

"$here/check_completion.sh" "$prefix/bin/qarvo" "$completion" || fail "the completion does not match"

if [ "$failures" -ne 0 ]; then
  echo "check_install: $failures failures" >&2
  exit 1
fi
echo "check_install: ok"
