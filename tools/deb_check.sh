#!/usr/bin/env bash
# Builds Quendra's Debian packages as a packager does and checks them:
#
#   tools/deb_check.sh [--rebuild] [--as VERSION] [FOLDER]   (build-deb/ by default)
#
# The tree (its files that git knows or would add) is copied to
# FOLDER/quendra-VERSION, where dpkg-buildpackage makes the source package
# and the binary packages with Debian's build flags. Then: lintian --pedantic
# with no error and no warning, hardening-check on every program and module,
# each flag once, the program's package without the web engine and the
# browser's package with it (where it is built: DEB_BUILD_PROFILES=
# pkg.quendra.nowebengine, or an architecture without Qt WebEngine, leaves
# it out), and the packages packed again from the same build come out the
# same, byte for byte (with --rebuild, built again from the source package
# in another folder too). The packages stay in FOLDER for
# tools/clean_system_check.sh.
#
# --as VERSION builds it as a distribution numbers its own build, with an
# entry of that version on top of the changelog: a rebuild (binNMU) such as
# 0.1.0+b1 binary-only, as the build daemons do; a Debian revision such as
# 0.1.0-1 from an upstream tarball (quendra_0.1.0.orig.tar.xz) and format
# 3.0 (quilt); any other version (0.1.0+deb13u1) as the tree's native source.
#
# Needs the build dependencies (tools/deps.sh), lintian and devscripts
# (hardening-check). DEB_BUILD_OPTIONS=nocheck skips the unit tests that the
# package build runs (CI has run them already).
set -euo pipefail
cd "$(dirname "$0")/.."
rebuild=false
as=""
while [ $# -gt 0 ]; do
    case $1 in
    --rebuild) rebuild=true; shift ;;
    --as) as=${2:?--as needs a version}; shift 2 ;;
    *) break ;;
    esac
