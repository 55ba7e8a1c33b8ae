#!/bin/sh
# Installs from Debian 12's packages what building and running the suite and
# making its packages (scripts/build-packages.sh) need; with --test, also
# what its tests need. Safe to run again.
#
# It installs no server: the tests run nginx, vsftpd, pure-ftpd and the
# proxy tinyproxy from private copies that scripts/fetch-peers.sh unpacks into
# the build tree, so no service is started and an FTP or web server the user
# has stays as it is. It asks for root (sudo) only when something is missing.
#
#   --test   add what the tests need
#   --fuzz   add what the sanitizer and fuzz builds need
#   --list   print the packages one per line, install nothing
set -e
# file and desktop-file-utils: CPack's dependency scan and the menu entry's check.
packages="build-essential cmake pkg-config qt6-base-dev qt6-qpa-plugins libmspack-dev fonts-wqy-zenhei
  file desktop-file-utils"
# qt6-tools-dev builds the Designer plugin; it needs libqt6opengl6-dev but
# does not pull it in. The private nginx, vsftpd, pure-ftpd and proftpd need
# their libraries, which start nothing (tinyproxy needs only the C library).
# strace stops tessal at a chosen system call in the data-safety tests;
# lintian judges the packages that scripts/build-packages.sh makes, and
# abigail-tools and xz-utils the libraries' ABI (scripts/check-abi.sh).
# dbus-daemon (dbus-run-session), dbus-bin, at-spi2-core and python3-pyatspi
# let a test read the progress bar as a screen reader does, on a private bus
# under Xvfb.
test_packages="gcab python3-pyftpdlib curl time xvfb xauth openssl strace lintian abigail-tools xz-utils
  qt6-tools-dev libqt6opengl6-dev
  libcrypt1 libpcre2-8-0 libssl3 zlib1g libcap2 libpam0g libwrap0 libsodium23
  libacl1 libhiredis0.14 libmemcached11 libmemcachedutil2 libpcre2-posix3
  dbus-daemon dbus-bin at-spi2-core python3-pyatspi"
# clang and its sanitizer runtimes build the fuzz targets; ccache speeds up the extra builds.
fuzz_packages="ccache clang-14 libclang-rt-14-dev"
list=no
for argument in "$@"; do
    case $argument in
        --test) packages="$packages $test_packages" ;;
        --fuzz) packages="$packages $fuzz_packages" ;;
        --list) list=yes ;;
        *) echo "usage: $0 [--test] [--fuzz] [--list]" >&2; exit 2 ;;
    esac
done
if [ $list = yes ]; then
    printf '%s\n' $packages
    exit 0
fi
missing=$(for p in $packages; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || echo "$p"
done)
[ -n "$missing" ] || exit 0
if [ "$(id -u)" -eq 0 ]; then
    root=
elif command -v sudo >/dev/null; then
    root=sudo
else
    echo "Missing packages; as root, run: apt-get install" $missing >&2
    exit 1
fi
# shellcheck disable=SC2086
$root env DEBIAN_FRONTEND=noninteractive apt-get update -q
# shellcheck disable=SC2086
$root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
