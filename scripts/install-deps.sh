#!/bin/sh
# Installs what building and testing the suite needs on Debian 12. Safe to run again.
set -e
packages="build-essential cmake pkg-config qt6-base-dev qt6-qpa-plugins libmspack-dev
  fonts-wqy-zenhei gcab nginx-light vsftpd python3-pyftpdlib curl time xvfb xauth
  ccache clang-14 libclang-rt-14-dev"
if [ "$(id -u)" -ne 0 ]; then
    exec sudo "$0" "$@"
fi
missing=$(for p in $packages; do dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || echo "$p"; done)
if [ -n "$missing" ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    # shellcheck disable=SC2086
    apt-get install -y -q --no-install-recommends $missing
fi
