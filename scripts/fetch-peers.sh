#!/bin/sh
# Unpacks private copies of the test servers (nginx, vsftpd, pure-ftpd,
# proftpd) and of the test proxy (tinyproxy) from Debian's packages into DIR,
# without installing them: nothing runs as a service and a server the user
# has installed stays untouched. Safe to run again; it downloads only what
# DIR lacks.
set -e
[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
dir=$1
mkdir -p "$dir/debs"
cd "$dir/debs"
for package in nginx nginx-common vsftpd pure-ftpd proftpd-core tinyproxy-bin; do
    [ -f "$package.unpacked" ] && continue
    rm -f "${package}"_*.deb
    if ! apt-get download -q "$package" >/dev/null 2>download.log; then
        cat download.log >&2
        echo "cannot download $package; run scripts/install-deps.sh --test first" >&2
        exit 1
    fi
    dpkg-deb -x "${package}"_*.deb ..
    touch "$package.unpacked"
done
