#!/bin/sh
# What a screen reader sees of the Schedule bar, on an X server of its own
# (Xvfb) with a private session bus and the accessibility bus of at-spi2:
#   1. the in-process accessibility test under X, where Qt passes on the
#      value and name changes that the offscreen platform drops;
#   2. check.py reads the bar hosted by ctlhost through pyatspi, as a
#      screen reader does, and watches a value change arrive.
# Usage: atspi-smoke.sh TST_SCHEDULEACCESSIBLE CTLHOST
# Exits 77 (skipped) with the reason when a tool is missing.
set -eu

skip() {
    echo "SKIP: $*"
    exit 77
}
launcher=/usr/libexec/at-spi-bus-launcher
for tool in Xvfb dbus-run-session dbus-send; do
    command -v "$tool" >/dev/null || skip "$tool is missing (scripts/install-deps.sh --test installs it)"
done
[ -x "$launcher" ] || skip "$launcher is missing: at-spi2-core (scripts/install-deps.sh --test installs it)"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null \
    || skip "Python's pyatspi is missing: python3-pyatspi (scripts/install-deps.sh --test installs it)"

if [ -z "${ATSPI_SMOKE_BUS:-}" ]; then
    ATSPI_SMOKE_BUS=1 exec dbus-run-session -- sh "$0" "$@"
fi

work=$(mktemp -d)
pids=
cleanup() {
    # shellcheck disable=SC2086
    [ -z "$pids" ] || kill $pids 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# Waits up to 20 s for the command given to succeed.
wait_for() {
    tries=200
    until "$@"; do
        tries=$((tries - 1))
        [ $tries -gt 0 ] || return 1
        sleep 0.1
    done
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids=$!
wait_for test -s "$work/display" || { cat "$work/xvfb.log"; echo "Xvfb did not start"; exit 1; }
DISPLAY=:$(cat "$work/display")
export DISPLAY

# A desktop session starts the accessibility bus before any program; Qt
# looks for it only when it starts.
"$launcher" --launch-immediately >"$work/launcher.log" 2>&1 &
pids="$pids $!"
a11y_bus() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q 'boolean true'
}
wait_for a11y_bus || { cat "$work/launcher.log"; echo "the accessibility bus did not start"; exit 1; }

export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
echo "== $1 under X"
"$1"
echo "== what pyatspi reads"
/usr/bin/python3 "$(dirname "$0")/check.py" "$2"
