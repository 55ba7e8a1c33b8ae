#!/bin/sh
# Times the FTP control's DownTo against curl fetching the same 1 GiB file
# from vsftpd on loopback, in the same run; prints the throughput ratio and
# the peak resident memory of both. Both write into OUT_DIR (default: a
# folder on the disk under /tmp; OUT_DIR=/dev/shm/x for tmpfs).
#
#   [OUT_DIR=DIR] bench/ftp/run.sh [BUILD_DIR]      (default: build)
set -eu
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp/ftpbench-runtime}"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
host="$build/bench/ftp/ftpbench"
[ -x "$host" ] || { echo "build the ftpbench target first: $host" >&2; exit 2; }
rounds=${ROUNDS:-3}

work=$(mktemp -d /tmp/ftpbench.XXXXXX)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    rm -rf "$work"
    [ -n "${made_out:-}" ] && rm -rf "$out_dir"
    :
}
trap cleanup EXIT INT TERM

free_port() {
    /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

mkdir -p "$work/root" "$work/empty"
out_dir=${OUT_DIR:-$work/out}
[ -d "$out_dir" ] || { mkdir -p "$out_dir" && made_out=1; }
chmod 755 "$work" "$work/root" "$work/empty"
head -c 1073741824 /dev/urandom > "$work/root/big.bin"
chmod 644 "$work/root/big.bin"

port=$(free_port)
pasv=$(( $(free_port) % 20000 + 30000 ))
cat > "$work/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=YES
local_enable=NO
write_enable=NO
anon_root=$work/root
secure_chroot_dir=$work/empty
pasv_enable=YES
pasv_min_port=$pasv
pasv_max_port=$((pasv + 200))
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
xferlog_enable=NO
ftp_username=daemon
CONF
chmod 600 "$work/vsftpd.conf"
# A time limit, so the server never outlives the benchmark.
# The tests' private copy (scripts/fetch-peers.sh), else the system's.
peers=$build/peers
sh "$here/../../scripts/fetch-peers.sh" "$peers" || peers=
timeout 900 "$peers/usr/sbin/vsftpd" "$work/vsftpd.conf" 0>&2 &
pid=$!
for _ in $(seq 50); do
    curl -s --max-time 2 "ftp://127.0.0.1:$port/" >/dev/null 2>&1 && break
    sleep 0.1
done

url="ftp://127.0.0.1:$port/big.bin"
size=$(stat -c %s "$work/root/big.bin")

# Runs COMMAND under /usr/bin/time; prints "SECONDS PEAK_KB".
timed() {
    out=$1
    shift
    rm -f "$out"
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/log"
    [ "$(stat -c %s "$out")" = "$size" ] || { echo "short download: $*" >&2; exit 1; }
    cmp -s "$out" "$work/root/big.bin" || { echo "corrupt download: $*" >&2; exit 1; }
    rm -f "$out"
    cat "$work/time"
    [ -s "$work/log" ] && cat "$work/log" >&2
    :
}

best_c=; best_z=; rss_c=0; rss_z=0
for round in $(seq "$rounds"); do
    set -- $(timed "$out_dir/curl.bin" curl -s -o "$out_dir/curl.bin" "$url")
    echo "round $round curl      $1 s  peak ${2} KB"
    best_c=$(echo "${best_c:-$1} $1" | awk '{print ($2 < $1) ? $2 : $1}')
    [ "$2" -gt "$rss_c" ] && rss_c=$2
    set -- $(timed "$out_dir/zu.bin" env QT_QPA_PLATFORM=offscreen "$host" "$url" "$out_dir/zu.bin")
    echo "round $round DownTo    $1 s  peak ${2} KB"
    best_z=$(echo "${best_z:-$1} $1" | awk '{print ($2 < $1) ? $2 : $1}')
    [ "$2" -gt "$rss_z" ] && rss_z=$2
done

awk -v s="$size" -v c="$best_c" -v z="$best_z" -v rc="$rss_c" -v rz="$rss_z" 'BEGIN {
    printf "file %d bytes, written to '"$out_dir"', best of runs\n", s
    printf "curl    %.2f s  %.0f MB/s  peak RSS %d KB\n", c, s / c / 1e6, rc
    printf "DownTo  %.2f s  %.0f MB/s  peak RSS %d KB\n", z, s / z / 1e6, rz
    printf "ratio (DownTo throughput / curl throughput): %.2f  (target >= 1.00)\n", c / z
    printf "DownTo peak RSS %.1f MiB  (target < 32 MiB)\n", rz / 1024
}'