done
out=$(realpath -m "${1:-build-deb}")
version=${as:-$(dpkg-parsechangelog -S Version)}
binnmu=false
[[ $version =~ \+b[0-9]+$ ]] && binnmu=true
# The upstream version names the folder, as dpkg-source names it: without
# epoch, binNMU suffix and Debian revision (and so the same folder, and the
# same paths in the build, for every build of one release).
upstream=${version#*:}
$binnmu && upstream=${upstream%+b*}
[[ $upstream == *-* ]] && upstream=${upstream%-*}
src=$out/quendra-$upstream
# File names leave the epoch out.
fversion=${version#*:}
arch=$(dpkg-architecture -qDEB_HOST_ARCH)

fail() { echo "deb_check: $*" >&2; exit 1; }
! $rebuild || ! $binnmu || fail "a binNMU has no source package to build again from"

rm -rf "$out"
mkdir -p "$src"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
        tar -c --null -T - | tar -x -C "$src"
else
    tar -c --exclude-vcs --exclude='./build*' . | tar -x -C "$src"
fi

build=(-us -uc)
if [ -n "$as" ]; then
    # The entry a distribution adds, now.
    when=$(date -u -R)
    if $binnmu; then
        header="quendra ($version) unstable; urgency=low, binary-only=yes"
        change="Binary-only non-maintainer upload for $arch; no source changes."
        build+=(-B)
    else
        header="quendra ($version) unstable; urgency=medium"
        change="Built by the distribution as version $version."
    fi
    { printf '%s\n\n  * %s\n\n -- Quendra developers <quendra@quendra.example>  %s\n\n' "$header" "$change" "$when"
      cat "$src/debian/changelog"; } >"$src/debian/changelog.new"
    mv "$src/debian/changelog.new" "$src/debian/changelog"
    if [[ ${version#*:} == *-* ]]; then
        # The upstream tarball: the tree without debian/, as it was released.
        tar -C "$out" --exclude="quendra-$upstream/debian" --sort=name --owner=0 --group=0 --numeric-owner \
            --mtime="@$(dpkg-parsechangelog -l "$src/debian/changelog" -S Timestamp)" -cJf "$out/quendra_$upstream.orig.tar.xz" "quendra-$upstream"
        echo "3.0 (quilt)" >"$src/debian/source/format"
    fi
fi
started=$SECONDS
(cd "$src" && dpkg-buildpackage "${build[@]}" -j"$(nproc)") >"$out/build.log" 2>&1 ||
    { tail -n 60 "$out/build.log"; echo "deb_check: dpkg-buildpackage failed ($out/build.log)" >&2; exit 1; }
echo "deb_check: dpkg-buildpackage ${build[*]} of $version took $((SECONDS - started)) s"
grep -E '^[0-9]+% tests passed|tests failed out of' "$out/build.log" || echo "deb_check: the build ran no tests"
program=$out/quendra_${fversion}_$arch.deb
browser=$out/quendra-webbrowser_${fversion}_$arch.deb
# The browser's package is built where debian/control and the build
# profiles say so.
with_browser=false
(cd "$src" && dh_listpackages) | grep -qx quendra-webbrowser && with_browser=true
debs=("$program")
$with_browser && debs+=("$browser")
[ -f "$browser" ] && ! $with_browser && fail "$(basename "$browser") was made where it should not be"
for deb in "${debs[@]}"; do
    [ -f "$deb" ] || { echo "deb_check: $deb was not made" >&2; exit 1; }
    echo "== $(basename "$deb"): $(stat -c %s "$deb") bytes"
    dpkg-deb --field "$deb" Package Version Installed-Size Depends Recommends
    dpkg-deb --contents "$deb" | awk '{print $6}'
done

# Errors and warnings fail; the pedantic and informational tags are shown.
# A Debian revision keeps the native entries of the releases below its own.
echo "== lintian"
suppress=()
[[ -z $as || ${as#*:} != *-* ]] || suppress=(--suppress-tags odd-historical-debian-changelog-version)
lintian --pedantic --display-info --fail-on error,warning "${suppress[@]}" "$out/quendra_${fversion}_"*.changes
echo "deb_check: lintian reports no error and no warning"

echo "== hardening-check"
root=$out/root
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$root"; done
binaries=("$root/usr/bin/quendra" "$root/usr/bin/quendra-httpq-sim")
$with_browser && binaries+=("$root"/usr/lib/*/quendra/quendra-webbrowser.so)
# Every check but one must pass. A binary is marked for control-flow
# protection only when every object linked into it is, and Debian's C
# start-up files are not (nor is any of its own programs, on Debian 12 or
# 13): there, the build log shows that every file was compiled with it, and
# with the rest. Debian 13's hardening-check also asks every architecture
# for arm64's branch protection.
skip=(--nocfprotection)
help=$(hardening-check --help 2>&1 || true)
[ "$arch" = arm64 ] || [[ $help != *--nobranchprotection* ]] || skip+=(--nobranchprotection)
hardening-check "${skip[@]}" "${binaries[@]}"
compiles=$(grep -E '/(c\+\+|g\+\+)[^ /]* .* -c ' "$out/build.log" || true)
[ -n "$compiles" ] || fail "no compiler commands in the build log"
flags=(-O2 -fstack-protector-strong -D_FORTIFY_SOURCE=3)
case $arch in
amd64 | i386) flags+=(-fcf-protection -fstack-clash-protection) ;;
esac
for flag in "${flags[@]}"; do
    if grep -vq -e " $flag " <<<"$compiles"; then fail "a file was compiled without $flag"; fi
done
# Each hardening flag once: Debian 13's dpkg adds some that Debian 12's
# did not, and debian/rules adds them only where dpkg does not.
twice=$(awk -v flags="${flags[*]} -fcf-protection -fstack-clash-protection -mbranch-protection=standard" '
    BEGIN { n = split(flags, list, " "); for (i = 1; i <= n; i++) hardening[list[i]] = 1 }
    { split("", seen); for (i = 1; i <= NF; i++) if (($i in hardening) && seen[$i]++ == 1) print $i }' <<<"$compiles" | sort -u)
[ -z "$twice" ] || fail "hardening flags given twice: $(echo $twice)"
echo "all $(wc -l <<<"$compiles") files compiled with ${flags[*]}, each once"

# The program runs without the web engine; web-control mode's browser is a
# package of its own that brings it, and that the program recommends.
depends=$(dpkg-deb --field "$program" Depends)
if grep -qi webengine <<<"$depends"; then fail "the program's package depends on the web engine: $depends"; fi
if dpkg-deb --contents "$program" | grep -q 'quendra-webbrowser'; then fail "the program's package holds the browser module"; fi
dpkg-deb --field "$program" Recommends | grep -qx 'quendra-webbrowser' || fail "the program does not recommend its browser"
if $with_browser; then
    grep -q 'libqt6webengine' <<<"$(dpkg-deb --field "$browser" Depends)" || fail "the browser's package does not bring the web engine"
    grep -q "quendra (= $version)" <<<"$(dpkg-deb --field "$browser" Depends)" || fail "the browser's package does not need its program"
fi

# Packed again from the same build, the packages are the same bytes (the
# files' times are the changelog's, as dpkg-buildpackage sets them).
again=$out/again
mkdir -p "$again"
(cd "$src" && SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -S Timestamp) dh_builddeb --destdir="$again") >>"$out/build.log" 2>&1
for deb in "${debs[@]}"; do
    cmp "$deb" "$again/$(basename "$deb")" || fail "$(basename "$deb") packed again differs"
done
echo "deb_check: packed again, the packages are the same bytes"

# --rebuild: built a second time from the source package, in another folder,
# with another umask, the packages are the same bytes too.
if $rebuild; then
    started=$SECONDS
    rebuilt=$out/rebuild/elsewhere
    mkdir -p "$rebuilt"
    dpkg-source -x "$out/quendra_$fversion.dsc" "$rebuilt/quendra" >"$out/rebuild.log" 2>&1 ||
        { cat "$out/rebuild.log"; fail "the source package does not unpack"; }
    (cd "$rebuilt/quendra" && umask 002 && dpkg-buildpackage -us -uc -b -j"$(nproc)") >>"$out/rebuild.log" 2>&1 ||
        { tail -n 40 "$out/rebuild.log"; fail "the second build failed ($out/rebuild.log)"; }
    for deb in "${debs[@]}"; do
        cmp "$deb" "$rebuilt/$(basename "$deb")" || fail "$(basename "$deb") built again differs"
    done
    echo "deb_check: built again elsewhere ($((SECONDS - started)) s), the packages are the same bytes"
fi
