#!/usr/bin/env bash
# The Debian package of the build tree: made by CPack into a folder of its
# own, it lists the programs, the desktop entry, the icon and the man pages,
# and its dependencies came from the shared libraries.
set -u
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$out" > "$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/kiv_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { echo "FAIL: no kiv_*.deb made"; cat "$out/cpack.log"; exit 1; }
files=$(dpkg-deb -c "$deb" | awk '{print $6}')
status=0
for f in bin/kiv bin/kivsheet bin/kivtrack bin/kivsim bin/kivdump bin/kiv-mapserver \
         share/kiv/mapserver/kiv-mapserver.sh share/kiv/mapserver/build_data.py \
         share/applications/kiv.desktop share/icons/hicolor/scalable/apps/kiv.svg \
         share/icons/hicolor/48x48/apps/kiv.png share/doc/kiv/copyright \
         share/man/man1/kiv.1.gz share/man/man1/kivsheet.1.gz share/man/man1/kivtrack.1.gz \
         share/man/man1/kivsim.1.gz share/man/man1/kivdump.1.gz share/man/man1/kiv-mapserver.1.gz \
         bin/kivroute share/man/man1/kivroute.1.gz; do
  grep -qx "./usr/$f" <<< "$files" || { echo "FAIL: $(basename "$deb") lacks /usr/$f"; status=1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libwx' <<< "$depends" || { echo "FAIL: Depends without the wxWidgets library: $depends"; status=1; }
grep -q 'libroutino' <<< "$depends" || { echo "FAIL: Depends without Routino's library (kivroute): $depends"; status=1; }
grep -q 'cgi-mapserver' <<< "$(dpkg-deb -f "$deb" Recommends)" || { echo "FAIL: the map server is not recommended"; status=1; }
[ $status -eq 0 ] && echo "$(basename "$deb"): $(wc -l <<< "$files") entries, Depends: $depends"
exit $status
