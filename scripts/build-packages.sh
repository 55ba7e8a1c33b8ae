#!/bin/sh
# Builds the Debian packages from a build folder (default: build) into
# BUILD/packages and checks them: their contents and control fields, and, on
# the files they hold unpacked into a temporary root (dpkg-deb -x, the same
# files dpkg -i would put in place), that tessal runs on Qt alone and that a
# host program finds both control libraries with find_package and runs.
# apt-get -s checks that their dependencies resolve from Debian's archive.
set -e
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$source_dir/build}" && pwd)
out=$build/packages
rm -rf "$out"
mkdir -p "$out/runtime"
chmod 700 "$out/runtime"
(cd "$out" && cpack -G DEB --config "$build/CPackConfig.cmake" >cpack.log) || { cat "$out/cpack.log"; exit 1; }

fail() { echo "packages: $*" >&2; exit 1; }
deb() { ls "$out"/"$1"_*.deb 2>/dev/null || fail "no package $1"; }
has() { dpkg-deb -c "$(deb "$1")" | awk '{print $6}' | grep -qx "$2" || fail "$1 lacks $2"; }
lacks() { ! dpkg-deb -c "$(deb "$1")" | awk '{print $6}' | grep -q "$2" || fail "$1 holds $2"; }

for package in tessal libtessalhosting1 libtessalhosting-dev libzudownload1 libzudownload-dev libschedule1 libschedule-dev; do
    echo "== $package"
    dpkg-deb -I "$(deb $package)" | sed -n '/^ Package:/,$p'
    dpkg-deb -c "$(deb $package)" | awk '{print "   " $6}'
done

lib=./usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
has tessal ./usr/bin/tessal
has tessal ./usr/libexec/tessal/EXTRACT
lacks tessal ./usr/bin/EXTRACT
has tessal ./usr/share/applications/tessal.desktop
has tessal ./usr/share/icons/hicolor/scalable/apps/tessal.svg
has tessal ./usr/share/man/man1/tessal.1.gz
lacks tessal 'lib.*\.so'
lacks tessal ctlhost
has libzudownload1 "$lib/libzudownload.so.1.0.0"
has libzudownload-dev ./usr/include/zudownload/ZuHTTPdownload.h
has libzudownload-dev "$lib/cmake/zudownload/zudownloadConfigVersion.cmake"
lacks libzudownload-dev 'ChunkedBody\|FtpReplyReader\|Winsock\|HttpResponseHead'
has libschedule1 "$lib/libSchedule.so.1.0.0"
has libschedule-dev ./usr/include/Schedule/Schedule.h
has libschedule-dev "$lib/cmake/Schedule/ScheduleConfig.cmake"
lacks libschedule-dev 'PaneSurface\|WindowlessLabel\|OleColor'
has libtessalhosting1 "$lib/libtessalhosting.so.1"
has libtessalhosting-dev ./usr/include/tessal/ControlBase.h
# The hosting headers come with the hosting library only.
lacks libzudownload-dev 'ControlBase\|PropertyBag\|SystemError'
lacks libschedule-dev 'ControlBase\|PropertyBag\|SystemError\|Picture'
# Libraries: the ldconfig trigger and no maintainer scripts, so that a
# removed package leaves nothing behind.
for package in libtessalhosting1 libzudownload1 libschedule1; do
    control=$(dpkg-deb --ctrl-tarfile "$(deb $package)" | tar -t)
    echo "$control" | grep -qx './triggers' || fail "$package has no ldconfig trigger"
    ! echo "$control" | grep -q 'postinst\|postrm\|preinst\|prerm' || fail "$package has maintainer scripts"
    dpkg-deb -I "$(deb $package)" shlibs | grep -q . || fail "$package has no shlibs"
done
# What Debian would say of them: no error and no warning.
if command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$out"/*.deb || fail "lintian"
else
    echo "packages: lintian is missing (scripts/install-deps.sh --test installs it); not checked" >&2
fi
dpkg-deb -f "$(deb libzudownload1)" Depends | grep -q 'libtessalhosting1' || fail "libzudownload1 does not depend on libtessalhosting1"
dpkg-deb -f "$(deb tessal)" Depends | grep -q 'libqt6widgets6' || fail "tessal does not depend on Qt"
! dpkg-deb -f "$(deb tessal)" Depends | grep -q 'tessalhosting\|zudownload\|schedule' || fail "tessal depends on a library of the suite"

# Their dependencies resolve from Debian's archive and replace nothing.
plan=$(LC_ALL=C apt-get -s install "$out"/*.deb 2>&1) || { echo "$plan"; fail "apt-get cannot install them"; }
! echo "$plan" | grep -q '^Remv' || { echo "$plan"; fail "installing them would remove packages"; }

root=$out/root
for file in "$out"/*.deb; do
    dpkg-deb -x "$file" "$root"
done
# One owner for each exported symbol: no two libraries export the same one
# (but the entry point every control library has, which a host resolves in one
# library at a time, and the linker's own markers).
exported() {
    nm -D --defined-only "$1" | awk '{print $3}' | grep -vx '_edata\|_end\|__bss_start\|SuiteControlClasses'
}
libraries=$(ls "$root/${lib#./}"/lib*.so.1)
twice=$(for so in $libraries; do exported "$so" | sort -u; done | sort | uniq -d)
[ -z "$twice" ] || { echo "$twice" | c++filt; fail "symbols exported by more than one library"; }
echo "packages: no symbol exported by two of" $(basename -a $libraries)

desktop=$root/usr/share/applications/tessal.desktop
desktop-file-validate "$desktop" || fail "tessal.desktop is not valid"
grep -qx 'Exec=tessal' "$desktop" && grep -qx 'Icon=tessal' "$desktop" || fail "tessal.desktop"
! ldd "$root/usr/bin/tessal" | grep -q 'tessal\|zudownload\|Schedule' || fail "tessal links a library of the suite"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/tessal" --help | grep -q -- '--join' || fail "tessal --help"

cmake -S "$source_dir/tests/platform/hosting/consumer" -B "$out/consumer" -DCMAKE_PREFIX_PATH="$root/usr" \
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_BUILD_TYPE=Release >"$out/consumer.log"
cmake --build "$out/consumer" >>"$out/consumer.log" || { cat "$out/consumer.log"; exit 1; }
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$out/runtime "$out/consumer/consumer" "$root/${lib#./}"
echo "packages: ok ($out)"
