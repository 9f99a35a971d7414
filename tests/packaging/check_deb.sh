#!/usr/bin/env bash
# Builds the Debian package with CPack and checks it: its name, its control fields (the
# libraries found by dpkg-shlibdeps and the fonts the windows need), that it holds exactly the
# files of a `cmake --install` into /usr with the programs stripped and executable, and that
# apt could install it on this machine.
# Usage: check_deb.sh BUILD_DIR
set -uo pipefail
# The pages and the help are Chinese: read and render them as UTF-8 whatever the caller's locale.
export LC_ALL=C.UTF-8
build=$(realpath "$1")
failures=0
fail() {
  echo "check_deb: $*" >&2
  failures=$((failures + 1))
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! (cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "check_deb: cpack -G DEB failed" >&2
  exit 1
fi
mapfile -t debs < <(find "$work/out" -maxdepth 1 -name '*.deb')
if [ ${#debs[@]} -ne 1 ]; then
  echo "check_deb: cpack made ${#debs[@]} packages: ${debs[*]}" >&2
  exit 1
fi
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "qarvo_${version}_${arch}.deb" ] ||
  fail "the package is named $(basename "$deb"), not qarvo_${version}_${arch}.deb"
[ "$(dpkg-deb -f "$deb" Package)" = qarvo ] || fail "the package is not called qarvo"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "the package is not for $arch"

depends=$(dpkg-deb -f "$deb" Depends)
echo "check_deb: $(basename "$deb") Depends: $depends"
# Fonts and Qt's translations for the windows, and libraries only dpkg-shlibdeps could have named.
depended=$(tr ',' '\n' <<<"$depends" | awk '{ print $1 }')
for needed in fonts-wqy-microhei fonts-liberation2 qt6-translations-l10n libc6 libstdc++6 zlib1g libdeflate0 libisal2 libssl3 \
  libqt6core6 libqt6gui6 libqt6widgets6 libqt6multimedia6; do
  grep -qxF -- "$needed" <<<"$depended" || fail "Depends lacks $needed"
done

# The package's files against an install of the same build into /usr.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||' | sort >"$work/deb.txt"
if ! cmake --install "$build" --prefix "$work/stage/usr" >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  fail "cmake --install failed"
fi
(cd "$work/stage" && find . ! -type d | sed 's|^\./||' | sort) >"$work/install.txt"
if ! diff -u "$work/install.txt" "$work/deb.txt" >"$work/diff.txt"; then
  fail "the package's files differ from the install:"
  cat "$work/diff.txt" >&2
else
  echo "check_deb: the package holds the $(wc -l <"$work/deb.txt") files of the install"
fi

# Programs: executable, stripped, and running from the unpacked package.
dpkg-deb -x "$deb" "$work/root"
for program in usr/bin/qarvo usr/bin/qarvo-gui; do
  mode=$(dpkg-deb -c "$deb" | awk -v name="./$program" '$6 == name { print $1 }')
  [ "$mode" = "-rwxr-xr-x" ] || fail "$program has mode $mode in the package"
  file -b "$work/root/$program" | grep -q ', stripped' || fail "$program is not stripped"
done
"$work/root/usr/bin/qarvo" --help >/dev/null || fail "qarvo from the package does not run"

# apt would install it here: every dependency can be met.
if ! out=$(apt-get install --simulate -q "$deb" 2>&1); then
  fail "apt-get install --simulate $deb: $out"
fi

if [ "$failures" -ne 0 ]; then
  echo "check_deb: $failures failures" >&2
  exit 1
fi
echo "check_deb: ok"
