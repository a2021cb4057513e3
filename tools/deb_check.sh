#!/usr/bin/env bash
# Builds Quendra's Debian packages as a packager does and checks them:
#
#   tools/deb_check.sh [--rebuild] [FOLDER]      (build-deb/ by default)
#
# The tree (its files that git knows or would add) is copied to
# FOLDER/quendra-VERSION, where dpkg-buildpackage makes the source package
# and the binary packages with Debian's build flags. Then: lintian --pedantic
# with no error and no warning, hardening-check on every program and module,
# the program's package without the web engine and the browser's package
# with it, and the packages packed again from the same build come out the
# same, byte for byte (with --rebuild, built again from the source package
# in another folder too). The packages stay in FOLDER for
# tools/clean_system_check.sh.
#
# Needs the build dependencies (tools/deps.sh), lintian and devscripts
# (hardening-check). DEB_BUILD_OPTIONS=nocheck skips the unit tests that the
# package build runs (CI has run them already).
set -euo pipefail
cd "$(dirname "$0")/.."
rebuild=false
if [ "${1-}" = --rebuild ]; then
    rebuild=true
    shift
fi
out=$(realpath -m "${1:-build-deb}")
version=$(dpkg-parsechangelog -S Version)
src=$out/quendra-$version

fail() { echo "deb_check: $*" >&2; exit 1; }

rm -rf "$out"
mkdir -p "$src"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
        tar -c --null -T - | tar -x -C "$src"
else
    tar -c --exclude-vcs --exclude='./build*' . | tar -x -C "$src"
fi

started=$SECONDS
(cd "$src" && dpkg-buildpackage -us -uc -j"$(nproc)") >"$out/build.log" 2>&1 ||
    { tail -n 60 "$out/build.log"; echo "deb_check: dpkg-buildpackage failed ($out/build.log)" >&2; exit 1; }
echo "deb_check: dpkg-buildpackage took $((SECONDS - started)) s"
program=$out/quendra_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb
browser=$out/quendra-webbrowser_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb
for deb in "$program" "$browser"; do
    [ -f "$deb" ] || { echo "deb_check: $deb was not made" >&2; exit 1; }
    echo "== $(basename "$deb"): $(stat -c %s "$deb") bytes"
    dpkg-deb --field "$deb" Package Version Installed-Size Depends Recommends
    dpkg-deb --contents "$deb" | awk '{print $6}'
done

# Errors and warnings fail; the pedantic and informational tags are shown.
echo "== lintian"
lintian --pedantic --display-info --fail-on error,warning "$out/quendra_${version}_"*.changes
echo "deb_check: lintian reports no error and no warning"

echo "== hardening-check"
root=$out/root
for deb in "$program" "$browser"; do dpkg-deb -x "$deb" "$root"; done
binaries=("$root/usr/bin/quendra" "$root/usr/bin/quendra-httpq-sim" "$root"/usr/lib/*/quendra/quendra-webbrowser.so)
# Every check but one must pass. A binary is marked for control-flow
# protection only when every object linked into it is, and Debian 12's C
# start-up files are not (nor is any of its own programs): there, the build
# log shows that every file was compiled with it, and with the rest.
hardening-check --nocfprotection "${binaries[@]}"
compiles=$(grep -E '/usr/bin/(c\+\+|g\+\+)[^ ]* .* -c ' "$out/build.log" || true)
[ -n "$compiles" ] || fail "no compiler commands in the build log"
flags=(-O2 -fstack-protector-strong -D_FORTIFY_SOURCE=3)
case $(dpkg-architecture -qDEB_HOST_ARCH) in
amd64 | i386) flags+=(-fcf-protection -fstack-clash-protection) ;;
esac
for flag in "${flags[@]}"; do
    if grep -vq -e " $flag " <<<"$compiles"; then fail "a file was compiled without $flag"; fi
done
echo "all $(wc -l <<<"$compiles") files compiled with ${flags[*]}"

# The program runs without the web engine; web-control mode's browser is a
# package of its own that brings it, and that the program recommends.
depends=$(dpkg-deb --field "$program" Depends)
if grep -qi webengine <<<"$depends"; then fail "the program's package depends on the web engine: $depends"; fi
if dpkg-deb --contents "$program" | grep -q 'quendra-webbrowser'; then fail "the program's package holds the browser module"; fi
dpkg-deb --field "$program" Recommends | grep -qx 'quendra-webbrowser' || fail "the program does not recommend its browser"
grep -q 'libqt6webengine' <<<"$(dpkg-deb --field "$browser" Depends)" || fail "the browser's package does not bring the web engine"
grep -q "quendra (= $version)" <<<"$(dpkg-deb --field "$browser" Depends)" || fail "the browser's package does not need its program"

# Packed again from the same build, the packages are the same bytes (the
# files' times are the changelog's, as dpkg-buildpackage sets them).
again=$out/again
mkdir -p "$again"
(cd "$src" && SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -S Timestamp) dh_builddeb --destdir="$again") >>"$out/build.log" 2>&1
for deb in "$program" "$browser"; do
    cmp "$deb" "$again/$(basename "$deb")" || fail "$(basename "$deb") packed again differs"
done
echo "deb_check: packed again, both packages are the same bytes"

# --rebuild: built a second time from the source package, in another folder,
# with another umask, the packages are the same bytes too.
if $rebuild; then
    started=$SECONDS
    rebuilt=$out/rebuild/elsewhere
    mkdir -p "$rebuilt"
    dpkg-source -x "$out/quendra_$version.dsc" "$rebuilt/quendra" >"$out/rebuild.log" 2>&1 ||
        { cat "$out/rebuild.log"; fail "the source package does not unpack"; }
    (cd "$rebuilt/quendra" && umask 002 && dpkg-buildpackage -us -uc -b -j"$(nproc)") >>"$out/rebuild.log" 2>&1 ||
        { tail -n 40 "$out/rebuild.log"; fail "the second build failed ($out/rebuild.log)"; }
    for deb in "$program" "$browser"; do
        cmp "$deb" "$rebuilt/$(basename "$deb")" || fail "$(basename "$deb") built again differs"
    done
    echo "deb_check: built again elsewhere ($((SECONDS - started)) s), both packages are the same bytes"
fi
