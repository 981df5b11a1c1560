#!/usr/bin/env bash
# Installs every Debian package Kiv needs to build, test and run.
# Idempotent: prints nothing and touches nothing when all are present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev ccache
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libjpeg62-turbo-dev libpng-dev libgif-dev libproj-dev proj-bin
  libwxgtk3.2-dev libcairo2-dev libx11-dev  # libx11: the display connection held over start-up
  gpsd-clients socat curl python3
  gpsd gpsd-tools  # gpsd and gpsfake: the gpsd:// source tests replay captures through them
  xvfb xdotool x11-apps imagemagick openbox wmctrl
  cgi-mapserver mapserver-bin lighttpd gdal-bin python3-gdal gmt gmt-gshhg-full fonts-dejavu-core
  libgeonames0  # the world's towns of the map server's default data (GeoNames, 15000 people and more)
  libcurl4-openssl-dev  # HTTP(S) client
  libexpat1-dev     # GPX reading
  libjansson-dev  # gpsd's JSON replies
  libsqlite3-dev sqlite3 libwebp-dev  # MBTiles tile files, WebP tiles
  openssl  # test certificate authority for the HTTPS tests
  gpsbabel          # reads back every GPX file Kiv writes (tests)
  osmium-tool bzip2  # OSM import tests write PBF and bzip2 extracts; imports read .osm.bz2
  libxml2-utils     # xmllint: GPX files are well formed (tests)
  routino libroutino-dev  # offline routing over the imported roads (kivroute only: AGPL-3.0)
  scdoc librsvg2-bin  # man pages and icon sizes of the install
  dpkg-dev desktop-file-utils  # the Debian package (shlibdeps) and its desktop entry check
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
